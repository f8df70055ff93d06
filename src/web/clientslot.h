#pragma once

#include <QByteArray>
#include <QElapsedTimer>

namespace orvane {

class Connection;

// One client slot of the public server: its connection and the state of the request it serves.
// Handlers reach a request's state only through its slot.
struct ClientSlot {
  int Index = 0;             // 1 to MaxConnect
  bool SlotBusy = false;     // holds a connection
  QByteArray SlotRequest;    // the request's name: %filename%, error pages, completion line
  qint64 SlotBytesSent = 0;  // bytes of the reply written so far
  QByteArray SlotPage;       // the reply being prepared
  QByteArray SlotTable;      // listing table under construction
  QByteArray SlotFolder;     // folder being listed
  QByteArray SlotEntry;      // folder entry being examined

  Connection* connection = nullptr;
  QByteArray peer;         // the client's address, taken at the accept
  bool replied = false;    // the one reply of the connection has been queued
  QByteArray unfinished;   // received text whose request line has no target yet
  QElapsedTimer lastMove;  // last data in, or last progress of the reply
};

}  // namespace orvane
