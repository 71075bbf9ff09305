#pragma once
// The front ends' guard at the start of every download and verify: an image
// that cannot work in the flow's memory (image/image_check.h) is refused
// before the codec is touched, with its status and the reason in the trace.
#include <cstdint>
#include <vector>

#include "image/image_check.h"

// The status a refusal reports: "Parse FW File Fail!", "Firmware is not for
// the device!", "Code Exceed Max Length!" or "Get Code Size Fail!".
int StatusForImageFault(ImageFault fault);

// 1 when the image may go to the memory; otherwise posts the failure, writes
// the reason to the trace and returns 0.
int GuardImage(const std::vector<std::uint8_t>& image, const ImageTarget& target);
