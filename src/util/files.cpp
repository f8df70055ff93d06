#include "util/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace orvane {

namespace {

bool WriteAll(int fd, const char* data, qsizetype size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= n;
  }
  return true;
}

}  // namespace

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
  // Files of /proc say they are empty and are not: what such a file holds is read to its end.
  if (content && size == 0) {
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) content->append(buffer, n);
  }
  ::close(fd);
  return content;
}

// Not QSaveFile: it takes the name as UTF-8 text, and a name that is not (a folder named in
// Latin-1) would be saved under another name.
bool WriteFileAtomically(const QByteArray& path, const QByteArray& content, unsigned newMode) {
  if (path.isEmpty() || path.contains('\0')) return false;
  mode_t mode = static_cast<mode_t>(newMode);
  struct stat old;
  if (::stat(path.constData(), &old) == 0) {
    if (!S_ISREG(old.st_mode)) return false;
    mode = old.st_mode & 07777;
  }
  QByteArray temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  const bool written = WriteAll(fd, content.constData(), content.size()) && ::fchmod(fd, mode) == 0;
  const bool closed = ::close(fd) == 0;
  if (!written || !closed || ::rename(temp.constData(), path.constData()) != 0) {
    ::unlink(temp.constData());
    return false;
  }
  return true;
}

QByteArray WriteProblem(const QByteArray& path) {
  struct stat st;
  if (!path.contains('\0') && ::stat(path.constData(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return std::strerror(EISDIR);
    if (::access(path.constData(), W_OK) != 0) return std::strerror(errno);
  }
  const QByteArray folder = path.left(path.lastIndexOf('/') + 1);
  if (::access(folder.isEmpty() ? "." : folder.constData(), W_OK | X_OK) != 0) {
    return std::strerror(errno);
  }
  return "The file could not be written.";
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
