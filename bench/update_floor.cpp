#include "bench/update_floor.h"

#include <algorithm>

#include "sim/timing_model.h"

namespace bench {

namespace {

constexpr std::uint32_t kVendorRequestMax = 4096;
constexpr std::uint32_t kCommandBlock = 8;
constexpr std::uint32_t kTagBytes = 2;
constexpr std::uint32_t kChunksPerSample = 4;  // the empty check reads 1 chunk in 4

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

UpdatePlan PlanUpdate(const std::vector<std::uint8_t>& image, bool readsEveryChunk, bool writesTag) {
  UpdatePlan plan;
  const auto size = std::uint32_t(image.size());
  for (std::uint32_t at = 0, index = 0; at < size; at += kUpdateChunk, ++index) {
    if (readsEveryChunk || index % kChunksPerSample == 0) plan.reads.push_back(std::min(kUpdateChunk, size - at));
  }
  for (std::uint32_t at = 0; at < size; at += kUpdateChunk) {
    const std::uint32_t n = std::min(kUpdateChunk, size - at);
    plan.writes.push_back(n);
    const auto chunk = image.begin() + at;
    if (readsEveryChunk || std::any_of(chunk, chunk + n, [](std::uint8_t b) { return b != 0xFF; }))
      plan.reads.push_back(n);
  }
  if (writesTag) plan.writes.push_back(kTagBytes);
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
