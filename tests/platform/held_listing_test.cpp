// A held listing of the bus: one per thread and hold, made at its first use,
// dropped with the outermost hold so that the next stretch of work lists anew.
#include <gtest/gtest.h>

#include <thread>

#include "platform/held_listing.h"

namespace platform {
namespace {

struct Listing {
  int number;
};

class HeldListingsTest : public ::testing::Test {
 protected:
  std::shared_ptr<Listing> Get() {
    return listings.Get([this] { return std::make_shared<Listing>(Listing{++made}); });
  }
  HeldListings<Listing> listings;
  int made = 0;
};

TEST_F(HeldListingsTest, WithoutAHoldEveryUseLists) {
  EXPECT_EQ(Get()->number, 1);
  EXPECT_EQ(Get()->number, 2);
  listings.Release();  // a release without a hold changes nothing
  EXPECT_EQ(Get()->number, 3);
}

TEST_F(HeldListingsTest, AHoldSharesOneListingUntilTheOutermostReleaseThenListsAnew) {
  listings.Hold();
  EXPECT_EQ(made, 0) << "a hold lists nothing by itself";
  EXPECT_EQ(Get()->number, 1);
  listings.Hold();  // nested: a walk inside a search pass
  EXPECT_EQ(Get()->number, 1);
  listings.Release();
  EXPECT_EQ(Get()->number, 1) << "the outer hold still holds";
  listings.Release();
  EXPECT_EQ(Get()->number, 2) << "after the hold the bus is listed anew";
  listings.Hold();
  EXPECT_EQ(Get()->number, 3) << "a new hold takes a new listing";
  EXPECT_EQ(Get()->number, 3);
  listings.Release();
}

TEST_F(HeldListingsTest, EachThreadHoldsItsOwn) {
  listings.Hold();
  EXPECT_EQ(Get()->number, 1);
  int other = 0, otherHeld = 0;
  std::thread([&] {
    other = Get()->number;  // not held on this thread
    listings.Hold();
    otherHeld = Get()->number;
    EXPECT_EQ(Get()->number, otherHeld);
    listings.Release();
  }).join();
  EXPECT_EQ(other, 2);
  EXPECT_EQ(otherHeld, 3);
  EXPECT_EQ(Get()->number, 1) << "another thread's release leaves this thread's hold";
  listings.Release();
}

}  // namespace
}  // namespace platform
