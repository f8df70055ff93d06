#include "util/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QSaveFile>
#include <cerrno>

namespace orvane {

int OpenRegularFile(const QByteArray& path, qint64* size, bool noFollow) {
  if (path.isEmpty() || path.contains('\0')) return -1;
  const int fd =
      ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (noFollow ? O_NOFOLLOW : 0));
  if (fd < 0) return -1;
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  if (size != nullptr) *size = static_cast<qint64>(info.st_size);
  return fd;
}

bool FileExists(const QByteArray& path) {
  const int fd = OpenRegularFile(path, nullptr);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

bool PathExists(const QByteArray& path) {
  struct stat info;
  return !path.isEmpty() && !path.contains('\0') && ::lstat(path.constData(), &info) == 0;
}

bool DirExists(const QByteArray& path) {
  struct stat info;
  if (path.isEmpty() || path.contains('\0')) return false;
  return ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::optional<QByteArray> ReadOpenFile(int fd, qint64 size) {
  QByteArray content(static_cast<qsizetype>(size), Qt::Uninitialized);
  qsizetype got = 0;
  while (got < content.size()) {
    const ssize_t n = ::read(fd, content.data() + got, static_cast<size_t>(content.size() - got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;  // the file shrank since it was opened
    got += n;
  }
  content.truncate(got);
  return content;
}

std::optional<QByteArray> ReadWholeFile(const QByteArray& path) {
  qint64 size = 0;
  const int fd = OpenRegularFile(path, &size);
  if (fd < 0) return std::nullopt;
  std::optional<QByteArray> content = ReadOpenFile(fd, size);
  ::close(fd);
  return content;
}

namespace {

QFileDevice::Permissions PermissionsOf(unsigned mode) {
  QFileDevice::Permissions permissions;
  if (mode & 0400) permissions |= QFileDevice::ReadOwner | QFileDevice::ReadUser;
  if (mode & 0200) permissions |= QFileDevice::WriteOwner | QFileDevice::WriteUser;
  if (mode & 0100) permissions |= QFileDevice::ExeOwner | QFileDevice::ExeUser;
  if (mode & 040) permissions |= QFileDevice::ReadGroup;
  if (mode & 020) permissions |= QFileDevice::WriteGroup;
  if (mode & 010) permissions |= QFileDevice::ExeGroup;
  if (mode & 04) permissions |= QFileDevice::ReadOther;
  if (mode & 02) permissions |= QFileDevice::WriteOther;
  if (mode & 01) permissions |= QFileDevice::ExeOther;
  return permissions;
}

}  // namespace

bool WriteFileAtomically(const QByteArray& path, const QByteArray& content, unsigned newMode) {
  if (path.isEmpty() || path.contains('\0')) return false;
  struct stat old;
  const bool exists = ::stat(path.constData(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) return false;
  // QSaveFile keeps an existing file's permissions; a new one gets `newMode`.
  QSaveFile file(QFile::decodeName(path));
  if (!file.open(QIODevice::WriteOnly)) return false;
  if (!exists) file.setPermissions(PermissionsOf(newMode));
  if (file.write(content) != content.size()) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

bool MakeDir(const QByteArray& path) {
  if (path.isEmpty() || path.contains('\0')) return false;
  return ::mkdir(path.constData(), 0755) == 0 || DirExists(path);
}

QByteArray ToDiskPath(QByteArray path) {
  return path.replace('\\', '/');
}

bool RemoveFile(const QByteArray& path) {
  return !path.isEmpty() && !path.contains('\0') && ::unlink(path.constData()) == 0;
}

}  // namespace orvane
