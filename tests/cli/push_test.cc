// lorvane-push run as a child process against the demo interface and the
// scripted loopback server: what goes out in which batches, what the ledger
// keeps between runs, the report, the exit status, sitemaps and certificates.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/child_process.h"
#include "tests/support/gzip.h"
#include "tests/support/scripted_server.h"
#include "tests/support/test_certificates.h"
#include "tests/support/test_servers.h"

namespace lorvane::testing {
namespace {

using Json = nlohmann::json;
using test::gzipped;
using test::ScriptedReply;
using test::ScriptedServer;

const std::string push_program = LORVANE_PUSH_PROGRAM;
const std::string demo_program = LORVANE_DEMO_PROGRAM;

// Times given to the push's clock: 23:00 in UTC+8, then 00:30 of the next day
// there, which is still the same day in UTC.
constexpr char late_evening[] = "2026-03-01T15:00:00Z";
constexpr char next_morning[] = "2026-03-01T16:30:00Z";

std::string urls(int from, int to, const std::string& host = "www.example.com") {
  std::string list;
  for (int n = from; n <= to; ++n) list += "http://" + host + "/" + std::to_string(n) + "\n";
  return list;
}

std::vector<std::string> lines_of(const std::string& body) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream stream(body);
  while (std::getline(stream, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string read_whole(const std::filesystem::path& path) {
  std::ifstream stream(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(stream), {});
}

std::string urlset(const std::vector<std::pair<std::string, std::string>>& pages) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
  for (const auto& [location, lastmod] : pages) {
    xml += "  <url><loc>" + location + "</loc>";
    if (!lastmod.empty()) xml += "<lastmod>" + lastmod + "</lastmod>";
    xml += "</url>\n";
  }
  return xml + "</urlset>\n";
}

std::string sitemap_index(const std::vector<std::string>& locations) {
  std::string xml = "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
  for (const std::string& location : locations) {
    xml += "  <sitemap><loc>" + location + "</loc></sitemap>\n";
  }
  return xml + "</sitemapindex>\n";
}

// Each test gets a folder of its own, its ledger in it, and a push whose
// waits take no time and which never touches the real state folder.
class Push : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::path(::testing::TempDir()) / ("lorvane-push-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    ledger_ = (folder_ / "state" / "ledger.sqlite").string();
    setenv("XDG_STATE_HOME", (folder_ / "xdg").c_str(), 1);
    setenv("LORVANE_PUSH_TEST_WAIT_SCALE", "0", 1);
    unsetenv("LORVANE_PUSH_TEST_NOW");
    unsetenv("LORVANE_PUSH_CA_FILE");
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // lorvane-push with `arguments` and the test's ledger.
  Finished push(std::vector<std::string> arguments, const std::string& input = {},
                const std::function<void(pid_t)>& started = {}) {
    arguments.insert(arguments.begin(), {"--ledger", ledger_});
    return run_program(push_program, arguments, input, started);
  }

  // The --json report of a push.
  Json report(const Finished& finished) {
    Json parsed = Json::parse(finished.out, nullptr, false);
    EXPECT_TRUE(parsed.is_object()) << finished.out << finished.err;
    return parsed;
  }

  std::string file(const std::string& name, const std::string& content) {
    const std::filesystem::path path = folder_ / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }

  std::filesystem::path folder_;
  std::string ledger_;
};

// The demo interface on free ports, with a quota of the test's choosing.
class Demo {
 public:
  explicit Demo(long long quota, bool tls = false) {
    std::vector<std::string> arguments = {"--port", "0", "--quota", std::to_string(quota)};
    if (tls) arguments.insert(arguments.end(), {"--tls-port", "0"});
    process_.emplace(demo_program, arguments);
    port_ = port_of(process_->first_line());
    if (tls) tls_port_ = port_of(process_->next_line());
  }
  std::string address(const std::string& site = "www.example.com") const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/urls?site=" + site +
           "&token=lorvane-demo";
  }
  std::string tls_address() const {
    return "https://127.0.0.1:" + std::to_string(tls_port_) +
           "/urls?site=www.example.com&token=lorvane-demo";
  }
  std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  static int port_of(const std::string& line) {
    const auto colon = line.rfind(':');
    return colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 1);
  }
  std::optional<Background> process_;
  int port_ = 0;
  int tls_port_ = 0;
};

std::vector<std::size_t> batch_sizes(const Json& report) {
  std::vector<std::size_t> sizes;
  for (const Json& batch : report["batches"]) sizes.push_back(batch["sent"].get<std::size_t>());
  return sizes;
}

TEST_F(Push, CutsBatchesByTheCapAndTheRemainingQuota) {
  struct Case {
    const char* name;
    int count;
    int batch;
    long long quota;
    std::vector<std::size_t> sizes;
    std::size_t queued;
    int exit_status;
  };
  const Case cases[] = {
      {"cap only", 5, 2, 100, {2, 2, 1}, 0, 0},
      {"one batch of exactly the cap", 4, 4, 100, {4}, 0, 0},
      {"the quota learnt from the first reply cuts the next batch", 5, 2, 3, {2, 1}, 2, 3},
      {"quota unknown: a full batch, then over quota", 5, 10, 3, {5}, 5, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(folder_ / "state");
    Demo demo(c.quota);
    const Finished finished =
        push({"--json", "--batch", std::to_string(c.batch), demo.address()}, urls(1, c.count));
    EXPECT_EQ(finished.exit_status, c.exit_status) << finished.err;
    const Json got = report(finished);
    EXPECT_EQ(batch_sizes(got), c.sizes);
    EXPECT_EQ(got["queued"].size(), c.queued);
  }
}

TEST_F(Push, PlansADryRunWithoutSendingOrRecording) {
  Demo demo(3);
  ASSERT_EQ(push({"--batch", "2", demo.address()}, urls(1, 2)).exit_status, 0);  // learns 1 left
  const Finished plan = push({"--dry-run", "--batch", "2", demo.address()}, urls(1, 6));
  EXPECT_EQ(plan.exit_status, 0) << plan.err;
  EXPECT_EQ(plan.out,
            "URLs found: 6\n"
            "already accepted: 2\n"
            "already rejected: 0\n"
            "queued by earlier runs: 0\n"
            "to send: 4\n"
            "batch 1/1: 1 URLs (cap 2, last known remaining quota 1)\n"
            "left queued for want of quota: 3\n");
  // Nothing was sent or queued: a real push still finds all four new.
  const Json got = report(push({"--json", "--batch", "2", demo.address()}, urls(1, 6)));
  EXPECT_EQ(batch_sizes(got), (std::vector<std::size_t>{1}));
  EXPECT_EQ(got["queued"].size(), 3u);
}

TEST_F(Push, ASecondRunSendsOnlyWhatIsNew) {
  ScriptedServer server(ScriptedServer::Scheme::http, 200, R"({"remain":100,"success":1})");
  const std::string address = server.address("/urls?site=www.example.com&token=secret-token");
  ASSERT_EQ(push({address}, urls(1, 3)).exit_status, 0);
  // Repeats and empty lines are dropped, the first occurrence keeps its place.
  const Finished second = push({address}, urls(4, 4) + urls(1, 3) + "\n" + urls(5, 5) + urls(4, 4));
  EXPECT_EQ(second.exit_status, 0) << second.err;
  Finished third = push({address}, urls(1, 5));
  EXPECT_EQ(third.exit_status, 0) << third.err;
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].body,
            "http://www.example.com/1\r\nhttp://www.example.com/2\r\n"
            "http://www.example.com/3");
  EXPECT_EQ(requests[1].body, "http://www.example.com/4\r\nhttp://www.example.com/5");
  EXPECT_EQ(requests[1].target, "/urls?site=www.example.com&token=secret-token");
  EXPECT_EQ(third.out,
            "nothing to send: every URL found is in the ledger already\n"
            "accepted: 0\nrejected as not_same_site: 0\nrejected as not_valid: 0\nqueued: 0\n"
            "remaining quota: 100\n");

