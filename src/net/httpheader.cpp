#include "net/httpheader.h"

#include <QFile>
#include <QHash>
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
  // The database matches the name against its globs with regular expressions made for each
  // lookup, which costs more than the rest of a small reply: the answers for the names asked
  // lately are kept (the type follows from the last part of the name alone).
  static const QMimeDatabase database;
  static QHash<QByteArray, QByteArray> known;
  constexpr qsizetype kKnownNames = 1024;
  const QByteArray name = fileName.mid(fileName.lastIndexOf('/') + 1);
  if (const auto found = known.constFind(name); found != known.cend()) return *found;
  if (known.size() >= kKnownNames) known.clear();
  const QByteArray type =
      database.mimeTypeForFile(QFile::decodeName(name), QMimeDatabase::MatchExtension)
          .name()
          .toLatin1();
  known.insert(name, type);
  return type;
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
