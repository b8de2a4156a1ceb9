// The parts of lorvane-push that are pure functions: the interface's key, the
// interface's day, lastmod dates, and the sitemap and reply readers on
// hostile input.
#include <gtest/gtest.h>

#include <string>

#include "cli/push.h"
#include "cli/push_reply.h"
#include "cli/sitemap.h"
#include "tests/support/gzip.h"

namespace lorvane {
namespace {

using test::gzipped;

TEST(InterfaceKey, TakesEveryTokenParameterOut) {
  struct Case {
    const char* address;
    const char* key;
  };
  const Case cases[] = {
      {"http://h/urls?site=a&token=t", "http://h/urls?site=a"},
      {"http://h/urls?token=t&site=a", "http://h/urls?site=a"},
      {"http://h/urls?site=a&token=t&x=1", "http://h/urls?site=a&x=1"},
      {"http://h/urls?token=t", "http://h/urls"},
      {"http://h/urls?token=t&token=u", "http://h/urls"},
      {"http://h/urls?token", "http://h/urls"},
      {"http://h/urls?tokens=t&my_token=u", "http://h/urls?tokens=t&my_token=u"},
      {"http://h/urls?site=a&token=t#frag", "http://h/urls?site=a#frag"},
      {"http://h/urls", "http://h/urls"},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(interface_key(c.address), c.key);
  }
  EXPECT_EQ(address_tokens("http://h/?token=a&x=token&token=b&token="),
            (std::vector<std::string>{"a", "b"}));
}

TEST(InterfaceDay, EndsAtMidnightInUtcPlus8) {
  const long long learnt = 1772380799;  // 2026-03-01T15:59:59Z, 23:59:59 in UTC+8
  const LearntQuota quota{42, learnt};
  EXPECT_EQ(known_remaining(quota, learnt), 42);
  EXPECT_EQ(known_remaining(quota, learnt - 16 * 3600 + 1), 42);  // 00:00:00 the same day there
  EXPECT_EQ(known_remaining(quota, learnt + 1), std::nullopt);    // the next day there
  EXPECT_EQ(known_remaining(std::nullopt, learnt), std::nullopt);
  EXPECT_EQ(known_remaining(LearntQuota{-5, learnt}, learnt), 0);
  EXPECT_EQ(interface_day(-8 * 3600), 0);
  EXPECT_EQ(interface_day(-8 * 3600 - 1), -1);
}

TEST(BatchSizes, CutByTheCapAndTheRemainingQuota) {
  EXPECT_EQ(batch_sizes(5, 2, std::nullopt), (std::vector<std::size_t>{2, 2, 1}));
  EXPECT_EQ(batch_sizes(5, 2, 3), (std::vector<std::size_t>{2, 1}));
  EXPECT_EQ(batch_sizes(5, 10, 0), (std::vector<std::size_t>{}));
  EXPECT_EQ(batch_sizes(0, 10, 5), (std::vector<std::size_t>{}));
}

TEST(Lastmod, ReadsW3cDatesAndRfc3339Times) {
  struct Case {
    const char* text;
    bool valid;
    long long seconds;
    bool has_time;
  };
  const Case cases[] = {
      {"2026-03-01", true, 1772323200, false},
      {"2026-03", true, 1772323200, false},
      {"2026", true, 1767225600, false},
      {" 2026-03-01\n", true, 1772323200, false},
      {"2026-03-01T08:00:00+08:00", true, 1772323200, true},
      {"2026-03-01T00:00Z", true, 1772323200, true},
      {"2026-02-28T23:59:59.999-00:01", true, 1772323200 + 59, true},
      {"2024-02-29", true, 1709164800, false},
      {"2026-02-29", false, 0, false},
      {"2026-13-01", false, 0, false},
      {"2026-03-01T08:00:00", false, 0, false},  // a time needs its zone
      {"2026-03-01T24:00:00Z", false, 0, false},
      {"26-03-01", false, 0, false},
      {"yesterday", false, 0, false},
      {"", false, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto time = read_lastmod(c.text);
    ASSERT_EQ(time.has_value(), c.valid);
    if (!c.valid) continue;
    EXPECT_EQ(time->seconds, c.seconds);
    EXPECT_EQ(time->has_time, c.has_time);
  }
  // A date-only filter compares the dates as written, whatever the zone.
  EXPECT_TRUE(on_or_after(*read_lastmod("2026-03-01T00:30:00+08:00"), *read_lastmod("2026-03-01")));
  EXPECT_FALSE(on_or_after(*read_lastmod("2026-03-01T00:30:00+08:00"),
                           *read_lastmod("2026-03-01T00:00:00Z")));
}

TEST(ReadSitemap, RefusesHostileDocuments) {
  const std::string laughs =
      "<?xml version=\"1.0\"?><!DOCTYPE urlset [<!ENTITY a \"aaaaaaaaaa\">"
      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
      "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\"><!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
      "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\"><!ENTITY g "
      "\"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\">]>"
      "<urlset><url><loc>&g;</loc></url></urlset>";
  std::string deep = "<urlset>";
  for (int i = 0; i < 100000; ++i) deep += "<x>";
  struct Case {
    const char* name;
    std::string bytes;
    std::string problem;
  };
  const Case cases[] = {
      {"entity expansion", laughs, ""},
      {"nested 100,000 deep", deep, "not well-formed XML"},
      {"a gzip bomb", gzipped(std::string(most_sitemap_bytes + 1, ' ')), "when decompressed"},
      {"gzip magic alone", "\x1F\x8B", "truncated gzip"},
      {"empty", "", "not well-formed XML"},
      {"a text", "http://www.example.com/1\n", "not well-formed XML"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Sitemap sitemap = read_sitemap(c.bytes);
    EXPECT_FALSE(sitemap.problem.empty());
    EXPECT_NE(sitemap.problem.find(c.problem), std::string::npos) << sitemap.problem;
    EXPECT_TRUE(sitemap.entries.empty());
  }
}

TEST(ReadSitemap, ReadsLocAndLastmodInAnyNamespace) {
  const Sitemap sitemap = read_sitemap(
      "<s:urlset xmlns:s=\"http://www.sitemaps.org/schemas/sitemap/0.9\">"
      "<s:url><s:lastmod> 2026-01-02 </s:lastmod><s:loc>http://a/1</s:loc></s:url>"
      "<s:url><s:loc></s:loc></s:url>"  // no location: left out
      "<s:url><s:loc>http://a/2</s:loc><s:loc>http://a/3</s:loc></s:url>"
      "<other><s:loc>http://a/4</s:loc></other>"
      "</s:urlset>");
  EXPECT_EQ(sitemap.problem, "");
  ASSERT_EQ(sitemap.entries.size(), 2u);
  EXPECT_EQ(sitemap.entries[0].location, "http://a/1");
  EXPECT_EQ(sitemap.entries[0].lastmod, "2026-01-02");
  EXPECT_EQ(sitemap.entries[1].location, "http://a/2");
  // Two gzip members in a row read as one document.
  const std::string whole =
      "<sitemapindex><sitemap><loc>http://a/s.xml</loc></sitemap></sitemapindex>";
  const Sitemap index = read_sitemap(gzipped(whole.substr(0, 20)) + gzipped(whole.substr(20)));
  EXPECT_EQ(index.problem, "");
  EXPECT_EQ(index.kind, Sitemap::Kind::index);
  ASSERT_EQ(index.entries.size(), 1u);
  EXPECT_EQ(index.entries[0].location, "http://a/s.xml");
}

TEST(ReadPushReply, ReadsTheFieldsAndRefusesWhatItCannotTrust) {
  const PushReply full = read_push_reply(
      R"({"remain":"12","success":3,"not_same_site":["a",1,"b"],"not_valid":"x","message":"m"})");
  EXPECT_TRUE(full.json);
  EXPECT_TRUE(full.has_success);
  EXPECT_EQ(full.success, 3);
  EXPECT_EQ(full.remain, 12);
  EXPECT_EQ(full.not_same_site, (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(full.not_valid.empty());

  struct Case {
    const char* name;
    std::string body;
    int status;
    ReplyVerdict verdict;
  };
  const Case cases[] = {
      {"success whatever the status", R"({"success":0})", 503, ReplyVerdict::accepted},
      {"over quota", R"({"error":400,"message":"over quota"})", 400, ReplyVerdict::over_quota},
      {"other 400", R"({"error":400,"message":"site error"})", 400, ReplyVerdict::refused},
      {"401", R"({"error":401})", 401, ReplyVerdict::refused},
      {"429", "", 429, ReplyVerdict::retry},
      {"no response", "", 0, ReplyVerdict::retry},
      {"an array", "[1]", 200, ReplyVerdict::refused},
      {"success in a string only", R"("success":1)", 200, ReplyVerdict::refused},
      {"nested too deep", std::string(100, '[') + std::string(100, ']'), 200,
       ReplyVerdict::refused},
      {"deep inside a string is fine",
       R"({"success":1,"m":"[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[["})", 200, ReplyVerdict::accepted},
      {"truncated", R"({"success":1,)", 200, ReplyVerdict::refused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(judge_reply(c.status, read_push_reply(c.body)), c.verdict);
  }
}

TEST(RetryAfter, ReadsSecondsAndDates) {
  const long long now = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
  EXPECT_EQ(retry_after_seconds("HTTP/1.1 503 x\r\nretry-after:  120 \r\n\r\n", now), 120);
  EXPECT_EQ(
      retry_after_seconds("HTTP/1.1 503 x\r\nRetry-After: Sun, 06 Nov 1994 08:50:37 GMT\r\n", now),
      60);
  EXPECT_EQ(
      retry_after_seconds("HTTP/1.1 503 x\r\nRetry-After: Sun, 06 Nov 1994 08:00:00 GMT\r\n", now),
      0);
  EXPECT_EQ(retry_after_seconds("HTTP/1.1 503 x\r\nRetry-After: soon\r\n", now), std::nullopt);
  EXPECT_EQ(retry_after_seconds("HTTP/1.1 503 x\r\n\r\n", now), std::nullopt);
  EXPECT_EQ(status_of_headers("HTTP/1.1 429 Too Many Requests\r\n"), 429);
  EXPECT_EQ(status_of_headers(""), 0);
}

}  // namespace
}  // namespace lorvane
