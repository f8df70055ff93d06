#include "web/filedelivery.h"

#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "net/fileanswer.h"
#include "net/httpdate.h"

#include "pages/pagestream.h"
#include "pages/pagesubstitution.h"
#include "util/files.h"
#include "web/clientslot.h"
#include "web/site.h"

namespace orvane {

QByteArray EmptyFilePage() {
  return "<html><head><title>Orvane Light - Empty File Contents</title></head><H3>Orvane Light "
         "Server - Empty File Contents</h3><br>Press your browser's back button to continue</html>";
}

namespace {

// Pages with tags up to this size are made whole in memory; larger ones while they are sent.
constexpr qint64 kWholePage = 64 * 1024;

std::optional<FooterMode> SubstitutionOf(const QByteArray& filepath) {
  const QByteArray ending = filepath.right(3).toUpper();
  if (ending == "HTM" || ending == "TML") return FooterMode::Html;
  if (ending == "TXT") return FooterMode::Text;
  return std::nullopt;
}

// Dates the reply of the open file `fd` and applies the conditions and the range of `request`.
// False when the answer has gone without the file (304, 416), `fd` closed.
bool ApplyConditions(ClientSlot& slot, int fd, qint64& size, ReplyKind& kind,
                     const QByteArray& request) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return true;
  kind.lastModified = HttpDate(info.st_mtime);
  const FileAnswer answer = AnswerFileRequest(request, size, info.st_mtime, ::time(nullptr));
  if (answer.kind == FileAnswer::NotModified || answer.kind == FileAnswer::Unsatisfiable) {
    ::close(fd);
    const bool unmodified = answer.kind == FileAnswer::NotModified;
    kind.status = unmodified ? ReplyStatus::NotModified : ReplyStatus::RangeNotSatisfiable;
    if (!unmodified) kind.moreLines = "Content-Range: bytes */" + QByteArray::number(size) + "\r\n";
    slot.Reply({}, kind);
    return false;
  }
  if (answer.kind == FileAnswer::Part && ::lseek(fd, answer.first, SEEK_SET) == answer.first) {
    kind.status = ReplyStatus::PartialContent;
    kind.moreLines = "Content-Range: bytes " + QByteArray::number(answer.first) + "-" +
                     QByteArray::number(answer.first + answer.length - 1) + "/" +
                     QByteArray::number(size) + "\r\n";
    size = answer.length;
  }
  return true;
}

}  // namespace

bool SendFile(const Site& site, ClientSlot& slot, const QByteArray& filepath, ReplyStatus status,
              const QByteArray& contentType) {
  qint64 size = 0;
  const int fd = OpenRegularFile(filepath, &size);
  if (fd < 0) return false;
  return SendOpenFile(site, slot, filepath, fd, size, status, contentType);
}

bool SendOpenFile(const Site& site, ClientSlot& slot, const QByteArray& filepath, int fd,
                  qint64 size, ReplyStatus status, const QByteArray& contentType,
                  const QByteArray& request) {
  // The media type is looked up only when a header will carry it.
  ReplyKind kind{status, contentType};
  if (kind.contentType.isEmpty() && site.settings.HttpHeaders) {
    kind.contentType = ContentTypeOf(filepath);
  }
  if (const std::optional<FooterMode> mode = SubstitutionOf(filepath)) {
    if (slot.headOnly) {
      // Making the page would count a hit: its length stays unknown.
      ::close(fd);
      kind.lengthUnknown = true;
      slot.Reply({}, kind);
      return true;
    }
    const PageContext context{site.settings.AppPath, site.settings.ServerName, slot.SlotRequest,
                              site.listingPath, QDateTime::currentDateTime()};
    if (size <= kWholePage) {
      // A small page is read once and made whole in memory: its passes cost no reads of the
      // file, and it goes out in one write with its header.
      std::optional<QByteArray> page = ReadOpenFile(fd, size);
      ::close(fd);
      if (!page) return false;
      RunSSI(*page, *mode, context);
      slot.Reply(*page, kind);
      return true;
    }
    const SharedFile file = ShareFile(fd);
    auto page = std::make_unique<PageSubstitution>(
        [file, size] { return std::make_unique<FileBytes>(file, size); }, *mode, context);
    slot.ReplyPage(std::move(page), kind);
    return true;
  }
  if (size == 0) {
    ::close(fd);
    slot.Reply(EmptyFilePage(), {status, "text/html"});
    return true;
  }
  if (site.settings.HttpHeaders && status == ReplyStatus::Ok &&
      !ApplyConditions(slot, fd, size, kind, request)) {
    return true;
  }
  slot.ReplyFile(fd, size, kind);
  return true;
}

void SendError(const Site& site, ClientSlot& slot, ErrorKind kind) {
  const ErrorPage error = CreateError(kind, slot.SlotRequest, site.settings.AppPath);
  slot.SlotRequest = error.logMark + slot.SlotRequest;
  const ReplyStatus status =
      kind == ErrorKind::NotFound ? ReplyStatus::NotFound : ReplyStatus::ServerError;
  slot.Reply(error.page, {status, "text/html"});
}

}  // namespace orvane
