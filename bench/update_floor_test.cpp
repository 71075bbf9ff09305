#include "bench/update_floor.h"

#include <gtest/gtest.h>

namespace {

using bench::Channel;
using bench::Floor;
using bench::PlanUpdate;
using bench::UpdatePlan;
using Lengths = std::vector<std::uint32_t>;

// 16 chunks, data in chunks 1, 5 and 15 only.
std::vector<std::uint8_t> MostlyErased() {
  std::vector<std::uint8_t> image(16 * 4096, 0xFF);
  for (std::size_t chunk : {1, 5, 15}) image[chunk * 4096 + 100] = 0x12;
  return image;
}

TEST(UpdatePlan, ReadsEveryChunkTwiceAndTheHeldBytesAndTagLast) {
  const UpdatePlan plan = PlanUpdate(MostlyErased(), 2, true);
  Lengths reads(32, 4096);  // the empty check and the verify, erased chunks too
  reads.insert(reads.end(), {6, 6, 2});
  EXPECT_EQ(plan.reads, reads);
  Lengths writes(16, 4096);
  writes.insert(writes.end(), {6, 6, 2});  // the held-back runs, then the tag
  EXPECT_EQ(plan.writes, writes);
}

TEST(UpdatePlan, TheLastChunkIsShort) {
  const std::vector<std::uint8_t> image(5 * 4096 + 100, 0x00);
  const UpdatePlan plan = PlanUpdate(image, 0, false);
  EXPECT_EQ(plan.writes, (Lengths{4096, 4096, 4096, 4096, 4096, 100}));
  EXPECT_EQ(plan.reads, (Lengths{4096, 4096, 4096, 4096, 4096, 100, 4096, 4096, 4096, 4096, 4096, 100}));
}

TEST(UpdatePlan, AReadTakesEveryChunkOnceAndErasesNothing) {
  const UpdatePlan plan = bench::PlanRead(2 * 4096 + 8);
  EXPECT_FALSE(plan.erases);
  EXPECT_EQ(plan.reads, (Lengths{4096, 4096, 8}));
  EXPECT_TRUE(plan.writes.empty());
}

TEST(Floor, VendorRequestsCarryAWholeChunk) {
  const UpdatePlan plan{true, {4096, 100}, {4096, 2}};
  const bench::Tally full = Floor(plan, Channel{}, false);
  EXPECT_EQ(full.transfers, 1u + 2 + 2);  // erase, two reads, two writes
  EXPECT_EQ(full.bytes, 4096u * 2 + 100 + 2);
  // Full speed: 1 ms a transfer plus 60 us a 64-byte packet.
  EXPECT_EQ(full.busUs, 1000u + 2 * (1000 + 64 * 60) + (1000 + 2 * 60) + (1000 + 60));
  const bench::Tally high = Floor(plan, Channel{}, true);
  EXPECT_EQ(high.busUs, 250u + 2 * (250 + 64 * 4) + (250 + 2 * 4) + (250 + 4));
}

TEST(Floor, TheExtensionUnitSendsACommandThenWholeUnits) {
  const UpdatePlan plan{true, {100}, {}};
  const bench::Tally units8 = Floor(plan, Channel{true, 8}, true);
  EXPECT_EQ(units8.transfers,
            1u + 1 + 13);  // erase command, read command, 13 units
  EXPECT_EQ(units8.bytes, 8u + 8 + 13 * 8);
  EXPECT_EQ(units8.busUs, 15u * (250 + 4));
  const bench::Tally units64 = Floor(UpdatePlan{false, {100}, {}}, Channel{true, 64}, false);
  EXPECT_EQ(units64.transfers, 1u + 2);  // read command, 2 units
  EXPECT_EQ(units64.busUs, 3u * (1000 + 60));
}

}  // namespace
