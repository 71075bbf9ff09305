// Flow operations in-process on simulated codecs: the resets into the boot
// ROM, the erase rules by chip family, the image checks and the identity lists.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "app/config_ini.h"
#include "app/program_state.h"
#include "app/status_codes.h"
#include "device/dev_lib.h"
#include "flow/create_flow.h"
#include "flow/flash_front_end.h"
#include "flow/flow_host.h"
#include "image/chip_facts.h"
#include "image/ic_type_ini.h"
#include "image/sample_image.h"
#include "platform/paths.h"
#include "tests/flow/flow_bench_fixture.h"

namespace {

using simtest::CodecSpec;

// The flash front end on a bench.
class FlowBench : public BenchFixture {
 protected:
  void Opened() override {
    flow_ = dynamic_cast<CSPIFlashInfo_USB*>(CurrentFlow());
    ASSERT_NE(flow_, nullptr);
  }
  CSPIFlashInfo_USB* flow_ = nullptr;
};

TEST_F(FlowBench, ABootRomChipWithResetTarget0IsLeftAlone) {
  Start({CodecSpec{}});
  ASSERT_TRUE(flow_->DEV_OpenDeviceByVIDPID());
  flow_->MP_GetDeviceInfo();
  flow_->resetTarget = 0;
  EXPECT_EQ(flow_->MP_ResetToRomCode(), 1);
  EXPECT_EQ(Resets("codec"), 0u);
}

TEST_F(FlowBench, AChipOutsideTheFamilyAlreadyInItsUpdateModeIsNotReset) {
  Start({CodecSpec{}});  // blank flash: the codec waits in its boot ROM
  EditCodec("codec", [](sim::Codec& c) {
    c.DataMemory()[0xFE21] = 0x12;  // masked 0x3010: outside the family, not 0x3000
    c.DataMemory()[0xFE22] = 0x34;
  });
  ASSERT_TRUE(flow_->DEV_OpenDeviceByVIDPID());
  flow_->resetTarget = 6;
  EXPECT_EQ(flow_->MP_ResetToRomCode(), 1);
  EXPECT_EQ(flow_->runMode, 1u);
  EXPECT_EQ(Resets("codec"), 0u);
}

TEST_F(FlowBench, RunningFirmwareIsResetIntoTheBootRom) {
  Start({CodecSpec{"codec", "VMC2232", sim::MemoryKind::kSpiFlash, {1, {1}}, Image("VMC2232", "4.119.0000-0000.0007"),
                   "both"}});
  ASSERT_TRUE(flow_->DEV_OpenDeviceByVIDPID());
  flow_->MP_GetDeviceInfo();
  EXPECT_EQ(flow_->modeText, "SPI");
  flow_->PrepareJobFlags();
  const std::uint32_t before = flow_->m_hDevice;
  EXPECT_EQ(flow_->MP_OpenRomDevice(), 1);
  EXPECT_NE(flow_->m_hDevice, before);  // found again after the reset
  EXPECT_EQ(Resets("codec"), 1u);
  flow_->MP_GetDeviceInfo();
  EXPECT_EQ(flow_->modeText, "ROM");
}

// A download leaves the flash protected again: block protection on and the
// status register locked while the codec holds WP# low.
TEST_F(FlowBench, ADownloadSwitchesWriteProtectionOnAgain) {
  Start({CodecSpec{"codec", "VMC2232", sim::MemoryKind::kSpiFlash, {1, {1}}, Image("VMC2232", "4.119.0000-0000.0007"),
                   "both"}});
  ASSERT_TRUE(flow_->DEV_OpenDeviceByVIDPID());
  flow_->MP_GetDeviceInfo();
  flow_->PrepareJobFlags();
  flow_->download.image = Image("VMC2232", "4.120.0000-0000.0001");
  ASSERT_EQ(flow_->Download(), 1) << LastStatusCode;
  EXPECT_EQ(Saved()->Find("codec")->Memory().Status(), 0x8C);
}

TEST_F(FlowBench, Family26ErasesBlocksFromTheImageLengthAndFailsBelow64K) {
  Start({CodecSpec{"codec", "VMC2270", sim::MemoryKind::kSpiFlash, {1, {1}}, {}, "both"}});
  ASSERT_TRUE(flow_->DEV_OpenDeviceByVIDPID());
  ASSERT_EQ(ICTypeStore().ChipInfo(), 26);
  ASSERT_EQ(flow_->MP_DisableWriteProtect(), 1);
  auto& clock = static_cast<sim::SimHost&>(*host_).Clock();
  const std::uint64_t before = clock.NowMs();
  EXPECT_EQ(flow_->MP_EraseSPIFlash(0, 0x8000), 0);  // no whole block: three failed attempts
  EXPECT_GE(clock.NowMs() - before, 3u * 128u);
  EXPECT_EQ(flow_->MP_EraseSPIFlash(0, 0x20000), 1);  // two blocks from 0x20000
}

TEST(ChipFacts, TheImageBankOfEachFamily) {
  EXPECT_EQ(FlashAddress(FlashFactsFor(23), 0x10000, 0x100), 0x10100u);
  EXPECT_EQ(FlashAddress(FlashFactsFor(23), 0x40000, 0x100), 0x10100u);
  EXPECT_EQ(FlashAddress(FlashFactsFor(26), 0x10000, 0x100), 0x10100u);
  EXPECT_EQ(FlashAddress(FlashFactsFor(26), 0x40000, 0), 0x40000u);
  EXPECT_EQ(FlashAddress(FlashFactsFor(24), 0x10000, 0x100), 0x100u);
  EXPECT_EQ(FlashAddress(FlashFactsFor(30), 0x10000, 0x100), 0x100u);
}

TEST_F(FlowBench, ImageFamilies8And9CountAsOneForTheFlashFrontEnd) {
  Start({CodecSpec{}});
  auto image = Image("VMC2232", "4.119.0000-0000.0007");
  image[0xF002] = std::uint8_t((image[0xF002] & 0x07) | (8 << 3));  // family 8
  const std::string file = folder_ + "/family8.bin";
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
  ICTypeStore().SelectDescriptionByIndex(0);
  ASSERT_TRUE(ICTypeStore().MatchChipRegisters(0x10, 0xF0));
  ICTypeStore().SetChipInfo(9);
  EXPECT_EQ(flow_->CheckImageFile(file, false, false), 1);
  EXPECT_EQ(flow_->CheckImageFile(file, false, true), 0);  // the exact check of the OTP write
  EXPECT_EQ(LastStatusCode, kStsFwNotForDevice);
  ICTypeStore().SetChipInfo(10);
  EXPECT_EQ(flow_->CheckImageFile(file, false, false), 0);
}

TEST_F(FlowBench, TheNorFrontEndAnswersWithoutTheDevice) {
  CNORFlashInfo_USB nor;
  EXPECT_EQ(nor.ReadCode(), 1);
  EXPECT_EQ(nor.EraseCode(), 1);
  EXPECT_EQ(nor.UpdateCode(), 1);
  LastStatusCode = 0;
  EXPECT_EQ(nor.SilenceWriteBin("x.bin"), 0);
  EXPECT_EQ(LastStatusCode, kStsNotSupport);
}

TEST_F(FlowBench, LockPortKeepsToThePortOfTheFirstAcceptedDevice) {
  Start({CodecSpec{"a", "VMC2232", sim::MemoryKind::kSpiFlash, {1, {2}}, {}, "both"},
         CodecSpec{"b", "VMC2230", sim::MemoryKind::kSpiFlash, {1, {3}}, {}, "both"}},
        "LockPort=1\r\n");
  ASSERT_TRUE(flow_->DEV_OpenDeviceByVIDPID());
  const int port = GetConfigValue(kConfigSection, "PortNo", 0);
  EXPECT_NE(port, 0);  // learnt from the first accepted device
  const std::uint16_t firstPid = flow_->pid;
  DevLib_CloseDevice(flow_->m_hDevice);
  flow_->m_hDevice = 0;
  ASSERT_TRUE(flow_->DEV_OpenDeviceByVIDPID());
  EXPECT_EQ(flow_->pid, firstPid);
  DevLib_CloseDevice(flow_->m_hDevice);
  flow_->m_hDevice = 0;
  SetConfigInt(kConfigSection, "PortNo", 7);  // no device there
  EXPECT_FALSE(flow_->DEV_OpenDeviceByVIDPID());
  EXPECT_EQ(LastStatusCode, kStsVidPidMismatch);
}

TEST(IdentityLists, BuiltInListCutsRevAndHonoursComments) {
  EXPECT_TRUE(CDevFlow::CheckVidPidBuiltIn("VID_3C5A&PID_2232&REV_0100"));
  EXPECT_TRUE(CDevFlow::CheckVidPidBuiltIn("vid_3c5a&pid_2232&rev_9999"));  // any REV, any case
  EXPECT_FALSE(CDevFlow::CheckVidPidBuiltIn("VID_1234&PID_5678&REV_0100"));
  EXPECT_FALSE(CDevFlow::CheckVidPidBuiltIn("VID_3C5A&PID_22FF&REV_0100"));  // its line is commented out
}

TEST(IdentityLists, VidPidListFileLinesMustNameTheRev) {
  const std::string path = platform::ProgramFolderWithSeparator() + "VidPidList.ini";
  std::ofstream(path) << "  VID_3C5A&PID_2232  \r\nvid_3c5a&pid_2230&rev_0100\r\n";
  EXPECT_FALSE(CDevFlow::CheckVidPidFile("VID_3C5A&PID_2232&REV_0100"));  // the line names no REV
  EXPECT_TRUE(CDevFlow::CheckVidPidFile("VID_3C5A&PID_2230&REV_0100"));   // lower case still matches
  std::filesystem::remove(path);
}

}  // namespace

