#include "app/windowed.h"

#include <QApplication>

#include "admin/adminsite.h"
#include "app/signalwatcher.h"
#include "app/tlssetup.h"
#include "core/lifecycle.h"
#include "shell/mainwindow.h"
#include "web/publicserver.h"

namespace orvane {

bool DisplayAvailable() {
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
  const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
  if (platform.isEmpty()) return x11 || wayland;
  if (platform.startsWith("xcb")) return x11;
  if (platform.startsWith("wayland")) return wayland;
  return true;  // offscreen, vnc and the like need no display
}

int RunWindowed(const QByteArray& appPath, const QByteArray& argument) {
  // The window hides in the tray and dialogs come and go: only the close request ends the run.
  QApplication::setQuitOnLastWindowClosed(false);
  SignalWatcher signals;
  QObject::connect(&signals, &SignalWatcher::Stopped, qApp, [] { QApplication::exit(0); });
  MainWindow window;  // the shell outlives everything that talks to it
  QByteArray error;
  const std::unique_ptr<TlsContext> tls = PrepareTls(appPath, error);
  if (!error.isEmpty()) {
    window.MessageBox(error, kOkCritical, "Orvane Error");
    return 1;
  }
  AppState state(window);
  PublicServer web(state);
  AdminSite admin(state, web);
  UseTls(tls.get(), state, web, admin);
  Lifecycle lifecycle(state, web, admin);
  window.Attach(state, lifecycle);
  QObject::connect(&signals, &SignalWatcher::Restart, qApp,
                   [&lifecycle] { lifecycle.RestartAdmin(); });
  lifecycle.StartUp(appPath, argument);
  window.ShowAfterStartUp();
  return QApplication::exec();
}

}  // namespace orvane
