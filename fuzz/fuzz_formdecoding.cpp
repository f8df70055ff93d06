// DecodeFormValue on any text: never crashes, never grows a text by more than "<br>" per line
// break or "&quot;" per quote could make it.

#include <QByteArray>
#include <cstdint>
#include <cstdlib>

#include "util/formdecoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const QByteArray decoded = orvane::DecodeFormValue(input);
  // Each escape is at least three characters and becomes at most six ("%22" -> "&quot;").
  if (decoded.size() > input.size() * 2 + 6) std::abort();
  return 0;
}
