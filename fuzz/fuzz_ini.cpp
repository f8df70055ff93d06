// Any value written with WriteINI reads back with ReadINI as written: line breaks dropped, at
// most 254 characters, and nothing else changed (blanks and quotes included).

#include <unistd.h>

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <cstdlib>

#include "scratch.h"

#include "core/ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const QByteArray file = ScratchFolder("fuzz-ini") + "test.ini";
  const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  // Section, key and value, separated by the first two NULs.
  const QList<QByteArray> parts = input.split('\0');
  if (parts.size() < 3) return 0;
  const QByteArray& section = parts[0];
  const QByteArray& key = parts[1];
  const QByteArray& value = parts[2];
  ::unlink(file.constData());
  if (!orvane::WriteINI("Other", "k", "v", file)) std::abort();
  if (!orvane::WriteINI(section, key, value, file)) std::abort();
  QByteArray expected = value;
  expected.replace('\r', QByteArray()).replace('\n', QByteArray());
  // Names that are blank, hold "=", "[" or "]", start with ";", or have blanks at their edges
  // cannot be stored as given; the read back is checked only for names that can.
  auto plainName = [](const QByteArray& name) {
    if (name.trimmed() != name || name.isEmpty()) return false;
    for (char c : name) {
      if (c == '=' || c == '[' || c == ']' || c == '\r' || c == '\n' || c == '\t' || c == ';') {
        return false;
      }
    }
    return true;
  };
  if (!plainName(section) || !plainName(key) ||
      section.compare("Other", Qt::CaseInsensitive) == 0) {
    return 0;
  }
  if (orvane::ReadINI(section, key, file) != expected.left(254)) std::abort();
  if (orvane::ReadINI("Other", "k", file) != "v") std::abort();
  return 0;
}
