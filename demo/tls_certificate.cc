#include "demo/tls_certificate.h"

#include <openssl/asn1.h>
#include <openssl/bn.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

namespace lorvane::demo {
namespace {

struct BignumFree {
  void operator()(BIGNUM* number) const { BN_free(number); }
};
struct ExtensionFree {
  void operator()(X509_EXTENSION* extension) const { X509_EXTENSION_free(extension); }
};
struct Asn1OctetStringFree {
  void operator()(ASN1_OCTET_STRING* text) const { ASN1_OCTET_STRING_free(text); }
};

// A random positive serial: a browser that once saw an earlier demo
// certificate must not find the same issuer and serial on a different one.
bool set_random_serial(X509* certificate) {
  unsigned char bytes[16];
  if (RAND_bytes(bytes, sizeof bytes) != 1) return false;
  bytes[0] &= 0x7F;
  std::unique_ptr<BIGNUM, BignumFree> number(BN_bin2bn(bytes, sizeof bytes, nullptr));
  return number && BN_to_ASN1_INTEGER(number.get(), X509_get_serialNumber(certificate)) != nullptr;
}

bool add_extension(X509* certificate, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  std::unique_ptr<X509_EXTENSION, ExtensionFree> extension(
      X509V3_EXT_conf_nid(nullptr, &context, nid, value));
  return extension && X509_add_ext(certificate, extension.get(), -1) == 1;
}

}  // namespace

std::optional<SelfSignedCertificate> self_signed_certificate(const std::string& ip_address) {
  // Only a literal IPv4 address: the text goes into the extension's
  // configuration syntax below, where a comma would start another entry.
  std::unique_ptr<ASN1_OCTET_STRING, Asn1OctetStringFree> parsed(a2i_IPADDRESS(ip_address.c_str()));
  if (!parsed || ASN1_STRING_length(parsed.get()) != 4) return std::nullopt;

  SelfSignedCertificate made;
  made.key.reset(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
  made.certificate.reset(X509_new());
  X509* certificate = made.certificate.get();
  if (!made.key || !certificate) return std::nullopt;

  constexpr long hour = 60 * 60;
  X509_NAME* name = X509_get_subject_name(certificate);
  bool built =
      X509_set_version(certificate, X509_VERSION_3) == 1 && set_random_serial(certificate) &&
      X509_gmtime_adj(X509_getm_notBefore(certificate), -hour) != nullptr &&
      X509_gmtime_adj(X509_getm_notAfter(certificate), 30 * 24 * hour) != nullptr &&
      X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                 reinterpret_cast<const unsigned char*>(ip_address.c_str()), -1, -1,
                                 0) == 1 &&
      X509_set_issuer_name(certificate, name) == 1 &&
      X509_set_pubkey(certificate, made.key.get()) == 1 &&
      add_extension(certificate, NID_subject_alt_name, ("IP:" + ip_address).c_str()) &&
      add_extension(certificate, NID_basic_constraints, "critical,CA:FALSE") &&
      add_extension(certificate, NID_ext_key_usage, "serverAuth") &&
      X509_sign(certificate, made.key.get(), EVP_sha256()) > 0;
  if (!built) return std::nullopt;
  return made;
}

std::unique_ptr<SSL_CTX, SslCtxFree> server_context(const SelfSignedCertificate& made) {
  std::unique_ptr<SSL_CTX, SslCtxFree> context(SSL_CTX_new(TLS_server_method()));
  if (!context) return nullptr;
  SSL_CTX_set_options(context.get(), SSL_OP_NO_COMPRESSION);
  // A write that waits for the socket is repeated with the same bytes, but
  // the buffer may have moved with the string that holds it.
  SSL_CTX_set_mode(context.get(), SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  if (SSL_CTX_use_certificate(context.get(), made.certificate.get()) != 1 ||
      SSL_CTX_use_PrivateKey(context.get(), made.key.get()) != 1 ||
      SSL_CTX_check_private_key(context.get()) != 1) {
    return nullptr;
  }
  return context;
}

}  // namespace lorvane::demo
