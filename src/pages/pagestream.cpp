#include "pages/pagestream.h"

#include <unistd.h>
#include <cerrno>

#include "util/text.h"

namespace orvane {

namespace {

constexpr qsizetype kInputPiece = 4 * 1024;

}  // namespace

SharedFile ShareFile(int fd) {
  return SharedFile(new int(fd), [](const int* file) {
    ::close(*file);
    delete file;
  });
}

bool FileBytes::Pull(QByteArray& out, qsizetype want) {
  const qint64 chunk = std::min<qint64>(std::max<qsizetype>(want, 1), size_ - offset_);
  if (chunk <= 0) return true;
  const qsizetype at = out.size();
  out.resize(at + chunk);
  ssize_t n;
  do {
    n = ::pread(*file_, out.data() + at, static_cast<size_t>(chunk), offset_);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) {
    out.resize(at);
    offset_ = size_;
    return false;  // unreadable, or shorter than when it was opened
  }
  out.resize(at + n);
  offset_ += n;
  return true;
}

bool TextBytes::Pull(QByteArray& out, qsizetype want) {
  const qsizetype chunk = std::min(std::max<qsizetype>(want, 1), text_.size() - offset_);
  out.append(text_.constData() + offset_, chunk);
  offset_ += chunk;
  if (Done()) text_.clear();
  return true;
}

bool Replacer::Pull(QByteArray& out, qsizetype want) {
  const qsizetype n = search_.size();
  // Input comes in small pieces, however much output is wanted: what a stage still holds when
  // the output is complete is at most one such piece.
  const qsizetype refill = std::max(kInputPiece, n);
  const qsizetype goal = out.size() + std::max(want, qsizetype(1));
  while (out.size() < goal) {
    if (!upstream_->Done() && in_.size() - pos_ < refill) {
      in_.remove(0, pos_);
      pos_ = 0;
      if (!upstream_->Pull(in_, refill)) return false;
      continue;
    }
    if (pos_ >= in_.size()) break;  // upstream is done too
    const qsizetype hit = n == 0 ? -1 : IndexOfFolded(in_, search_, pos_);
    if (hit >= 0) {
      out.append(in_.constData() + pos_, hit - pos_);
      if (replacement_) {
        out += *replacement_;
      } else {
        out.append(in_.constData() + hit, n);
      }
      ++matches_;
      pos_ = hit + n;
      continue;
    }
    // No match in what is here; only its last bytes could still start one.
    const qsizetype keep = upstream_->Done() ? 0 : std::min(n - 1, in_.size() - pos_);
    out.append(in_.constData() + pos_, in_.size() - keep - pos_);
    pos_ = in_.size() - keep;
    if (upstream_->Done()) break;
    in_.remove(0, pos_);
    pos_ = 0;
    if (!upstream_->Pull(in_, refill)) return false;
  }
  // Between pulls only the few bytes that may start a match are held, not the piece.
  in_ = Done() ? QByteArray() : in_.mid(pos_);
  pos_ = 0;
  return true;
}

bool Appender::Pull(QByteArray& out, qsizetype want) {
  if (!upstream_->Done()) return upstream_->Pull(out, want);
  if (!appended_) out += tail_;
  appended_ = true;
  return true;
}

void ExactFinder::Feed(QByteArrayView piece) {
  if (found_ || needle_.isEmpty()) {
    found_ = true;
    return;
  }
  QByteArray joined = tail_;
  joined.append(piece.first(std::min(piece.size(), needle_.size() - 1)));
  if (joined.contains(needle_) || piece.contains(needle_)) {
    found_ = true;
    return;
  }
  // Only the last bytes can begin an occurrence that ends in the next piece.
  const qsizetype keep = needle_.size() - 1;
  if (piece.size() >= keep) {
    tail_ = piece.last(keep).toByteArray();
  } else {
    tail_ = (tail_ + piece.toByteArray()).right(keep);
  }
}

}  // namespace orvane
