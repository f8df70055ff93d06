#include "web/filedelivery.h"

#include <unistd.h>

#include "core/appstate.h"
#include "pages/pagesubstitution.h"
#include "util/files.h"
#include "web/clientslot.h"

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

bool SendFile(AppState& app, ClientSlot& slot, const QByteArray& filepath) {
  qint64 size = 0;
  const int fd = OpenRegularFile(filepath, &size);
  if (fd < 0) return false;
  const std::optional<FooterMode> mode = SubstitutionOf(filepath);
  if (mode && size <= kMaxSubstitutedSize) {
    const std::optional<QByteArray> content = ReadOpenFile(fd, size);
    ::close(fd);
    if (!content) return false;
    slot.SlotPage = *content;
    RunSSI(slot.SlotPage, *mode,
           {app.settings.AppPath, app.settings.ServerName, slot.SlotRequest, app.ListingPath,
            QDateTime::currentDateTime()});
    if (slot.SlotPage.isEmpty()) slot.SlotPage = EmptyFilePage();
    slot.Reply(slot.SlotPage);
    return true;
  }
  if (size == 0) {
    ::close(fd);
    slot.Reply(EmptyFilePage());
    return true;
  }
  slot.ReplyFile(fd, size);
  return true;
}

void SendError(AppState& app, ClientSlot& slot, ErrorKind kind) {
  const ErrorPage error = CreateError(kind, slot.SlotRequest, app.settings.AppPath);
  slot.SlotRequest = error.logMark + slot.SlotRequest;
  slot.Reply(error.page);
}

}  // namespace orvane
