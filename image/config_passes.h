#pragma once
// The passes over an image's configuration area run when an image is parsed,
// and the search for the end of its small cache code. Where the area lies
// comes from the IC-type description; the program-wide MemoryType and
// CodeReadSize decide the special offsets of the VMC2230 family.
#include <cstddef>
#include <span>

#include "image/desc_stream.h"
#include "image/ic_type_ini.h"
#include "image/image_job.h"

inline constexpr char kConfigCorruptedText[] = "Config file corrupted";

// Applies a header's storage kind to the program-wide MemoryType.
void ApplyStorageKind(std::uint8_t storageKind);

// First pass: finds the area at ConfigAddress (falling back to offset 0),
// applies its storage kind, records its total length and takes the image's
// texts (manufacturer, serial number, interface string, VID/PID, revision,
// image identity) into the job. Returns 0 for an erased image, an image
// without an area and a corrupt area ("Config file corrupted" is shown).
int ReadImageTexts(CImageJob& job, const CICTypeIni& ic, std::span<const std::uint8_t> image);

// Second pass: checks the area at 0xF000 (offset 0 for the VMC2230 family with
// OTP memory or a 16 KB image). Returns 0 when there is none or it is corrupt.
int CheckConfigArea(CImageJob& job, const CICTypeIni& ic, std::span<const std::uint8_t> image);

// The offset just past the image's small-cache-code record (0 when it has
// none). Returns 0 when the area is corrupt.
int FindSmallCacheCodeEnd(const CICTypeIni& ic, std::span<const std::uint8_t> image, std::size_t& end);

// Opens the area at `offset`, or at offset 0 when there is no signature there
// (or the image is not longer than `offset`). False when neither has one;
// `found` tells where the area was.
bool OpenImageArea(CDescStream& stream, std::span<const std::uint8_t> image, std::size_t offset,
                   std::size_t& found);
