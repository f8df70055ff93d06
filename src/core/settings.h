#pragma once

#include <QByteArray>

namespace orvane {

// The running settings, filled once at start-up from "server.cfg" and the built-in values.
struct Settings {
  QByteArray AppPath;   // program folder, ending in "/"
  QByteArray DocsPath;  // AppPath + "docs": the document root
  QByteArray ServerName;
  QByteArray IndexFile;
  int MaxConnect = 0;   // 1 to 500
  int Port = 0;         // configured public port
  int RunningPort = 0;  // the port the public listener binds to
  QByteArray AdminUserName;
  QByteArray AdminPassword;
  int AdminPort = 0;
  // Remote administration is on only while this is exactly "1". Nothing changes it while the
  // program runs (the administrator's login is kept by the site).
  QByteArray AdminAllow;
  // Replies carry a status line and header lines (Server/HttpHeaders=1); otherwise each is the
  // bare page.
  bool HttpHeaders = false;
  // Addresses of reverse proxies in front ([Server] TrustedProxy, comma-separated): for their
  // connections the client is the one X-Forwarded-For names last.
  QByteArray TrustedProxy;
  // HTTPS on the public port ([Server] Tls=1), which then always sends header lines, and on the
  // administration port ([Admin] Tls=1).
  bool ServerTls = false;
  bool AdminTls = false;
  // Notifications from the tray ([Window] Notify; on unless 0).
  bool Notify = true;
};

// The line said when remote administration is switched on without a user name or a password:
// the site is not opened then.
inline QByteArray NeedCredentialsText() {
  return "Remote administration needs a user name and a password";
}
inline bool AdminCredentialsSet(const Settings& s) {
  return !s.AdminUserName.isEmpty() && !s.AdminPassword.isEmpty();
}

// "server.cfg" in the program folder.
QByteArray ConfigFile(const QByteArray& appPath);

// `folder` as AppPath: the same text, ending in "/".
QByteArray AsAppPath(const QByteArray& folder);

// Reads "server.cfg" from `appPath` (which ends in "/") and applies the built-in values and the
// start-up checks. A missing, unreadable or empty file gives the built-in values.
Settings LoadSettings(const QByteArray& appPath);

// The public site's address as other machines reach it ("http://192.168.1.5:8080/"): the
// machine's network address (loopback when it has none), and the running port unless it is the
// scheme's own (80, or 443 for https).
QByteArray SiteAddress(const Settings& s);

// The settings one per line as "Name=Value", the password shown as one "*" per character.
QByteArray SettingsReport(const Settings& settings);

}  // namespace orvane
