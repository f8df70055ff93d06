#pragma once
// The pieces a substituted page is made of while it streams: the file or text it comes from, one
// stage per replacement, and the footer behind it.

#include <QByteArray>
#include <memory>
#include <optional>

#include "util/bytesource.h"

namespace orvane {

// An open file, closed when its last holder lets go.
using SharedFile = std::shared_ptr<const int>;
SharedFile ShareFile(int fd);

// `size` bytes of an open file, read from its start (pread: the descriptor's own offset is left
// alone, so one descriptor serves any number of passes). Fails when the file ends early.
class FileBytes final : public ByteSource {
 public:
  FileBytes(SharedFile file, qint64 size) : file_(std::move(file)), size_(size) {}
  bool Pull(QByteArray& out, qsizetype want) override;
  bool Done() const override { return offset_ >= size_; }

 private:
  SharedFile file_;
  qint64 size_;
  qint64 offset_ = 0;
};

class TextBytes final : public ByteSource {
 public:
  explicit TextBytes(QByteArray text) : text_(std::move(text)) {}
  bool Pull(QByteArray& out, qsizetype want) override;
  bool Done() const override { return offset_ >= text_.size(); }

 private:
  QByteArray text_;
  qsizetype offset_ = 0;
};

// Every occurrence of `search` in what `upstream` gives, regardless of letter case, replaced by
// `replacement`, with the same result as ReplaceText on the whole text: the search resumes after
// each match, and a match may straddle any two pieces. Holds at most `search` less one byte
// between pulls. Without a replacement it only counts the matches, and passes them on as they are.
class Replacer final : public ByteSource {
 public:
  Replacer(std::unique_ptr<ByteSource> upstream, QByteArray search,
           std::optional<QByteArray> replacement)
      : upstream_(std::move(upstream)),
        search_(std::move(search)),
        replacement_(std::move(replacement)) {}
  bool Pull(QByteArray& out, qsizetype want) override;
  bool Done() const override { return upstream_->Done() && pos_ >= in_.size(); }
  qint64 Matches() const { return matches_; }

 private:
  std::unique_ptr<ByteSource> upstream_;
  QByteArray search_;
  std::optional<QByteArray> replacement_;
  QByteArray in_;
  qsizetype pos_ = 0;
  qint64 matches_ = 0;
};

// What `upstream` gives, then `tail`.
class Appender final : public ByteSource {
 public:
  Appender(std::unique_ptr<ByteSource> upstream, QByteArray tail)
      : upstream_(std::move(upstream)), tail_(std::move(tail)) {}
  bool Pull(QByteArray& out, qsizetype want) override;
  bool Done() const override { return upstream_->Done() && appended_; }

 private:
  std::unique_ptr<ByteSource> upstream_;
  QByteArray tail_;
  bool appended_ = false;
};

// Whether an exact (case-sensitive) text occurs in bytes fed a piece at a time.
class ExactFinder {
 public:
  explicit ExactFinder(QByteArray needle) : needle_(std::move(needle)) {}
  void Feed(QByteArrayView piece);
  bool Found() const { return found_; }

 private:
  QByteArray needle_;
  QByteArray tail_;  // the end of what was fed, shorter than the needle
  bool found_ = false;
};

}  // namespace orvane
