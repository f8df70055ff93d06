#pragma once

#include <QByteArray>
#include <QtGlobal>

#include "net/httpheader.h"
#include "pages/errorpages.h"

namespace orvane {

struct Site;
struct ClientSlot;

// Sent instead of an empty reply.
QByteArray EmptyFilePage();

// Sends the file `filepath` as the slot's reply. Names ending in HTM, TML (HTML pages) or TXT
// (text files), in any letter case, go through the page substitution, made while they are sent,
// whatever their size; every other file is sent byte for byte, straight from the disk. An empty
// file becomes the empty-file page. False, with nothing sent, when the file cannot be opened or
// read.
// With headers on, the reply has `status` and `contentType` (from the file's name when empty); a
// file sent as it is with status 200 gives its date and answers the conditions and the range
// the header lines of `request` ask for. A HEAD request gets the header alone, and the header of a
// page with tags is sent without making the page.
bool SendFile(const Site& site, ClientSlot& slot, const QByteArray& filepath,
              ReplyStatus status = ReplyStatus::Ok, const QByteArray& contentType = {});

// SendFile for the file `filepath` already open as `fd`, of `size` bytes; it takes the descriptor
// over.
bool SendOpenFile(const Site& site, ClientSlot& slot, const QByteArray& filepath, int fd,
                  qint64 size, ReplyStatus status = ReplyStatus::Ok,
                  const QByteArray& contentType = {}, const QByteArray& request = {});

// Sends the error page of `kind` for the slot's request and marks the request name with the
// error number for the completion line.
void SendError(const Site& site, ClientSlot& slot, ErrorKind kind);

}  // namespace orvane
