// OTP programming on a simulated codec with OTP code memory: blocks appended
// with their VD entries, the space limits, failed bytes repaired through the
// ECC table, failed table writes, retired entries, interrupted writes, and a
// lifetime of downloads until the OTP is full. Table bytes are written out by
// hand: VD entries {start hi, lo, length hi, lo, flag}, ECC entries
// {address hi, lo, value, 0x5A}.
#include <gtest/gtest.h>

#include "app/status_codes.h"
#include "flow/flash_front_end.h"
#include "flow/job_flags.h"
#include "flow/otp_front_end.h"
#include "flow/otp_image.h"
#include "flow/otp_layout.h"
#include "platform/prompter.h"
#include "tests/flow/flow_bench_fixture.h"
#include "tests/support/image_fixtures.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kVd = 0x3F70;
constexpr std::uint32_t kEcc1 = 0x3FC0;  // ECC entry 1
constexpr std::uint32_t kCodePartSize = 0x123;  // header, leading records, the code record: version at 0x11B

class OtpBench : public BenchFixture {
 protected:
  void Opened() override {
    flow_ = dynamic_cast<COTPInfo_USB*>(CurrentFlow());
    ASSERT_NE(flow_, nullptr);
  }
  // A codec with this OTP content and these stuck bits, opened in its boot ROM.
  void StartWith(Bytes otp = Bytes(0x4000, 0x00), const std::map<std::uint32_t, std::uint8_t>& stuck = {}) {
    memoryType_ = 6;
    otp.resize(0x4000, 0x00);
    Start({CodecSpec{"codec", "VMC2232", sim::MemoryKind::kOtp, {1, {1}}, otp, "both"}});
    if (!stuck.empty()) EditCodec("codec", [&](sim::Codec& c) { c.Memory().StuckBits() = stuck; });
    ASSERT_TRUE(flow_->DEV_OpenDeviceByVIDPID());
    flow_->MP_GetDeviceInfo();
    flow_->PrepareJobFlags();
    ASSERT_EQ(flow_->MP_OpenRomDevice(), 1);
  }
  static Bytes Sample(const std::string& version) { return Image("VMC2232", version, SampleMemory::kOtp); }
  static Bytes Part(const Bytes& image, otp::PartKind kind) {
    Bytes part;
    EXPECT_EQ(otp::SplitImage(image, kind, part), otp::Split::kMade);
    return part;
  }
  // One block write as a download makes it.
  int Block(const Bytes& data, CMpFlow_OTP::DownloadKind kind = CMpFlow_OTP::DownloadKind::kCode) {
    flow_->downloadKind = kind;
    LastStatusCode = 0;
    return flow_->OTP_UpdateEx_Cmd2(data);
  }
  static void PutVd(Bytes& otp, int index, std::uint16_t start, std::uint16_t length, std::uint8_t flag) {
    const std::uint32_t at = kVd + 5 * index;
    otp[at] = start >> 8, otp[at + 1] = start & 0xFF, otp[at + 2] = length >> 8, otp[at + 3] = length & 0xFF;
    otp[at + 4] = flag;
  }
  static Bytes At(const Bytes& memory, std::uint32_t address, std::size_t n) {
    return Bytes(memory.begin() + address, memory.begin() + address + n);
  }

  COTPInfo_USB* flow_ = nullptr;
};

