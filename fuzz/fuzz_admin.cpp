// The administration site's data arrival: blocks (split at each byte 0x01) arrive one by one on
// a connection from the logged-in address or, when the input starts with "!", from a stranger's.
// Logins, console forms, erase lists and uploads all run against a documents folder in a
// temporary directory. Whatever arrives, nothing outside docs is read, changed or added.

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <cstdint>
#include <cstdlib>

#include "scratch.h"

#include "admin/adminsite.h"
#include "shell/headlessshell.h"
#include "util/files.h"

namespace {

using namespace orvane;

const QByteArray kSecret = "SECRET-OUTSIDE-DOCS-7731";

class NoPublicServer : public PublicService {
 public:
  bool Start() override { return true; }
  void Stop() override {}
  int ActiveConnections() const override { return 0; }
};

QByteArray root;

// What lies outside docs: a change of any entry or content changes a folder's or a file's times.
QByteArray Outside() {
  QByteArray seen;
  for (const char* name : {"", "site", "outside", "secret.txt", "outside/inner.txt"}) {
    struct stat status {};
    if (::lstat((root + name).constData(), &status) != 0) return "missing " + QByteArray(name);
    seen += QByteArray::number(qint64(status.st_ino)) + ":" +
            QByteArray::number(qint64(status.st_size)) + ":" +
            QByteArray::number(qint64(status.st_mtim.tv_nsec)) + ":" +
            QByteArray::number(qint64(status.st_ctim.tv_nsec)) + "|";
  }
  return seen;
}

struct World {
  int argc = 1;
  char name[8] = "fuzz";
  char* argv[2] = {name, nullptr};
  QCoreApplication application{argc, argv};
  HeadlessShell shell{DevNull(), DevNull()};  // the log is not wanted, only written
  AppState app{shell};
  NoPublicServer web;
  AdminSite* site = nullptr;
  QByteArray outside;

  World() {
    root = ScratchFolder("fuzz-admin");
    QDir().mkpath(QString::fromLatin1(root + "site/docs/sub"));
    QDir().mkpath(QString::fromLatin1(root + "outside"));
    WriteFileAtomically(root + "secret.txt", kSecret);
    WriteFileAtomically(root + "outside/inner.txt", kSecret);
    app.settings = LoadSettings(root + "site/");
    app.settings.AdminUserName = "admin";
    app.settings.AdminPassword = "Secret1";
    site = new AdminSite(app, web);
    outside = Outside();
  }

  // The folder as the inputs expect it: a file, a folder with a file, and a link leading out.
  void Refill() {
    const QByteArray docs = root + "site/docs/";
    if (!PathExists(docs + "a.txt")) WriteFileAtomically(docs + "a.txt", "a");
    QDir().mkpath(QString::fromLatin1(docs + "sub"));
    if (!PathExists(docs + "sub/b.txt")) WriteFileAtomically(docs + "sub/b.txt", "b");
    ::symlink((root + "outside").constData(), (docs + "out").constData());
  }
};

void Settle() {
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World world;
  world.Refill();
  QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const bool stranger = input.startsWith('!');
  // Logged in, the site holds a session whose token the seeds carry; a stranger finds none.
  world.site->SetSessionForTesting(stranger ? "" : "127.0.0.1", QByteArray(32, '0'));
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0) return 0;
  world.site->Accept(pair[0], {"127.0.0.1", 40000});
  QByteArray replies;
  char buffer[65536];
  auto drain = [&] {
    for (ssize_t n; (n = ::read(pair[1], buffer, sizeof buffer)) > 0;) replies.append(buffer, n);
  };
  for (const QByteArray& block : input.split('\x01')) {
    if (!block.isEmpty() && ::write(pair[1], block.constData(), size_t(block.size())) < 0) break;
    Settle();
    drain();
  }
  ::close(pair[1]);  // the browser leaves; the site ends the connection and any upload
  Settle();
  if (replies.contains(kSecret) || Outside() != world.outside) std::abort();
  return 0;
}
