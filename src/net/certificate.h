#pragma once
// The program's own certificate: system/tls-cert.pem and system/tls-key.pem in its folder.

#include <QByteArray>
#include <QByteArrayList>
#include <memory>

#include "net/tlscontext.h"

namespace orvane {

inline QByteArray CertificateFile(const QByteArray& appPath) {
  return appPath + "system/tls-cert.pem";
}
inline QByteArray KeyFile(const QByteArray& appPath) {
  return appPath + "system/tls-key.pem";
}

// A self-signed certificate (ECDSA P-256, signed with SHA-256) for the host name `host` and the
// IP addresses `addresses`, valid from an hour ago for five years: the certificate is saved to
// `certFile`, its key to `keyFile` with mode 0600. Empty on success, else why not.
QByteArray MakeSelfSignedCertificate(const QByteArray& certFile, const QByteArray& keyFile,
                                     const QByteArray& host, const QByteArrayList& addresses);

// The TLS context of the program folder's certificate. When neither file is there, a
// self-signed one for `host` and `addresses` is made first; when only one of them is there,
// nothing is made (the owner's key is never replaced). Nothing, with `error`, on failure.
std::unique_ptr<TlsContext> ProgramCertificate(const QByteArray& appPath, const QByteArray& host,
                                               const QByteArrayList& addresses, QByteArray& error);

}  // namespace orvane
