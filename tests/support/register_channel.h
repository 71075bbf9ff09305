#pragma once
// A command channel over a plain 64 KB register map: one-byte ReadMem and
// WriteMem, the flash status register, and a log of every write.
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "device/vendor_cmd_common.h"

class RegisterChannel : public CVendorCmdCommon {
 public:
  std::int32_t ReadMem(std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback, void*) override {
    for (std::uint32_t i = 0; i < n; ++i) b[i] = regs[(a + i) & 0xFFFF];
    return 0;
  }
  std::int32_t WriteMem(std::uint32_t a, std::uint32_t n, const std::uint8_t* b, ProgressCallback, void*) override {
    for (std::uint32_t i = 0; i < n; ++i) {
      regs[(a + i) & 0xFFFF] = b[i];
      writes.emplace_back(std::uint16_t(a + i), b[i]);
    }
    return 0;
  }
  std::int32_t SPI_SF_ReadSr(std::uint8_t& s) override {
    s = statusReads < busyReads ? 0x01 : 0x00;
    ++statusReads;
    return 0;
  }
  std::int32_t SPI_SF_WriteSr(std::uint8_t s) override {
    statusWrites.push_back(s);
    return 0;
  }

  std::array<std::uint8_t, 0x10000> regs{};
  std::vector<std::pair<std::uint16_t, std::uint8_t>> writes;
  std::vector<std::uint8_t> statusWrites;
  int busyReads = 0;
  int statusReads = 0;
};
