// What stands between Start and the download: the OTP password, and after a
// success the restart question for products that need the host restarted;
// the device choice.
#include <QApplication>
#include <QDialogButtonBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "image/sample_image.h"
#include "ui/password_dialog.h"
#include "tests/window/window_fixture.h"

namespace {

constexpr char kOld[] = "4.119.0000-0000.0007";
constexpr char kWrongPassword[] = "密碼輸入錯誤.(請注意大小字母會有差異)";
constexpr char kNoPassword[] = "請輸入正確密碼才可進行二次烧录";

// Answers the password box once it is up: types `text` and presses OK, or
// presses Cancel when `text` is null. The watch ends with `owner`, or with
// the first box it answered.
QPointer<QTimer> AnswerPasswordBox(QObject* owner, const char* text, bool* asked) {
  auto* poll = new QTimer(owner);
  QObject::connect(poll, &QTimer::timeout, [=] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->objectName() != kPasswordDialogName || !w->isVisible()) continue;
      poll->stop();
      poll->deleteLater();
      *asked = true;
      auto* buttons = w->findChild<QDialogButtonBox*>();
      if (text) QTest::keyClicks(w->findChild<QLineEdit*>("control1137"), QString::fromUtf8(text));
      buttons->button(text ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
      return;
    }
  });
  poll->start(5);
  return poll;
}

struct PasswordCase {
  const char* name;
  bool holdsCode;    // the OTP took a download before
  const char* typed;  // null: Cancel
  bool asked;
  const char* message;  // null: the update runs
};

class OtpPassword : public WindowTest, public testing::WithParamInterface<PasswordCase> {};

// The OTP's usage comes from the device: a blank OTP takes its first
// download without the question, one that holds code asks for it.
TEST_P(OtpPassword, AtStart) {
  const PasswordCase& c = GetParam();
  Open({CodecOf("VMC2232", SampleMemory::kOtp, "")}, "OTP Password=Secret\r\n");
  if (c.holdsCode) {
    bool askedBefore = false;
    const QPointer<QTimer> watch = AnswerPasswordBox(window_.get(), "Secret", &askedBefore);
    UseImageFile("first.bin", SampleImageBytes("VMC2232", "4.120.0000-0000.0001", SampleMemory::kOtp));
    Click(1003);
    ASSERT_TRUE(WaitFor([&] { return Text(1016) == "PASS" || Text(1016) == "FAIL"; }));
    ASSERT_EQ(Text(1016), "PASS") << Text(1033);
    Settle();
    delete watch.data();
    ASSERT_FALSE(askedBefore) << "a blank OTP was asked for the password";
    ASSERT_EQ(VersionAfterPowerCycle(), "4.120.0000-0000.0001");
  }
  const auto transfers = Transfers();
  bool asked = false;
  AnswerPasswordBox(window_.get(), c.typed, &asked);
  Click(1003);  // the built-in image, 4.120.0000-0000.0003
  Settle();
  EXPECT_EQ(asked, c.asked);
  if (c.message) {
    ASSERT_EQ(prompter_.prompts.size(), 1u);
    EXPECT_EQ(prompter_.prompts[0].text, c.message);
    EXPECT_EQ(Text(1016), "N/A");
    EXPECT_TRUE(Enabled(1003));
    EXPECT_EQ(Transfers(), transfers);  // nothing was posted
    EXPECT_EQ(VersionAfterPowerCycle(), "4.120.0000-0000.0001");
  } else {
    ASSERT_TRUE(WaitFor([&] { return Text(1016) == "PASS" || Text(1016) == "FAIL"; }));
    EXPECT_EQ(Text(1016), "PASS") << Text(1033);
    EXPECT_TRUE(prompter_.prompts.empty());
    Settle();
    EXPECT_EQ(VersionAfterPowerCycle(), "4.120.0000-0000.0003");
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, OtpPassword,
                         testing::Values(PasswordCase{"Right", true, "Secret", true, nullptr},
                                         PasswordCase{"OtherLetterCase", true, "secret", true, kWrongPassword},
                                         PasswordCase{"Cancelled", true, nullptr, true, kNoPassword},
                                         PasswordCase{"BlankOtpIsNotAsked", false, "Secret", false, nullptr}),
                         [](const auto& info) { return info.param.name; });

// VID_3C5A&PID_2270 is in the built-in restart list. Its image comes from a
// file named in the image field.
class RestartQuestion : public WindowTest, public testing::WithParamInterface<platform::PromptAnswer> {};

TEST_P(RestartQuestion, AfterASuccess) {
  const bool yes = GetParam() == platform::PromptAnswer::Yes;
  simtest::CodecSpec codec;
  codec.chip = "VMC2270";
  codec.firmware = SampleImageBytes("VMC2270", "6.002.0000-0000.0001");
  Open({codec}, "LogType=1\r\n");
  const auto image = SampleImageBytes("VMC2270", "6.002.0000-0000.0009");
  station_.Write("new.bin", std::string(image.begin(), image.end()));
  static_cast<QLineEdit*>(Control(1000))->setText(QString::fromStdString(station_.File("new.bin")));
  prompter_.answer = GetParam();
  Click(1003);
  ASSERT_TRUE(WaitFor([&] { return Text(1016) == "PASS"; }));
  Settle();
  ASSERT_EQ(prompter_.prompts.size(), 1u);
  EXPECT_EQ(prompter_.prompts[0].text, "Restart Windows System?");
  EXPECT_EQ(prompter_.prompts[0].caption, "Warning");
  EXPECT_EQ(restart_.requests, yes ? 1 : 0);
  // Yes ends the outcome there; No goes on with the result log.
  EXPECT_EQ(std::filesystem::exists(station_.File("burn_result.txt")), !yes);
  EXPECT_EQ(bench_.RunningVersion(), "6.002.0000-0000.0009");
}

INSTANTIATE_TEST_SUITE_P(Answers, RestartQuestion,
                         testing::Values(platform::PromptAnswer::Yes, platform::PromptAnswer::No),
                         [](const auto& info) { return info.param == platform::PromptAnswer::Yes ? "Yes" : "No"; });

TEST_F(WindowTest, TheChosenDeviceIsTheOneUpdated) {
  bench_.edit = [](sim::Bench& bench) { bench.Find("second")->MutableConfig().identity.rev = 0x0101; };
  Open({StationBench::Codec(kOld, "first", {1, {1}}), StationBench::Codec(kOld, "second", {1, {2}})});
  auto* devices = static_cast<QComboBox*>(Control(1050));
  ASSERT_EQ(devices->count(), 2);
  EXPECT_EQ(devices->currentText().toStdString(), "VID_3C5A&PID_2230&REV_0100");
  devices->setCurrentIndex(1);  // the operator picks the second entry
  emit devices->activated(1);
  Settle();
  EXPECT_EQ(devices->currentText().toStdString(), "VID_3C5A&PID_2230&REV_0101");
  ASSERT_TRUE(Enabled(1003));
  Click(1003);
  ASSERT_TRUE(WaitFor([&] { return Text(1016) == "PASS"; }));
  Settle();
  EXPECT_EQ(bench_.RunningVersion("second"), StationBench::kBuiltInVersion);
  EXPECT_EQ(bench_.RunningVersion("first"), kOld);
}

}  // namespace