TEST_F(OtpBench, ADownloadAppendsTheCodeAndConfigurationBlocksAndStartsTheCode) {
  StartWith();
  const Bytes image = Sample("4.120.0000-0000.0001");
  flow_->download.image = image;
  ASSERT_EQ(flow_->Download(), 1) << LastStatusCode;
  EXPECT_EQ(LastStatusCode, 0);
  const Bytes memory = CodeMemory("codec");
  const std::size_t total = image[3] | image[4] << 8;  // header, leading records, code record 0x114, the rest
  const std::size_t config = total - 0x114;
  EXPECT_EQ(At(memory, 0, kCodePartSize), Part(image, otp::PartKind::kCode));
  EXPECT_EQ(At(memory, 0, 6), (Bytes{0x60, 0xA5, 24 << 3 | 3, 0x23, 0x01, 0x03}));  // part code 3, its length
  EXPECT_EQ(At(memory, kCodePartSize, config), Part(image, otp::PartKind::kConfig));
  // The configuration's entry first, the code's last: the code starts only
  // once its configuration is there.
  EXPECT_EQ(At(memory, kVd, 10), (Bytes{0x01, 0x23, std::uint8_t(config >> 8), std::uint8_t(config), 0xAA, 0x00,
                                        0x00, 0x01, 0x23, 0x55}));
  EXPECT_EQ(At(memory, kEcc1, 64), Bytes(64, 0x00)) << "no repair was needed";
  EXPECT_EQ(flow_->download.image, image) << "the job keeps its image whole";
  EXPECT_EQ(Running(), (sim::FirmwareVersion{4, 1, 0x20, 0, 0, 1}));
}

TEST_F(OtpBench, FifteenUsedVdEntriesTakeOneMoreBlockAndSixteenNone) {
  Bytes otp(0x4000, 0x00);
  for (int i = 0; i < 15; ++i) PutVd(otp, i, std::uint16_t(0x20 * i), 0x20, 0xFF);
  StartWith(otp);
  const Bytes code = Part(Sample("4.120.0000-0000.0001"), otp::PartKind::kCode);
  ASSERT_EQ(Block(code), 1) << flow_->failureStatus;
  Bytes memory = CodeMemory("codec");
  EXPECT_EQ(At(memory, kVd + 75, 5), (Bytes{0x01, 0xE0, 0x01, 0x23, 0x55}));

  RecordingPrompter prompter;
  platform::SetCurrentPrompter(&prompter);
  EXPECT_EQ(Block(code), 0);
  platform::SetCurrentPrompter(nullptr);
  EXPECT_EQ(LastStatusCode, kStsNotEnoughVdBlock);
  EXPECT_EQ(prompter.shown, std::vector<std::string>{"Error: No Available VD Block!"});
  EXPECT_EQ(CodeMemory("codec"), memory) << "nothing was written";
}

TEST_F(OtpBench, ADownloadOfTwoBlocksIsRefusedBeforeAnyWriteWhenOnlyOneEntryOrTooLittleSpaceIsLeft) {
  const Bytes image = Sample("4.120.0000-0000.0001");
  const std::uint32_t both = otp::DownloadFootprint(image).bytes;
  struct Case {
    const char* what;
    int used;              // VD entries already used, 0x20 bytes each
    std::uint16_t filler;  // and one more used entry of this length behind them
    int status;
  };
  for (const Case& c : {Case{"one free entry", 15, 0, kStsNotEnoughVdBlock},
                        Case{"room for one block", 1, std::uint16_t(0x3F60 - 0x20 - both + 1), kStsCodeExceedMaxLength}}) {
    SCOPED_TRACE(c.what);
    Bytes otp(0x4000, 0x00);
    for (int i = 0; i < c.used; ++i) PutVd(otp, i, std::uint16_t(0x20 * i), 0x20, 0xFF);
    if (c.filler) PutVd(otp, c.used, std::uint16_t(0x20 * c.used), c.filler, 0xFF);
    StartWith(otp);
    const Bytes before = CodeMemory("codec");
    RecordingPrompter prompter;
    platform::SetCurrentPrompter(&prompter);
    flow_->download.image = image;
    EXPECT_EQ(flow_->Download(), 0);
    platform::SetCurrentPrompter(nullptr);
    EXPECT_EQ(LastStatusCode, c.status);
    EXPECT_EQ(CodeMemory("codec"), before) << "nothing was written";
    TearDown();
  }
}

