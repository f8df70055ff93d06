#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "web/clientslot.h"
#include "web/slotqueue.h"

namespace orvane {

// The public server's client slots and their states, apart from sockets: which slots are free,
// which are still receiving their request (oldest first), which whole requests wait for a turn,
// which pages are being measured, and how many requests hold one of the MaxConnect turns. Every
// change of a slot's state goes through Enter, which keeps all of that true.
class SlotTable {
 public:
  // Called whenever the number of slots holding a connection changes.
  std::function<void()> onOpenChanged;

  void SetTurns(int turns) { turns_ = turns; }
  bool TurnFree() const { return active_ < turns_; }
  int Active() const { return active_; }
  // Slots holding a connection, in any state.
  int Open() const { return open_; }

  // A new slot, free. Slots are numbered from 1 in the order they were added.
  ClientSlot& Add();
  // Drops the last slot; it must be free.
  void RemoveLast();
  size_t Size() const { return slots_.size(); }
  ClientSlot& At(size_t index) { return *slots_[index]; }
  // The slot numbered `index`, or nullptr.
  ClientSlot* Numbered(int index);

  // Takes a free slot off the free list (the last freed first); nullptr when none is free.
  ClientSlot* TakeFree();
  // Takes `slot` off the free list (it must be on it).
  void TakeFree(ClientSlot& slot);

  ClientSlot* OldestArriving() const { return arriving_.Oldest(); }
  ClientSlot* OldestQueued() const { return queued_.Oldest(); }
  // The page that has waited longest for its next share of the first pass; it moves to the back.
  ClientSlot* NextPreparing();
  bool AnyPreparing() const { return !preparing_.Empty(); }

  void Enter(ClientSlot& slot, SlotState next);
  // Every slot free, nothing waiting, nothing active.
  void Reset();

 private:
  void Leave(ClientSlot& slot);

  std::vector<std::unique_ptr<ClientSlot>> slots_;
  std::vector<ClientSlot*> free_;  // the last freed on top
  SlotQueue arriving_;             // Reading and Body, the longest receiving first
  SlotQueue queued_;               // whole requests waiting for their turn
  SlotQueue preparing_;            // pages in their first pass, in turn
  int turns_ = 50;
  int active_ = 0;
  int open_ = 0;
};

}  // namespace orvane
