#pragma once

#include <QByteArray>

#include "pages/errorpages.h"

namespace orvane {

class PublicServer;
struct ClientSlot;

// Sent instead of an empty reply.
QByteArray EmptyFilePage();

// Sends the file `filepath` as the slot's reply. Names ending in HTM, TML (HTML pages) or TXT
// (text files), in any letter case, go through the page substitution first; every other file is
// sent byte for byte, straight from the disk. An empty reply becomes the empty-file page. False,
// with nothing sent, when the file cannot be opened or read.
bool SendFile(PublicServer& server, ClientSlot& slot, const QByteArray& filepath);

// Sends the error page of `kind` for the slot's request and marks the request name with the
// error number for the completion line.
void SendError(PublicServer& server, ClientSlot& slot, ErrorKind kind);

}  // namespace orvane
