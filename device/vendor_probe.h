#pragma once
// The vendor signature among the status words: a codec that speaks the
// protocol answers its status read with "MORVANE" and a zero byte at bytes
// 24 to 31.
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/command_block.h"

inline constexpr std::size_t kSignatureOffset = 24;

bool HasVendorSignature(std::span<const std::uint8_t> status);
