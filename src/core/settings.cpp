#include "core/settings.h"

#include "core/ini.h"
#include "util/hostaddress.h"
#include "util/text.h"
#include "util/version.h"

namespace orvane {

namespace {

constexpr int kMaxSlots = 500;
constexpr int kOutOfRangeSlots = 300;

void TakeNumber(const QByteArray& text, int& field) {
  if (!text.isEmpty()) field = LeadingNumber(text);
}

}  // namespace

QByteArray ConfigFile(const QByteArray& appPath) {
  return appPath + "server.cfg";
}

QByteArray AsAppPath(const QByteArray& folder) {
  return folder.endsWith('/') ? folder : folder + '/';
}

Settings LoadSettings(const QByteArray& appPath) {
  Settings s;
  s.AppPath = AsAppPath(appPath);
  s.DocsPath = s.AppPath + "docs";
  const QByteArray file = ConfigFile(s.AppPath);

  s.ServerName = "Orvane Light v.0.7";
  s.Port = 80;
  s.IndexFile = "index.html";
  s.MaxConnect = 50;
  s.AdminPort = 5656;

  const QByteArray serverName = ReadINI("Server", "ServerName", file);
  if (!serverName.isEmpty()) s.ServerName = serverName;
  const QByteArray indexFile = ReadINI("Server", "IndexFile", file);
  if (!indexFile.isEmpty()) s.IndexFile = indexFile;
  TakeNumber(ReadINI("Server", "MaxConnect", file), s.MaxConnect);
  TakeNumber(ReadINI("Server", "Port", file), s.Port);
  TakeNumber(ReadINI("Admin", "Port", file), s.AdminPort);

  s.AdminUserName = ReadINI("Admin", "UserName", file);
  s.AdminPassword = ReadINI("Admin", "Password", file);
  s.AdminAllow = QByteArray::number(LeadingNumber(ReadINI("Admin", "Allow", file)));
  s.HttpHeaders = ReadINI("Server", "HttpHeaders", file) == "1";
  s.TrustedProxy = ReadINI("Server", "TrustedProxy", file);
  s.ServerTls = ReadINI("Server", "Tls", file) == "1";
  s.AdminTls = ReadINI("Admin", "Tls", file) == "1";
  if (s.ServerTls) s.HttpHeaders = true;  // browsers need them there
  s.Notify = ReadINI("Window", "Notify", file) != "0";

  if (IsBlank(s.ServerName)) s.ServerName = SoftwareName();
  if (IsBlank(s.IndexFile)) s.IndexFile = "index.html";
  if (s.MaxConnect <= 0 || s.MaxConnect > kMaxSlots) s.MaxConnect = kOutOfRangeSlots;
  if (s.Port == 0) s.Port = 80;
  s.RunningPort = s.Port;
  return s;
}

QByteArray SiteAddress(const Settings& s) {
  const QByteArray host = GetIPAddress().address;
  const int usual = s.ServerTls ? 443 : 80;
  const QByteArray port = s.RunningPort == usual ? "" : ":" + QByteArray::number(s.RunningPort);
  return (s.ServerTls ? "https://" : "http://") +
         (host.isEmpty() ? QByteArray("127.0.0.1") : host) + port + "/";
}

QByteArray SettingsReport(const Settings& s) {
  QByteArray report;
  auto line = [&report](const char* name, const QByteArray& value) {
    report += name;
    report += '=';
    report += value;
    report += '\n';
  };
  line("AppPath", s.AppPath);
  line("DocsPath", s.DocsPath);
  line("ServerName", s.ServerName);
  line("IndexFile", s.IndexFile);
  line("MaxConnect", QByteArray::number(s.MaxConnect));
  line("Port", QByteArray::number(s.Port));
  line("RunningPort", QByteArray::number(s.RunningPort));
  line("AdminUserName", s.AdminUserName);
  line("AdminPassword", QByteArray(s.AdminPassword.size(), '*'));
  line("AdminPort", QByteArray::number(s.AdminPort));
  line("AdminAllow", s.AdminAllow);
  line("HttpHeaders", s.HttpHeaders ? "1" : "0");
  line("TrustedProxy", s.TrustedProxy);
  line("ServerTls", s.ServerTls ? "1" : "0");
  line("AdminTls", s.AdminTls ? "1" : "0");
  return report;
}

}  // namespace orvane
