#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <memory>

#include "net/httpheader.h"
#include "pages/pagesubstitution.h"
#include "web/requesttext.h"

namespace orvane {

class Connection;
struct ClientSlot;
struct ScriptRun;

// Where a slot's one reply goes: the server's connection, or a test's record.
class ReplySink {
 public:
  virtual ~ReplySink() = default;
  virtual void Reply(ClientSlot& slot, const QByteArray& page, const ReplyKind& kind) = 0;
  // `length` bytes of the open file `fileFd` from its current offset; the sink owns the descriptor.
  virtual void ReplyFile(ClientSlot& slot, int fileFd, qint64 length, const ReplyKind& kind) = 0;
  // The page `page` makes, measured and then made while it is sent.
  virtual void ReplyPage(ClientSlot& slot, std::unique_ptr<PageSubstitution> page,
                         const ReplyKind& kind) = 0;
  // The request's body is still on its way: the text is kept until it is `size` bytes long (or
  // longer), then handled again.
  virtual void AwaitBody(ClientSlot& slot, qint64 size) = 0;
  // The reply comes from the interpreter run `run`, later.
  virtual void RunScript(ClientSlot& slot, const ScriptRun& run) = 0;
};

// Free: no connection. Reading: the request text is arriving (a request that got no reply goes
// back to reading). Body: the form a script request announced is arriving. Queued: the request is
// complete and waits for its turn. Handling: a handler is working on it. Preparing: the first
// pass of its page is under way. Script: it waits for the interpreter, or the interpreter runs
// for it (scripts have a bound of their own). Sending: its one reply is going out.
//
// Only whole requests take one of the MaxConnect turns: Handling, Preparing and Sending.
enum class SlotState { Free, Reading, Body, Queued, Handling, Preparing, Script, Sending };

inline bool Served(SlotState state) {
  return state == SlotState::Handling || state == SlotState::Preparing ||
         state == SlotState::Sending;
}

// Still receiving its request: bounded by the request deadline, and the first to give way.
inline bool Arriving(SlotState state) {
  return state == SlotState::Reading || state == SlotState::Body;
}

// One client slot of the public server: its connection and the state of the request it serves.
// Handlers reach a request's state only through its slot.
struct ClientSlot {
  int Index = 0;             // 1 to MaxConnect, then the slots that only read requests
  bool SlotBusy = false;     // holds a connection
  QByteArray SlotRequest;    // the request's name: %filename%, error pages, completion line
  qint64 SlotBytesSent = 0;  // bytes of the reply written so far, its header lines not counted
  QByteArray SlotPage;       // the reply being prepared
  QByteArray SlotTable;      // listing table under construction
  QByteArray SlotFolder;     // folder being listed
  QByteArray SlotEntry;      // folder entry being examined

  SlotState state = SlotState::Free;
  quint64 serial = 0;          // counts the connections the slot has held
  qint64 bodySize = 0;         // in the Body state: the size the request text must reach
  qint64 headerLeft = 0;       // header bytes of the reply not written yet
  int transfer = 0;            // the reply's number in the transfer report; 0 when none
  bool inputComplete = false;  // the request has ended: nothing more will come from the client
  QByteArray peer;             // the client's address, taken at the accept
  ReplySink* sink = nullptr;
  Connection* connection = nullptr;
  QByteArray unfinished;           // received text whose request line has no target yet
  RequestLineScanner scanner;      // how far `unfinished` has been looked at
  HeaderBlockScanner headScanner;  // the same, when the header lines are waited for
  bool wholeHead = false;          // the request is handled once its header lines are whole
  bool headOnly = false;           // a HEAD request: the reply's header lines go out, and no body
  QElapsedTimer accepted;          // the request must be complete within a time of this
  QElapsedTimer lastMove;          // last progress of the reply: bytes the client took
  int unsent = -1;                 // the connection's send queue at the last look
  std::unique_ptr<PageSubstitution> page;  // in the Preparing state: the page being measured
  ReplyKind pageKind;
  // Neighbours in the server's list of Reading slots (oldest first) or of Queued ones.
  ClientSlot* older = nullptr;
  ClientSlot* newer = nullptr;

  void Reply(const QByteArray& page, const ReplyKind& kind = {}) { sink->Reply(*this, page, kind); }
  void ReplyFile(int fileFd, qint64 length, const ReplyKind& kind) {
    sink->ReplyFile(*this, fileFd, length, kind);
  }
  void ReplyPage(std::unique_ptr<PageSubstitution> made, const ReplyKind& kind) {
    sink->ReplyPage(*this, std::move(made), kind);
  }
};

}  // namespace orvane
