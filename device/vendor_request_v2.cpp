#include "device/vendor_request_v2.h"

#include <cstring>
#include <vector>

#include "device/control_pipe.h"
#include "device/vendor_request_direct.h"
#include "platform/clock.h"

namespace {

constexpr std::uint8_t kOut = 0x40, kIn = 0xC0;

}  // namespace

std::int32_t CVendorRequestV2::Request(std::uint8_t type, std::uint8_t request, std::uint16_t value,
                                       std::uint16_t index, std::uint8_t* data, std::uint16_t length,
                                       std::uint32_t timeoutMs) {
  std::uint32_t transferred = 0;
  return platform::HResultFromWin32(
      pipe_.VendorRequest(type, request, value, index, data, length, timeoutMs, &transferred));
}

std::int32_t CVendorRequestV2::Pieces(std::uint8_t request, bool in, Form form, std::uint8_t low,
                                      std::uint32_t address, std::uint32_t length, std::uint8_t* buffer,
                                      ProgressCallback cb, void* user) {
  while (length > kVendorRequestPiece) {
    if (std::int32_t r = Pieces(request, in, form, low, address, kVendorRequestPiece, buffer, cb, user)) return r;
    address += kVendorRequestPiece;
    buffer += kVendorRequestPiece;
    length -= kVendorRequestPiece;
  }
  const std::uint16_t value = form == Form::Memory ? MemoryFormValue(address, length, low)
                                                   : std::uint16_t(((address >> 16) & 0xFF) << 8 | low);
  const std::int32_t r = Request(in ? kIn : kOut, request, value, std::uint16_t(address), buffer,
                                 std::uint16_t(length));
  if (r == 0 && cb) cb(user, length);
  return r;
}

std::int32_t CVendorRequestV2::GetDevStatus(std::uint32_t start, std::uint8_t* buffer, std::uint32_t count) {
  for (std::uint32_t w = 0; w * 8 < count; ++w) {
    std::uint8_t word[8] = {};
    if (std::int32_t r = Request(kIn, 0x07, std::uint8_t(start + w), 0, word, 8)) return r;
    std::memcpy(buffer + w * 8, word, count - w * 8 < 8 ? count - w * 8 : 8);
  }
  return 0;
}

std::int32_t CVendorRequestV2::ResetToUpdateFW(std::uint16_t a) { return Request(kOut, 0x20, a & 0xFF, 0, nullptr, 0); }
std::int32_t CVendorRequestV2::ResetToUpdateFW2(std::uint16_t a) { return Request(kOut, 0x21, a & 0xFF, 0, nullptr, 0); }
std::int32_t CVendorRequestV2::ResetToRom() { return Request(kOut, 0x22, 0, 0, nullptr, 0); }

std::int32_t CVendorRequestV2::ReadIMem(std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback cb, void* u) {
  return Pieces(0x23, true, Form::Memory, 0, a, n, b, cb, u);
}
std::int32_t CVendorRequestV2::ReadMem(std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback cb, void* u) {
  return Pieces(0x25, true, Form::Memory, 0, a, n, b, cb, u);
}
std::int32_t CVendorRequestV2::WriteMem(std::uint32_t a, std::uint32_t n, const std::uint8_t* b, ProgressCallback cb,
                                        void* u) {
  return Pieces(0x24, false, Form::Memory, 0, a, n, const_cast<std::uint8_t*>(b), cb, u);
}
std::int32_t CVendorRequestV2::ReadCode(std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback cb, void* u) {
  return Pieces(0x26, true, Form::Memory, 0, a, n, b, cb, u);
}
std::int32_t CVendorRequestV2::ReadPhy(std::uint32_t a, std::uint32_t n, std::uint8_t* b) {
  if (n > 0xFFFF) return platform::kEInvalidArg;
  return Request(kIn, 0x27, MemoryFormValue(a, n, 0), std::uint16_t(a), b, std::uint16_t(n));
}
std::int32_t CVendorRequestV2::WritePhy(std::uint32_t a, std::uint32_t n, const std::uint8_t* b) {
  if (n > 0xFFFF) return platform::kEInvalidArg;
  return Request(kOut, 0x28, MemoryFormValue(a, n, 0), std::uint16_t(a), const_cast<std::uint8_t*>(b),
                 std::uint16_t(n));
}
std::int32_t CVendorRequestV2::EraseFlash() { return Request(kOut, 0x29, 0, 0, nullptr, 0); }
std::int32_t CVendorRequestV2::NorFlash_Read(std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback cb,
                                             void* u) {
  return Pieces(0x2B, true, Form::Memory, 0, a, n, b, cb, u);
}
std::int32_t CVendorRequestV2::WriteFlash(std::uint32_t a, std::uint32_t n, const std::uint8_t* b, ProgressCallback cb,
                                          void* u) {
  return Pieces(0x2A, false, Form::Memory, 0, a, n, const_cast<std::uint8_t*>(b), cb, u);
}
std::int32_t CVendorRequestV2::NorFlash_WriteTag() { return Request(kOut, 0x2C, 0, 0, nullptr, 0); }

