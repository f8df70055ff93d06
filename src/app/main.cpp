// Orvane Light: a small web server that publishes the "docs" folder beside the program.

#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <csignal>
#include <cstring>

#include "admin/adminsite.h"
#include "app/commandline.h"
#include "app/programfolder.h"
#include "app/signalwatcher.h"
#include "app/tlssetup.h"
#ifdef ORVANE_GUI
#include <QApplication>
#include <QMessageBox>

#include "app/windowed.h"
#endif
#include "core/lifecycle.h"
#include "net/epolldispatcher.h"
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

QByteArray NoFolder(const CommandLine& line) {
  return line.appDir.isEmpty() ? "no program folder: neither XDG_DATA_HOME nor HOME is set"
                               : "no such folder: " + line.appDir;
}

int Fail(const QByteArray& message) {
  WriteFully(2, "orvane-light: " + message + "\n\n" + UsageText());
  return 2;
}

int RunHeadless(const QByteArray& appPath) {
  SignalWatcher signals;
  QObject::connect(&signals, &SignalWatcher::Stopped, QCoreApplication::instance(),
                   [] { QCoreApplication::exit(0); });
  QByteArray error;
  const std::unique_ptr<TlsContext> tls = PrepareTls(appPath, error);
  if (!error.isEmpty()) {
    WriteFully(2, "orvane-light: " + error + "\n");
    return 1;
  }
  HeadlessShell shell;
  AppState state(shell);
  PublicServer web(state);
  AdminSite admin(state, web);
  UseTls(tls.get(), state, web, admin);
  Lifecycle lifecycle(state, web, admin);
  // Without a window there is nothing to minimise and no menu to choose Run Server from: the
  // server runs at once, with or without "/r".
  lifecycle.StartUp(appPath, {});
  if (!lifecycle.RunServer()) return 1;
  QObject::connect(&signals, &SignalWatcher::Restart, QCoreApplication::instance(),
                   [&lifecycle] { lifecycle.RestartAdmin(); });

  return QCoreApplication::exec();
}

// The program folder (see ChooseProgramFolder); empty when DIR of --app-dir is no folder. When
// it is the user's data folder, `sample` is the site that fills it at the first start.
QByteArray ProgramFolder(const CommandLine& line, QByteArray& sample) {
  QByteArray appDir;
  if (!line.appDir.isEmpty()) {
    const QDir dir(QFile::decodeName(line.appDir));
    if (!dir.exists()) return {};
    appDir = QFile::encodeName(dir.absolutePath());
  }
  const QByteArray executableDir = QFile::encodeName(QCoreApplication::applicationDirPath());
  const bool own = ExecutableDirIsOwn(executableDir);
  if (appDir.isEmpty() && !own) sample = SampleSiteFor(executableDir);
  return ChooseProgramFolder(
      {appDir, executableDir, own, qgetenv("XDG_DATA_HOME"), qgetenv("HOME")});
}

}  // namespace

int main(int argc, char** argv) {
  SignalWatcher::Install();
  std::signal(SIGPIPE, SIG_IGN);  // a closed reader or peer is an error to handle, not an end

  // The command line is read before any application object exists: a window needs a different
  // one from a headless run.
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const CommandLine line = ParseCommandLine(arguments);
  if (!line.error.isEmpty()) return Fail(line.error);
  if (line.help) {
    WriteFully(1, UsageText());
    return 0;
  }

  if (!line.headless && !line.printSettings) {
#ifdef ORVANE_GUI
    if (!DisplayAvailable()) {
      WriteFully(2,
                 "orvane-light: no display was found; start it with --headless to run "
                 "without a window\n");
      return 2;
    }
    QApplication app(argc, argv);
    QByteArray sample, error;
    const QByteArray appPath = ProgramFolder(line, sample);
    if (appPath.isEmpty()) return Fail(NoFolder(line));
    if (!sample.isEmpty() && !FillFromSample(appPath, sample, error)) {
      QMessageBox::critical(nullptr, QStringLiteral("Orvane Error"), QString::fromLocal8Bit(error));
      return 1;
    }
    RaiseDescriptorLimit();
    return RunWindowed(appPath, line.argument);
#else
    return Fail("this build has no desktop window; start it with --headless");
#endif
  }

  // Without a window there is nothing to share the event loop with: it is the program's own, one
  // epoll set for everything (the window keeps Qt's, which its platform needs).
  QCoreApplication::setEventDispatcher(new EpollDispatcher);
  QCoreApplication app(argc, argv);
  QByteArray sample;
  const QByteArray appPath = ProgramFolder(line, sample);
  if (appPath.isEmpty()) return Fail(NoFolder(line));
  if (line.printSettings) {
    // A report writes nothing: a certificate not made yet has no fingerprint to show.
    QByteArray error;
    const std::unique_ptr<TlsContext> tls = PrepareTls(appPath, error, false);
    if (!error.isEmpty()) {
      WriteFully(2, "orvane-light: " + error + "\n");
      return 1;
    }
    const Settings settings = LoadSettings(appPath);
    const QByteArray fingerprint = tls ? tls->Fingerprint() : QByteArray();
    WriteFully(1, SettingsReport(settings) + (settings.ServerTls || settings.AdminTls
                                                  ? "TlsFingerprint=" + fingerprint + "\n"
                                                  : QByteArray()));
    return 0;
  }
  if (QByteArray error; !sample.isEmpty() && !FillFromSample(appPath, sample, error)) {
    WriteFully(2, "orvane-light: " + error + "\n");
    return 1;
  }
  RaiseDescriptorLimit();
  return RunHeadless(appPath);
}
