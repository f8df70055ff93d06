#include "web/filedelivery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "pages/pagesubstitution.h"
#include "util/files.h"
#include "web/clientslot.h"
#include "web/publicserver.h"

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

bool SendFile(PublicServer& server, ClientSlot& slot, const QByteArray& filepath) {
  AppState& app = server.App();
  if (const std::optional<FooterMode> mode = SubstitutionOf(filepath)) {
    const std::optional<QByteArray> content = ReadWholeFile(filepath);
    if (!content) return false;
    slot.SlotPage = *content;
    RunSSI(slot.SlotPage, *mode,
           {app.settings.AppPath, app.settings.ServerName, slot.SlotRequest, app.ListingPath,
            QDateTime::currentDateTime()});
    if (slot.SlotPage.isEmpty()) slot.SlotPage = EmptyFilePage();
    server.Reply(slot, slot.SlotPage);
    return true;
  }

  if (filepath.contains('\0')) return false;
  const int fd = ::open(filepath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return false;
  }
  if (info.st_size == 0) {
    ::close(fd);
    server.Reply(slot, EmptyFilePage());
    return true;
  }
  server.ReplyFile(slot, fd, info.st_size);
  return true;
}

void SendError(PublicServer& server, ClientSlot& slot, ErrorKind kind) {
  const ErrorPage error = CreateError(kind, slot.SlotRequest, server.App().settings.AppPath);
  slot.SlotRequest = error.logMark + slot.SlotRequest;
  server.Reply(slot, error.page);
}

}  // namespace orvane