std::int32_t CVendorRequestV2::SPI_SF_ReadID(std::uint8_t* id) { return Request(kIn, 0x2D, 0, 0, id, 8); }
std::int32_t CVendorRequestV2::SPI_SF_Read(std::uint32_t a, std::uint32_t n, std::uint8_t* b, std::uint8_t mode,
                                           ProgressCallback cb, void* u) {
  return Pieces(0x2E, true, Form::Spi, mode, a, n, b, cb, u);
}
std::int32_t CVendorRequestV2::SPI_SF_Write(std::uint32_t a, std::uint32_t n, const std::uint8_t* b,
                                            ProgressCallback cb, void* u) {
  return Pieces(0x2F, false, Form::Spi, 0, a, n, const_cast<std::uint8_t*>(b), cb, u);
}
std::int32_t CVendorRequestV2::SPI_SF_ReadSr(std::uint8_t& status) {
  std::uint8_t value = 0;
  const std::int32_t r = Request(kIn, 0x30, 0, 0, &value, 1);
  if (r == 0) status = value;
  return r;
}
std::int32_t CVendorRequestV2::SPI_SF_WriteSr(std::uint8_t status) { return Request(kOut, 0x31, 0, 0, &status, 1); }
std::int32_t CVendorRequestV2::SPI_SF_EraseChip(std::uint32_t timeLimitMs) {
  return Request(kOut, 0x32, 0, 0, nullptr, 0, timeLimitMs);
}
std::int32_t CVendorRequestV2::SPI_SF_EraseSector(std::uint32_t address, std::uint32_t sectorSize) {
  if (sectorSize == 0 || address % sectorSize != 0) return platform::kEInvalidArg;
  return Request(kOut, 0x33, MemoryFormValue(address, 0, 0), std::uint16_t(address), nullptr, 0);
}
std::int32_t CVendorRequestV2::SPI_SF_EraseBlock(std::uint32_t address, std::uint32_t blockSize, bool wait) {
  if (blockSize == 0 || address % blockSize != 0) return platform::kEInvalidArg;
  if (std::int32_t r = Request(kOut, 0x35, MemoryFormValue(address, 0, 0), std::uint16_t(address), nullptr, 0))
    return r;
  if (!wait) return 0;
  // A block erase takes a fraction of a second: its end is asked for every
  // 50 ms, within the same 10 s (20 times 500 ms) after which it counts as done.
  constexpr std::uint32_t kPollMs = 50, kLimitMs = 20 * 500;
  for (std::uint32_t waited = 0; waited < kLimitMs; waited += kPollMs) {
    std::uint8_t done = 0;
    if (std::int32_t r = Request(kIn, 0x36, 0, 0, &done, 1)) return r;
    if (done != 0) return 0;
    clock_.SleepMs(kPollMs);
  }
  return 0;
}
std::int32_t CVendorRequestV2::SPI_SF_WriteTag() { return Request(kOut, 0x34, 0, 0, nullptr, 0); }

std::int32_t CVendorRequestV2::Fill(std::uint32_t count, std::uint8_t request, std::uint8_t low) {
  std::vector<std::uint8_t> ones(count, 0xFF);
  return Pieces(request, false, Form::Memory, low, 0, count, ones.data(), nullptr, nullptr);
}

