// A certificate authority of a test's own, and server certificates it issues:
// for the tests that verify certificates (a trusted one, one for another host
// name, an expired one), with the authority's certificate in a file that the
// client is told to trust.
#pragma once

#include <string>

#include "tests/support/scripted_server.h"

namespace lorvane::test {

class TestAuthority {
 public:
  // A fresh authority (P-256), valid from a day ago for 30 days. Throws
  // std::runtime_error when OpenSSL fails.
  TestAuthority();
  ~TestAuthority();
  TestAuthority(const TestAuthority&) = delete;
  TestAuthority& operator=(const TestAuthority&) = delete;

  // The authority's certificate, PEM.
  const std::string& certificate_pem() const { return certificate_pem_; }

  // A server certificate for `subject` ("127.0.0.1" is written as an IP
  // address, anything else as a DNS name), valid from `from_hours` to
  // `to_hours` around now (negative: in the past).
  ServerCertificate issue(const std::string& subject, long from_hours, long to_hours) const;

 private:
  struct Keys;
  Keys* keys_;
  std::string certificate_pem_;
};

}  // namespace lorvane::test