TEST_F(OtpBench, ABlockMayEndAt16224AndNotOneByteLater) {
  const Bytes code = Part(Sample("4.120.0000-0000.0001"), otp::PartKind::kCode);
  for (const int over : {1, 0}) {
    SCOPED_TRACE(over ? "ending at 16225" : "ending at 16224");
    Bytes otp(0x4000, 0x00);
    PutVd(otp, 0, 0, std::uint16_t(0x3F60 - code.size() + over), 0xFF);
    StartWith(otp);
    const Bytes before = CodeMemory("codec");
    if (over) {
      EXPECT_EQ(Block(code), 0);
      EXPECT_EQ(LastStatusCode, kStsCodeExceedMaxLength);
      EXPECT_EQ(CodeMemory("codec"), before) << "refused before anything is written";
    } else {
      EXPECT_EQ(Block(code), 1) << flow_->failureStatus;
      EXPECT_EQ(At(CodeMemory("codec"), 0x3F60 - kCodePartSize, kCodePartSize), code);
    }
    TearDown();
  }
}

TEST_F(OtpBench, EightFailedBytesAreRepairedAndTheCodeRunsThroughTheRepairs) {
  std::map<std::uint32_t, std::uint8_t> stuck;
  for (std::uint32_t a = 0; a < 8; ++a) stuck[a] = 0xFF;  // the first 8 bytes (header, leading record) never program
  StartWith({}, stuck);
  const Bytes image = Sample("4.120.0000-0000.0001");
  flow_->download.image = image;
  ASSERT_EQ(flow_->Download(), 1) << LastStatusCode;
  const Bytes memory = CodeMemory("codec");
  EXPECT_EQ(At(memory, 0, 8), Bytes(8, 0x00));
  const Bytes code = Part(image, otp::PartKind::kCode);
  for (std::uint32_t k = 0; k < 8; ++k)
    EXPECT_EQ(At(memory, kEcc1 + 4 * k, 4), (Bytes{0x00, std::uint8_t(k), code[k], 0x5A})) << "entry " << k + 1;
  EXPECT_EQ(Running(), (sim::FirmwareVersion{4, 1, 0x20, 0, 0, 1}));

  // The substitutions apply to what the flows read back.
  Bytes back(16);
  ASSERT_EQ(flow_->OTP_ReadEx_Cmd2(0, 16, back.data()), 1);
  EXPECT_EQ(At(back, 0, 8), Bytes(8, 0x00));
  ASSERT_EQ(flow_->MP_OTPGetCorrectCodeData(0, 16, back.data()), 1);
  EXPECT_EQ(back, At(code, 0, 16));
  EXPECT_EQ(flow_->OTP_Veriry_Cmd2(0, kCodePartSize, code.data()), 1);
}

TEST_F(OtpBench, NineFailedBytesInOneChunkFailAndTheNextDownloadStartsBehindTheBlock) {
  std::map<std::uint32_t, std::uint8_t> stuck;
  for (std::uint32_t a = 0; a < 9; ++a) stuck[a] = 0xFF;
  StartWith({}, stuck);
  const Bytes code = Part(Sample("4.120.0000-0000.0001"), otp::PartKind::kCode);
  EXPECT_EQ(Block(code), 0);
  EXPECT_EQ(LastStatusCode, kStsErrorNumExceed8);
  const Bytes memory = CodeMemory("codec");
  EXPECT_EQ(At(memory, kVd, 5), (Bytes{0x00, 0x00, 0x01, 0x23, 0xFF})) << "the failed block, over its whole length";
  EXPECT_EQ(At(memory, kEcc1, 64), Bytes(64, 0x00));

  EXPECT_EQ(Block(code), 1) << flow_->failureStatus;
  EXPECT_EQ(At(CodeMemory("codec"), kVd + 5, 5), (Bytes{0x01, 0x23, 0x01, 0x23, 0x55}));
}