std::int32_t CVendorRequestV2::I2C_EEP8_Erase(std::uint32_t count) { return Fill(count, 0x36, 0); }
std::int32_t CVendorRequestV2::I2C_EEP8_Read(std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback cb,
                                             void* u) {
  return Pieces(0x35, true, Form::Memory, 0, a, n, b, cb, u);
}
std::int32_t CVendorRequestV2::I2C_EEP8_Write(std::uint32_t a, std::uint32_t n, const std::uint8_t* b,
                                              ProgressCallback cb, void* u) {
  return Pieces(0x36, false, Form::Memory, 0, a, n, const_cast<std::uint8_t*>(b), cb, u);
}
std::int32_t CVendorRequestV2::I2C_EEP8_WriteTag() {
  const std::uint8_t tag = 0xA5;
  return I2C_EEP8_Write(1, 1, &tag, nullptr, nullptr);
}
std::int32_t CVendorRequestV2::I2C_EEP16_Erase(std::uint32_t count) { return Fill(count, 0x38, 0); }
std::int32_t CVendorRequestV2::I2C_EEP16_Read(std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback cb,
                                              void* u) {
  return Pieces(0x37, true, Form::Memory, 0, a, n, b, cb, u);
}
std::int32_t CVendorRequestV2::I2C_EEP16_Write(std::uint32_t a, std::uint32_t n, const std::uint8_t* b,
                                               ProgressCallback cb, void* u) {
  return Pieces(0x38, false, Form::Memory, 0, a, n, const_cast<std::uint8_t*>(b), cb, u);
}
std::int32_t CVendorRequestV2::I2C_EEP16_WriteTag() {
  const std::uint8_t tag = 0xA5;
  return I2C_EEP16_Write(1, 1, &tag, nullptr, nullptr);
}
std::int32_t CVendorRequestV2::I2C_EEP_Erase(std::uint32_t count) { return Fill(count, 0x3A, 3); }
std::int32_t CVendorRequestV2::I2C_EEP_Read(std::uint32_t a, std::uint32_t n, std::uint8_t* b, std::uint8_t,
                                            ProgressCallback cb, void* u) {
  return Pieces(0x39, true, Form::Memory, 0, a, n, b, cb, u);
}
std::int32_t CVendorRequestV2::I2C_EEP_Write(std::uint32_t a, std::uint32_t n, const std::uint8_t* b,
                                             std::uint8_t width, ProgressCallback cb, void* u) {
  return Pieces(0x3A, false, Form::Memory, width, a, n, const_cast<std::uint8_t*>(b), cb, u);
}
std::int32_t CVendorRequestV2::I2C_EEP_WriteTag() {
  const std::uint8_t tag = 0xA5;
  return I2C_EEP_Write(1, 1, &tag, 3, nullptr, nullptr);
}

std::int32_t CVendorRequestV2::I2CRead(std::uint8_t width, std::uint32_t reg, std::uint16_t& value) {
  std::uint8_t two[2] = {};
  const std::int32_t r =
      Request(kIn, 0x50, std::uint16_t(((reg >> 16) & 0x0F) << 8), std::uint16_t(reg), two, 2);
  if (r == 0) value = width == 1 ? two[0] : std::uint16_t(two[0] | two[1] << 8);
  return r;
}
std::int32_t CVendorRequestV2::I2CWrite(std::uint8_t width, std::uint32_t reg, std::uint16_t value) {
  std::uint8_t two[2] = {std::uint8_t(value), width == 1 ? std::uint8_t(0) : std::uint8_t(value >> 8)};
  return Request(kOut, 0x51, std::uint16_t(((reg >> 16) & 0x0F) << 8), std::uint16_t(reg), two, 2);
}

std::int32_t CVendorRequestV2::I2CGenRead(std::uint8_t slave, std::uint32_t n, std::uint8_t* b) {
  return Pieces(0x3D, true, Form::Memory, 0, slave, n, b, nullptr, nullptr);
}
std::int32_t CVendorRequestV2::I2CGenWrite(std::uint8_t slave, std::uint32_t n, const std::uint8_t* b) {
  return Pieces(0x3E, false, Form::Memory, 0, slave, n, const_cast<std::uint8_t*>(b), nullptr, nullptr);
}
std::int32_t CVendorRequestV2::I2CRandomRead(std::uint8_t slave, std::uint32_t n, std::uint8_t* b) {
  return Pieces(0x59, true, Form::Memory, 0, slave, n, b, nullptr, nullptr);
}
std::int32_t CVendorRequestV2::I2CRandomWrite(std::uint8_t slave, std::uint32_t n, const std::uint8_t* b) {
  return Pieces(0x58, false, Form::Memory, 0, slave, n, const_cast<std::uint8_t*>(b), nullptr, nullptr);
}

std::int32_t CVendorRequestV2::VendorModeSet(std::uint32_t) { return Request(kOut, 0x70, 5, 0, nullptr, 0); }

std::int32_t CVendorRequestV2::VendorQuery(std::uint32_t value, std::uint8_t* buffer, std::uint32_t& count) {
  if (count > 0xFFFF) return platform::kEInvalidArg;
  std::uint32_t transferred = 0;
  const std::int32_t r = platform::HResultFromWin32(pipe_.VendorRequest(
      kIn, 0x70, std::uint16_t(value & 0xFF), 0, buffer, std::uint16_t(count), kVendorRequestTimeoutMs, &transferred));
  if (r == 0) count = transferred;
  return r;
}

std::int32_t CVendorRequestV2::ReadOneByte(std::uint8_t& value) { return Request(kIn, 0x06, 0, 0, &value, 1); }
std::int32_t CVendorRequestV2::SendByteCommand(std::uint8_t value) { return Request(kOut, 0x10, value, 0, nullptr, 0); }
