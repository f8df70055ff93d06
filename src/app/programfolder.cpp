#include "app/programfolder.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>

#include "core/settings.h"
#include "util/files.h"

namespace orvane {

namespace {

bool IsEmptyDir(const QByteArray& path) {
  return QDir(QFile::decodeName(path))
      .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// Makes `path` and the folders above it that are missing, private to the user as the XDG rules
// want them: the program folder holds the administration password.
bool MakePrivatePath(const QByteArray& path) {
  for (qsizetype slash = path.indexOf('/', 1); slash >= 0; slash = path.indexOf('/', slash + 1)) {
    const QByteArray part = path.left(slash);
    if (!DirExists(part) && ::mkdir(part.constData(), 0700) != 0 && errno != EEXIST) return false;
  }
  return DirExists(path);
}

QByteArray Reason() {
  return std::strerror(errno);
}

// What of a site the first start copies.
const char* const kSiteParts[] = {"server.cfg", "docs", "system"};
// Marks a first start under way: one cut short (a full disk, a kill) goes on at the next start.
const char kFilling[] = ".first-start";

// Copies `from` (a file, or a folder with all it holds) to `to`, where nothing is there yet:
// what is there is the owner's, or was copied by a start cut short.
bool CopyMissing(const QByteArray& from, const QByteArray& to, QByteArray& error) {
  if (DirExists(from)) {
    if (!MakeDir(to)) {
      error = "cannot make " + to + ": " + Reason();
      return false;
    }
    const QStringList names =
        QDir(QFile::decodeName(from))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
      const QByteArray part = "/" + QFile::encodeName(name);
      if (!CopyMissing(from + part, to + part, error)) return false;
    }
    return true;
  }
  if (!PathExists(from) || PathExists(to)) return true;
  const std::optional<QByteArray> content = ReadWholeFile(from);
  if (!content || !WriteFileAtomically(to, *content)) {
    error = "cannot copy the sample site to " + to + ": " + WriteProblem(to);
    return false;
  }
  return true;
}

}  // namespace

QByteArray ChooseProgramFolder(const FolderPlace& place) {
  if (!place.appDir.isEmpty()) return AsAppPath(place.appDir);
  if (place.executableDirOwn) return AsAppPath(place.executableDir);
  if (place.dataHome.startsWith('/')) return AsAppPath(place.dataHome) + "orvane-light/";
  if (place.home.startsWith('/')) return AsAppPath(place.home) + ".local/share/orvane-light/";
  return {};
}

bool ExecutableDirIsOwn(const QByteArray& executableDir) {
  return ::access(executableDir.constData(), W_OK) == 0 &&
         !DirExists(InstalledSampleSite(executableDir));
}

QByteArray InstalledSampleSite(const QByteArray& executableDir) {
  return AsAppPath(QFile::encodeName(
      QDir::cleanPath(QFile::decodeName(AsAppPath(executableDir) + "../share/orvane-light"))));
}

QByteArray SampleSiteFor(const QByteArray& executableDir) {
  const QByteArray own = AsAppPath(executableDir);
  return DirExists(own + "docs") ? own : InstalledSampleSite(executableDir);
}

bool FillFromSample(const QByteArray& folder, const QByteArray& sample, QByteArray& error) {
  const QByteArray marker = AsAppPath(folder) + kFilling;
  if (DirExists(folder) && !IsEmptyDir(folder) && !PathExists(marker)) return true;
  if (!MakePrivatePath(AsAppPath(folder))) {
    error = "cannot make the program folder " + folder + ": " + Reason();
    return false;
  }
  if (!DirExists(sample)) return true;
  if (!WriteFileAtomically(marker, {})) {
    error = "cannot fill the program folder " + folder + ": " + WriteProblem(marker);
    return false;
  }
  for (const char* part : kSiteParts) {
    if (!CopyMissing(AsAppPath(sample) + part, AsAppPath(folder) + part, error)) return false;
  }
  RemoveFile(marker);
  return true;
}

}  // namespace orvane
