// What the chip does for each operation, whichever channel carried it.
#include <algorithm>
#include <cstring>

#include "sim/codec.h"
#include "sim/timing_model.h"

namespace sim {

namespace {

constexpr std::uint8_t kSignature[8] = {'M', 'O', 'R', 'V', 'A', 'N', 'E', 0};
// The serial flash's identification: maker code, type, capacity (2^19 bytes).
constexpr std::uint8_t kFlashId[8] = {0x3C, 0x40, 0x13, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr std::uint8_t kTag[2] = {0x55, 0xAA};
constexpr std::uint32_t kSectorSize = 0x1000;
constexpr std::uint32_t kBlockSize = 0x10000;
constexpr std::size_t kOtpFailReportSlots = 9;
constexpr std::uint8_t kOtpLockBit = 0x08;

// SPI controller registers: start/status, opcode and a 24-bit address.
constexpr std::uint16_t kRegSpiOpcode = 0xFCE8;
constexpr std::uint16_t kRegSpiAddress = 0xFCE9;
constexpr std::uint8_t kSpiStart = 0x82, kSpiDone = 0x40, kSpiError = 0x08;

bool FlashOp(Op op) {
  switch (op) {
    case Op::kNorErase: case Op::kNorRead: case Op::kNorWrite: case Op::kNorWriteTag:
    case Op::kSpiRead: case Op::kSpiWrite: case Op::kSpiEraseChip: case Op::kSpiEraseSector:
    case Op::kSpiEraseBlock: case Op::kSpiWriteTag:
      return true;
    default:
      return false;
  }
}

bool OtpOp(Op op) {
  switch (op) {
    case Op::kOtpWrite: case Op::kOtpRead: case Op::kOtpBlankCheck: case Op::kOtpAllBlankCheck:
    case Op::kOtpFailReport: case Op::kOtpTestDec: case Op::kOtpWriteSt:
      return true;
    default:
      return false;
  }
}

std::uint64_t PagesTouched(std::uint32_t address, std::uint32_t n, std::uint32_t page) {
  return n == 0 ? 0 : (address + n - 1) / page - address / page + 1;
}

}  // namespace

void Codec::ChargeMemoryTime(std::uint64_t us) {
  chargedUs_ += us;
  counters_.memoryTimeUs += us;
  clock_->AdvanceUs(us);
}

// Block and sector erases run on in the flash after their command: the status
// register shows busy and the flash takes no other command until it ends.
void Codec::StartErase(std::uint64_t us) {
  flashBusyUntilUs_ = eraseBusyUntilUs_ = clock_->NowUs() + us;
  counters_.memoryTimeUs += us;
}

// The codec's firmware waits for the flash to finish what it does before it
// sends the next command to it.
void Codec::WaitFlashReady() {
  const std::uint64_t now = clock_->NowUs();
  if (flashBusyUntilUs_ > now) ChargeMemoryTime(flashBusyUntilUs_ - now);
}

bool Codec::PinDrivenLow(const GpioPin& pin) const {
  return (xdata_[pin.direction] & pin.bit) && !(xdata_[pin.output] & pin.bit);
}

// WP# is pulled up while the codec does not drive it.
bool Codec::FlashWpPinHigh() const { return !PinDrivenLow(chip_->flashWriteProtect); }

// The EEPROM's WP is pulled up (protected) unless the codec drives the pin
// that its chip wires to it low; the other pin reaches nothing.
bool Codec::EepromWritable() const { return PinDrivenLow(chip_->eepromWriteProtect); }

std::uint8_t Codec::ReadCodeByte(std::uint32_t address) const {
  std::uint8_t value = memory_.Read(address);
  auto flip = faults_.flipOnRead.find(address);
  if (flip != faults_.flipOnRead.end()) value ^= flip->second;
  return value;
}

std::uint8_t Codec::ReadRegister(std::uint16_t address) const { return xdata_[address]; }

void Codec::WriteRegister(std::uint16_t address, std::uint8_t value) {
  if (address == kRegChipId || address == kRegChipId + 1 || address == kRegModeByte) return;  // read-only
  xdata_[address] = value;
  if (address == kRegSpiControl && value == kSpiStart) RunSpiController();
  if (address == kRegSpiControl && value == 0x04) xdata_[address] = 0;  // controller reset
}

// The SPI controller runs the erase command set up in its registers.
void Codec::RunSpiController() {
  const std::uint8_t opcode = xdata_[kRegSpiOpcode];
  const std::uint32_t address = xdata_[kRegSpiAddress] | (xdata_[kRegSpiAddress + 1] << 8) |
                                (std::uint32_t(xdata_[kRegSpiAddress + 2]) << 16);
  struct Erase {
    std::uint8_t opcode;
    std::uint32_t size;
    std::uint64_t us;
  };
  static constexpr Erase kErases[] = {{0x20, kSectorSize, TimingModel::kFlashSectorEraseUs},
                                      {0x52, 0x8000, TimingModel::kFlashBlockEraseUs},
                                      {0xD8, kBlockSize, TimingModel::kFlashBlockEraseUs},
                                      {0xC7, 0, TimingModel::kFlashChipEraseUs},
                                      {0x60, 0, TimingModel::kFlashChipEraseUs}};
  for (const Erase& erase : kErases) {
    if (erase.opcode != opcode) continue;
    if (IsFlash(memory_.Kind())) {
      WaitFlashReady();
      const std::uint32_t size = erase.size ? erase.size : memory_.Size();
      memory_.Erase(erase.size ? address / size * size : 0, size);
      ChargeMemoryTime(erase.us);
    }
    xdata_[kRegSpiControl] = kSpiDone;
    return;
  }
  xdata_[kRegSpiControl] = kSpiDone | kSpiError;
}

std::uint8_t Codec::Begin(const OpRequest& request) {
  const Op op = request.op;
  const MemoryKind kind = memory_.Kind();
  if (OtpOp(op) && kind != MemoryKind::kOtp) return kStsHardwareError;
  if ((op == Op::kEep8Read || op == Op::kEep8Write) && kind != MemoryKind::kEeprom8) return kStsHardwareError;
  if ((op == Op::kEep16Read || op == Op::kEep16Write) && kind != MemoryKind::kEeprom16) return kStsHardwareError;
  if ((op == Op::kEepRead || op == Op::kEepWrite) && !IsEeprom(kind)) return kStsHardwareError;
  if (op == Op::kStatusWords && request.address * 8 + request.length > kStatusWordCount * 8) return kStsOutOfRange;
  if ((op == Op::kOtpWrite || op == Op::kOtpWriteSt)) {
    if (xdata_[kRegOtpLock] & kOtpLockBit) return kStsHardwareError;
    otpFailures_.clear();
  }
  // Without a flash on its SPI bus the codec's commands reach nothing.
  if (FlashOp(op) && !IsFlash(kind)) return kStsDone;
  // A flash busy erasing takes no command but a status read; the codec
  // answers that the command did not finish.
  if (FlashOp(op) && clock_->NowUs() < eraseBusyUntilUs_) return kStsNotFinish;

  switch (op) {
    case Op::kNorErase:
    case Op::kSpiEraseChip:
      // The codec's firmware holds the request until the chip erase ends.
      WaitFlashReady();
      memory_.Erase(0, memory_.Size());
      ChargeMemoryTime(TimingModel::kFlashChipEraseUs);
      break;
    case Op::kSpiEraseSector:
      if (request.address % kSectorSize) return kStsOutOfRange;
      WaitFlashReady();
      memory_.Erase(request.address, kSectorSize);
      StartErase(TimingModel::kFlashSectorEraseUs);
      break;
    case Op::kSpiEraseBlock:
      if (request.address % kBlockSize) return kStsOutOfRange;
      WaitFlashReady();
      memory_.Erase(request.address, kBlockSize);
      StartErase(TimingModel::kFlashBlockEraseUs);
      break;
    case Op::kNorWriteTag:
    case Op::kSpiWriteTag:
      WaitFlashReady();
      memory_.Program(chip_->tagAddress, kTag, sizeof kTag);
      ChargeMemoryTime(TimingModel::kFlashPageProgramUs);
      break;
    default:
      break;
  }
  return kStsDone;
}

std::uint8_t Codec::Read(const OpRequest& request, std::uint32_t offset, std::uint8_t* out, std::uint32_t n) {
  const std::uint32_t at = request.address + offset;
  const bool flash = IsFlash(memory_.Kind());
  for (std::uint32_t i = 0; i < n; ++i) {
    const std::uint32_t a = at + i;
    const std::uint32_t o = offset + i;
    std::uint8_t value = 0;
    switch (request.op) {
      case Op::kStatusWords: value = StatusWords()[request.address * 8 + o]; break;
      case Op::kSignature: value = o < 8 ? kSignature[o] : 0; break;
      case Op::kOneByte: value = ModeByte(); break;
      case Op::kReadIMem: value = imem_[a & 0xFF]; break;
      case Op::kReadMem: value = ReadRegister(static_cast<std::uint16_t>(a)); break;
      case Op::kReadCode: value = ReadCodeByte(a & 0xFFFF); break;
      case Op::kReadPhy: value = phy_[a & 0xFF]; break;
      case Op::kNorRead:
      case Op::kSpiRead: value = flash ? ReadCodeByte(request.op == Op::kNorRead ? a & 0xFFFFF : a) : 0xFF; break;
      case Op::kSpiReadId: value = o < 8 ? kFlashId[o] : 0; break;
      case Op::kSpiReadStatus:
        value = flash ? memory_.Status() | (clock_->NowUs() < flashBusyUntilUs_ ? kSrBusy : 0) : 0xFF;
        break;
      case Op::kSpiEraseBlockPoll: value = clock_->NowUs() < flashBusyUntilUs_ ? 0 : 1; break;
      case Op::kEep8Read:
      case Op::kEep16Read:
      case Op::kEepRead:
      case Op::kOtpRead: value = ReadCodeByte(a); break;
      case Op::kOtpTestDec: value = ReadCodeByte(a); break;
      case Op::kOtpBlankCheck: value = memory_.Read(a) == 0 ? 0x00 : 0x01; break;
      case Op::kOtpAllBlankCheck: {
        bool blank = true;
        for (std::uint32_t b = request.address; b < memory_.Size(); ++b) blank &= memory_.Read(b) == 0;
        value = o == 0 ? (blank ? 0x01 : 0x00) : 0;
        break;
      }
      case Op::kOtpFailReport: {
        // Count, then the failed addresses high byte first.
        const std::size_t count = std::min(otpFailures_.size(), kOtpFailReportSlots);
        if (o == 0) {
          value = static_cast<std::uint8_t>(count);
        } else if ((o - 1) / 2 < count) {
          const std::uint32_t failed = otpFailures_[(o - 1) / 2];
          value = static_cast<std::uint8_t>((o - 1) % 2 == 0 ? failed >> 8 : failed);
        }
        break;
      }
      case Op::kVendorQuery:  // the image-signature check
        value = o == 0 ? std::uint8_t(faults_.signatureAnswer >= 0 ? faults_.signatureAnswer : 0x02) : 0;
        break;
      default: return kStsErrDir;
    }
    out[i] = value;
  }
  return kStsDone;
}

std::uint8_t Codec::Write(const OpRequest& request, std::uint32_t offset, const std::uint8_t* in, std::uint32_t n) {
  const std::uint32_t at = request.address + offset;
  const bool flash = IsFlash(memory_.Kind());
  switch (request.op) {
    case Op::kWriteMem:
      for (std::uint32_t i = 0; i < n; ++i) WriteRegister(static_cast<std::uint16_t>(at + i), in[i]);
      break;
    case Op::kWritePhy:
      for (std::uint32_t i = 0; i < n; ++i) phy_[(at + i) & 0xFF] = in[i];
      break;
    case Op::kNorWrite:
    case Op::kSpiWrite:
      if (!flash) break;
      WaitFlashReady();
      memory_.Program(request.op == Op::kNorWrite ? at & 0xFFFFF : at, in, n);
      ChargeMemoryTime(PagesTouched(at, n, 256) * TimingModel::kFlashPageProgramUs);
      break;
    case Op::kSpiWriteStatus:
      if (!flash || n == 0) break;
      WaitFlashReady();
      if (memory_.WriteStatus(in[0], FlashWpPinHigh())) {
        flashBusyUntilUs_ = clock_->NowUs() + TimingModel::kFlashStatusWriteUs;
      }
      break;
    case Op::kEep8Write:
    case Op::kEep16Write:
    case Op::kEepWrite: {
      // A protected EEPROM acknowledges and keeps its content.
      if (EepromWritable()) memory_.Store(at, in, n);
      const std::uint32_t page = memory_.Kind() == MemoryKind::kEeprom8 ? 16 : 64;
      ChargeMemoryTime(PagesTouched(at, n, page) * TimingModel::kEepromPageWriteUs);
      break;
    }
    case Op::kOtpWrite:
    case Op::kOtpWriteSt:
      // The chip corrects as many failed bytes as the write allows and gives
      // up on the rest of the write after one more.
      memory_.ProgramOtp(at, in, n, otpFailures_, request.parameter);
      ChargeMemoryTime(n * TimingModel::kOtpByteProgramUs);
      break;
    default:
      return kStsErrDir;
  }
  return kStsDone;
}

}  // namespace sim
