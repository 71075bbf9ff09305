#pragma once
// The text of `tessaload-sim show`.
#include <iosfwd>

#include "sim/codec.h"

namespace simtool {

void ReportCodec(const sim::Codec& codec, std::uint64_t nowUs, std::ostream& out);
std::string VersionText(const sim::FirmwareVersion& version);

}  // namespace simtool
