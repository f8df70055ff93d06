#include "admin/uploadreceiver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include "net/headerlines.h"
#include "util/files.h"
#include "util/text.h"

namespace orvane {

namespace {

// The start of a body (its first parts up to the file's header lines) may be this large.
constexpr qsizetype kMaxStart = 64 * 1024;

// The value of the form part `name` in a multipart body's start; empty when there is none.
QByteArray PartValue(const QByteArray& body, const QByteArray& name) {
  const QByteArray header = "name=\"" + name + "\"";
  const qsizetype at = body.indexOf(header);
  if (at < 0) return {};
  const qsizetype value = HeaderEnd(body, at);
  if (value < 0) return {};
  const qsizetype end = body.indexOf("\r\n", value);
  return end < 0 ? QByteArray() : body.mid(value, end - value);
}

}  // namespace

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
                                   const Admission& admits) {
  const qsizetype mark = block.indexOf("boundary=");
  if (mark < 0) return UploadResult::Failed;
  const qsizetype valueAt = mark + 9;
  qsizetype valueEnd = block.indexOf("\r\n", valueAt);
  if (valueEnd < 0) valueEnd = block.size();
  boundary_ = block.mid(valueAt, valueEnd - valueAt);
  if (boundary_.isEmpty()) return UploadResult::Failed;
  expectedBody_ = ContentLength(block);
  bodyReceived_ = 0;
  start_.clear();
  const qsizetype end = HeaderEnd(block);
  if (end < 0) return UploadResult::Failed;
  return Continue(block.mid(end), docsFolder, admits);
}

UploadResult UploadReceiver::Continue(const QByteArray& block, const QByteArray& docsFolder,
                                      const Admission& admits) {
  bodyReceived_ += block.size();
  if (Receiving()) {
    lastData_.start();
    return Append(block);
  }
  // The body's start is gathered until its file part's header lines are whole, however the
  // blocks cut it: the first delimiter, the token's part and the file name may come in pieces.
  start_ += block;
  const QByteArray first = "--" + boundary_;
  if (!first.startsWith(start_.left(first.size()))) {
    start_.clear();
    return UploadResult::NotUpload;
  }
  const qsizetype nameAt = start_.indexOf("filename=\"");
  const qsizetype nameEnd = nameAt < 0 ? -1 : start_.indexOf('"', nameAt + 10);
  if (nameEnd < 0 || HeaderEnd(start_, nameEnd) < 0) {
    if (start_.size() > kMaxStart) return Fail();
    if (expectedBody_ >= 0 && bodyReceived_ >= expectedBody_) return Fail();
    return UploadResult::Waiting;
  }
  return Open(docsFolder, admits);
}

UploadResult UploadReceiver::Open(const QByteArray& docsFolder, const Admission& admits) {
  const QByteArray body = std::move(start_);
  start_.clear();
  if (!admits(PartValue(body, "Token"))) {
    boundary_.clear();
    return UploadResult::Refused;
  }
  const qsizetype start = body.indexOf("filename=\"") + 10;
  const qsizetype end = body.indexOf('"', start);
  if (end == start) {
    boundary_.clear();
    return UploadResult::NoFile;
  }
  const QByteArray name = UploadFileName(body.mid(start, end - start));
  const qsizetype content = HeaderEnd(body, end);
  if (name.isEmpty()) return Fail();

  path_ = docsFolder + name;
  // A new file of its own beside the target, never a link followed elsewhere.
  QByteArray temp = docsFolder + "..upload-XXXXXX";
  fd_ = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd_ < 0) return Fail();
  ::fchmod(fd_, 0644);
  temp_ = temp;
  written_ = 0;
  held_.clear();
  lastData_.start();
  return Append(body.mid(content));
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
    if (!Write(held_.constData(), cut < 0 ? held_.size() : cut) || ::fsync(fd_) != 0) {
      return Fail(UploadResult::WriteFailed);
    }
    held_.clear();
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    // Whole: it takes the place of the old file in one step (a link there is replaced, never
    // followed).
    if (!closed || ::rename(temp_.constData(), path_.constData()) != 0) {
      return Fail(UploadResult::WriteFailed);
    }
    temp_.clear();
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
  Abandon();
  return result;
}

void UploadReceiver::Abandon() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  // What was received never replaces anything: the file of that name stays as it was.
  if (!temp_.isEmpty()) RemoveFile(temp_);
  temp_.clear();
  // Nothing of it carries over: a later upload with the same boundary starts afresh instead of
  // being taken for this one's continuation (and ended by this one's byte count).
  boundary_.clear();
  expectedBody_ = -1;
  bodyReceived_ = 0;
  held_.clear();
  start_.clear();
  lastData_.invalidate();
}

void UploadReceiver::Reset() {
  Abandon();
  path_.clear();
}

}  // namespace orvane
