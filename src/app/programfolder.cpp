#include "app/programfolder.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
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

// Copies the sample's folders and files below `to`, which exists.
bool CopyTree(const QByteArray& from, const QByteArray& to, QByteArray& error) {
  QDirIterator entries(QFile::decodeName(from),
                       QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                       QDirIterator::Subdirectories);
  while (entries.hasNext()) {
    const QFileInfo entry = entries.nextFileInfo();
    const QByteArray target =
        to + QFile::encodeName(QDir(QFile::decodeName(from)).relativeFilePath(entry.filePath()));
    if (entry.isDir()) {
      if (!MakeDir(target)) {
        error = "cannot make " + target + ": " + Reason();
        return false;
      }
      continue;
    }
    const std::optional<QByteArray> content = ReadWholeFile(QFile::encodeName(entry.filePath()));
    if (!content || !WriteFileAtomically(target, *content)) {
      error = "cannot copy the sample site to " + target + ": " + WriteProblem(target);
      return false;
    }
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

bool FillFromSample(const QByteArray& folder, const QByteArray& sample, QByteArray& error) {
  if (DirExists(folder) && !IsEmptyDir(folder)) return true;
  if (!MakePrivatePath(folder)) {
    error = "cannot make the program folder " + folder + ": " + Reason();
    return false;
  }
  return !DirExists(sample) || CopyTree(AsAppPath(sample), AsAppPath(folder), error);
}

}  // namespace orvane
