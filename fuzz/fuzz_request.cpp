// The public request path on an in-memory slot: request text arriving in pieces (split at each
// byte 0x01) is scanned, handled, and answered through a recording sink, with header lines when
// the first byte is odd. Whatever the text, no reply may hold a byte of the file kept beside the
// documents folder, and no header line it adds may be split or name another host.

#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <cstdint>
#include <cstdlib>

#include "../tests/recordingsink.h"
#include "scratch.h"

#include "core/appstate.h"
#include "shell/headlessshell.h"
#include "util/files.h"
#include "web/clientslot.h"
#include "web/requesthandler.h"
#include "web/scriptrunner.h"

namespace {

using namespace orvane;

const QByteArray kSecret = "SECRET-OUTSIDE-DOCS-7731";

HeadlessShell shell(DevNull(), DevNull());  // the log is not wanted, only written
AppState app(shell);

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const QByteArray root = ScratchFolder("fuzz-request");
  QDir().mkpath(QString::fromLatin1(root + "site/docs/sub"));
  WriteFileAtomically(root + "secret.txt", kSecret);
  WriteFileAtomically(root + "site/secret.txt", kSecret);
  WriteFileAtomically(root + "site/docs/index.html", "<p>%filename% %server-path%</p>");
  WriteFileAtomically(root + "site/docs/sub/a.txt", "a");
  WriteFileAtomically(root + "site/docs/run.qmx", "script");
  app.settings = LoadSettings(root + "site/");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Site site{app.settings, app.desktop, app.ListingPath};
  Recorded record;
  ClientSlot slot;
  slot.sink = &record;
  slot.peer = "10.0.0.1";
  const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  app.settings.HttpHeaders = size > 0 && (data[0] & 1) != 0;
  QByteArray text;
  for (const QByteArray& piece : input.split('\x01')) {
    text += piece;
    if (app.settings.HttpHeaders ? !slot.headScanner.Complete(text) : !slot.scanner.Complete(text))
      continue;
    HandleRequest(site, slot, text);
    const QByteArray& lines = record.kind.moreLines;
    if (record.body.contains(kSecret) || lines.startsWith("Location: //") ||
        lines.count('\n') != lines.count("\r\n") || lines.count('\r') != lines.count("\r\n")) {
      std::abort();
    }
    text.clear();
    slot.scanner.Reset();
    slot.headScanner.Reset();
    record.body.clear();
  }
  return 0;
}
