// Any value written with WriteINI reads back with ReadINI as written: line breaks dropped, at
// most 254 characters, and nothing else changed (blanks and quotes included); another key stays.

#include <QByteArrayList>
#include <cstdlib>
#include <cstring>

#include "scratch.h"

#include "core/ini.h"
#include "util/files.h"

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const QByteArray file = ScratchFolder("fuzz-ini") + "test.ini";
  // Section, key and value, separated by the first two NULs.
  const QByteArrayList fields =
      QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).split('\0');
  if (fields.size() < 3) return 0;
  const bool written = WriteFileAtomically(file, "[Other]\nk=v\n") &&
                       WriteINI(fields[0], fields[1], fields[2], file);
  // Names that are blank, have blanks at their edges or hold "=", "[", "]", ";", a tab or a line
  // end cannot be stored as given; the read back is checked only for names that can.
  auto plain = [](const QByteArray& name) {
    return !name.isEmpty() && name.trimmed() == name &&
           !std::strpbrk(name.constData(), "=[]\r\n\t;");
  };
  const QByteArray expected = QByteArray(fields[2]).replace('\r', "").replace('\n', "").left(254);
  if (!written ||
      (plain(fields[0]) && plain(fields[1]) && fields[0].compare("Other", Qt::CaseInsensitive) &&
       (ReadINI(fields[0], fields[1], file) != expected || ReadINI("Other", "k", file) != "v")))
    std::abort();
  return 0;
}
