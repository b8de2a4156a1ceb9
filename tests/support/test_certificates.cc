#include "tests/support/test_certificates.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <stdexcept>

namespace lorvane::test {
namespace {

constexpr long hour = 60 * 60;

std::string pem_of(X509* certificate) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, certificate);
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  std::string pem(data, static_cast<std::size_t>(length));
  BIO_free(bio);
  return pem;
}

std::string pem_of(EVP_PKEY* key) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  std::string pem(data, static_cast<std::size_t>(length));
  BIO_free(bio);
  return pem;
}

void add_extension(X509* certificate, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
  if (extension == nullptr || X509_add_ext(certificate, extension, -1) != 1) {
    X509_EXTENSION_free(extension);
    throw std::runtime_error("cannot add a certificate extension");
  }
  X509_EXTENSION_free(extension);
}

// A certificate for `subject` with `key`, issued by `issuer` (null: itself)
// and signed with `issuer_key`.
X509* make_certificate(const std::string& subject, EVP_PKEY* key, X509* issuer,
                       EVP_PKEY* issuer_key, long from_hours, long to_hours, bool authority) {
  static long serial = 1;
  X509* certificate = X509_new();
  X509_set_version(certificate, X509_VERSION_3);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate), serial++);
  X509_gmtime_adj(X509_getm_notBefore(certificate), from_hours * hour);
  X509_gmtime_adj(X509_getm_notAfter(certificate), to_hours * hour);
  X509_NAME* name = X509_get_subject_name(certificate);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(subject.c_str()), -1, -1, 0);
  X509_set_issuer_name(certificate, issuer != nullptr ? X509_get_subject_name(issuer) : name);
  X509_set_pubkey(certificate, key);
  X509* signer = issuer != nullptr ? issuer : certificate;
  if (authority) {
    add_extension(certificate, signer, NID_basic_constraints, "critical,CA:TRUE");
    add_extension(certificate, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    add_extension(certificate, signer, NID_subject_key_identifier, "hash");
  } else {
    const bool address = subject.find_first_not_of("0123456789.") == std::string::npos;
    add_extension(certificate, signer, NID_subject_alt_name, (address ? "IP:" : "DNS:") + subject);
    add_extension(certificate, signer, NID_basic_constraints, "critical,CA:FALSE");
    add_extension(certificate, signer, NID_ext_key_usage, "serverAuth");
    add_extension(certificate, signer, NID_authority_key_identifier, "keyid");
  }
  if (X509_sign(certificate, issuer_key, EVP_sha256()) <= 0) {
    X509_free(certificate);
    throw std::runtime_error("cannot sign a certificate");
  }
  return certificate;
}

}  // namespace

struct TestAuthority::Keys {
  EVP_PKEY* key = nullptr;
  X509* certificate = nullptr;
};

TestAuthority::TestAuthority() : keys_(new Keys) {
  keys_->key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
  if (keys_->key == nullptr) throw std::runtime_error("cannot make a key");
  keys_->certificate = make_certificate("Lorvane test authority", keys_->key, nullptr, keys_->key,
                                        -24, 30 * 24, true);
  certificate_pem_ = pem_of(keys_->certificate);
}

TestAuthority::~TestAuthority() {
  X509_free(keys_->certificate);
  EVP_PKEY_free(keys_->key);
  delete keys_;
}

ServerCertificate TestAuthority::issue(const std::string& subject, long from_hours,
                                       long to_hours) const {
  EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
  if (key == nullptr) throw std::runtime_error("cannot make a key");
  X509* certificate =
      make_certificate(subject, key, keys_->certificate, keys_->key, from_hours, to_hours, false);
  ServerCertificate issued{pem_of(certificate), pem_of(key)};
  X509_free(certificate);
  EVP_PKEY_free(key);
  return issued;
}

}  // namespace lorvane::test
