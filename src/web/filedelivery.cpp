#include "web/filedelivery.h"

#include <unistd.h>

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

std::optional<FooterMode> SubstitutionOf(const QByteArray& filepath) {
  const QByteArray ending = filepath.right(3).toUpper();
  if (ending == "HTM" || ending == "TML") return FooterMode::Html;
  if (ending == "TXT") return FooterMode::Text;
  return std::nullopt;
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
                  qint64 size, ReplyStatus status, const QByteArray& contentType) {
  // The media type is looked up only when a header will carry it.
  ReplyKind kind{status, contentType};
  if (kind.contentType.isEmpty() && site.settings.HttpHeaders) {
    kind.contentType = ContentTypeOf(filepath);
  }
  if (const std::optional<FooterMode> mode = SubstitutionOf(filepath)) {
    const SharedFile file = ShareFile(fd);
    auto page = std::make_unique<PageSubstitution>(
        [file, size] { return std::make_unique<FileBytes>(file, size); }, *mode,
        PageContext{site.settings.AppPath, site.settings.ServerName, slot.SlotRequest,
                    site.listingPath, QDateTime::currentDateTime()});
    slot.ReplyPage(std::move(page), kind);
    return true;
  }
  if (size == 0) {
    ::close(fd);
    slot.Reply(EmptyFilePage(), {status, "text/html"});
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
