#pragma once

#include <QByteArray>

namespace orvane {

class PublicServer;
struct ClientSlot;

// The page sent for a request path that holds "..".
QByteArray UnauthorizedPage();

// Answers one request text received on `slot`: works out the file it names below the document
// root and sends the file, a folder listing, the not-found reply or an error page. A text that
// cannot be taken apart, or names a file that cannot be read, gets no reply.
void HandleRequest(PublicServer& server, ClientSlot& slot, const QByteArray& text);

// True when `text` holds no line end and no target yet ("GE", "GET", "GET "): the rest of the
// request line may still be on its way.
bool RequestLineUnfinished(const QByteArray& text);

}  // namespace orvane
