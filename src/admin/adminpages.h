#pragma once
// The pages of the administration site, built from literal pieces and the values of the moment.

#include <QByteArray>

namespace orvane {

class RunningLog;

// What the pages show and where their forms and links lead.
struct AdminView {
  QByteArray host;      // the address the browser reached, in form actions and links
  int adminPort = 0;    // form actions
  int publicPort = 80;  // links to the public site carry it when it is not 80
  QByteArray serverName;
  int activeConnections = 0;
  int maxConnect = 0;
  QByteArray indexFile;
  QByteArray token;        // the session's token, carried by every console form
  bool adminTls = false;   // form actions are https
  bool publicTls = false;  // links to the public site are https (443 is then its own port)
};

QByteArray LoginPage(const AdminView& view);
// `peerText` names the peer by something other than its address (here its port).
QByteArray LoginFailurePage(const QByteArray& peerText, const QByteArray& peerAddress);
QByteArray BrowserRefusalPage();
QByteArray LoggedOutPage();
QByteArray ServerErrorPage();
// Sent when an upload has stalled for too long.
QByteArray TimeoutPage();

// The opening of every console form, and a submit button whose name and value are `name`.
QByteArray ConsoleFormHead(const AdminView& view);
QByteArray Button(const QByteArray& name);
// Title, server name, load figures and closing.
QByteArray PageHead(const QByteArray& title, const QByteArray& closing, const AdminView& view);
// "http://" host, ":" port when the public port is not 80, "/" and `path`.
QByteArray PublicLink(const AdminView& view, const QByteArray& path);

QByteArray ConsolePage(const AdminView& view, const QByteArray& listing);
QByteArray ViewLogPage(const RunningLog& log);
// Rename and Clear Log are not provided.
QByteArray NoticePage();
QByteArray LogoutPage(const AdminView& view);
QByteArray UploadFormPage(const AdminView& view);
QByteArray UploadDonePage(const AdminView& view);

}  // namespace orvane
