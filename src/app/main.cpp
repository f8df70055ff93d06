// Orvane Light: a small web server that publishes the "docs" folder beside the program.

#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <csignal>
#include <cstring>

#include "admin/adminlistener.h"
#include "app/commandline.h"
#include "app/signalwatcher.h"
#include "core/lifecycle.h"
#include "shell/headlessshell.h"
#include "web/publicserver.h"

namespace {

using namespace orvane;

// Every client slot and waiting connection holds a descriptor; the usual soft limit of 1024 is
// too tight for the largest slot count with a full listen queue.
void RaiseDescriptorLimit() {
  rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}

int Fail(const QByteArray& message) {
  WriteFully(2, "orvane-light: " + message + "\n\n" + UsageText());
  return 2;
}

int RunHeadless(const QByteArray& appPath) {
  SignalWatcher signals;
  QObject::connect(&signals, &SignalWatcher::Stopped, qApp, [] { QCoreApplication::exit(0); });
  HeadlessShell shell;
  AppState state(shell);
  PublicServer web(state);
  AdminListener admin;
  Lifecycle lifecycle(state, web, admin);
  // Without a window there is nothing to minimise and no menu to choose Run Server from: the
  // server runs at once, with or without "/r".
  lifecycle.StartUp(appPath, {});
  if (!lifecycle.RunServer()) return 1;

  return QCoreApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
  SignalWatcher::Install();
  std::signal(SIGPIPE, SIG_IGN);  // a closed reader or peer is an error to handle, not an end
  // Without a window there is nothing to share the event loop with, and Qt's own dispatcher
  // serves many short connections faster than the GLib one.
  const bool headless = std::any_of(
      argv + 1, argv + argc, [](const char* arg) { return std::strcmp(arg, "--headless") == 0; });
  if (headless && qEnvironmentVariableIsEmpty("QT_NO_GLIB")) qputenv("QT_NO_GLIB", "1");
  QCoreApplication app(argc, argv);
  const CommandLine line = ParseCommandLine(app.arguments().mid(1));
  if (!line.error.isEmpty()) return Fail(line.error);
  if (line.help) {
    WriteFully(1, UsageText());
    return 0;
  }

  QByteArray appPath;
  if (line.appDir.isEmpty()) {
    appPath = QFile::encodeName(QCoreApplication::applicationDirPath());
  } else {
    const QDir dir(QFile::decodeName(line.appDir));
    if (!dir.exists()) return Fail("no such folder: " + line.appDir);
    appPath = QFile::encodeName(dir.absolutePath());
  }
  appPath = AsAppPath(appPath);

  if (line.printSettings) {
    WriteFully(1, SettingsReport(LoadSettings(appPath)));
    return 0;
  }
  if (!line.headless) {
    return Fail("this build has no desktop window; start it with --headless");
  }
  RaiseDescriptorLimit();
  return RunHeadless(appPath);
}
