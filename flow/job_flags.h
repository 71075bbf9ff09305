#pragma once
// The job flags: one program-wide word set before each job.
#include <cstdint>

inline constexpr std::uint32_t kJobResetAfterUpdate = 0x01;  // reset so that the new code runs
inline constexpr std::uint32_t kJobCheckEmpty = 0x02;        // check that flash is empty after erasing
inline constexpr std::uint32_t kJobUpdateType2 = 0x04;       // the update reset uses update type 2
inline constexpr std::uint32_t kJobWrite = 0x10;             // write the image

extern std::uint32_t JobFlags;
