// Blocks (split at each 0x01) reach the administration site one by one from the owner's
// address, or a stranger's if the input starts with "!": nothing outside docs is read or changed.

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>

#include "scratch.h"

#include "admin/adminsite.h"
#include "shell/headlessshell.h"
#include "util/files.h"
#include "web/publicserver.h"

using namespace orvane;

static const QByteArray kSecret = "SECRET-OUTSIDE-DOCS-7731", kRoot = ScratchFolder("fuzz-admin"),
                        kDocs = kRoot + "docs/";

static QByteArray Outside() {  // docs links to it: a read shows in the replies, all else here
  struct stat status[3]{};
  for (int i = 0; const char* name : {"", "secret.txt", "server.cfg"})
    ::lstat((kRoot + name).constData(), &status[i++]);
  for (struct stat& each : status) each.st_atim = {};
  return QByteArray(reinterpret_cast<const char*>(status), sizeof status);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const auto [site, outside] = [] {
    static int argc = 1;
    static char name[] = "fuzz", *argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    MakeDir(kDocs);
    WriteFileAtomically(kRoot + "secret.txt", kSecret);
    WriteFileAtomically(kRoot + "server.cfg", "[Admin]\nUserName=admin\nPassword=Secret1\n");
    auto* app = new AppState(*new HeadlessShell(DevNull(), DevNull()));  // the log is only written
    app->settings = LoadSettings(kRoot);
    // A public server never started; what lies outside docs, as it was before any input.
    return std::pair{new AdminSite(*app, *new PublicServer(*app)), Outside()};
  }();
  MakeDir(kDocs + "sub");  // what the seeds expect: a folder, a file, and a link leading out
  WriteFileAtomically(kDocs + "a.txt", "a");
  ::symlink(kRoot.constData(), (kDocs + "out").constData());
  QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size)), replies, buffer(65536, 0);
  // Logged in, the site holds a session whose token the seeds carry; a stranger finds none.
  site->SetSessionForTesting(input.startsWith('!') ? "" : "127.0.0.1", QByteArray(32, '0'));
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0) return 0;
  site->Accept(pair[0], {"127.0.0.1", 40000});
  for (const QByteArray& block : input.split('\x01')) {
    if (!block.isEmpty() && ::write(pair[1], block.constData(), size_t(block.size())) < 0) break;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1000);
    for (ssize_t n; (n = ::read(pair[1], buffer.data(), 65536)) > 0;) replies += buffer.first(n);
  }
  ::close(pair[1]);  // the browser leaves; the site ends the connection and any upload
  QCoreApplication::processEvents(QEventLoop::AllEvents, 1000);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  if (replies.contains(kSecret) || Outside() != outside) qFatal("outside docs: read or changed");
  return 0;
}
