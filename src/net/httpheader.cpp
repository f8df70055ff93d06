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
  header += "\r\nContent-Type: ";
  header += kind.contentType;
  header += "\r\nContent-Length: ";
  header += QByteArray::number(contentLength);
  header += "\r\nConnection: close\r\nServer: ";
  header += SoftwareName();
  header += "\r\n\r\n";
  return header;
}

}  // namespace orvane
