#include "net/fileanswer.h"

#include <algorithm>

#include "net/headerlines.h"
#include "net/httpdate.h"

namespace orvane {

namespace {

constexpr qint64 kAbsent = -1;
constexpr qint64 kInvalid = -2;
constexpr qint64 kBeyondAnyFile = qint64(1) << 62;

// All of `text` as a number (a larger one than any file stands for itself as kBeyondAnyFile);
// kAbsent for an empty text, kInvalid for one with anything but digits.
qint64 Digits(QByteArrayView text) {
  if (text.isEmpty()) return kAbsent;
  qint64 n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return kInvalid;
    n = n >= kBeyondAnyFile / 10 ? kBeyondAnyFile : n * 10 + (c - '0');
  }
  return n;
}

FileAnswer Range(const QByteArray& value, qint64 size) {
  const FileAnswer whole;
  if (value.size() < 6 || value.left(6).toLower() != "bytes=") return whole;
  const QByteArray asked = value.mid(6).trimmed();
  const qsizetype dash = asked.indexOf('-');
  if (dash < 0 || asked.contains(',')) return whole;
  const qint64 first = Digits(QByteArrayView(asked).first(dash));
  const qint64 last = Digits(QByteArrayView(asked).sliced(dash + 1));
  if (first == kInvalid || last == kInvalid) return whole;
  if (first == kAbsent) {  // "-n": the last n bytes
    if (last == kAbsent) return whole;
    if (last == 0) return {FileAnswer::Unsatisfiable};
    const qint64 length = std::min(last, size);
    return {FileAnswer::Part, size - length, length};
  }
  if (last != kAbsent && last < first) return whole;  // not a range at all: ignored
  if (first >= size) return {FileAnswer::Unsatisfiable};
  const qint64 end = last == kAbsent ? size - 1 : std::min(last, size - 1);
  return {FileAnswer::Part, first, end - first + 1};
}

}  // namespace

FileAnswer AnswerFileRequest(const QByteArray& request, qint64 size, qint64 modified, qint64 now) {
  if (HeaderValue(request, "if-none-match:").isEmpty()) {
    const std::optional<qint64> since = ParseHttpDate(HeaderValue(request, "if-modified-since:"));
    if (since && *since <= now && modified <= *since) return {FileAnswer::NotModified};
  }
  const QByteArray range = HeaderValue(request, "range:");
  if (range.isEmpty()) return {};
  const QByteArray ifRange = HeaderValue(request, "if-range:");
  if (!ifRange.isEmpty() && ifRange != HttpDate(modified)) return {};
  return Range(range, size);
}

}  // namespace orvane
