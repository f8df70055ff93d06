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
// IP addresses `addresses`, valid from an hour ago for 397 days (longer ones are refused by some
// systems), its subject naming this program as its maker: the certificate is saved to
// `certFile`, its key to `keyFile` with mode 0600. Empty on success, else why not.
QByteArray MakeSelfSignedCertificate(const QByteArray& certFile, const QByteArray& keyFile,
                                     const QByteArray& host, const QByteArrayList& addresses);

// The TLS context of the program folder's certificate. When neither name is there (not even as
// a link), or the certificate is one this program made and it ends within 30 days, a
// self-signed one for `host` and `addresses` is made first; an owner's certificate is never
// replaced. With `mayMake` false nothing is made, and nothing comes back when there is none.
// Nothing, with `error`, on failure.
std::unique_ptr<TlsContext> ProgramCertificate(const QByteArray& appPath, const QByteArray& host,
                                               const QByteArrayList& addresses, QByteArray& error,
                                               bool mayMake = true);

}  // namespace orvane