TEST_F(OtpBench, AFailedEccEntryIsKilledAndTheNextFreeOneTakesTheRepair) {
  // Header byte 0x60 loses bit 0x20; the marker of ECC entry 1 loses bit 0x02.
  StartWith({}, {{0x0000, 0x20}, {kEcc1 + 3, 0x02}});
  const Bytes code = Part(Sample("4.120.0000-0000.0001"), otp::PartKind::kCode);
  ASSERT_EQ(Block(code), 1) << flow_->failureStatus;
  const Bytes memory = CodeMemory("codec");
  EXPECT_EQ(At(memory, kEcc1, 8), (Bytes{0xFF, 0xFF, 0xFF, 0xFD, 0x00, 0x00, 0x60, 0x5A}));
  EXPECT_EQ(memory[0], 0x40);
  ASSERT_EQ(flow_->MP_DoReset(kResetRom, 0), 1);
  EXPECT_EQ(Running(), (sim::FirmwareVersion{4, 1, 0x20, 0, 0, 1}));
}

TEST_F(OtpBench, AVdEntryRepairedByTheEccTableIsRetiredByTheScan) {
  Bytes otp(0x4000, 0x00);
  PutVd(otp, 0, 0x0000, 0x0100, 0x55);
  const Bytes repair = {0x3F, 0x72, 0x01, 0x5A};  // repairs the length's high byte of entry 0
  std::copy(repair.begin(), repair.end(), otp.begin() + kEcc1);
  StartWith(otp);
  const Bytes code = Part(Sample("4.120.0000-0000.0001"), otp::PartKind::kCode);
  ASSERT_EQ(Block(code), 1) << flow_->failureStatus;
  const Bytes memory = CodeMemory("codec");
  EXPECT_EQ(memory[kVd + 4], 0xFF) << "entry 0 retired through its flag";
  EXPECT_EQ(memory[kEcc1 + 3], 0xFF) << "its ECC entry retired through its marker";
  EXPECT_EQ(At(memory, kVd + 5, 5), (Bytes{0x00, 0x00, 0x01, 0x23, 0x55})) << "no valid block below: start 0";
}

TEST_F(OtpBench, BytesLeftByAnInterruptedWriteCountAsUsedAndTheNextDownloadGoesBehindThem) {
  Bytes otp(0x4000, 0x00);
  const Bytes image = Sample("4.120.0000-0000.0001");
  const Bytes code = Part(image, otp::PartKind::kCode), config = Part(image, otp::PartKind::kConfig);
  std::copy(code.begin(), code.begin() + 100, otp.begin());  // written without its VD entry, cut off at 100
  otp[300] = 0x01;  // a stray byte behind a gap: still inside the first blank-free window
  StartWith(otp);
  otp::Usage usage;
  ASSERT_EQ(flow_->MP_ReadOtpUsage(usage), 1);
  EXPECT_EQ(usage.used, 301u);
  EXPECT_EQ(Running(), sim::FirmwareVersion{}) << "the left-over block never starts";

  flow_->download.image = image;
  ASSERT_EQ(flow_->Download(), 1) << LastStatusCode;
  const Bytes memory = CodeMemory("codec");
  EXPECT_EQ(At(memory, 0, 100), At(code, 0, 100)) << "what was there stays";
  EXPECT_EQ(At(memory, 301, code.size()), code);
  EXPECT_EQ(At(memory, 301 + code.size(), config.size()), config);
  EXPECT_EQ(At(memory, kVd + 5, 5), (Bytes{0x01, 0x2D, 0x01, 0x23, 0x55}));
  EXPECT_EQ(Running(), (sim::FirmwareVersion{4, 1, 0x20, 0, 0, 1}));
}

TEST_F(OtpBench, ALockedOtpIsNotWritten) {
  StartWith();
  EditCodec("codec", [](sim::Codec& c) { c.DataMemory()[0xFD0C] |= 0x08; });
  ASSERT_TRUE(flow_->DEV_OpenDeviceByVIDPID());
  ASSERT_EQ(flow_->MP_OpenRomDevice(), 1);
  EditCodec("codec", [](sim::Codec& c) { c.DataMemory()[0xFD0C] |= 0x08; });  // the reset cleared it
  ASSERT_TRUE(flow_->DEV_OpenDeviceByVIDPID());
  EXPECT_EQ(Block(Part(Sample("4.120.0000-0000.0001"), otp::PartKind::kCode)), 0);
  EXPECT_EQ(LastStatusCode, kStsOtpLocked);
  EXPECT_EQ(CodeMemory("codec"), Bytes(0x4000, 0x00));
}

