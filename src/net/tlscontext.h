#pragma once
// The server's side of TLS for a port: its certificate and key, TLS 1.2 and 1.3 only.

#include <openssl/types.h>

#include <QByteArray>
#include <memory>

namespace orvane {

class TlsContext {
 public:
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  // The certificate (PEM, with any chain after it) in `certFile` and its key in `keyFile`.
  // Nothing, with `error` saying which file and why, when either cannot be read or they do not
  // belong together.
  static std::unique_ptr<TlsContext> Load(const QByteArray& certFile, const QByteArray& keyFile,
                                          QByteArray& error);

  // A new server session for the connected socket `fd`; nullptr when none can be made.
  SSL* NewSession(int fd) const;
  // The certificate's SHA-256 fingerprint as browsers show it ("AB:CD:...").
  const QByteArray& Fingerprint() const { return fingerprint_; }

 private:
  explicit TlsContext(SSL_CTX* context) : context_(context) {}
  SSL_CTX* context_;
  QByteArray fingerprint_;
};

// What OpenSSL says about its most recent failure, and forgets it.
QByteArray TlsErrorText();

}  // namespace orvane
