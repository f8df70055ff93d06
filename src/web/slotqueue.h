#pragma once

#include "web/clientslot.h"

namespace orvane {

// Slots in the order they joined, linked through the slots themselves: joining, leaving from
// anywhere and taking the oldest cost the same however many slots are in it. A slot is in at
// most one queue at a time.
class SlotQueue {
 public:
  bool Empty() const { return oldest_ == nullptr; }
  ClientSlot* Oldest() const { return oldest_; }

  void Push(ClientSlot& slot) {
    slot.older = newest_;
    slot.newer = nullptr;
    (newest_ != nullptr ? newest_->newer : oldest_) = &slot;
    newest_ = &slot;
  }

  void Remove(ClientSlot& slot) {
    (slot.older != nullptr ? slot.older->newer : oldest_) = slot.newer;
    (slot.newer != nullptr ? slot.newer->older : newest_) = slot.older;
    slot.older = slot.newer = nullptr;
  }

  void Clear() {
    while (!Empty()) Remove(*oldest_);
  }

 private:
  ClientSlot* oldest_ = nullptr;
  ClientSlot* newest_ = nullptr;
};

}  // namespace orvane
