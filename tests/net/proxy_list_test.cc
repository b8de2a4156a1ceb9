#include "platform/curl/proxy_list.h"

#include "gtest/gtest.h"

namespace lorvane::platform::curl_backend {
namespace {

TEST(ProxyListTest, EachSchemeGetsItsProxy) {
  struct Case {
    const char* list;
    ProxyChoice expected;
  };
  const Case cases[] = {
      {"", {"", ""}},
      {"proxy.example:3128", {"http://proxy.example:3128", "http://proxy.example:3128"}},
      {"http=proxy.example:3128", {"http://proxy.example:3128", ""}},
      {"https=proxy.example:8443", {"", "http://proxy.example:8443"}},
      {"http=a:1 https=b:2", {"http://a:1", "http://b:2"}},
      {"http=a:1;https=b:2", {"http://a:1", "http://b:2"}},
      {"bare:9 http=a:1", {"http://a:1", "http://bare:9"}},
      {"http=a:1 bare:9", {"http://a:1", "http://bare:9"}},
      {"http=first:1 http=second:2", {"http://first:1", ""}},
      {"HTTP=a:1", {"http://a:1", ""}},
      {"http=http://a:1/", {"http://a:1", ""}},
      {"socks=s:1080 ftp=f:21", {"", ""}},
      {"  ;;http=a:1  ", {"http://a:1", ""}},
      // WinINet's default port, not libcurl's 1080.
      {"proxy.example", {"http://proxy.example:80", "http://proxy.example:80"}},
      {"http=proxy.example:", {"http://proxy.example:80", ""}},
      {"[::1]:8080", {"http://[::1]:8080", "http://[::1]:8080"}},
      {"[::1]", {"http://[::1]:80", "http://[::1]:80"}},
      {"::1", {"http://[::1]:80", "http://[::1]:80"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    const ProxyChoice choice = parse_proxy_list(c.list);
    EXPECT_EQ(choice.http, c.expected.http);
    EXPECT_EQ(choice.https, c.expected.https);
  }
}

}  // namespace
}  // namespace lorvane::platform::curl_backend