  // The ledger is the owner's alone and never holds the token.
  struct stat status {};
  ASSERT_EQ(stat(ledger_.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  for (const auto& entry : std::filesystem::directory_iterator(folder_ / "state")) {
    EXPECT_EQ(read_whole(entry.path()).find("secret-token"), std::string::npos) << entry.path();
  }
  // --resubmit sends the accepted ones again.
  EXPECT_EQ(push({"--resubmit", address}, urls(2, 2)).exit_status, 0);
  ASSERT_EQ(server.requests().size(), 3u);
  EXPECT_EQ(server.requests()[2].body, "http://www.example.com/2");
}

TEST_F(Push, ResumesTheNextInterfaceDayWithTheQueuedUrlsFirst) {
  ScriptedServer server(ScriptedServer::Scheme::http, 400,
                        R"({"error":400,"message":"over quota"})");
  const std::string address = server.address("/urls?site=www.example.com&token=t");
  setenv("LORVANE_PUSH_TEST_NOW", late_evening, 1);
  Finished over = push({"--json", address}, urls(1, 3));
  EXPECT_EQ(over.exit_status, 3) << over.err;
  EXPECT_EQ(report(over)["queued"].size(), 3u);
  EXPECT_EQ(report(over)["remain"], 0);

  // The same interface day: the quota is spent, nothing goes out.
  Finished same_day = push({"--json", address}, urls(4, 4));
  EXPECT_EQ(same_day.exit_status, 3) << same_day.err;
  EXPECT_EQ(report(same_day)["queued"].size(), 4u);
  ASSERT_EQ(server.requests().size(), 1u);

  // After midnight in UTC+8 the quota is unknown again: a full batch, the
  // queued URLs first, then the new ones in input order.
  server.reply_with(200, R"({"remain":50,"success":6})");
  setenv("LORVANE_PUSH_TEST_NOW", next_morning, 1);
  Finished next_day = push({"--json", address}, urls(6, 6) + urls(5, 5));
  EXPECT_EQ(next_day.exit_status, 0) << next_day.err;
  ASSERT_EQ(server.requests().size(), 2u);
  EXPECT_EQ(lines_of(server.requests()[1].body),
            lines_of(urls(1, 3) + urls(4, 4) + urls(6, 6) + urls(5, 5)));
  EXPECT_EQ(report(next_day)["queued"].size(), 0u);
  EXPECT_EQ(report(next_day)["remain"], 50);
}

TEST_F(Push, ReportsRejectedUrlsByReasonAndDoesNotSendThemAgain) {
  Demo demo(100);
  // 文章 in UTF-8: the demo lists it back as JSON escapes of its code page 936 bytes.
  const std::string chinese = "http://other.example/\xE6\x96\x87\xE7\xAB\xA0";
  const std::string input = "http://www.example.com/1\nhttp://other.example/2\nnot a url\n" +
                            chinese + "\nhttp://www.example.com/3\n";
  const Finished first = push({"--json", demo.address()}, input);
  EXPECT_EQ(first.exit_status, 1) << first.err;
  const Json got = report(first);
  EXPECT_EQ(got["accepted"], Json({"http://www.example.com/1", "http://www.example.com/3"}));
  EXPECT_EQ(got["not_same_site"], Json({"http://other.example/2", chinese}));
  EXPECT_EQ(got["not_valid"], Json({"not a url"}));
  EXPECT_EQ(got["remain"], 98);

  const Finished text = push({demo.address()}, input);
  EXPECT_EQ(text.exit_status, 0) << text.err;
  EXPECT_EQ(text.out.find("batch"), std::string::npos) << text.out;

  const Finished again = push({"--resubmit", demo.address()}, input);
  EXPECT_EQ(again.exit_status, 1);
  EXPECT_EQ(again.out,
            "batch 1/1: 5 sent, 2 accepted, 3 rejected, remaining 96\n"
            "accepted: 2\n"
            "rejected as not_same_site: 2\n"
            "  http://other.example/2\n"
            "  " +
                chinese +
                "\n"
                "rejected as not_valid: 1\n"
                "  not a url\n"
                "queued: 0\n"
                "remaining quota: 96\n");
}

TEST_F(Push, RetriesWithinTheirBoundAndNeverOnARefusal) {
  struct Case {
    const char* name;
    std::vector<ScriptedReply> replies;  // then 200
    std::vector<std::string> arguments;
    std::size_t requests;
    int exit_status;
    std::vector<std::string> waits;  // as said on standard error
  };
  const ScriptedReply busy{503, "busy", {}};
  const Case cases[] = {
      {"5xx twice, then accepted", {busy, {500, "", {}}}, {}, 3, 0, {"back-off", "back-off"}},
      {"429 with Retry-After in seconds",
       {{429, "slow down", {{"Retry-After", "7"}}}},
       {},
       2,
       0,
       {"in 7.0 s (Retry-After)"}},
      {"Retry-After capped at a minute",
       {{503, "", {{"Retry-After", "3600"}}}},
       {},
       2,
       0,
       {"in 60.0 s (Retry-After)"}},
      {"Retry-After as a date in the past",
       {{503, "", {{"Retry-After", "Sun, 06 Nov 1994 08:49:37 GMT"}}}},
       {},
       2,
       0,
       {"in 0.0 s (Retry-After)"}},
      {"out of retries",
       {busy, busy, busy},
       {"--retries", "2"},
       3,
       2,
       {"retry 1 of 2", "retry 2 of 2"}},
      {"no retries asked for", {busy}, {"--retries", "0"}, 1, 2, {}},
      {"400 is not retried", {{400, R"({"error":400,"message":"site error"})", {}}}, {}, 1, 1, {}},
      {"401 is not retried",
       {{401, R"({"error":401,"message":"token is not valid"})", {}}},
       {},
       1,
       1,
       {}},
      {"not JSON is a refusal", {{200, "<html>ok</html>", {}}}, {}, 1, 1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(folder_ / "state");
    ScriptedServer server(ScriptedServer::Scheme::http, 200, R"({"remain":9,"success":2})");
    server.reply_in_turn(c.replies);
    std::vector<std::string> arguments = c.arguments;
    arguments.push_back("--json");
    arguments.push_back(server.address("/urls?token=t"));
    const Finished finished = push(arguments, urls(1, 2));
    EXPECT_EQ(finished.exit_status, c.exit_status) << finished.err;
    EXPECT_EQ(server.requests().size(), c.requests);
    std::size_t said = 0;
    for (std::size_t at = finished.err.find("; retry "); at != std::string::npos;
         at = finished.err.find("; retry ", at + 1)) {
      ++said;
    }
    EXPECT_EQ(said, c.waits.size()) << finished.err;
    for (const std::string& wait : c.waits) {
      EXPECT_NE(finished.err.find(wait), std::string::npos) << finished.err;
    }
    // Whatever was not accepted stays queued.
    EXPECT_EQ(report(finished)["queued"].size(), c.exit_status == 0 ? 0u : 2u);
  }
}

TEST_F(Push, BacksOffOneTwoFourSecondsWithJitter) {
  ScriptedServer server(ScriptedServer::Scheme::http, 502, "");
  const Finished finished = push({server.address("/urls")}, urls(1, 1));
  EXPECT_EQ(finished.exit_status, 2);
  const double bases[] = {1, 2, 4};
  std::size_t at = 0;
  for (const double base : bases) {
    at = finished.err.find(" in ", finished.err.find("; retry ", at));
    ASSERT_NE(at, std::string::npos) << finished.err;
    const double wait = std::atof(finished.err.c_str() + at + 4);
    EXPECT_GE(wait, base);
    EXPECT_LE(wait, base * 1.25 + 0.05);
  }
}

TEST_F(Push, RetriesWhenNoResponseComes) {
  test::HangingUpServer server;
  const Finished finished =
      push({"--retries", "1", "http://127.0.0.1:" + std::to_string(server.port()) + "/urls"},
           urls(1, 1));
  EXPECT_EQ(finished.exit_status, 2) << finished.err;
  EXPECT_EQ(server.connections(), 2);
  EXPECT_NE(finished.err.find("stay queued"), std::string::npos) << finished.err;
}

TEST_F(Push, AKilledPushResumesWhereItStopped) {
  struct Case {
    const char* name;
    std::size_t killed_at;                // the batch held unanswered when the push is killed
    std::vector<std::string> sent_after;  // the bodies of the next run
  };
  const Case cases[] = {
      {"first batch posted, not recorded", 1, {"1 2", "3 4", "5"}},
      {"second batch posted, the first recorded", 2, {"3 4", "5"}},
  };
  const auto body = [](const std::string& numbers) {
    std::string joined;
    std::istringstream stream(numbers);
    std::string number;
    while (stream >> number) {
      if (!joined.empty()) joined += "\r\n";
      joined += "http://www.example.com/" + number;
    }
    return joined;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(folder_ / "state");
    ScriptedServer server(ScriptedServer::Scheme::http, 200, R"({"remain":100,"success":2})");
    server.hold_from(c.killed_at);
    std::atomic<pid_t> child = -1;
    auto running = std::async(std::launch::async, [&] {
      return push({"--batch", "2", server.address("/urls?token=kill-token")}, urls(1, 5),
                  [&](pid_t pid) { child = pid; });
    });
    ASSERT_TRUE(server.wait_for_requests(c.killed_at, std::chrono::seconds(20)));
    kill(child, SIGKILL);
    EXPECT_EQ(running.get().exit_status, -1);  // ended by the signal
    server.release();
    // What the killed push left (the database, its WAL and shared-memory
    // files) is the owner's alone and holds no token.
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder_ / "state")) {
      ++files;
      struct stat status {};
      ASSERT_EQ(stat(entry.path().c_str(), &status), 0);
      EXPECT_EQ(status.st_mode & 0777, 0600u) << entry.path();
      EXPECT_EQ(read_whole(entry.path()).find("kill-token"), std::string::npos) << entry.path();
    }
    EXPECT_EQ(files, 3u);

    const std::size_t before = server.requests().size();
    const Finished resumed =
        push({"--json", "--batch", "2", server.address("/urls?token=kill-token")}, urls(1, 5));
    EXPECT_EQ(resumed.exit_status, 0) << resumed.err;
    const auto requests = server.requests();
    ASSERT_EQ(requests.size() - before, c.sent_after.size());
    for (std::size_t i = 0; i < c.sent_after.size(); ++i) {
      EXPECT_EQ(requests[before + i].body, body(c.sent_after[i]));
    }
    EXPECT_EQ(report(resumed)["queued"].size(), 0u);
  }
}

TEST_F(Push, ASecondPushOnTheSameLedgerExits75AndSendsNothing) {
  ScriptedServer server(ScriptedServer::Scheme::http, 200, R"({"remain":100,"success":2})");
  server.hold_from(1);
  auto first =
      std::async(std::launch::async, [&] { return push({server.address("/urls")}, urls(1, 2)); });
  ASSERT_TRUE(server.wait_for_requests(1, std::chrono::seconds(20)));
  const Finished second = push({server.address("/urls")}, urls(1, 2));
  EXPECT_EQ(second.exit_status, 75);
  EXPECT_NE(second.err.find("another push is running"), std::string::npos) << second.err;
  server.release();
  EXPECT_EQ(first.get().exit_status, 0);
  EXPECT_EQ(server.requests().size(), 1u);
  // Once the first has ended, the URLs are accepted and nothing is sent again.
  EXPECT_EQ(push({server.address("/urls")}, urls(1, 2)).exit_status, 0);
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(Push, ReadsSitemaps) {
  ScriptedServer site(ScriptedServer::Scheme::http, 404, "not found");
  const std::string base = site.address("");
  const auto page = [](int n) { return "http://www.example.com/" + std::to_string(n); };
  site.serve("/plain.xml", {200, urlset({{page(1), "2026-01-10"}, {page(2), ""}}), {}});
  site.serve("/news.xml.gz", {200, gzipped(urlset({{page(3), "2026-02-01T08:00:00+08:00"}})), {}});
  site.serve("/gzip-content.xml", {200, gzipped(urlset({{page(4), ""}})), {}});
  site.serve(
      "/index.xml",
      {200,
       sitemap_index({base + "/plain.xml", base + "/news.xml.gz", base + "/gzip-content.xml"}),
       {}});
  site.serve("/entities.xml",
             {200,
              urlset({{" \n http://www.example.com/a?x=1&amp;y=&#x4E2D;&lt;&#65; ", ""},
                      {"<![CDATA[http://www.example.com/b?p&q]]>", ""}}),
              {}});
  site.serve("/loop-a.xml", {200, sitemap_index({base + "/loop-b.xml"}), {}});
  site.serve("/loop-b.xml", {200, sitemap_index({base + "/loop-a.xml", base + "/plain.xml"}), {}});
  site.serve("/deep-1.xml", {200, sitemap_index({base + "/deep-2.xml"}), {}});
  site.serve("/deep-2.xml", {200, sitemap_index({base + "/deep-3.xml"}), {}});
  site.serve("/deep-3.xml", {200, sitemap_index({base + "/deep-4.xml", base + "/plain.xml"}), {}});
  site.serve("/deep-4.xml", {200, sitemap_index({base + "/news.xml.gz"}), {}});
  site.serve("/broken.xml", {200, "<urlset><url><loc>http://www.example.com/1</loc></url>", {}});
  site.serve("/html.xml", {200, "<html><body>moved</body></html>", {}});
  site.serve("/bad.gz", {200, gzipped(urlset({{page(1), ""}})).substr(0, 30), {}});
  site.serve("/index-to-missing.xml", {200, sitemap_index({base + "/missing.xml"}), {}});
  const std::string secret = file("secret.txt", "http://www.example.com/secret");
  const std::string secret_sitemap =
      file("secret.xml", urlset({{"http://www.example.com/private", ""}}));
  site.serve("/external-entity.xml",
             {200,
              "<?xml version=\"1.0\"?>\n<!DOCTYPE urlset [<!ENTITY x SYSTEM \"file://" + secret +
                  "\">]>\n<urlset><url><loc>&x;</loc></url></urlset>",
              {}});
  site.serve(
      "/index-to-local.xml",
      {200, sitemap_index({secret_sitemap, "file://" + secret_sitemap, base + "/plain.xml"}), {}});
  const std::string local_index =
      file("site/index.xml", sitemap_index({"pages.xml", base + "/news.xml.gz"}));
  file("site/pages.xml", urlset({{page(7), ""}}));

  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    int exit_status;
    std::vector<std::string> sent;  // one batch
    std::string said;               // on standard error
  };
  const Case cases[] = {
      {"a urlset", {"--sitemap", base + "/plain.xml"}, 0, {page(1), page(2)}, ""},
      {"an index, with a gzipped sitemap and gzip content",
       {"--sitemap", base + "/index.xml"},
       0,
       {page(1), page(2), page(3), page(4)},
       ""},
      {"entities decoded, CDATA, trimmed",
       {"--sitemap", base + "/entities.xml"},
       0,
       {"http://www.example.com/a?x=1&y=\xD6\xD0<A", "http://www.example.com/b?p&q"},
       ""},
      {"lastmod filter by date: a page without lastmod is kept",
       {"--sitemap", base + "/index.xml", "--since", "2026-01-11"},
       0,
       {page(2), page(3), page(4)},
       ""},
      {"lastmod filter by time",
       {"--sitemap", base + "/index.xml", "--since", "2026-02-01T00:00:01Z"},
       0,
       {page(2), page(4)},
       ""},
      {"lastmod filter, the very instant",
       {"--sitemap", base + "/news.xml.gz", "--since", "2026-02-01T00:00:00Z"},
       0,
       {page(3)},
       ""},
      {"a loop is reported and not followed",
       {"--sitemap", base + "/loop-a.xml"},
       0,
       {page(1), page(2)},
       "a loop"},
      {"deeper than three indexes",
       {"--sitemap", base + "/deep-1.xml"},
       0,
       {page(1), page(2)},
       "nests deeper than 3"},
      {"a local index and its relative sitemap, files and sitemaps together",
       {"--sitemap", local_index, file("list.txt", page(9) + "\n" + page(7) + "\n")},
       0,
       {page(9), page(7), page(3)},
       ""},
      {"a web index never leads to a local file",
       {"--sitemap", base + "/index-to-local.xml"},
       0,
       {page(1), page(2)},
       "no http or https address"},
      {"not well-formed", {"--sitemap", base + "/broken.xml"}, 64, {}, "not well-formed XML"},
      {"not a sitemap", {"--sitemap", base + "/html.xml"}, 64, {}, "neither a <urlset>"},
      {"truncated gzip", {"--sitemap", base + "/bad.gz"}, 64, {}, "truncated gzip"},
      {"an error status", {"--sitemap", base + "/missing.xml"}, 64, {}, "404 Not Found"},
      {"an index whose sitemap is missing",
       {"--sitemap", base + "/index-to-missing.xml"},
       64,
       {},
       "missing.xml cannot be fetched"},
      {"an external entity is never read",
       {"--sitemap", base + "/external-entity.xml"},
       64,
       {},
       "document type declaration"},
      {"a missing file", {"--sitemap", (folder_ / "none.xml").string()}, 64, {}, "cannot open"},
      {"--since without --sitemap",
       {"--since", "2026-01-01", file("l.txt", page(1))},
       64,
       {},
       "--since needs --sitemap"},
      {"--since not a date",
       {"--sitemap", base + "/plain.xml", "--since", "yesterday"},
       64,
       {},
       "--since takes"},
  };
  ScriptedServer interface(ScriptedServer::Scheme::http, 200, R"({"remain":100,"success":1})");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t before = interface.requests().size();
    std::vector<std::string> arguments = {"--no-ledger", interface.address("/urls")};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const Finished finished = run_program(push_program, arguments);
    EXPECT_EQ(finished.exit_status, c.exit_status) << finished.err;
    if (!c.said.empty()) {
      EXPECT_NE(finished.err.find(c.said), std::string::npos) << finished.err;
    }
    const auto requests = interface.requests();
    if (c.sent.empty()) {
      EXPECT_EQ(requests.size(), before);
      continue;
    }
    ASSERT_EQ(requests.size(), before + 1);
    EXPECT_EQ(lines_of(requests.back().body), c.sent);
  }
}

