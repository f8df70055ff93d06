#include "web/folderlisting.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "pages/pagesubstitution.h"
#include "util/files.h"
#include "util/text.h"
#include "web/clientslot.h"
#include "web/site.h"

namespace orvane {

namespace {

constexpr int kDirectoryBit = 16;
constexpr int kReadOnlyBit = 1;
constexpr int kHiddenBit = 2;

struct EntryInfo {
  int attributes = -1;  // -1 for an entry that is gone
  qint64 size = 0;
};

// One look at a folder entry: its attribute bits as the listing rule reads them, and its size.
// Folders carry the directory bit, with the read-only bit when their owner may not write them and
// the hidden bit when their name starts with a dot. A file that cannot be read has size 0.
EntryInfo Examine(int folder, const QByteArray& name) {
  EntryInfo entry;
  struct stat info;
  if (::fstatat(folder, name.constData(), &info, 0) != 0) return entry;
  if (S_ISDIR(info.st_mode)) {
    entry.attributes = kDirectoryBit;
    if (!(info.st_mode & S_IWUSR)) entry.attributes |= kReadOnlyBit;
    if (name.startsWith('.')) entry.attributes |= kHiddenBit;
    return entry;
  }
  entry.attributes = 0;
  static const bool mayReadAll = ::geteuid() == 0;
  const bool readable = mayReadAll || ::faccessat(folder, name.constData(), R_OK, AT_EACCESS) == 0;
  if (S_ISREG(info.st_mode) && readable) {
    entry.size = static_cast<qint64>(info.st_size);
  }
  return entry;
}

void AppendRow(QByteArray& table, const QByteArray& name, qint64 size) {
  table += "<tr>\r\n <td>&nbsp;</td>\r\n<td><a href=\"";
  table += LinkPath(name);
  table += "\">";
  table += EscapeHtml(name);
  table += "</td>\r\n<td>";
  table += QByteArray::number(size);
  table += "</td>\r\n</tr>\r\n";
}

}  // namespace

void FolderListing(const Site& site, ClientSlot& slot) {
  if (std::optional<QByteArray> page =
          ReadWholeFile(site.settings.AppPath + "system/template.html")) {
    slot.SlotPage = *page;
  }

  const QByteArray request = "/" + slot.SlotRequest;
  const QByteArray name = StripPath(request).value_or(QByteArray());
  slot.SlotFolder = request.mid(1, request.size() - name.size() - 1);
  if (!slot.SlotFolder.endsWith('\\') && !slot.SlotFolder.endsWith('/')) slot.SlotFolder += '/';

  slot.SlotTable =
      "<table width=50% border=0 cellspacing=0 cellpadding=0><br>\r\n<tr>\r\n <td>&nbsp;</td>\r\n"
      "<td><B>File Name</b></td>\r\n<td><B>File Size (In Bytes)</B></td>\r\n</tr>\r\n";

  if (slot.SlotFolder == "\\" || slot.SlotFolder == "/") slot.SlotFolder.clear();
  slot.SlotFolder = site.DocsRoot() + slot.SlotFolder;

  const QByteArray diskFolder = ToDiskPath(slot.SlotFolder);
  DIR* folder = diskFolder.contains('\0') ? nullptr : ::opendir(diskFolder.constData());
  if (folder != nullptr) {
    while (const dirent* entry = ::readdir(folder)) {
      slot.SlotEntry = entry->d_name;
      if (slot.SlotEntry == "." || slot.SlotEntry == "..") continue;
      const EntryInfo info = Examine(::dirfd(folder), slot.SlotEntry);
      if (info.attributes < 0 || info.attributes == kDirectoryBit) continue;
      AppendRow(slot.SlotTable, slot.SlotEntry, info.size);
    }
    ::closedir(folder);
  }
  slot.SlotEntry.clear();
  slot.SlotTable += "\r\n</table>\r\n";

  if (slot.SlotPage.contains("%information%")) {
    slot.SlotPage = ReplaceText(slot.SlotPage, "%information%", slot.SlotTable);
  } else {
    slot.SlotPage = slot.SlotTable;
  }

  const QByteArray listed = ToDiskPath(slot.SlotFolder.mid(site.settings.AppPath.size()));
  if (slot.headOnly) {
    // Making the page would count a hit: its length stays unknown.
    ReplyKind head;
    head.lengthUnknown = true;
    slot.Reply({}, head);
  } else {
    site.listingPath = listed;
    RunSSI(slot.SlotPage, FooterMode::Html,
           {site.settings.AppPath, site.settings.ServerName, slot.SlotRequest, site.listingPath,
            QDateTime::currentDateTime()});
    slot.Reply(slot.SlotPage);
  }
  slot.SlotRequest = "DIR /" + listed;
}

}  // namespace orvane
