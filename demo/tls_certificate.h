// A throw-away certificate for the demo's https listener, made in memory at
// each start. Clients of the demo do not verify certificates, so none needs
// to be trusted or kept.
#pragma once

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <memory>
#include <optional>
#include <string>

namespace lorvane::demo {

struct X509Free {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
struct EvpPkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};

struct SslCtxFree {
  void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};

struct SelfSignedCertificate {
  std::unique_ptr<X509, X509Free> certificate;
  std::unique_ptr<EVP_PKEY, EvpPkeyFree> key;  // P-256
};

// A certificate for the IPv4 address `ip_address` (its common name and its
// one subject alternative name), signed by its own key, valid from an hour
// ago for 30 days. None when OpenSSL fails or the address is not IPv4.
std::optional<SelfSignedCertificate> self_signed_certificate(const std::string& ip_address);

// A TLS server context that presents `made` (the context takes references
// of its own); null when OpenSSL refuses it.
std::unique_ptr<SSL_CTX, SslCtxFree> server_context(const SelfSignedCertificate& made);

}  // namespace lorvane::demo