TEST_F(OtpBench, LowSpaceQuestionsAnsweredNoEndTheJobBeforeAnyWrite) {
  Bytes otp(0x4000, 0x00);
  for (int i = 0; i < 12; ++i) PutVd(otp, i, std::uint16_t(0x20 * i), 0x20, 0xFF);
  StartWith(otp);
  struct No final : platform::Prompter {
    platform::PromptAnswer Ask(const std::string& text, const std::string&, platform::PromptKind,
                               platform::PromptAnswer) override {
      asked.push_back(text);
      return platform::PromptAnswer::No;
    }
    std::vector<std::string> asked;
  } no;
  platform::SetCurrentPrompter(&no);
  EXPECT_EQ(Block(Part(Sample("4.120.0000-0000.0001"), otp::PartKind::kCode)), 0);
  platform::SetCurrentPrompter(nullptr);
  EXPECT_EQ(LastStatusCode, kStsWriteOtpFail);
  EXPECT_EQ(no.asked, std::vector<std::string>{"OTP VD Block Less than 4,\nContinue to Update!"});
  EXPECT_EQ(At(CodeMemory("codec"), kVd + 60, 5), Bytes(5, 0x00));
}

TEST_F(OtpBench, DownloadsWithRisingVersionsUntilTheOtpIsFull) {
  StartWith();
  std::uint32_t used = 0;
  for (int download = 1;; ++download) {
    SCOPED_TRACE("download " + std::to_string(download));
    char version[32];
    std::snprintf(version, sizeof version, "4.120.0000-0000.%04d", download);
    const Bytes image = Sample(version);
    ASSERT_TRUE(flow_->DEV_OpenDeviceByVIDPID());
    flow_->MP_GetDeviceInfo();
    flow_->download.image = image;
    LastStatusCode = 0;
    const int result = flow_->Download();
    otp::Usage usage;
    ASSERT_EQ(flow_->MP_ReadOtpUsage(usage), 1);
    if (download == 9) {  // two VD entries a download: the ninth finds none
      EXPECT_EQ(result, 0);
      EXPECT_EQ(LastStatusCode, kStsNotEnoughVdBlock);
      EXPECT_EQ(usage.used, used) << "nothing more was written";
      break;
    }
    ASSERT_EQ(result, 1) << LastStatusCode;
    used += std::uint32_t(image[3] | image[4] << 8) + 15;  // the two parts repeat the first 15 bytes
    EXPECT_EQ(usage.used, used);
    EXPECT_EQ(usage.free, 0x3F60 - used);
    EXPECT_EQ(usage.freeEntries, 16 - 2 * download);
    EXPECT_EQ(Running(), (sim::FirmwareVersion{4, 1, 0x20, 0, 0, std::uint16_t(download)}));
    // The older entries are retired: one code block and one configuration
    // block remain valid.
    const Bytes memory = CodeMemory("codec");
    int code = 0, config = 0;
    for (int i = 0; i < 16; ++i) {
      code += memory[kVd + 5 * i + 4] == 0x55 ? 1 : 0;
      config += memory[kVd + 5 * i + 4] == 0xAA ? 1 : 0;
    }
    EXPECT_EQ(code, 1);
    EXPECT_EQ(config, 1);
  }
}