TEST_F(Push, DrawsAProgressBarOnlyWhenStandardErrorIsATerminal) {
  ScriptedServer server(ScriptedServer::Scheme::http, 200, R"({"remain":100,"success":1})");
  const std::string list = file("list.txt", urls(1, 3));
  const std::string command =
      push_program + " --no-ledger --batch 1 " + server.address("/urls") + " " + list;
  // script(1) runs the push on a terminal of its own and copies what it shows.
  const Finished on_terminal = run_program("/usr/bin/script", {"-qec", command, "/dev/null"});
  EXPECT_EQ(on_terminal.exit_status, 0) << on_terminal.err;
  EXPECT_NE(on_terminal.out.find("\r[##########....................] 1/3 URLs"), std::string::npos)
      << on_terminal.out;
  EXPECT_NE(on_terminal.out.find("] 3/3 URLs"), std::string::npos) << on_terminal.out;
  EXPECT_NE(on_terminal.out.find("batch 3/3: 1 sent"), std::string::npos) << on_terminal.out;

  const Finished piped =
      run_program(push_program, {"--no-ledger", "--batch", "1", server.address("/urls"), list});
  EXPECT_EQ(piped.exit_status, 0);
  EXPECT_EQ(piped.err, "");
}

TEST_F(Push, PushesTheDemoSitesOwnSitemap) {
  Demo demo(100);
  const std::string index = demo.base() + "/sitemap.xml";
  // The index names its two sitemaps (one gzipped) at the address asked.
  const Finished plan = push({"--dry-run", "--verbose", "--sitemap", index, demo.address()});
  EXPECT_EQ(plan.exit_status, 0) << plan.err;
  EXPECT_NE(plan.out.find("URLs found: 10\n"), std::string::npos) << plan.out;
  EXPECT_NE(plan.err.find("sitemaps/news.xml.gz: 4 URLs"), std::string::npos) << plan.err;

  const Finished recent =
      push({"--json", "--sitemap", index, "--since", "2026-12-01", demo.address()});
  EXPECT_EQ(recent.exit_status, 0) << recent.err;
  const Json got = report(recent);
  EXPECT_EQ(got["accepted"].size(), 5u);
  EXPECT_EQ(got["accepted"][0], "http://www.example.com/articles/6.html");
  EXPECT_EQ(got["accepted"][3], "http://www.example.com/news/3.html?lang=zh&page=1");

  const Finished rest = push({"--json", "--sitemap", index, demo.address()});
  EXPECT_EQ(rest.exit_status, 0) << rest.err;
  EXPECT_EQ(report(rest)["accepted"].size(), 5u);
  EXPECT_EQ(report(rest)["accepted"][2], "http://www.example.com/\xE6\x96\x87\xE7\xAB\xA0/3.html");
  EXPECT_EQ(report(rest)["remain"], 90);
}

