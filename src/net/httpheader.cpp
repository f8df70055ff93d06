#include "net/httpheader.h"

#include <QFile>
#include <QMimeDatabase>

#include "util/version.h"

namespace orvane {

namespace {

const char* StatusLine(ReplyStatus status) {
  switch (status) {
    case ReplyStatus::NotFound:
      return "HTTP/1.0 404 Not Found";
    case ReplyStatus::Forbidden:
      return "HTTP/1.0 403 Forbidden";
    case ReplyStatus::ServerError:
      return "HTTP/1.0 500 Internal Server Error";
    case ReplyStatus::PartialContent:
      return "HTTP/1.0 206 Partial Content";
    case ReplyStatus::MovedPermanently:
      return "HTTP/1.0 301 Moved Permanently";
    case ReplyStatus::NotModified:
      return "HTTP/1.0 304 Not Modified";
    case ReplyStatus::RangeNotSatisfiable:
      return "HTTP/1.0 416 Range Not Satisfiable";
    case ReplyStatus::Ok:
      break;
  }
  return "HTTP/1.0 200 OK";
}

}  // namespace

QByteArray ContentTypeOf(const QByteArray& fileName) {
  static const QMimeDatabase database;
  return database.mimeTypeForFile(QFile::decodeName(fileName), QMimeDatabase::MatchExtension)
      .name()
      .toLatin1();
}

QByteArray ReplyHeader(const ReplyKind& kind, qint64 contentLength) {
  QByteArray header = StatusLine(kind.status);
  header += "\r\n";
  if (kind.status != ReplyStatus::NotModified) {
    header += "Content-Type: " + kind.contentType + "\r\n";
    if (!kind.lengthUnknown)
      header += "Content-Length: " + QByteArray::number(contentLength) + "\r\n";
  }
  if (kind.lastModified.isEmpty()) {
    header += "Cache-Control: no-cache\r\n";
  } else {
    header += "Accept-Ranges: bytes\r\nLast-Modified: " + kind.lastModified + "\r\n";
  }
  header += kind.moreLines;
  header += "Connection: close\r\nServer: ";
  header += SoftwareName();
  header += "\r\n\r\n";
  return header;
}

}  // namespace orvane
