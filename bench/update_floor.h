#pragma once
// The floor of a flash update: the control transfers its algorithm cannot do
// without, and the bus time they take under the simulator's timing model.
//
// The algorithm moves the image in 4096-byte chunks: one erase command, the
// empty check of every chunk, the write of every chunk with the bytes that
// make the image startable held back, the verify read of every chunk, then
// each held-back run of 6 bytes written and read back and, when the device
// takes one, the two tag bytes written and read back. The floor carries each of
// these in the fewest requests the channel allows and counts nothing else: no
// identification, write-protection switching, busy polls or resets.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace bench {

inline constexpr std::uint32_t kUpdateChunk = 4096;

// The data the algorithm moves for one image, in transfers of at most one
// chunk.
struct UpdatePlan {
  bool erases = true;                 // one erase command
  std::vector<std::uint32_t> reads;   // chunk lengths of the empty check and the verify
  std::vector<std::uint32_t> writes;  // chunk lengths of the image, then the tag
};

// `image` as the algorithm writes it; `heldRuns` runs of 6 bytes held back.
UpdatePlan PlanUpdate(const std::vector<std::uint8_t>& image, std::size_t heldRuns, bool writesTag);
// The flash read of `size` bytes (the command line's verify): every chunk once.
UpdatePlan PlanRead(std::uint32_t size);

struct Channel {
  bool extensionUnit = false;
  std::uint16_t unitSize = 0;  // the data control's size; extension unit only
};

struct Tally {
  std::uint64_t transfers = 0;
  std::uint64_t bytes = 0;  // data stages, both directions
  std::uint64_t busUs = 0;
};

// The plan's transfers on `channel`: a vendor request
// carries up to 4096 bytes; the extension unit needs an 8-byte command and
// then one transfer per data unit, a short tail padded to a whole unit.
Tally Floor(const UpdatePlan& plan, const Channel& channel, bool highSpeed);

}  // namespace bench
