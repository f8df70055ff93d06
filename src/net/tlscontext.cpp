#include "net/tlscontext.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cerrno>
#include <cstring>

#include "util/files.h"

namespace orvane {

QByteArray TlsErrorText() {
  QByteArray text;
  while (const unsigned long code = ERR_get_error()) {
    char line[256];
    ERR_error_string_n(code, line, sizeof line);
    if (text.isEmpty()) text = ERR_reason_error_string(code) ? ERR_reason_error_string(code) : line;
  }
  return text.isEmpty() ? QByteArray("unknown reason") : text;
}

TlsContext::~TlsContext() {
  SSL_CTX_free(context_);
}

std::unique_ptr<TlsContext> TlsContext::Load(const QByteArray& certFile, const QByteArray& keyFile,
                                             QByteArray& error) {
  ERR_clear_error();
  for (const QByteArray& file : {certFile, keyFile}) {
    if (!ReadWholeFile(file)) {
      error = (file == certFile ? "The certificate " : "The key ") + file +
              " cannot be read: " + std::strerror(errno) + ".";
      return nullptr;
    }
  }
  SSL_CTX* raw = SSL_CTX_new(TLS_server_method());
  if (raw == nullptr) {
    error = "TLS cannot be set up: " + TlsErrorText() + ".";
    return nullptr;
  }
  std::unique_ptr<TlsContext> tls(new TlsContext(raw));
  SSL_CTX_set_min_proto_version(raw, TLS1_2_VERSION);
  SSL_CTX_set_max_proto_version(raw, TLS1_3_VERSION);
  // Files go out through the kernel's TLS where it has it; renegotiation is a way to make the
  // server work without end.
  SSL_CTX_set_options(raw, SSL_OP_ENABLE_KTLS | SSL_OP_NO_RENEGOTIATION |
                               SSL_OP_CIPHER_SERVER_PREFERENCE | SSL_OP_IGNORE_UNEXPECTED_EOF);
  // Writes behave like send(): a part may go, and the rest is offered again from wherever the
  // caller keeps it.
  SSL_CTX_set_mode(raw, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER |
                            SSL_MODE_RELEASE_BUFFERS);
  if (SSL_CTX_use_certificate_chain_file(raw, certFile.constData()) != 1) {
    error = "The certificate " + certFile + " cannot be used: " + TlsErrorText() + ".";
    return nullptr;
  }
  const bool keyTaken =
      SSL_CTX_use_PrivateKey_file(raw, keyFile.constData(), SSL_FILETYPE_PEM) == 1;
  if (!keyTaken && ERR_GET_REASON(ERR_peek_last_error()) != X509_R_KEY_VALUES_MISMATCH) {
    error = "The key " + keyFile + " cannot be used: " + TlsErrorText() + ".";
    return nullptr;
  }
  if (!keyTaken || SSL_CTX_check_private_key(raw) != 1) {
    ERR_clear_error();
    error = "The certificate " + certFile + " does not match the key " + keyFile + ".";
    return nullptr;
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  X509_digest(SSL_CTX_get0_certificate(raw), EVP_sha256(), digest, &length);
  tls->fingerprint_ =
      QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length))
          .toHex(':')
          .toUpper();
  return tls;
}

SSL* TlsContext::NewSession(int fd) const {
  SSL* session = SSL_new(context_);
  if (session == nullptr) return nullptr;
  if (SSL_set_fd(session, fd) != 1) {
    SSL_free(session);
    return nullptr;
  }
  SSL_set_accept_state(session);
  return session;
}

}  // namespace orvane
