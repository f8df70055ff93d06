#include "core/runninglog.h"

#include <algorithm>

namespace orvane {

QByteArray RunningLog::Printable(const QByteArray& line) {
  auto isControl = [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
  };
  auto limited = [](QByteArray text) {
    if (text.size() > kMaxLineLength) text = text.left(kMaxLineLength - 3) + "...";
    return text;
  };
  if (std::none_of(line.begin(), line.end(), isControl)) return limited(line);
  static const char kHex[] = "0123456789ABCDEF";
  QByteArray out;
  out.reserve(line.size() + 16);
  for (char c : line) {
    if (!isControl(c)) {
      out += c;
      continue;
    }
    const auto u = static_cast<unsigned char>(c);
    out += "\\x";
    out += kHex[u >> 4];
    out += kHex[u & 0xF];
    if (out.size() > kMaxLineLength) break;
  }
  return limited(out);
}

int RunningLog::Append(const QByteArray& line) {
  QByteArray stored = Printable(line);
  int dropped = 0;
  while (!lines_.empty() && (Count() >= kMaxLines || bytes_ + stored.size() > kMaxBytes)) {
    bytes_ -= lines_.front().size();
    lines_.pop_front();
    ++dropped;
  }
  bytes_ += stored.size();
  lines_.push_back(std::move(stored));
  return dropped;
}

void RunningLog::Clear() {
  lines_.clear();
  bytes_ = 0;
}

QByteArray RunningLog::Line(qsizetype index) const {
  if (index < 0 || index >= Count()) return {};
  return lines_[static_cast<size_t>(index)];
}

}  // namespace orvane
