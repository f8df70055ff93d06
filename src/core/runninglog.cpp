#include "core/runninglog.h"

namespace orvane {

namespace {

// The length of the well-formed UTF-8 sequence of two or more bytes at `at`, and its code point;
// 0 when there is none.
qsizetype Utf8Length(const QByteArray& line, qsizetype at, char32_t& code) {
  const auto lead = static_cast<unsigned char>(line[at]);
  qsizetype length = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > line.size()) return 0;
  for (qsizetype i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(line[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3F);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  return overlong || code > 0x10FFFF ? 0 : length;
}

// How many bytes at `at` stay as they are (a positive count), or must be escaped (a negative
// count): C0 and C1 controls and DEL, and in UTF-8 the C1 controls (U+0080 to U+009F) and the
// bidirectional controls (U+202A to U+202E, U+2066 to U+2069), which a terminal would act on.
qsizetype Classify(const QByteArray& line, qsizetype at) {
  char32_t code = 0;
  if (const qsizetype length = Utf8Length(line, at, code)) {
    const bool control =
        code <= 0x9F || (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
    return control ? -length : length;
  }
  const auto c = static_cast<unsigned char>(line[at]);
  return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) ? -1 : 1;
}

}  // namespace

QByteArray RunningLog::Printable(const QByteArray& line) {
  auto limited = [](QByteArray text) {
    if (text.size() > kMaxLineLength) text = text.left(kMaxLineLength - 3) + "...";
    return text;
  };
  static const char kHex[] = "0123456789ABCDEF";
  QByteArray out;
  for (qsizetype i = 0; i < line.size();) {
    const qsizetype kind = Classify(line, i);
    if (kind > 0) {
      if (!out.isNull()) out.append(line.constData() + i, kind);
      i += kind;
      continue;
    }
    const qsizetype control = -kind;
    if (out.isNull()) {
      out.reserve(line.size() + 16);
      out.append(line.constData(), i);
    }
    for (qsizetype end = i + control; i < end; ++i) {
      const auto u = static_cast<unsigned char>(line[i]);
      out += "\\x";
      out += kHex[u >> 4];
      out += kHex[u & 0xF];
    }
    if (out.size() > kMaxLineLength) break;
  }
  return limited(out.isNull() ? line : out);
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
