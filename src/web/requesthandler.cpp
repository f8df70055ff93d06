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

namespace {

// Where the folder named by `target` is with its slash: the path as the client sent it, from one
// leading slash (more would name another host), then the query. Bytes a header line cannot hold,
// and backslashes (which a browser reads as slashes), become %XX escapes.
QByteArray FolderLocation(const QByteArray& target) {
  const qsizetype query = target.indexOf('?');
  QByteArray path = target.left(query < 0 ? target.size() : query);
  while (path.startsWith('/')) path.remove(0, 1);
  const QByteArray rest = query < 0 ? QByteArray() : target.mid(query);
  return "/" + PercentEncoded(path + "/" + rest, " \"<>\\", true);
}

}  // namespace

void HandleRequest(const Site& site, ClientSlot& slot, const QByteArray& text) {
  const Settings& settings = site.settings;

  const std::optional<QByteArray> target = HTTPHeader(text, 1);
  if (!target) return;
  // Without header lines a reply has no way to be only its header.
  slot.headOnly = settings.HttpHeaders && text.left(5).toUpper() == "HEAD ";
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

  if (fd < 0 && settings.HttpHeaders && !file.isEmpty() && DirExists(fullPath)) {
    // A folder named without its trailing slash: its links are relative to the folder.
    ReplyKind moved(ReplyStatus::MovedPermanently);
    moved.moreLines = "Location: " + FolderLocation(*target) + "\r\n";
    slot.Reply({}, moved);
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
  if (method.startsWith("GET") || slot.headOnly) {
    SendOpenFile(site, slot, fullPath, fd, size, ReplyStatus::Ok, {}, text);
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
