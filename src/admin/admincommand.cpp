#include "admin/admincommand.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

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

constexpr qsizetype kMaxEraseNames = 10000;

// A file name as the name of a form field: the bytes that HTML, the form's encoding or the list
// of names would change (% + ! & " ' < > , control bytes and bytes above 126) become %XX, so the
// browser sends back exactly what FromFieldName turns into the same name. Other names stay as
// they are.
QByteArray FieldName(QByteArrayView name) {
  return PercentEncoded(name, "%+!&\"'<>", true);
}

// The names a form's fields carry: each field's name, as the browser encoded it and then as the
// page encoded it, turned back into the file's name.
QByteArray FromFieldName(QByteArrayView field) {
  return PercentDecoded(PercentDecoded(field, true), false);
}

// The ticked names of a console form: the fields whose value is "on", in their order.
QByteArrayList TickedNames(const QByteArray& body) {
  QByteArrayList names;
  for (const QByteArray& field : body.split('&')) {
    if (names.size() >= kMaxEraseNames) break;
    if (field.endsWith("=on")) names << FromFieldName(field.chopped(3));
  }
  return names;
}

QByteArray EraseConfirmation(const QByteArray& body, AdminContext& context) {
  const QByteArrayList names = TickedNames(body);
  QByteArray field;
  QByteArray shown;
  for (const QByteArray& name : names) {
    context.desktop.AppendLog("Deleted: " + name);
    field += "!" + FieldName(name);
    // The names come from the posted form: on the page they are text, never markup.
    shown += "<br>" + EscapeHtml(name);
  }
  return PageHead("<html><head><Title>Orvane Light v.0.7 - Remote - Erase?</title></head><BR><H2>",
                  "<BR></h2><BR>", context.view) +
         ConsoleFormHead(context.view) + "<input type=" + Q + "hidden" + Q + " name=" + Q +
         "FILES " + field + Q + " value>" +
         "<br><h3>Are you sure you want to delete these files??\?</h3>" + shown + "<p>" +
         Button("EraseFiles") + Button("Back") + "</html>";
}

// Deletes `name` (a path inside `docs`, separated by "/") without following a symbolic link
// anywhere on the way: each folder is opened from the one before, refusing links, so a link in
// docs to a folder elsewhere can never lead a deletion out of docs. A link at the end is removed
// as a link; a folder loses its files, then goes if it holds nothing more. True when the entry
// is gone.
bool RemoveEntry(const QByteArray& docs, const QByteArray& name, bool folder) {
  int at = ::open(docs.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  QByteArrayList parts = name.split('/');
  const QByteArray last = parts.takeLast();
  for (const QByteArray& part : parts) {
    if (at < 0) return false;
    if (part.isEmpty() || part == ".") continue;
    const int next =
        ::openat(at, part.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    ::close(at);
    at = next;
  }
  struct stat info;
  if (at < 0) return false;
  if (last.isEmpty() || ::fstatat(at, last.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    ::close(at);
    return false;
  }
  if (!folder || S_ISLNK(info.st_mode)) {
    const bool gone = ::unlinkat(at, last.constData(), 0) == 0;  // fails for a folder as a file
    ::close(at);
    return gone;
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
  const bool gone = ::unlinkat(at, last.constData(), AT_REMOVEDIR) == 0;  // not with sub-folders
  ::close(at);
  return gone;
}

void EraseFiles(const QByteArray& body, AdminContext& context) {
  for (const QByteArray& field : body.split('&')) {
    const qsizetype equals = field.indexOf('=');
    const QByteArray list = PercentDecoded(field.first(equals < 0 ? field.size() : equals), true);
    if (!list.startsWith("FILES ")) continue;
    QByteArrayList names = list.mid(6).split('!');
    if (names.size() > kMaxEraseNames) names = names.mid(0, kMaxEraseNames);
    int erased = 0;
    for (const QByteArray& part : names) {
      if (part.isEmpty()) continue;
      QByteArray name = PercentDecoded(part, false);
      if (!SafeEraseName(name)) {
        context.desktop.AppendLog("Refused: " + name);
        continue;
      }
      const bool folder = name.endsWith('/') || name.endsWith('\\');
      if (folder) name.chop(1);
      if (RemoveEntry(context.docsPath, name.replace('\\', '/'), folder)) ++erased;
    }
    if (erased > 0) context.desktop.Notify(Notice::FilesErased, QByteArray::number(erased));
    return;
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
             Q + ">" + EscapeHtml(name) + suffix + "</a>" + head + FieldName(name) + tail;
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
