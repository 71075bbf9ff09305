#pragma once
// The version record of an image and the version check before an update.
//
// Record (8 bytes at 0x100C in images of 64 KB or more, else at 0x11B):
// byte 0 high nibble component 1, low nibble component 2; byte 1 component 3;
// bytes 2-3, 4-5, 6-7 components 4 to 6, big-endian. Text form
// "%01X.%01X%02X.%04X-%04X.%04X", for example 4.119.0000-0000.0007.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/prompter.h"

using FwVersion = std::array<std::uint16_t, 6>;

inline constexpr std::size_t kVersionRecordSize = 8;

// Where an image of that length keeps its version record.
std::size_t VersionRecordOffset(std::size_t imageLength);
std::string FormatVersion(const FwVersion& version);
// The text form back into components; nothing for text of another shape.
std::optional<FwVersion> ParseVersionText(std::string_view text);
std::array<std::uint8_t, kVersionRecordSize> EncodeVersionRecord(const FwVersion& version);

// Reads the image's version record. An image too short to hold one has no
// version: returns 0 with an empty text and zero components.
int GetImageVersion(std::span<const std::uint8_t> image, std::string& text, FwVersion& version);

enum class UpdateVerdict { kProceed, kSameVersion, kOlderVersion };

// Component by component: any image component above the device's proceeds;
// all equal is the same version; otherwise a device whose record is all 0xBB
// bytes takes the image, and anything else is older.
UpdateVerdict CompareForUpdate(const FwVersion& image, const FwVersion& device);

// Tells the operator why an update does not take place ("Same FW version!" or
// the older-version warning, titled "Warning!!"); returns the answer, Ok
// meaning the operator confirmed. Nothing is shown for kProceed.
platform::PromptAnswer ShowUpdateRefusal(UpdateVerdict verdict, platform::Prompter& prompter);
