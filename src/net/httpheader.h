#pragma once
// The status line and header lines put before a reply when HTTP headers are switched on.

#include <QByteArray>

namespace orvane {

enum class ReplyStatus { Ok, NotFound, Forbidden, ServerError };

// What a reply is, for its header: its status and its media type.
struct ReplyKind {
  ReplyStatus status = ReplyStatus::Ok;
  QByteArray contentType = "text/html";
};

// The media type of a file from its name, as the system's MIME database knows it
// ("application/octet-stream" for a name it does not know).
QByteArray ContentTypeOf(const QByteArray& fileName);

// "HTTP/1.0 200 OK" and its header lines, ending in the empty line.
QByteArray ReplyHeader(const ReplyKind& kind, qint64 contentLength);

}  // namespace orvane
