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

bool RunningLog::Append(const QByteArray& line) {
  const bool full = Count() >= kMaxLines;
  if (full) lines_.pop_front();
  lines_.push_back(Printable(line));
  return full;
}

void RunningLog::Clear() {
  lines_.clear();
}

QByteArray RunningLog::Line(qsizetype index) const {
  if (index < 0 || index >= Count()) return {};
  return lines_[static_cast<size_t>(index)];
}

}  // namespace orvane