// A boot-ROM chip whose flash stands in for OTP takes a 16 KB image in the
// OTP's layout.
TEST_F(BenchFixture, ASixteenKilobyteImageGoesIntoFlashInTheOtpLayout) {
  Start({CodecSpec{"codec", "VMC2232", sim::MemoryKind::kSpiFlash, {1, {1}}, {}, "both"}});
  auto* flow = dynamic_cast<CSPIFlashInfo_USB*>(CurrentFlow());
  ASSERT_NE(flow, nullptr);
  ASSERT_TRUE(flow->DEV_OpenDeviceByVIDPID());
  flow->MP_GetDeviceInfo();
  flow->PrepareJobFlags();
  ASSERT_EQ(flow->MP_OpenRomDevice(), 1);
  const Bytes sample = Image("VMC2232", "4.120.0000-0000.0001", SampleMemory::kOtp);
  Bytes image = sample;
  image.resize(0x4000, 0xFF);
  ASSERT_EQ(flow->FF_Update(image), 1) << LastStatusCode;

  const Bytes flash = CodeMemory("codec");
  Bytes code, config;
  otp::SplitImage(sample, otp::PartKind::kCode, code);
  otp::SplitImage(sample, otp::PartKind::kConfig, config);
  EXPECT_EQ(Bytes(flash.begin(), flash.begin() + std::ptrdiff_t(code.size())), code);
  EXPECT_EQ(Bytes(flash.begin() + std::ptrdiff_t(code.size()), flash.begin() + std::ptrdiff_t(code.size() + config.size())),
            config);
  EXPECT_EQ(Bytes(flash.begin() + 0x3F60, flash.begin() + 0x3FB6), Bytes(0x56, 0x00));
  EXPECT_EQ(Bytes(flash.begin() + 0x3FB6, flash.begin() + 0x3FC0),
            (Bytes{0x01, 0x23, std::uint8_t(config.size() >> 8), std::uint8_t(config.size()), 0xAA,  // entry 14
                   0x00, 0x00, 0x01, 0x23, 0x55}));                                                     // entry 15
  EXPECT_EQ(Saved()->Find("codec")->RunningVersion(), (sim::FirmwareVersion{4, 1, 0x20, 0, 0, 1}));

  Bytes noCode(0x4000, 0xFF);  // no code record: refused before the flash is touched
  std::copy(config.begin(), config.end(), noCode.begin());
  ASSERT_EQ(flow->MP_OpenRomDevice(), 1);
  EXPECT_EQ(flow->FF_Update(noCode), 0);
  EXPECT_EQ(LastStatusCode, kStsGetCodeSizeFail);
  EXPECT_EQ(CodeMemory("codec"), flash);
}

TEST(OtpImage, SplitsASampleIntoItsParts) {
  IniType = 0;
  Bytes image = BenchFixture::Image("VMC2232", "4.120.0000-0000.0001", SampleMemory::kOtp);
  Bytes code, config;
  ASSERT_EQ(otp::SplitImage(image, otp::PartKind::kCode, code), otp::Split::kMade);
  ASSERT_EQ(otp::SplitImage(image, otp::PartKind::kConfig, config), otp::Split::kMade);
  EXPECT_EQ(code.size(), kCodePartSize);
  EXPECT_EQ(Bytes(code.begin() + 0x11B, code.end()), (Bytes{0x41, 0x20, 0, 0, 0, 0, 0, 1})) << "the version record";
  const std::size_t total = image[3] | image[4] << 8;
  ASSERT_EQ(config.size(), total - 0x114);
  EXPECT_EQ(Bytes(config.begin() + 2, config.begin() + 6),
            (Bytes{24 << 3 | 1, std::uint8_t(config.size()), std::uint8_t(config.size() >> 8),
                   std::uint8_t(image[5] - 1)}));
  EXPECT_EQ(Bytes(config.begin() + 15, config.end()), Bytes(image.begin() + 15 + 0x114, image.begin() + total));

  // Without a code record the configuration part is the whole area.
  const Bytes eeprom = BenchFixture::Image("VMC2232", "4.120.0000-0000.0001", SampleMemory::kEeprom8);
  EXPECT_EQ(otp::SplitImage(eeprom, otp::PartKind::kCode, code), otp::Split::kAbsent);
  ASSERT_EQ(otp::SplitImage(eeprom, otp::PartKind::kConfig, config), otp::Split::kMade);
  EXPECT_EQ(config, Bytes(eeprom.begin(), eeprom.begin() + (eeprom[3] | eeprom[4] << 8)));
  EXPECT_EQ(otp::SplitImage(Bytes(64, 0xFF), otp::PartKind::kCode, code), otp::Split::kFailed);
}

}  // namespace
