#include "image/builtin_tables.h"

namespace {

constexpr NamedId kDescriptions[] = {{"VMC2232", 2032}, {"VMC2270", 2035}, {"VMC2240", 2033},
                                     {"VMC2210", 2030}, {"VMC2222", 2034}, {"VMC2230", 2031}};

// Device images are named by the USB identity of the firmware that runs on the
// device. FFU_3C5A_22FF is a retired product whose image is no longer carried.
constexpr NamedId kImages[] = {
    {"FFU_2210", 3012},      {"FFU_2230", 3018},      {"FFU_2232", 3020},
    {"FFU_2240", 3023},      {"FFU_2222", 3045},      {"FFU_2270", 3046},
    {"FFU_3C5A_2230", 3021}, {"FFU_3C5A_2232", 3022}, {"FFU_3C5A_2240", 3024},
    {"FFU_3C5A_2210", 3025}, {"FFU_3C5A_2270", 3026}, {"FFU_3C5A_22FF", 3100}};

constexpr NamedId kBuses[] = {{"USB", 0}, {"PCIE", 1}, {"MIPI", 2}};

}  // namespace

std::span<const NamedId> BuiltInDescriptions() { return kDescriptions; }
std::span<const NamedId> BuiltInImageTable() { return kImages; }
std::span<const NamedId> BusTable() { return kBuses; }
