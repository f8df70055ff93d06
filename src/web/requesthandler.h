#pragma once

#include <QByteArray>

namespace orvane {

struct Site;
struct ClientSlot;

// The page sent for a request path that holds "..".
QByteArray UnauthorizedPage();

// Answers one request text received on `slot`: works out the file it names below the document
// root and sends the file, a folder listing, the not-found reply or an error page. A text that
// cannot be taken apart, or names a file that cannot be read, gets no reply.
void HandleRequest(const Site& site, ClientSlot& slot, const QByteArray& text);

}  // namespace orvane
