#pragma once
// A reply sink that keeps what a handler answered, so request handling runs without sockets.

#include <unistd.h>

#include "pages/pagesubstitution.h"
#include "util/files.h"
#include "web/clientslot.h"

namespace orvane {

struct Recorded : ReplySink {
  QByteArray how = "none";  // none, page (held or made), file (from the disk), body, script
  QByteArray body, log, listingPath;
  ReplyKind kind;
  void Set(const char* h, const QByteArray& b, const ReplyKind& k) { how = h, body = b, kind = k; }
  void Reply(ClientSlot&, const QByteArray& page, const ReplyKind& k) override {
    Set("page", page, k);
  }
  void ReplyFile(ClientSlot&, int fd, qint64 length, const ReplyKind& k) override {
    Set("file", ReadOpenFile(fd, length).value_or("<unreadable>"), k);
    ::close(fd);
  }
  void ReplyPage(ClientSlot&, std::unique_ptr<PageSubstitution> page, const ReplyKind& k) override {
    Set("page", WholePage(*page).value_or("<unreadable>"), k);
  }
  void AwaitBody(ClientSlot&, qint64) override { how = "body"; }
  void RunScript(ClientSlot&, const ScriptRun&) override { how = "script"; }
};

}  // namespace orvane
