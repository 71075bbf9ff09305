#pragma once
// A first-in-first-out queue of posted items: any thread posts without
// waiting for the receiver; the receiving thread takes them in posting order.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

template <typename Item>
class PostedQueue {
 public:
  // False once the queue is closed: the item is dropped.
  bool Post(Item item) {
    {
      std::lock_guard lock(mutex_);
      if (closed_) return false;
      items_.push_back(std::move(item));
    }
    ready_.notify_one();
    return true;
  }

  std::optional<Item> TryTake() {
    std::lock_guard lock(mutex_);
    return PopLocked();
  }

  // Waits for the next item; nothing once the queue is closed and empty.
  std::optional<Item> Take() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return closed_ || !items_.empty(); });
    return PopLocked();
  }

  bool Empty() const {
    std::lock_guard lock(mutex_);
    return items_.empty();
  }

  // Refuses further posts; items already queued can still be taken.
  void Close() {
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
    }
    ready_.notify_all();
  }

  // True when an item equal to `item` waits.
  template <typename Same>
  bool Holds(const Item& item, Same same) const {
    std::lock_guard lock(mutex_);
    for (const Item& waiting : items_)
      if (same(waiting, item)) return true;
    return false;
  }

 private:
  std::optional<Item> PopLocked() {
    if (items_.empty()) return std::nullopt;
    Item item = std::move(items_.front());
    items_.pop_front();
    return item;
  }

  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Item> items_;
  bool closed_ = false;
};
