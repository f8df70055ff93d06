#include "web/requesthandler.h"

#include <unistd.h>

#include "pages/errorpages.h"
#include "util/files.h"
#include "util/formdecoding.h"
#include "util/text.h"
#include "util/version.h"
#include "web/clientslot.h"
#include "web/filedelivery.h"
#include "web/folderlisting.h"
#include "web/requesttext.h"
#include "web/scriptrequest.h"
#include "web/site.h"

namespace orvane {

QByteArray UnauthorizedPage() {
  return "<html><head><title>Orvane Light v.0.7 - Unauthorized</title></head><h1>Orvane Light v." +
         VersionText() +
         "<br><h3>You do NOT have authorization for this folder<br>Your IP address has been "
         "logged for an Access Violation<br>Continued attempts will result in permanent banning, "
         "and referral to your ISP</html>";
}

void HandleRequest(const Site& site, ClientSlot& slot, const QByteArray& text) {
  const Settings& settings = site.settings;

  const std::optional<QByteArray> target = HTTPHeader(text, 1);
  if (!target) return;
  QByteArray file = *target == "/" ? settings.IndexFile : FilePartOf(*target);
  file = DecodeFormValue(file);

  if (file.contains("..")) {
    site.desktop.AppendLog("[" + slot.peer + "] Hack attempt! " + file);
    slot.Reply(UnauthorizedPage(), {ReplyStatus::Forbidden, "text/html"});
    return;
  }

  if (file.startsWith('/')) file.remove(0, 1);
  if (file.endsWith('/') || file.endsWith('\\')) file += settings.IndexFile;
  slot.SlotRequest = file;

  const QByteArray fullPath = ToDiskPath(site.DocsRoot() + file);

  const std::optional<QByteArray> lastPart = StripPath("/" + file);
  if (!lastPart) return;
  // The file is opened once: what is found here is what is sent.
  qint64 size = 0;
  const int fd = OpenRegularFile(fullPath, &size);
  if (*lastPart == settings.IndexFile && fd < 0) {
    FolderListing(site, slot);
    return;
  }

  if (fd < 0) {
    const QByteArray sitePage = settings.AppPath + "system/error-404.html";
    if (!SendFile(site, slot, sitePage, ReplyStatus::NotFound)) {
      SendError(site, slot, ErrorKind::NotFound);
    }
    return;
  }

  const QByteArray method = text.left(4).toUpper();
  if (method.startsWith("GET")) {
    SendOpenFile(site, slot, fullPath, fd, size);
    return;
  }
  ::close(fd);
  if (method == "POST") {
    if (FileExt(fullPath) != "qmx") {
      SendError(site, slot, ErrorKind::UnsupportedScript);
    } else {
      ScriptRequest(site, slot, text);
    }
  }
}

}  // namespace orvane
