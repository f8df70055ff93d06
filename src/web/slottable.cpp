#include "web/slottable.h"

#include <algorithm>

#include "net/connection.h"

namespace orvane {

ClientSlot& SlotTable::Add() {
  auto slot = std::make_unique<ClientSlot>();
  slot->Index = static_cast<int>(slots_.size()) + 1;
  ClientSlot& added = *slot;
  slots_.push_back(std::move(slot));
  free_.insert(free_.begin(), &added);  // taken after the slots already free
  return added;
}

void SlotTable::RemoveLast() {
  ClientSlot* last = slots_.back().get();
  free_.erase(std::remove(free_.begin(), free_.end(), last), free_.end());
  slots_.pop_back();
}

ClientSlot* SlotTable::Numbered(int index) {
  if (index < 1 || index > static_cast<int>(slots_.size())) return nullptr;
  return slots_[static_cast<size_t>(index - 1)].get();
}

ClientSlot* SlotTable::TakeFree() {
  if (free_.empty()) return nullptr;
  ClientSlot* slot = free_.back();
  free_.pop_back();
  return slot;
}

void SlotTable::TakeFree(ClientSlot& slot) {
  if (!free_.empty() && free_.back() == &slot) {
    free_.pop_back();
  } else {
    free_.erase(std::find(free_.begin(), free_.end(), &slot));
  }
}

ClientSlot* SlotTable::NextPreparing() {
  ClientSlot* slot = preparing_.Oldest();
  if (slot != nullptr) {
    preparing_.Remove(*slot);
    preparing_.Push(*slot);
  }
  return slot;
}

void SlotTable::Leave(ClientSlot& slot) {
  switch (slot.state) {
    case SlotState::Reading:
    case SlotState::Body:
      arriving_.Remove(slot);
      break;
    case SlotState::Queued:
      queued_.Remove(slot);
      slot.connection->HoldInput(false);
      break;
    case SlotState::Preparing:
      preparing_.Remove(slot);
      slot.page.reset();
      break;
    default:
      break;
  }
}

void SlotTable::Enter(ClientSlot& slot, SlotState next) {
  Leave(slot);
  const bool wasServed = Served(slot.state);
  switch (next) {
    case SlotState::Free:
      if (slot.state != SlotState::Free) free_.push_back(&slot);
      slot.SlotBytesSent = 0;
      slot.headerLeft = 0;
      slot.SlotBusy = false;
      slot.SlotPage.clear();
      slot.SlotRequest.clear();
      slot.SlotTable.clear();
      slot.SlotFolder.clear();
      slot.SlotEntry.clear();
      slot.unfinished.clear();
      slot.scanner.Reset();
      slot.headScanner.Reset();
      break;
    case SlotState::Reading:
      // Back from a request that got no reply, the deadline still counts from the accept.
      if (slot.state == SlotState::Free) slot.accepted.start();
      slot.unfinished.clear();
      slot.scanner.Reset();
      slot.headScanner.Reset();
      arriving_.Push(slot);
      break;
    case SlotState::Body:
      arriving_.Push(slot);  // the form comes within the time of the request
      break;
    case SlotState::Queued:
      slot.connection->HoldInput(true);  // the rest waits in the kernel until its turn
      queued_.Push(slot);
      break;
    case SlotState::Preparing:
      preparing_.Push(slot);
      break;
    case SlotState::Handling:
      break;
    case SlotState::Script:
    case SlotState::Sending:
      // Nothing more is read, though an end or a reset is still seen: a client that leaves
      // ends its run or its reply.
      slot.connection->DiscardInput();
      slot.unfinished.clear();
      slot.lastMove.start();
      slot.unsent = -1;
      break;
  }
  const bool wasOpen = slot.state != SlotState::Free;
  slot.state = next;
  if (Served(next) != wasServed) active_ = std::max(0, active_ + (wasServed ? -1 : 1));
  if ((next != SlotState::Free) != wasOpen) {
    open_ = std::max(0, open_ + (wasOpen ? -1 : 1));
    if (onOpenChanged) onOpenChanged();
  }
}

void SlotTable::Reset() {
  for (auto& slot : slots_) Enter(*slot, SlotState::Free);
  arriving_.Clear();
  queued_.Clear();
  preparing_.Clear();
  active_ = 0;
  open_ = 0;
  free_.clear();
  for (auto it = slots_.rbegin(); it != slots_.rend(); ++it) free_.push_back(it->get());
}

}  // namespace orvane
