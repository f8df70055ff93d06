#include "net/certificate.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <ctime>

#include "util/files.h"

namespace orvane {

namespace {

template <typename T, void (*Free)(T*)>
struct Owned {
  T* p;
  explicit Owned(T* value) : p(value) {}
  ~Owned() { Free(p); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
};

// The organisation in the subject of the certificates this program makes.
constexpr char kMaker[] = "Orvane Light, self-signed";

// Whether `certFile` is a certificate this program made that ends within 30 days.
bool OwnAndEnding(const QByteArray& certFile) {
  const Owned<BIO, BIO_free_all> file(BIO_new_file(certFile.constData(), "r"));
  if (file.p == nullptr) return false;
  const Owned<X509, X509_free> cert(PEM_read_bio_X509(file.p, nullptr, nullptr, nullptr));
  if (cert.p == nullptr) return false;
  char maker[64] = {};
  X509_NAME_get_text_by_NID(X509_get_subject_name(cert.p), NID_organizationName, maker,
                            sizeof maker);
  time_t soon = ::time(nullptr) + 30L * 24 * 3600;
  return QByteArray(maker) == kMaker && X509_cmp_time(X509_get0_notAfter(cert.p), &soon) < 0;
}

QByteArray BioText(BIO* bio) {
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  return QByteArray(data, static_cast<qsizetype>(size));
}

bool AddExtension(X509* cert, int nid, const QByteArray& value) {
  X509V3_CTX context;
  X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.constData());
  if (extension == nullptr) return false;
  const bool added = X509_add_ext(cert, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

}  // namespace

QByteArray MakeSelfSignedCertificate(const QByteArray& certFile, const QByteArray& keyFile,
                                     const QByteArray& host, const QByteArrayList& addresses) {
  const Owned<EVP_PKEY, EVP_PKEY_free> key(EVP_EC_gen("P-256"));
  const Owned<X509, X509_free> cert(X509_new());
  if (key.p == nullptr || cert.p == nullptr) return "no key could be made: " + TlsErrorText();
  unsigned char serial[16];
  RAND_bytes(serial, sizeof serial);
  serial[0] &= 0x7F;  // a positive number
  const Owned<BIGNUM, BN_free> number(BN_bin2bn(serial, sizeof serial, nullptr));
  QByteArray names = "DNS:" + (host.isEmpty() ? QByteArray("localhost") : host);
  if (host != "localhost") names += ",DNS:localhost";
  for (const QByteArray& address : addresses) names += ",IP:" + address;
  X509_NAME* subject = X509_get_subject_name(cert.p);
  const QByteArray common = host.isEmpty() ? QByteArray("localhost") : host.left(64);
  const bool made =
      X509_set_version(cert.p, 2) == 1 &&
      BN_to_ASN1_INTEGER(number.p, X509_get_serialNumber(cert.p)) != nullptr &&
      X509_gmtime_adj(X509_getm_notBefore(cert.p), -3600) != nullptr &&
      X509_gmtime_adj(X509_getm_notAfter(cert.p), 397L * 24 * 3600) != nullptr &&
      X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                                 reinterpret_cast<const unsigned char*>(common.constData()), -1, -1,
                                 0) == 1 &&
      X509_NAME_add_entry_by_txt(subject, "O", MBSTRING_UTF8,
                                 reinterpret_cast<const unsigned char*>(kMaker), -1, -1, 0) == 1 &&
      X509_set_issuer_name(cert.p, subject) == 1 && X509_set_pubkey(cert.p, key.p) == 1 &&
      AddExtension(cert.p, NID_subject_alt_name, names) &&
      AddExtension(cert.p, NID_basic_constraints, "critical,CA:FALSE") &&
      AddExtension(cert.p, NID_ext_key_usage, "serverAuth") &&
      X509_sign(cert.p, key.p, EVP_sha256()) > 0;
  if (!made) return "the certificate could not be made: " + TlsErrorText();
  const Owned<BIO, BIO_free_all> certText(BIO_new(BIO_s_mem())), keyText(BIO_new(BIO_s_mem()));
  if (PEM_write_bio_X509(certText.p, cert.p) != 1 ||
      PEM_write_bio_PrivateKey(keyText.p, key.p, nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    return "the certificate could not be written out: " + TlsErrorText();
  }
  // The key first: a certificate without its key would stop every later start.
  if (!WriteFileAtomically(keyFile, BioText(keyText.p), 0600)) {
    return keyFile + " cannot be written: " + WriteProblem(keyFile);
  }
  if (!WriteFileAtomically(certFile, BioText(certText.p))) {
    RemoveFile(keyFile);
    return certFile + " cannot be written: " + WriteProblem(certFile);
  }
  return {};
}

std::unique_ptr<TlsContext> ProgramCertificate(const QByteArray& appPath, const QByteArray& host,
                                               const QByteArrayList& addresses, QByteArray& error,
                                               bool mayMake) {
  const QByteArray certFile = CertificateFile(appPath), keyFile = KeyFile(appPath);
  // A name that is there in any form (a link to a store not mounted, a file not readable) is
  // the owner's, and reported rather than replaced.
  const bool none = !PathExists(certFile) && !PathExists(keyFile);
  if (!mayMake && none) return nullptr;
  if (mayMake && (none || OwnAndEnding(certFile))) {
    MakeDir(appPath + "system");
    error = MakeSelfSignedCertificate(certFile, keyFile, host, addresses);
    if (!error.isEmpty()) {
      error = "No certificate could be made for HTTPS: " + error + ".";
      return nullptr;
    }
  }
  return TlsContext::Load(certFile, keyFile, error);
}

}  // namespace orvane
