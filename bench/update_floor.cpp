#include "bench/update_floor.h"

#include <algorithm>

#include "sim/timing_model.h"

namespace bench {

namespace {

constexpr std::uint32_t kVendorRequestMax = 4096;
constexpr std::uint32_t kCommandBlock = 8;
constexpr std::uint32_t kTagBytes = 2;
constexpr std::uint32_t kHeldBytes = 6;  // a configuration header or the image's first bytes

class Counter {
 public:
  Counter(Tally& tally, bool highSpeed) : tally_(tally), highSpeed_(highSpeed) {}
  void Transfer(std::uint32_t bytes) {
    ++tally_.transfers;
    tally_.bytes += bytes;
    tally_.busUs += sim::TimingModel::ControlTransferUs(highSpeed_, bytes);
  }

 private:
  Tally& tally_;
  bool highSpeed_;
};

// One operation with `length` bytes of data.
void Operation(Counter& counter, const Channel& channel, std::uint32_t length) {
  if (!channel.extensionUnit) {
    if (length == 0) counter.Transfer(0);
    for (std::uint32_t done = 0; done < length; done += kVendorRequestMax)
      counter.Transfer(std::min(kVendorRequestMax, length - done));
    return;
  }
  counter.Transfer(kCommandBlock);
  for (std::uint32_t done = 0; done < length; done += channel.unitSize) counter.Transfer(channel.unitSize);
}

}  // namespace

UpdatePlan PlanUpdate(const std::vector<std::uint8_t>& image, std::size_t heldRuns, bool writesTag) {
  UpdatePlan plan;
  const auto size = std::uint32_t(image.size());
  for (int pass = 0; pass < 2; ++pass)  // the empty check, then the verify
    for (std::uint32_t at = 0; at < size; at += kUpdateChunk) plan.reads.push_back(std::min(kUpdateChunk, size - at));
  for (std::uint32_t at = 0; at < size; at += kUpdateChunk) plan.writes.push_back(std::min(kUpdateChunk, size - at));
  for (std::size_t run = 0; run < heldRuns; ++run) {
    plan.writes.push_back(kHeldBytes);
    plan.reads.push_back(kHeldBytes);
  }
  if (writesTag) {
    plan.writes.push_back(kTagBytes);
    plan.reads.push_back(kTagBytes);
  }
  return plan;
}

UpdatePlan PlanRead(std::uint32_t size) {
  UpdatePlan plan;
  plan.erases = false;
  for (std::uint32_t at = 0; at < size; at += kUpdateChunk) plan.reads.push_back(std::min(kUpdateChunk, size - at));
  return plan;
}

Tally Floor(const UpdatePlan& plan, const Channel& channel, bool highSpeed) {
  Tally tally;
  Counter counter(tally, highSpeed);
  if (plan.erases) Operation(counter, channel, 0);
  for (std::uint32_t n : plan.reads) Operation(counter, channel, n);
  for (std::uint32_t n : plan.writes) Operation(counter, channel, n);
  return tally;
}

}  // namespace bench
