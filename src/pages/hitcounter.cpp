#include "pages/hitcounter.h"

#include <cmath>
#include <cstdlib>

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
  const double value =
      std::nearbyint(std::strtod(text.mid(begin, end - begin).constData(), nullptr));
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
