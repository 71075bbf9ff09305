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

#include "app/program_state.h"
#include "app/status_codes.h"
#include "image/image_load.h"
#include "image/sample_image.h"
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
  static constexpr char kBootRom[] = "boot ROM";

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

  void SetImageField(const std::string& text) {
    static_cast<QLineEdit*>(Control(1000))->setText(QString::fromStdString(text));
  }
  // Writes an image file into the station folder and names it in the image field.
  void UseImageFile(const std::string& name, const std::vector<std::uint8_t>& image) {
    station_.Write(name, std::string(image.begin(), image.end()));
    SetImageField(station_.File(name));
  }

  // A codec of that chip and memory running `version`; blank when empty
  // (an OTP codec then waits in its boot ROM).
  static simtest::CodecSpec CodecOf(const std::string& chip, SampleMemory memory, const std::string& version,
                                    const std::string& name = "codec", sim::PortPath port = {1, {1}}) {
    static const std::pair<SampleMemory, sim::MemoryKind> kinds[] = {
        {SampleMemory::kSpi, sim::MemoryKind::kSpiFlash},  {SampleMemory::kNor, sim::MemoryKind::kNorFlash},
        {SampleMemory::kEeprom8, sim::MemoryKind::kEeprom8}, {SampleMemory::kEeprom16, sim::MemoryKind::kEeprom16},
        {SampleMemory::kOtp, sim::MemoryKind::kOtp}};
    simtest::CodecSpec spec;
    spec.name = name;
    spec.chip = chip;
    spec.port = port;
    for (const auto& [sample, kind] : kinds)
      if (sample == memory) spec.memory = kind;
    if (!version.empty()) spec.firmware = SampleImageBytes(chip, version, memory);
    return spec;
  }
  // A built-in image by its image-table name.
  static std::vector<std::uint8_t> BuiltInImage(const std::string& name) {
    CImageJob job;
    const int id = ICTypeStore().FindImageId(name);
    EXPECT_TRUE(id && LoadBuiltInImage(job, id)) << name;
    return job.builtInImage;
  }

  // The codec as the bench has it, and what it starts after a power cycle.
  std::vector<std::uint8_t> MemoryOf(const std::string& name = "codec") {
    return bench_.Saved()->Find(name)->Memory().Bytes();
  }
  std::string VersionAfterPowerCycle(const std::string& name = "codec") {
    auto bench = bench_.Saved();
    sim::Codec& codec = *bench->Find(name);
    codec.PowerOff();
    codec.PowerOn();
    return codec.Mode() == sim::CodecMode::kBootRom ? kBootRom : FormatVersion(codec.RunningVersion());
  }
  std::uint64_t Transfers(const std::string& name = "codec") {
    return bench_.Saved()->Find(name)->Counters().transfers;
  }
  // Plugs a codec in or pulls it out, as the bench's other programs do; the
  // window hears of it the next time the bus is looked at.
  void SetPlugged(const std::string& name, bool plugged) {
    bench_.Edit([&](sim::Bench& bench) {
      sim::Codec& codec = *bench.Find(name);
      plugged ? codec.PowerOn() : codec.PowerOff();
    });
    LookAtBus();
  }
  void LookAtBus() { bench_.Host().Nodes(); }
  // Arms faults (tessaload-sim's specification) on a codec of the open bench.
  void ArmFaults(const std::string& name, const std::string& faults) {
    bench_.ArmFaults(name, faults);
    LookAtBus();
  }

  // Saves the window as it is now into the build folder's screenshots,
  // named after the test and `state`.
  void Screenshot(const std::string& state = "") {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    const std::filesystem::path folder = std::filesystem::path(TESSALOAD_BINARY_DIR) / "screenshots";
    std::filesystem::create_directories(folder);
    std::string name = std::string(info->test_suite_name()) + "." + info->name() + (state.empty() ? "" : "." + state) + ".png";
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
