#pragma once
// The operator window on a simulated bench: made as window mode makes it,
// shown offscreen, and driven through its control ids. Questions go to a
// recording prompter; the restart request to a double.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio_capture.h"
#include "platform/prompter.h"
#include "platform/system_restart.h"
#include "tests/support/station_bench.h"
#include "tests/support/temp_dir.h"
#include "ui/main_window.h"

struct Prompt {
  std::string text, caption;
  platform::PromptKind kind;
};

class ScriptedPrompter final : public platform::Prompter {
 public:
  platform::PromptAnswer Ask(const std::string& text, const std::string& caption, platform::PromptKind kind,
                             platform::PromptAnswer) override {
    prompts.push_back({text, caption, kind});
    return answer;
  }
  std::vector<Prompt> prompts;
  platform::PromptAnswer answer = platform::PromptAnswer::Ok;
};

class RestartDouble final : public platform::SystemRestart {
 public:
  bool Request(std::string&) override {
    ++requests;
    return true;
  }
  int requests = 0;
};

class WindowTest : public testing::Test {
 protected:
  using Window = CTessaload_AllInOne_VxproxyDlg;

  void SetUp() override {
    previousFolder_ = std::filesystem::current_path();
    std::filesystem::current_path(station_.Path());  // burn_result.txt goes to the current folder
    platform::SetCurrentPrompter(&prompter_);
  }
  void TearDown() override {
    if (window_) {
      Screenshot();
      window_.reset();
    }
    platform::SetCurrentPrompter(nullptr);
    bench_.Stop();
    std::filesystem::current_path(previousFolder_);
  }

  // Starts the station and opens the window; waits until the worker is idle.
  void Open(const std::vector<simtest::CodecSpec>& codecs, const std::string& settings = "",
            const std::string& faults = "") {
    bench_.Start(codecs, settings, faults);
    WindowServices services;
    services.context.usbHost = bench_.host_.get();
    services.context.versionText = "1.0.1";
    services.restart = &restart_;
    services.resultFolder = station_.Path();
    services.audio = audio;
    window_ = std::make_unique<Window>(std::move(services));
    window_->show();
    Settle();
  }

  // Waits until the worker has no job and the window has taken its messages.
  void Settle() { ASSERT_TRUE(WaitFor([&] { return window_->Quiet(); })); }

  bool WaitFor(const std::function<bool()>& done, int ms = 20000) { return QTest::qWaitFor(done, ms); }

  QWidget* Control(int id) {
    QWidget* w = window_->Control(id);
    EXPECT_NE(w, nullptr) << "control " << id;
    return w;
  }
  std::string Text(int id) {
    QWidget* w = Control(id);
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text().toStdString();
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text().toStdString();
    return {};
  }
  void Click(int id) { QTest::mouseClick(Control(id), Qt::LeftButton); }
  bool Enabled(int id) { return Control(id)->isEnabled(); }
  QColor Background(int id) { return Control(id)->palette().color(QPalette::Window); }

  // Saves the window as it is now into the build folder's screenshots.
  void Screenshot() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    const std::filesystem::path folder = std::filesystem::path(TESSALOAD_BINARY_DIR) / "screenshots";
    std::filesystem::create_directories(folder);
    std::string name = std::string(info->test_suite_name()) + "." + info->name() + ".png";
    for (char& c : name)
      if (c == '/') c = '_';
    EXPECT_TRUE(window_->grab().save(QString::fromStdString((folder / name).string())));
  }

  TempDir station_;
  std::filesystem::path previousFolder_;
  ScriptedPrompter prompter_;
  RestartDouble restart_;
  StationBench bench_;
  std::unique_ptr<Window> window_;
  platform::AudioCapture* audio = nullptr;
};
