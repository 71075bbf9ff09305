// The keep-awake thread against ALSA capture devices defined in a
// configuration of its own (ALSA_CONFIG_PATH): PCMs of type null (and one
// that cannot open) listed by their name hints, readable without a sound card.
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "platform/audio_capture.h"
#include "platform/clock.h"
#include "tests/support/temp_dir.h"
#include "ui/core/wake_up_thread.h"

namespace {

std::string Pcm(const std::string& name, const std::string& description, const std::string& body = "type null") {
  return "pcm." + name + " {\n  " + body + "\n  hint { show on description \"" + description + "\" }\n}\n";
}

struct KeepAwakeCase {
  const char* name;
  std::string config;
  std::string endpoint;  // the name of the endpoint used; empty: none
  bool passes;
};

class KeepAwake : public testing::TestWithParam<KeepAwakeCase> {
 protected:
  void SetUp() override {
    dir_.Write("asound.conf", GetParam().config);
    setenv("ALSA_CONFIG_PATH", dir_.File("asound.conf").c_str(), 1);
    audio_ = platform::CreateSystemAudioCapture();
  }
  void TearDown() override { unsetenv("ALSA_CONFIG_PATH"); }

  TempDir dir_;
  std::unique_ptr<platform::AudioCapture> audio_;
  platform::VirtualClock clock_;
};

TEST_P(KeepAwake, ChoosesTheFirstUsbEndpointAndCapturesUntilStopped) {
  const KeepAwakeCase& c = GetParam();
  CWakeUpThread thread(*audio_, clock_);
  if (c.passes) {
    while (thread.Passes() < 3) std::this_thread::yield();
    EXPECT_FALSE(thread.Done());
    EXPECT_GE(clock_.NowMs(), 3u * 50u);  // each pass holds the stream 50 ms
  } else {
    // Nothing to capture: the done event comes by itself, and Stop does not block.
    while (!thread.Done()) std::this_thread::yield();
    EXPECT_EQ(thread.Passes(), 0);
  }
  EXPECT_EQ(thread.EndpointName(), c.endpoint);
  thread.Stop();
  EXPECT_TRUE(thread.Done());
  const int passes = thread.Passes();
  std::this_thread::yield();
  EXPECT_EQ(thread.Passes(), passes);  // no pass after the stop
}

INSTANTIATE_TEST_SUITE_P(
    Configurations, KeepAwake,
    testing::Values(
        KeepAwakeCase{"UsbInLowerCaseAfterAnother",
                      Pcm("builtin", "Built-in Microphone") + Pcm("codec", "Morvane usb audio") +
                          Pcm("second", "Other USB Audio"),
                      "Morvane usb audio (codec)", true},
        KeepAwakeCase{"UsbInTheIdentifier", Pcm("builtin", "Built-in Microphone") + Pcm("usbline", "Line In"),
                      "Line In (usbline)", true},
        KeepAwakeCase{"NoUsbEndpoint", Pcm("builtin", "Built-in Microphone"), "", false},
        KeepAwakeCase{"AnEndpointThatDoesNotOpen", Pcm("gone", "USB Audio", "type hw\n  card 99"), "USB Audio (gone)",
                      false}),
    [](const auto& info) { return info.param.name; });

}  // namespace
