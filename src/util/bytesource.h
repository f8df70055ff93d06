#pragma once

#include <QByteArray>

namespace orvane {

// Bytes produced a piece at a time, so that a reply can be made while it is sent instead of being
// held whole.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Appends the next bytes to `out`: more than nothing unless Done(), and not much more than
  // `want` beyond what a single replacement adds. False when the bytes cannot be had (a file that
  // shrank or cannot be read); nothing more comes then.
  virtual bool Pull(QByteArray& out, qsizetype want) = 0;
  // True once everything has been pulled.
  virtual bool Done() const = 0;
};

}  // namespace orvane
