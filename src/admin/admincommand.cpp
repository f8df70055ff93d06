#include "admin/admincommand.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/desktop.h"
#include "util/formdecoding.h"
#include "util/text.h"

namespace orvane {

namespace {

const QByteArray Q = "\"";

struct CommandText {
  const char* searched;
  const char* command;
};

constexpr CommandText kCommands[] = {
    {"Erase", "Erase"},         {"EraseFiles", "EraseFiles"},   {"Back", "RefreshList"},
    {"Rename", "Rename"},       {"RenameFiles", "RenameFiles"}, {"View+Log", "View Log"},
    {"Upload...", "PreUpload"}, {"UploadNow", "Upload"},        {"ClearLog", "Clear Log"},
    {"Logout", "Logout"},       {"RefreshList", "RefreshList"},
};

// A name inside an attribute value: only a double quote would end it early.
QByteArray InAttribute(QByteArray name) {
  return name.replace('"', "%22");
}

QByteArray EraseConfirmation(const QByteArray& body, AdminContext& context) {
  QByteArray rest = body.mid(12);
  QByteArray list;
  const qsizetype rounds = rest.size();
  for (qsizetype i = 0; i < rounds; ++i) {
    const qsizetype end = rest.indexOf("=on&");
    if (end < 0) break;
    list = DecodeFormValue(list + "<br>" + rest.left(end));
    context.desktop.AppendLog("Deleted: " + list);
    rest = rest.mid(end + 4);
  }
  list = ReplaceText(list, "+", " ");
  list = ReplaceText(list, "&", "");
  const QByteArray field = ReplaceText(list, "<BR>", "!");
  // The names come from the posted form: on the page they are text, never markup.
  QByteArray shown;
  qsizetype at = 0;
  while (at < list.size()) {
    qsizetype next = IndexOfFolded(list, "<br>", at + 4);
    if (next < 0) next = list.size();
    const qsizetype start = list.mid(at, 4).compare("<br>", Qt::CaseInsensitive) == 0 ? at + 4 : at;
    shown += "<br>" + EscapeHtml(list.mid(start, next - start));
    at = next;
  }
  return PageHead("<html><head><Title>Orvane Light v.0.7 - Remote - Erase?</title></head><BR><H2>",
                  "<BR></h2><BR>", context.view) +
         ConsoleFormHead(context.view) + "<input type=" + Q + "hidden" + Q + " name=" + Q +
         "FILES " + EscapeHtml(field) + Q + " value>" +
         "<br><h3>Are you sure you want to delete these files??\?</h3>" + shown + "<p>" +
         Button("EraseFiles") + Button("Back") + "</html>";
}

// Deletes `name` (a path inside `docs`, separated by "/") without following a symbolic link
// anywhere on the way: each folder is opened from the one before, refusing links, so a link in
// docs to a folder elsewhere can never lead a deletion out of docs. A link at the end is removed
// as a link; a folder loses its files, then goes if it holds nothing more.
void RemoveEntry(const QByteArray& docs, const QByteArray& name, bool folder) {
  int at = ::open(docs.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  QByteArrayList parts = name.split('/');
  const QByteArray last = parts.takeLast();
  for (const QByteArray& part : parts) {
    if (at < 0) return;
    if (part.isEmpty() || part == ".") continue;
    const int next =
        ::openat(at, part.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    ::close(at);
    at = next;
  }
  struct stat info;
  if (at < 0) return;
  if (last.isEmpty() || ::fstatat(at, last.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    ::close(at);
    return;
  }
  if (!folder || S_ISLNK(info.st_mode)) {
    ::unlinkat(at, last.constData(), 0);  // fails, silently, for a folder given as a file
    ::close(at);
    return;
  }
  const int inner = ::openat(at, last.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  DIR* dir = inner < 0 ? nullptr : ::fdopendir(inner);
  if (dir == nullptr && inner >= 0) ::close(inner);
  if (dir != nullptr) {
    while (const dirent* entry = ::readdir(dir)) {
      struct stat file;
      if (::fstatat(::dirfd(dir), entry->d_name, &file, AT_SYMLINK_NOFOLLOW) == 0 &&
          !S_ISDIR(file.st_mode)) {
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
      }
    }
    ::closedir(dir);
  }
  ::unlinkat(at, last.constData(), AT_REMOVEDIR);  // fails, silently, while sub-folders remain
  ::close(at);
}

void EraseFiles(QByteArray body, AdminContext& context) {
  for (;;) {
    const qsizetype first = body.indexOf("%21");
    if (first < 0) break;
    qsizetype end = body.indexOf("%21", first + 3);
    if (end < 0) end = body.indexOf("=&Erase", first + 3);
    if (end < 0) break;
    QByteArray name = DecodeFormValue(body.mid(first + 3, end - first - 3));
    if (!SafeEraseName(name)) {
      context.desktop.AppendLog("Refused: " + name);
    } else {
      const bool folder = name.endsWith('/') || name.endsWith('\\');
      if (folder) name.chop(1);
      RemoveEntry(context.docsPath, name.replace('\\', '/'), folder);
    }
    body = body.mid(first + 3);
  }
}

}  // namespace

bool SafeEraseName(const QByteArray& name) {
  if (name.contains('\0') || name.startsWith('/') || name.startsWith('\\')) return false;
  QByteArray path = name;
  path.replace('\\', '/');
  for (const QByteArray& part : path.split('/')) {
    if (part == "..") return false;
  }
  return true;
}

QByteArray SelectCommand(const QByteArray& body) {
  QByteArray command;
  for (const CommandText& entry : kCommands) {
    if (body.contains(entry.searched)) command = entry.command;
  }
  return command;
}

QByteArray ListDirectory(const QByteArray& folder, const QByteArray& head, const QByteArray& tail,
                         const AdminView& view) {
  QByteArray lines;
  DIR* dir = folder.contains('\0') ? nullptr : ::opendir(folder.constData());
  if (dir == nullptr) return lines;
  while (const dirent* entry = ::readdir(dir)) {
    QByteArray name = entry->d_name;
    if (name.startsWith('.')) continue;  // ".", ".." and hidden entries
    QByteArray suffix;
    if (!name.contains('.')) {
      name += '/';
      suffix = " (DIR)";
    }
    lines += "<a href=" + Q + InAttribute(PublicLink(view, name)) + Q + " target=" + Q + "_blank" +
             Q + ">" + EscapeHtml(name) + suffix + "</a>" + head + InAttribute(name) + tail;
  }
  ::closedir(dir);
  return lines;
}

QByteArray AdminCommand(QByteArray& command, const QByteArray& body, AdminContext& context) {
  QByteArray page;
  if (command == "View Log") page = ViewLogPage(context.desktop.Log());
  if (command == "Rename") page = NoticePage();
  if (command == "Erase") page = EraseConfirmation(body, context);
  if (command == "EraseFiles") {
    EraseFiles(body, context);
    command = "RefreshList";
  }
  if (command == "Clear Log") page = NoticePage();
  if (command == "RefreshList") {
    page =
        ConsolePage(context.view, ListDirectory(context.docsPath,
                                                "<input type=" + Q + "checkbox" + Q + "name=" + Q,
                                                Q + "></p>", context.view));
  }
  if (command == "PreUpload") page = UploadFormPage(context.view);
  if (command == "Upload") page = UploadDonePage(context.view);
  return page;
}

}  // namespace orvane
