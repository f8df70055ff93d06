#pragma once
// The status line and header lines put before a reply when HTTP headers are switched on.

#include <QByteArray>

namespace orvane {

enum class ReplyStatus {
  Ok,
  NotFound,
  Forbidden,
  ServerError,
  PartialContent,
  MovedPermanently,
  NotModified,
  RangeNotSatisfiable
};

// What a reply is, for its header.
struct ReplyKind {
  ReplyKind(ReplyStatus s = ReplyStatus::Ok, const QByteArray& type = "text/html")
      : status(s), contentType(type) {}

  ReplyStatus status;
  QByteArray contentType;
  // A file sent as it is: its date as an HTTP-date. Such a reply says it takes ranges and gives
  // its date; any other is made for its request, and asks caches to check before reusing it.
  QByteArray lastModified;
  QByteArray moreLines;        // further header lines (Content-Range, Location), each with CR LF
  bool lengthUnknown = false;  // the header of a page made while it is sent, for HEAD
};

// The media type of a file from its name, as the system's MIME database knows it
// ("application/octet-stream" for a name it does not know).
QByteArray ContentTypeOf(const QByteArray& fileName);

// "HTTP/1.0 200 OK" and its header lines, ending in the empty line. A 304 names no type or length.
QByteArray ReplyHeader(const ReplyKind& kind, qint64 contentLength);

}  // namespace orvane
