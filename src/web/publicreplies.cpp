// How the public server's replies go out: pages held whole, files straight from the disk, and
// pages made while they are sent.

#include <unistd.h>

#include <QElapsedTimer>

#include "net/connection.h"
#include "web/filedelivery.h"
#include "web/publicserver.h"

namespace orvane {

namespace {

constexpr qsizetype kJoinedReplySize = 64 * 1024;
// A page's first pass goes on in shares of this much, and one pass of the event loop spends at
// most about kPrepareMs on all of them, so that a large page never holds up the others.
constexpr qsizetype kPrepareShare = 256 * 1024;
constexpr qint64 kPrepareMs = 2;

}  // namespace

void PublicServer::Reply(ClientSlot& slot, const QByteArray& page, const ReplyKind& kind) {
  table_.Enter(slot, SlotState::Sending);
  ReportStart(slot, slot.headOnly ? 0 : page.size());
  if (!app_.settings.HttpHeaders) {
    slot.connection->Send(page);
    return;
  }
  const QByteArray header = ReplyHeader(kind, page.size());
  slot.headerLeft = header.size();
  // A small page goes in the same write as its header; a large one is not copied for that.
  if (slot.headOnly) {
    slot.connection->Send(header);
  } else if (page.size() <= kJoinedReplySize) {
    slot.connection->Send(header + page);
  } else {
    slot.connection->Send(header);
    slot.connection->Send(page);
  }
}

void PublicServer::ReplyFile(ClientSlot& slot, int fileFd, qint64 length, const ReplyKind& kind) {
  table_.Enter(slot, SlotState::Sending);
  ReportStart(slot, slot.headOnly ? 0 : length);
  if (app_.settings.HttpHeaders) {
    const QByteArray header = ReplyHeader(kind, length);
    slot.headerLeft = header.size();
    slot.connection->Send(header);
  }
  if (slot.headOnly) {
    ::close(fileFd);
  } else {
    slot.connection->SendFile(fileFd, length);
  }
}

void PublicServer::ReplyPage(ClientSlot& slot, std::unique_ptr<PageSubstitution> page,
                             const ReplyKind& kind) {
  table_.Enter(slot, SlotState::Preparing);
  slot.page = std::move(page);
  slot.pageKind = kind;
  // A small page is measured at once; a large one in shares between other events.
  if (slot.page->Measure(kPrepareShare)) {
    SendPage(slot);
  } else if (!prepare_.isActive()) {
    prepare_.start(0);
  }
}

void PublicServer::PreparePages() {
  QElapsedTimer spent;
  spent.start();
  while (table_.AnyPreparing() && !spent.hasExpired(kPrepareMs)) {
    ClientSlot& slot = *table_.NextPreparing();
    if (slot.page->Measure(kPrepareShare)) SendPage(slot);
  }
  if (!table_.AnyPreparing()) prepare_.stop();
}

void PublicServer::SendPage(ClientSlot& slot) {
  const std::unique_ptr<PageSubstitution> page = std::move(slot.page);
  if (page->Failed()) {
    EndWithoutReply(slot);  // the file shrank or cannot be read: no whole reply can be made
    return;
  }
  table_.Enter(slot, SlotState::Sending);
  ReportStart(slot, page->Length());
  if (app_.settings.HttpHeaders) {
    const QByteArray header = ReplyHeader(slot.pageKind, page->Length());
    slot.headerLeft = header.size();
    slot.connection->Send(header);
  }
  slot.connection->SendStream(page->Output());
}

void PublicServer::OnWritten(ClientSlot& slot, qint64 count) {
  // The completion line counts the page alone, with headers or without.
  const qint64 header = std::min(count, slot.headerLeft);
  slot.headerLeft -= header;
  slot.SlotBytesSent += count - header;
  slot.lastMove.start();
  if (slot.transfer != 0) app_.transfers->Progress(slot.transfer, slot.SlotBytesSent);
}

void PublicServer::ReportStart(ClientSlot& slot, qint64 total) {
  if (app_.transfers != nullptr) {
    slot.transfer = app_.transfers->Begin(slot.peer, slot.SlotRequest, total, false);
  }
}

void PublicServer::ReportEnd(ClientSlot& slot, bool whole) {
  if (slot.transfer != 0 && app_.transfers != nullptr) app_.transfers->End(slot.transfer, whole);
  slot.transfer = 0;
}

}  // namespace orvane
