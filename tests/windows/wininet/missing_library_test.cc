// Without wininet.dll (Wine runs this test with wininet=d) every Internet
// function fails the way WinINet reports failure, and web_request yields an
// empty body with the caller's outputs untouched; nothing crashes.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/internet.h"
#include "web/web_request.h"

namespace {

namespace platform = lorvane::platform;
using lorvane::Bytes;
using lorvane::Text;

class WininetMissing : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LoadLibraryA("wininet.dll"), nullptr)
        << "wininet.dll can be loaded: run this test with WINEDLLOVERRIDES=wininet=d";
  }
};

TEST_F(WininetMissing, EveryFunctionFails) {
  // Any non-null value: the calls must not reach it.
  const auto handle = reinterpret_cast<platform::HINTERNET>(std::uintptr_t{1});
  EXPECT_EQ(
      platform::InternetOpenA("agent", platform::INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0),
      nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(platform::InternetConnectA(handle, "127.0.0.1", 80, nullptr, nullptr,
                                       platform::INTERNET_SERVICE_HTTP, 0, 0),
            nullptr);
  EXPECT_EQ(platform::HttpOpenRequestA(handle, "GET", "/", "HTTP/1.1", nullptr, nullptr, 0, 0),
            nullptr);
  platform::DWORD security = 0x1F380;
  EXPECT_FALSE(platform::InternetSetOptionA(handle, platform::INTERNET_OPTION_SECURITY_FLAGS,
                                            &security, sizeof security));
  EXPECT_FALSE(platform::HttpSendRequestA(handle, "", 0, nullptr, 0));

  char buffer[16] = "unchanged";
  platform::DWORD count = 77;
  EXPECT_FALSE(platform::InternetReadFile(handle, buffer, sizeof buffer, &count));
  EXPECT_EQ(count, 0u) << "a caller reading until the count is 0 would never stop";

  platform::DWORD length = sizeof buffer;
  EXPECT_FALSE(platform::HttpQueryInfoA(handle, platform::HTTP_QUERY_RAW_HEADERS_CRLF, buffer,
                                        &length, nullptr));
  EXPECT_STREQ(buffer, "unchanged");
  EXPECT_FALSE(platform::InternetCloseHandle(handle));
}

TEST_F(WininetMissing, WebRequestGivesEmptyBodyAndLeavesOutputs) {
  Text received_cookies("cookies before");
  Text received_headers("headers before");
  Text extra_headers;
  Bytes post_bytes;
  const Bytes body =
      lorvane::web_request("http://127.0.0.1:9/submit", 1, "a=1", nullptr, &received_cookies,
                           &extra_headers, &received_headers, std::nullopt, &post_bytes);
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(received_cookies, Text("cookies before"));
  EXPECT_EQ(received_headers, Text("headers before"));
  EXPECT_TRUE(post_bytes.empty()) << "filled although no request was opened";
}

}  // namespace
