#include "pages/hitcounter.h"

#include <cctype>
#include <charconv>
#include <cmath>

#include "core/ini.h"

namespace orvane {

namespace {

constexpr int kMaxCount = 32767;

}  // namespace

QByteArray CounterFile(const QByteArray& appPath) {
  return appPath + "system/counters.txt";
}

int StoredCount(const QByteArray& text) {
  qsizetype i = 0;
  auto blank = [&text](qsizetype at) { return text[at] == ' ' || text[at] == '\t'; };
  while (i < text.size() && blank(i)) ++i;
  const qsizetype begin = i;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  qsizetype digits = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) ++digits;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) ++digits;
  }
  const qsizetype end = i;
  while (i < text.size() && blank(i)) ++i;
  if (digits == 0 || i != text.size() || end - begin > 64) return 0;
  // Not strtod: under a locale with a decimal comma it would stop at the point.
  const char* first = text.constData() + begin;
  if (*first == '+') ++first;
  double parsed = 0;
  std::from_chars(first, text.constData() + end, parsed, std::chars_format::fixed);
  const double value = std::nearbyint(parsed);
  if (value < -32768 || value > kMaxCount) return 0;
  return static_cast<int>(value);
}

int CountHit(const QByteArray& appPath) {
  const QByteArray file = CounterFile(appPath);
  int count = StoredCount(ReadINI("", "counter", file));
  if (count < kMaxCount) ++count;
  WriteINI("", "counter", QByteArray::number(count), file);
  return count;
}

}  // namespace orvane