TEST_F(Push, VerifiesCertificatesUnlessInsecure) {
  test::TestAuthority authority;
  setenv("LORVANE_PUSH_CA_FILE", file("authority.pem", authority.certificate_pem()).c_str(), 1);
  Demo demo(100, /*tls=*/true);
  ScriptedServer trusted(authority.issue("127.0.0.1", -1, 24));
  ScriptedServer wrong_host(authority.issue("wrong-name.example", -1, 24));
  ScriptedServer expired(authority.issue("127.0.0.1", -48, -24));
  const std::string reply = R"({"remain":100,"success":1})";
  for (ScriptedServer* server : {&trusted, &wrong_host, &expired}) server->reply_with(200, reply);

  struct Case {
    const char* name;
    std::string address;
    bool insecure;
    int exit_status;
    std::string said;
  };
  const Case cases[] = {
      {"issued by a trusted authority", trusted.address("/urls"), false, 0, ""},
      {"self-signed", demo.tls_address(), false, 2, "certificate is not trusted"},
      {"for another host name", wrong_host.address("/urls"), false, 2, "for another host name"},
      {"expired", expired.address("/urls"), false, 2, "has expired"},
      {"self-signed, --insecure", demo.tls_address(), true, 0, ""},
      {"another host name, --insecure", wrong_host.address("/urls"), true, 0, ""},
      {"expired, --insecure", expired.address("/urls"), true, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> arguments = {"--no-ledger", c.address};
    if (c.insecure) arguments.insert(arguments.begin(), "--insecure");
    const Finished finished = run_program(push_program, arguments, urls(1, 1));
    EXPECT_EQ(finished.exit_status, c.exit_status) << finished.err;
    if (!c.said.empty()) {
      EXPECT_NE(finished.err.find(c.said), std::string::npos) << finished.err;
      EXPECT_EQ(finished.err.find("retry"), std::string::npos) << finished.err;  // none
    }
  }
  // A sitemap over https is verified the same way.
  const Finished sitemap = run_program(push_program, {"--no-ledger", trusted.address("/urls"),
                                                      "--sitemap", expired.address("/s.xml")});
  EXPECT_EQ(sitemap.exit_status, 64);
  EXPECT_NE(sitemap.err.find("has expired"), std::string::npos) << sitemap.err;
}

TEST_F(Push, RefusesInputAndUsageErrorsBeforeSending) {
  ScriptedServer server(ScriptedServer::Scheme::http, 200, R"({"remain":1,"success":1})");
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    std::string input;
    int exit_status;
    std::string said;
  };
  const Case cases[] = {
      {"no address", {}, "", 64, "ADDRESS is required"},
      {"batch 0", {"--batch", "0", server.address("/")}, urls(1, 1), 64, "--batch"},
      {"unknown option", {"--fast", server.address("/")}, urls(1, 1), 64, "--fast"},
      {"an emoji",
       {server.address("/")},
       "http://www.example.com/\xF0\x9F\x98\x80\n",
       64,
       "standard input, line 1: character U+1F600"},
      {"a missing list",
       {server.address("/"), (folder_ / "none.txt").string()},
       "",
       64,
       "cannot open"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Finished finished = push(c.arguments, c.input);
    EXPECT_EQ(finished.exit_status, c.exit_status) << finished.err;
    EXPECT_NE(finished.err.find(c.said), std::string::npos) << finished.err;
  }
  EXPECT_TRUE(server.requests().empty());
  const Finished help = run_program(push_program, {"--help"});
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_NE(help.out.find("--sitemap"), std::string::npos);
  const Finished version = run_program(push_program, {"--version"});
  EXPECT_EQ(version.exit_status, 0);
  EXPECT_EQ(version.out.rfind("lorvane-push ", 0), 0u) << version.out;
}

}  // namespace
}  // namespace lorvane::testing
