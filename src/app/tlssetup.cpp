#include "app/tlssetup.h"

#include <QSysInfo>

#include "admin/adminsite.h"
#include "net/certificate.h"
#include "util/hostaddress.h"
#include "web/publicserver.h"

namespace orvane {

std::unique_ptr<TlsContext> PrepareTls(const QByteArray& appPath, QByteArray& error, bool mayMake) {
  error.clear();
  const Settings settings = LoadSettings(appPath);
  if (!settings.ServerTls && !settings.AdminTls) return nullptr;
  return ProgramCertificate(appPath, QSysInfo::machineHostName().toUtf8(), MachineAddresses(),
                            error, mayMake);
}

void UseTls(const TlsContext* tls, AppState& app, PublicServer& web, AdminSite& admin) {
  if (tls == nullptr) return;
  web.SetTls(tls);
  admin.SetTls(tls);
  app.tlsFingerprint = tls->Fingerprint();
}

}  // namespace orvane
