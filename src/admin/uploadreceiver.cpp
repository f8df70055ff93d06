#include "admin/uploadreceiver.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>

#include "admin/headerlines.h"
#include "util/files.h"
#include "util/text.h"

namespace orvane {

QByteArray UploadFileName(const QByteArray& clientName) {
  if (clientName.contains('\0')) return {};
  const std::optional<QByteArray> name = StripPath(clientName);
  if (!name || name->isEmpty() || *name == "." || *name == ".." || name->contains('/') ||
      name->contains('\\')) {
    return {};
  }
  return *name;
}

UploadReceiver::~UploadReceiver() {
  Abandon();
}

UploadResult UploadReceiver::Start(const QByteArray& block, const QByteArray& docsFolder,
                                   const QByteArray& peer, const QByteArray& allowed) {
  const qsizetype mark = block.indexOf("boundary=");
  if (mark < 0) return UploadResult::Failed;
  const qsizetype valueAt = mark + 9;
  qsizetype valueEnd = block.indexOf("\r\n", valueAt);
  if (valueEnd < 0) valueEnd = block.size();
  boundary_ = block.mid(valueAt, valueEnd - valueAt);
  if (boundary_.isEmpty()) return UploadResult::Failed;
  expectedBody_ = ContentLength(block);
  bodyReceived_ = 0;
  if (block.indexOf(boundary_, valueEnd) < 0) {
    // The header lines came alone; the body follows in the next block.
    const qsizetype end = HeaderEnd(block);
    if (end >= 0) bodyReceived_ = block.size() - end;
    return UploadResult::Waiting;
  }
  return Continue(block, docsFolder, peer, allowed);
}

UploadResult UploadReceiver::Continue(const QByteArray& block, const QByteArray& docsFolder,
                                      const QByteArray& peer, const QByteArray& allowed) {
  if (Receiving()) {
    bodyReceived_ += block.size();
    lastData_.start();
    return Append(block);
  }
  // A first chunk: the body's first delimiter just after the header lines, or at the start of
  // a block of its own.
  const qsizetype headerEnd = block.startsWith("POST ") ? HeaderEnd(block) : 0;
  if (headerEnd < 0) return UploadResult::NotUpload;
  if (QByteArrayView(block).sliced(headerEnd).startsWith("--" + boundary_) == false) {
    return UploadResult::NotUpload;
  }
  bodyReceived_ += block.size() - headerEnd;
  return Open(block, headerEnd, docsFolder, peer, allowed);
}

UploadResult UploadReceiver::Open(const QByteArray& block, qsizetype bodyAt,
                                  const QByteArray& docsFolder, const QByteArray& peer,
                                  const QByteArray& allowed) {
  if (peer != allowed) return UploadResult::Refused;
  const qsizetype nameAt = block.indexOf("filename=\"", bodyAt);
  if (nameAt < 0) return Fail();
  const qsizetype start = nameAt + 10;
  const qsizetype end = block.indexOf('"', start);
  if (end < 0) return Fail();
  if (end == start) return UploadResult::NoFile;
  const QByteArray name = UploadFileName(block.mid(start, end - start));
  const qsizetype content = HeaderEnd(block, end);
  if (name.isEmpty() || content < 0) return Fail();

  path_ = docsFolder + name;
  // Whatever had the name goes first, a link included, so the new file is created, never
  // followed to somewhere else.
  RemoveFile(path_);
  fd_ = ::open(path_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd_ < 0) return Fail();
  written_ = 0;
  held_.clear();
  lastData_.start();
  return Append(block.mid(content));
}

UploadResult UploadReceiver::Append(const QByteArray& data) {
  held_ += data;
  const QByteArray delimiter = "\r\n--" + boundary_;
  const bool bodyEnded = expectedBody_ >= 0 ? bodyReceived_ >= expectedBody_ : false;
  // Without a length, the body ends when what arrived ends with the closing delimiter.
  const QByteArray closing = delimiter + "--";
  const bool closedHere =
      expectedBody_ < 0 && (held_.endsWith(closing) || held_.endsWith(closing + "\r\n"));
  if (bodyEnded || closedHere) {
    const qsizetype cut = held_.lastIndexOf(delimiter);
    if (!Write(held_.constData(), cut < 0 ? held_.size() : cut)) {
      return Fail(UploadResult::WriteFailed);
    }
    held_.clear();
    ::close(fd_);
    fd_ = -1;
    boundary_.clear();
    lastData_.invalidate();
    return UploadResult::Completed;
  }
  // Keep back what could be the start of the closing delimiter and its end.
  const qsizetype keep = delimiter.size() + 4;
  if (held_.size() > keep) {
    const qsizetype now = held_.size() - keep;
    if (!Write(held_.constData(), now)) return Fail(UploadResult::WriteFailed);
    held_.remove(0, now);
  }
  return UploadResult::Consumed;
}

bool UploadReceiver::Write(const char* data, qsizetype size) {
  while (size > 0) {
    const ssize_t n = ::write(fd_, data, static_cast<size_t>(size));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= n;
    written_ += n;
  }
  return true;
}

UploadResult UploadReceiver::Fail(UploadResult result) {
  if (fd_ >= 0) {
    // A file that could not be written whole is not left under its name.
    ::close(fd_);
    fd_ = -1;
    RemoveFile(path_);
  }
  boundary_.clear();
  held_.clear();
  lastData_.invalidate();
  return result;
}

void UploadReceiver::Abandon() {
  if (fd_ >= 0) {
    Write(held_.constData(), held_.size());
    ::close(fd_);
    fd_ = -1;
  }
  // Nothing of it carries over: a later upload with the same boundary starts afresh instead of
  // being taken for this one's continuation (and ended by this one's byte count).
  boundary_.clear();
  expectedBody_ = -1;
  bodyReceived_ = 0;
  held_.clear();
  lastData_.invalidate();
}

void UploadReceiver::Reset() {
  Abandon();
  path_.clear();
}

}  // namespace orvane
