#pragma once
// What a USB host keeps for the threads that hold a listing of the bus
// (UsbHost::HoldListing): a thread's listing is made at its first use within
// the hold and dropped when the thread's outermost hold ends, so the next
// stretch of work lists the bus anew and sees what arrived or left meanwhile.
// Without a hold every use makes a listing of its own.
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

template <class Listing>
class HeldListings {
 public:
  void Hold() {
    std::lock_guard lock(mutex_);
    ++held_[std::this_thread::get_id()].depth;
  }
  void Release() {
    std::lock_guard lock(mutex_);
    auto it = held_.find(std::this_thread::get_id());
    if (it != held_.end() && --it->second.depth <= 0) held_.erase(it);
  }

  // This thread's held listing, made by `make` (returning a shared_ptr to a
  // Listing) at the first use within the hold; a new one at every use
  // without a hold. `make` runs without the lock: a listing takes time.
  template <class Make>
  std::shared_ptr<Listing> Get(Make&& make) {
    const auto self = std::this_thread::get_id();
    {
      std::lock_guard lock(mutex_);
      auto it = held_.find(self);
      if (it == held_.end()) return make();
      if (it->second.listing) return it->second.listing;
    }
    std::shared_ptr<Listing> listing = make();
    std::lock_guard lock(mutex_);
    if (auto it = held_.find(self); it != held_.end() && !it->second.listing) it->second.listing = listing;
    return listing;
  }

 private:
  struct Held {
    int depth = 0;
    std::shared_ptr<Listing> listing;
  };
  std::mutex mutex_;
  std::map<std::thread::id, Held> held_;
};

}  // namespace platform