namespace {

// The image-signature check of family 26 after a download.
class SignatureCheck : public FlowBench {
 protected:
  void SetUp() override {
    image_ = Image("VMC2270", "6.002.0000-0000.0001");
    Start({CodecSpec{"codec", "VMC2270", sim::MemoryKind::kSpiFlash, {1, {1}}, image_, "both"}});
  }
  void Arm(const std::string& answer) {
    EditCodec("codec", [&](sim::Codec& c) {
      std::map<std::uint32_t, std::uint8_t> stuck;
      std::string error;
      EXPECT_TRUE(sim::ApplyFaultSpec("signature=" + answer, c.Faults(), stuck, error)) << error;
    });
  }
  int Update(int& status) {
    EXPECT_TRUE(flow_->DEV_OpenDeviceByVIDPID());
    flow_->MP_GetDeviceInfo();
    flow_->PrepareJobFlags();
    flow_->download.image = Image("VMC2270", "6.003.0000-0000.0001");
    flow_->download.SignatureCheckFlag = 1;
    return flow_->FF_UpdateEx_Standard(flow_->download.image, status);
  }
  std::vector<std::uint8_t> FlashAt(std::uint32_t address, std::uint32_t n) {
    std::vector<std::uint8_t> out(n);
    EXPECT_EQ(DevLib_SpiRead(flow_->m_hDevice, address, n, out.data(), 0), 1);
    return out;
  }
  std::vector<std::uint8_t> image_;
};

// The rejected image (in the bank after its first 64 KiB) loses its tag and
// header; the old image at 0 stays whole and starts again.
TEST_F(SignatureCheck, ABadSignatureInvalidatesTheRejectedImageAndFails) {
  int status = 0;
  Arm("04");
  EXPECT_EQ(Update(status), 0);
  EXPECT_EQ(status, kStsEcdsaCheckFail);
  EXPECT_EQ(FlashAt(0x10000 + 0xEFFE, 4), std::vector<std::uint8_t>(4, 0x00));
  EXPECT_EQ(FlashAt(0xEFFE, 4), std::vector<std::uint8_t>(image_.begin() + 0xEFFE, image_.begin() + 0xF002));
  auto bench = Saved();
  const sim::Codec& codec = *bench->Find("codec");
  const sim::BootDecision boot = sim::DecideBoot(*sim::FindChip("VMC2270"), codec.Memory());
  EXPECT_TRUE(boot.starts);
  EXPECT_EQ(boot.imageStart, 0u);
  EXPECT_EQ(boot.version, (sim::FirmwareVersion{6, 0, 2, 0, 0, 1}));
}

TEST_F(SignatureCheck, NoAnswerEndsAfterEightQueries) {
  Arm("01");
  auto& clock = static_cast<sim::SimHost&>(*host_).Clock();
  int status = 0;
  const std::uint64_t before = clock.NowMs();
  EXPECT_EQ(Update(status), 0);  // busy every time: 8 queries 5 s apart
  EXPECT_EQ(status, kStsEcdsaCheckFail);
  EXPECT_GE(clock.NowMs() - before, 8u * 5000u);
}

TEST_F(SignatureCheck, AGoodSignatureLeavesTheUpdateToItsReboot) {
  int status = 0;
  Arm("02");
  EXPECT_EQ(Update(status), 1);
  EXPECT_EQ(status, 0);
}

}  // namespace
