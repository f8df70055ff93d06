#pragma once

#include <QByteArray>
#include <deque>

namespace orvane {

// The running log: text lines in the order they were added, held in memory only.
class RunningLog {
 public:
  static constexpr qsizetype kMaxLines = 32767;
  // Longer lines are cut to this length and end in "...": a client's request name must not be
  // able to fill the memory through the log.
  static constexpr qsizetype kMaxLineLength = 4096;
  // All lines together hold at most this much text: 32,767 long lines would be 128 MiB.
  static constexpr qsizetype kMaxBytes = 16 * 1024 * 1024;

  // Adds `line` at the end. A line break or other control character in it is shown as a visible
  // escape ("\x0D"), so one entry is always one line. When the log is full (in lines or in
  // bytes) the oldest lines are dropped; returns how many.
  int Append(const QByteArray& line);
  void Clear();
  qsizetype Count() const { return static_cast<qsizetype>(lines_.size()); }
  qsizetype Bytes() const { return bytes_; }
  // The line at a 0-based index; empty for an index outside the log.
  QByteArray Line(qsizetype index) const;

  // `line` as it is stored: control characters escaped, at most kMaxLineLength characters.
  static QByteArray Printable(const QByteArray& line);

 private:
  std::deque<QByteArray> lines_;
  qsizetype bytes_ = 0;
};

}  // namespace orvane
