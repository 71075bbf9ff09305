#pragma once
// Status codes of the extension unit's status block (byte 0 after a command).
#include <cstdint>

enum VcmdStatus : std::uint8_t {
  VCMD_STS_CMD = 0x00,
  VCMD_STS_DATA_IN = 0x01,
  VCMD_STS_DATA_OUT = 0x02,
  VCMD_STS_ERR_DIR = 0x03,
  VCMD_STS_NOT_FINISH = 0x04,
  VCMD_STS_ERR_LEN = 0x05,
  VCMD_STS_UNKNOWN_SCMD = 0x06,
  VCMD_STS_ERR_OUTRANGE = 0x07,
  VCMD_STS_UNKNOWN_CMD = 0x08,
  VCMD_STS_HW_ERR = 0x09,
  VCMD_STS_RET_NO_ERR = 0xFE,
};

// No status known (after a failure report).
inline constexpr std::uint8_t kVcmdStatusUnknown = 0xFF;
