#include "core/lifecycle.h"

#include <cerrno>

#include "util/hostaddress.h"
#include "util/version.h"

namespace orvane {

void Lifecycle::StartUp(const QByteArray& appPath, const QByteArray& argument) {
  StartUp(LoadSettings(appPath), argument);
}

void Lifecycle::StartUp(const Settings& settings, const QByteArray& argument) {
  Desktop& desk = app_.desktop;
  app_.settings = settings;
  desk.SetNotificationsOn(settings.Notify);
  desk.SetPanel(1, "Offline");
  desk.SetCaption(SoftwareName());
  desk.SetPanel(3, "Remote=Offline");
  desk.SetPanel(2, ConnectionsText(0, settings.MaxConnect));
  desk.SetMenuEnabled(MenuItem::RunServer, true);
  desk.SetMenuEnabled(MenuItem::StopServer, false);
  if (argument == "/r") {
    desk.Minimise();
    RunServer();
  }
}

bool Lifecycle::RunServer() {
  Desktop& desk = app_.desktop;
  const Settings& s = app_.settings;
  desk.SetMenuEnabled(MenuItem::RunServer, false);
  if (!web_.Start()) {
    Fail(s.RunningPort, web_.ListenError());
    return false;
  }
  if (s.AdminAllow == "1") {
    if (!AdminCredentialsSet(s)) {
      desk.Warn(NeedCredentialsText());
      desk.SetPanel(4, "Closed: no user name or password");
    } else if (!admin_.Listen(s.AdminPort)) {
      // A taken administration port must not leave the public listener open behind a window
      // that shows the server stopped, and the message names the port that is really in use.
      const int error = admin_.ListenError();
      web_.Stop();
      Fail(s.AdminPort, error);
      return false;
    } else {
      desk.SetPanel(3, "Remote=Online");
      desk.SetPanel(4, "Ready");
    }
  }
  desk.SetMenuEnabled(MenuItem::StopServer, true);
  const HostAddress host = GetIPAddress();
  if (host.address.isEmpty()) {
    desk.SetPanel(1, "Offline");
  } else {
    desk.SetPanel(1, s.ServerTls ? SiteAddress(s).chopped(1) : host.address);
  }
  if (!app_.tlsFingerprint.isEmpty()) {
    desk.AppendLog("HTTPS certificate SHA-256 fingerprint: " + app_.tlsFingerprint);
  }
  return true;
}

void Lifecycle::Fail(int port, int error) {
  Desktop& desk = app_.desktop;
  // Below 1024 a port needs administrator rights: telling the owner it is in use would send
  // them hunting for a program that does not exist.
  const QByteArray reason =
      error == EACCES ? " needs administrator rights.\r\nCure: Choose a port from 1024 up in "
                        "Preferences, or start the server as administrator."
                      : ", is in use.\r\nCure: Shut off all over server applications.";
  desk.Notify(Notice::ServerError, "port " + QByteArray::number(port) + " could not be opened");
  desk.MessageBox("Orvane occured an error while trying to run the server.\r\n\r\nReason: Port " +
                      QByteArray::number(port) + reason,
                  kOkInformation, "Orvane Error");
  desk.SetMenuEnabled(MenuItem::RunServer, true);
  desk.SetMenuEnabled(MenuItem::StopServer, false);
}

QByteArray Lifecycle::CutQuestion() const {
  return "This will cut all " + QByteArray::number(web_.ActiveConnections()) +
         " connection(s)! Continue?";
}

bool Lifecycle::StopServer() {
  Desktop& desk = app_.desktop;
  if (desk.MessageBox(CutQuestion(), kYesNoExclamation, "Offline") != kAnswerYes) return false;
  desk.SetMenuEnabled(MenuItem::StopServer, false);
  desk.SetPanel(1, "Offline");
  web_.Stop();
  desk.ClearLog();
  desk.SetPanel(2, ConnectionsText(0, app_.settings.MaxConnect));
  admin_.Close();
  desk.SetPanel(3, "Remote=Offline");
  desk.SetMenuEnabled(MenuItem::RunServer, true);
  return true;
}

bool Lifecycle::QueryClose() {
  Desktop& desk = app_.desktop;
  if (Running() && desk.MessageBox(CutQuestion(), kYesNoExclamation, "Go Offline?") != kAnswerYes) {
    return false;
  }
  desk.RemoveTrayIcon();
  return true;
}

}  // namespace orvane
