#include "device/chip_registers.h"

#include <initializer_list>
#include <utility>

#include "device/vendor_cmd_common.h"
#include "platform/clock.h"

namespace {

std::int32_t Read(CVendorCmdCommon& c, std::uint16_t address, std::uint8_t& value) {
  return c.ReadMem(address, 1, &value, nullptr, nullptr);
}

std::int32_t Write(CVendorCmdCommon& c, std::uint16_t address, std::uint8_t value) {
  return c.WriteMem(address, 1, &value, nullptr, nullptr);
}

// Reads the registers, lets `change` edit the values, writes them back in
// the same order.
template <std::size_t N, typename Change>
std::int32_t Modify(CVendorCmdCommon& c, const std::uint16_t (&addresses)[N], Change change) {
  std::uint8_t values[N] = {};
  for (std::size_t i = 0; i < N; ++i)
    if (std::int32_t r = Read(c, addresses[i], values[i])) return r;
  change(values);
  for (std::size_t i = 0; i < N; ++i)
    if (std::int32_t r = Write(c, addresses[i], values[i])) return r;
  return 0;
}

}  // namespace

int BootModeFromStatus(const std::uint8_t* s) {
  const std::uint8_t format = s[0x40];
  const std::uint16_t word = std::uint16_t(s[4] | s[5] << 8);
  switch (format) {
    case 0x00:
      if ((word & 0xC000) == 0) return 0;
      return (word & 0xC000) == 0x8000 ? 1 : -1;
    case 0x11:
      return (word & 0xC000) == 0x4000 ? 3 : -1;
    case 0x12:
      return 2;
    default:
      return -1;
  }
}

std::int32_t EnableWriteProtect(CVendorCmdCommon& c) {
  using namespace chipreg;
  if (std::int32_t r = Modify(c, {kGpioOut0, kGpioDir0}, [](std::uint8_t* v) {
        v[0] |= 0x01;
        v[1] &= std::uint8_t(~0x01);
      }))
    return r;
  return c.SPI_SF_WriteSr(0x8C);
}

std::int32_t DisableWriteProtect(CVendorCmdCommon& c, platform::Clock& clock) {
  using namespace chipreg;
  if (std::int32_t r = Modify(c, {kGpioOut0, kGpioDir0}, [](std::uint8_t* v) {
        v[0] |= 0x01;
        v[1] |= 0x01;
      }))
    return r;
  if (std::int32_t r = c.SPI_SF_WriteSr(0x00)) return r;
  // A status write takes the flash some 15 ms: its busy bit is read every
  // 5 ms, for the same 1 s (20 reads 50 ms apart) at most.
  constexpr std::uint32_t kPollMs = 5, kLimitMs = 20 * 50;
  for (std::uint32_t waited = 0; waited < kLimitMs; waited += kPollMs) {
    std::uint8_t status = 0;
    if (std::int32_t r = c.SPI_SF_ReadSr(status)) return r;
    if (!(status & 0x01)) break;
    clock.SleepMs(kPollMs);
  }
  return 0;
}

std::int32_t GpioSetA(CVendorCmdCommon& c) {
  using namespace chipreg;
  return Modify(c, {kGpioOut0, kGpioDir0, kGpioOut1, kGpioDir1}, [](std::uint8_t* v) {
    v[0] &= std::uint8_t(~0x20);
    v[1] |= 0x01;
    v[2] &= std::uint8_t(~0x02);
    v[3] |= 0x01;
  });
}

std::int32_t GpioSetB(CVendorCmdCommon& c) {
  using namespace chipreg;
  return Modify(c, {kGpioOut0, kGpioDir0, kGpioOut1, kGpioDir1}, [](std::uint8_t* v) {
    v[0] |= 0x20;
    v[1] &= std::uint8_t(~0x20);
    v[2] |= 0x02;
    v[3] &= std::uint8_t(~0x02);
  });
}

std::int32_t SpiEraseByRegisters(CVendorCmdCommon& c, platform::Clock& clock, std::uint8_t opcode,
                                 std::uint32_t address) {
  const std::pair<std::uint16_t, std::uint8_t> sequence[] = {
      {0xFCE2, 0x06},
      {0xFCE1, 0x00},
      {0xFCE8, opcode},
      {0xFCE9, std::uint8_t(address)},
      {0xFCEA, std::uint8_t(address >> 8)},
      {0xFCEB, std::uint8_t(address >> 16)},
      {0xFCE7, 0x01},
      {0xFCEE, 0x05},
      {0xFCED, 0x06},
      {0xFCFC, 0x00},
      {0xFCFB, 0xFF},
      {chipreg::kSpiControl, 0x82},
  };
  std::int32_t r = 0;
  for (const auto& [reg, value] : sequence)
    if ((r = Write(c, reg, value)) != 0) break;
  std::uint8_t control = 0;
  // The end of the erase is read every 10 ms, within the same 1.1 s (11 reads
  // 100 ms apart) at most.
  constexpr std::uint32_t kPollMs = 10, kLimitMs = 11 * 100;
  for (std::uint32_t waited = 0; r == 0 && waited < kLimitMs; waited += kPollMs) {
    if ((r = Read(c, chipreg::kSpiControl, control)) != 0 || (control & 0x40)) break;
    clock.SleepMs(kPollMs);
  }
  if (r == 0) r = Read(c, chipreg::kSpiControl, control);
  // Done (bit 6) without an error (bit 3); an erase that never finished is a
  // failure too.
  if (r == 0 && (control & 0x40) && !(control & 0x08)) return DisableWriteProtect(c, clock);
  if (r == 0) r = platform::kEFail;
  Write(c, chipreg::kSpiControl, 0x04);
  DisableWriteProtect(c, clock);
  return r;
}
