// lorvane-push: keeps a whole site submitted. Reads URLs from files and
// sitemaps, sends what is new in batches within the interface's cap and the
// day's remaining quota, and remembers each URL's outcome in a ledger so that
// the next run goes on where this one stopped.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include "app/submission.h"
#include "cli/input_file.h"
#include "cli/ledger.h"
#include "cli/push.h"
#include "cli/push_reply.h"
#include "cli/sitemap.h"
#include "cli/terminal_text.h"
#include "lorvane_version.h"
#include "platform/internet.h"
#include "platform/internet_error.h"
#include "web/web_request.h"

namespace {

using lorvane::UrlOutcome;

// Exit statuses; 64 is EX_USAGE and 75 EX_TEMPFAIL of sysexits.h.
constexpr int exit_done = 0;
constexpr int exit_refused = 1;
constexpr int exit_no_response = 2;
constexpr int exit_quota = 3;
constexpr int exit_usage = 64;
constexpr int exit_busy = 75;

constexpr double most_wait_seconds = 60;
constexpr int most_index_depth = 3;

void say(const std::string& message) {
  std::fprintf(stderr, "lorvane-push: %s\n", message.c_str());
}

// --- the clock -------------------------------------------------------------
//
// LORVANE_PUSH_TEST_NOW (seconds since 1970 or an RFC 3339 time) sets where
// the clock starts, and LORVANE_PUSH_TEST_WAIT_SCALE multiplies every wait:
// settings for tests, which must see tomorrow's push and a minute's back-off
// without waiting for either.
class Clock {
 public:
  Clock() {
    if (const char* now = std::getenv("LORVANE_PUSH_TEST_NOW"); now != nullptr && *now != '\0') {
      long long start = 0;
      if (auto time = lorvane::read_lastmod(now); time && time->has_time) {
        start = time->seconds;
      } else {
        start = std::atoll(now);
      }
      offset_ = start - real_now();
    }
    if (const char* scale = std::getenv("LORVANE_PUSH_TEST_WAIT_SCALE");
        scale != nullptr && *scale != '\0') {
      scale_ = std::max(0.0, std::atof(scale));
    }
  }

  long long now() const { return real_now() + offset_; }

  void wait(double seconds) const {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds * scale_));
  }

 private:
  static long long real_now() {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
  }

  long long offset_ = 0;
  double scale_ = 1;
};

// --- what is printed -------------------------------------------------------

// Text of code page 936 for the terminal or the JSON report, with every token
// of the address masked.
class Shower {
 public:
  explicit Shower(std::vector<std::string> tokens) : tokens_(std::move(tokens)) {}

  std::string utf8(std::string_view cp936, bool keep_line_breaks = false) const {
    std::string text = lorvane::utf8_for_terminal(cp936, keep_line_breaks);
    for (const std::string& token : tokens_) {
      for (auto at = text.find(token); at != std::string::npos; at = text.find(token, at + 3)) {
        text.replace(at, token.size(), "***");
      }
    }
    return text;
  }

 private:
  std::vector<std::string> tokens_;
};

// --- reading the input -----------------------------------------------------

bool is_web_address(std::string_view source) {
  auto lower = std::string(source.substr(0, 8));
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower.starts_with("http://") || lower.starts_with("https://");
}

// Why a request that got no response failed, when the HTTP stack says.
std::string failure_reason(lorvane::platform::DWORD error) {
  namespace net = lorvane::platform;
  switch (error) {
    case net::ERROR_INTERNET_INVALID_CA:
      return "the server's certificate is not trusted";
    case net::ERROR_INTERNET_SEC_CERT_CN_INVALID:
      return "the server's certificate is for another host name";
    case net::ERROR_INTERNET_SEC_CERT_DATE_INVALID:
      return "the server's certificate has expired or is not yet valid";
    case net::ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
      return "no secure connection could be made";
    case net::ERROR_INTERNET_NAME_NOT_RESOLVED:
      return "the host name cannot be resolved";
    case net::ERROR_INTERNET_CANNOT_CONNECT:
      return "the connection was refused";
    case net::ERROR_INTERNET_TIMEOUT:
      return "it timed out";
    default:
      return "no response came";
  }
}

bool is_certificate_error(lorvane::platform::DWORD error) {
  namespace net = lorvane::platform;
  return error == net::ERROR_INTERNET_INVALID_CA ||
         error == net::ERROR_INTERNET_SEC_CERT_CN_INVALID ||
         error == net::ERROR_INTERNET_SEC_CERT_DATE_INVALID;
}

// The URLs of the input, distinct, in the order first met, in code page 936.
class InputUrls {
 public:
  void add(std::string url) {
    if (url.empty() || !seen_.insert(url).second) return;
    urls_.push_back(std::move(url));
  }
  std::vector<std::string>& urls() { return urls_; }

 private:
  std::unordered_set<std::string> seen_;
  std::vector<std::string> urls_;
};

// Reads each list file's lines into `urls`; false after saying why not.
bool read_list(const std::string& file, InputUrls& urls) {
  std::string content;
  std::string problem;
  if (!lorvane::read_input_file(file, content, problem)) {
    say(problem);
    return false;
  }
  lorvane::ConvertedText list = lorvane::url_list_from_utf8(content);
  if (!list.problem.empty()) {
    say((file == "-" ? std::string("standard input") : file) + ", " + list.problem +
        "; nothing was sent");
    return false;
  }
  std::string_view text = list.text.view();
  while (!text.empty()) {
    const auto end = text.find("\r\n");
    urls.add(std::string(text.substr(0, end)));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 2);
  }
  return true;
}

// Follows sitemaps and their indexes, collecting the pages' URLs.
class SitemapReader {
 public:
  SitemapReader(InputUrls& urls, std::optional<lorvane::LastmodTime> since, bool verbose)
      : urls_(urls), since_(since), verbose_(verbose) {}

  // False after saying why a sitemap could not be read.
  bool read(const std::string& source) {
    std::vector<std::string> path;
    return read(source, path, 0);
  }

 private:
  bool read(const std::string& source, std::vector<std::string>& path, int index_depth) {
    if (std::find(path.begin(), path.end(), source) != path.end()) {
      say("sitemap " + path.back() + " leads back to " + source + ", a loop; not followed");
      return true;
    }
    if (!visited_.insert(source).second) return true;  // read already, by another branch

    std::string bytes;
    if (!fetch(source, bytes)) return false;
    const lorvane::Sitemap sitemap = lorvane::read_sitemap(bytes);
    if (!sitemap.problem.empty()) {
      say("sitemap " + source + " cannot be read: " + sitemap.problem + "; nothing was sent");
      return false;
    }
    if (sitemap.kind == lorvane::Sitemap::Kind::index) {
      if (index_depth == most_index_depth) {
        say("sitemap index " + source + " nests deeper than " + std::to_string(most_index_depth) +
            " indexes; not followed");
        return true;
      }
      path.push_back(source);
      // A sitemap fetched from the web names web addresses only: it must
      // never make the push read a file of this machine.
      const bool from_web = is_web_address(source);
      for (const lorvane::SitemapEntry& entry : sitemap.entries) {
        if (from_web && !is_web_address(entry.location)) {
          say("sitemap index " + source + " names " + entry.location +
              ", which is no http or https address; not followed");
          continue;
        }
        if (!read(child_source(source, entry.location), path, index_depth + 1)) return false;
      }
      path.pop_back();
      return true;
    }
    std::size_t kept = 0;
    for (const lorvane::SitemapEntry& entry : sitemap.entries) {
      if (since_ && !entry.lastmod.empty()) {
        const auto lastmod = lorvane::read_lastmod(entry.lastmod);
        if (lastmod && !lorvane::on_or_after(*lastmod, *since_)) continue;
      }
      lorvane::ConvertedText url = lorvane::text_from_utf8(entry.location);
      if (!url.problem.empty()) {
        say("sitemap " + source + ": <loc>" + entry.location + "</loc> is refused: " + url.problem +
            "; nothing was sent");
        return false;
      }
      urls_.add(url.text.release());
      ++kept;
    }
    if (verbose_) {
      std::fprintf(stderr, "sitemap %s: %zu URLs, %zu kept\n", source.c_str(),
                   sitemap.entries.size(), kept);
    }
    return true;
  }

  // A sitemap of an index: an address as it stands; beside a local index, a
  // path relative to the index's folder too.
  static std::string child_source(const std::string& parent, const std::string& location) {
    if (is_web_address(location)) return location;
    std::string_view path = location;
    if (path.starts_with("file://")) return std::string(path.substr(7));
    if (path.starts_with("/")) return location;
    return (std::filesystem::path(parent).parent_path() / location).lexically_normal().string();
  }

  bool fetch(const std::string& source, std::string& bytes) {
    if (!is_web_address(source)) {
      std::string problem;
      if (lorvane::read_input_file(source, bytes, problem)) return true;
      say("sitemap " + problem + "; nothing was sent");
      return false;
    }
    lorvane::ConvertedText address = lorvane::text_from_utf8(source);
    if (!address.problem.empty()) {
      say("sitemap " + source + ": the address is refused: " + address.problem);
      return false;
    }
    lorvane::Text headers;
    lorvane::Bytes body =
        lorvane::web_request(address.text, 0, {}, nullptr, nullptr, nullptr, &headers);
    const int status = lorvane::status_of_headers(headers.view());
    if (status == 0) {
      say("sitemap " + source + " cannot be fetched: " +
          failure_reason(lorvane::platform::last_internet_error()) + "; nothing was sent");
      return false;
    }
    if (status < 200 || status > 299) {
      const std::string_view block = headers.view();
      say("sitemap " + source + " cannot be fetched: " +
          lorvane::utf8_for_terminal(block.substr(0, block.find("\r\n"))) + "; nothing was sent");
      return false;
    }
    bytes = std::string(body.view());
    return true;
  }

  InputUrls& urls_;
  std::optional<lorvane::LastmodTime> since_;
  bool verbose_;
  std::unordered_set<std::string> visited_;
};

// --- the report ------------------------------------------------------------

struct BatchReport {
  std::size_t sent = 0;
  std::size_t accepted = 0;
  std::size_t rejected = 0;
  std::optional<long long> remain;
  std::string outcome;  // accepted, over_quota, refused, no_response, certificate
  std::string reply;    // UTF-8, as lorvane-submit shows it, for a batch that was not accepted
};

enum class Stop { finished, quota, refused, no_response };

struct Report {
  std::vector<std::string> accepted;
  std::vector<std::string> not_same_site;
  std::vector<std::string> not_valid;
  std::vector<std::string> queued;
  std::optional<long long> remain;
  std::vector<BatchReport> batches;
  Stop stop = Stop::finished;
};

class ProgressBar {
 public:
  ProgressBar(bool shown, std::size_t total) : shown_(shown && total > 0), total_(total) {}
  void show(std::size_t done) const {
    if (!shown_) return;
    constexpr std::size_t width = 30;
    const std::size_t filled = total_ == 0 ? width : width * std::min(done, total_) / total_;
    std::fprintf(stderr, "\r[%s%s] %zu/%zu URLs", std::string(filled, '#').c_str(),
                 std::string(width - filled, '.').c_str(), done, total_);
    std::fflush(stderr);
  }
  void clear() const {
    if (shown_) std::fputs("\r\x1B[K", stderr);
  }

 private:
  bool shown_;
  std::size_t total_;
};

std::string remaining_text(std::optional<long long> remain) {
  return remain ? std::to_string(*remain) : std::string("unknown");
}

// --- the push --------------------------------------------------------------

struct Options {
  std::string address;
  std::vector<std::string> files;
  std::vector<std::string> sitemaps;
  std::string since;
  int batch = 2000;
  std::string ledger;
  bool no_ledger = false;
  bool resubmit = false;
  bool dry_run = false;
  bool json = false;
  int retries = 3;
  bool insecure = false;
  bool verbose = false;
};

std::string joined(const std::vector<std::string>& urls) {
  std::string list;
  for (const std::string& url : urls) {
    if (&url != urls.data()) list += "\r\n";
    list += url;
  }
  return list;
}

std::string default_ledger() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && *state == '/') return std::string(state) + "/lorvane/ledger.sqlite";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : ".") + "/.local/state/lorvane/ledger.sqlite";
}

void print_plan(const lorvane::PushPlan& plan, const Options& options,
                std::optional<long long> remaining) {
  const auto sizes =
      lorvane::batch_sizes(plan.to_send(), static_cast<std::size_t>(options.batch), remaining);
  std::size_t planned = 0;
  for (const std::size_t size : sizes) planned += size;
  std::printf("URLs found: %zu\n", plan.found);
  std::printf("already accepted: %zu\n", plan.accepted_before);
  std::printf("already rejected: %zu\n", plan.rejected_before);
  std::printf("queued by earlier runs: %zu\n", plan.earlier.size());
  std::printf("to send: %zu\n", plan.to_send());
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    std::printf("batch %zu/%zu: %zu URLs (cap %d, last known remaining quota %s)\n", i + 1,
                sizes.size(), sizes[i], options.batch, remaining_text(remaining).c_str());
    if (remaining) *remaining -= static_cast<long long>(sizes[i]);
  }
  if (planned < plan.to_send()) {
    std::printf("left queued for want of quota: %zu\n", plan.to_send() - planned);
  }
}

void print_list(const char* title, const std::vector<std::string>& urls, bool with_urls) {
  std::printf("%s: %zu\n", title, urls.size());
  if (!with_urls) return;
  for (const std::string& url : urls) std::printf("  %s\n", url.c_str());
}

void print_report(const Report& report, bool as_json) {
  if (as_json) {
    // In the order the fields are documented.
    using Json = nlohmann::ordered_json;
    const auto number_or_null = [](std::optional<long long> value) {
      return value ? Json(*value) : Json(nullptr);
    };
    Json batches = Json::array();
    for (const BatchReport& batch : report.batches) {
      Json entry = {{"sent", batch.sent},
                    {"accepted", batch.accepted},
                    {"rejected", batch.rejected},
                    {"remain", number_or_null(batch.remain)},
                    {"outcome", batch.outcome}};
      if (!batch.reply.empty()) entry["reply"] = batch.reply;
      batches.push_back(std::move(entry));
    }
    const Json document = {{"accepted", report.accepted},
                           {"not_same_site", report.not_same_site},
                           {"not_valid", report.not_valid},
                           {"queued", report.queued},
                           {"remain", number_or_null(report.remain)},
                           {"batches", batches}};
    std::printf("%s\n", document.dump(-1, ' ', false, Json::error_handler_t::replace).c_str());
    return;
  }
  if (report.batches.empty() && report.stop == Stop::finished) {
    std::printf("nothing to send: every URL found is in the ledger already\n");
  }
  if (report.stop == Stop::quota && !report.queued.empty()) {
    std::printf(
        "quota spent: %zu URLs stay queued until the interface's next day (midnight UTC+8)\n",
        report.queued.size());
  }
  print_list("accepted", report.accepted, false);
  print_list("rejected as not_same_site", report.not_same_site, true);
  print_list("rejected as not_valid", report.not_valid, true);
  print_list("queued", report.queued, false);
  std::printf("remaining quota: %s\n", remaining_text(report.remain).c_str());
}

int exit_status(const Report& report) {
  switch (report.stop) {
    case Stop::refused:
      return exit_refused;
    case Stop::no_response:
      return exit_no_response;
    case Stop::quota:
      if (!report.queued.empty()) return exit_quota;
      break;
    case Stop::finished:
      break;
  }
  if (!report.not_same_site.empty() || !report.not_valid.empty()) return exit_refused;
  return report.queued.empty() ? exit_done : exit_quota;
}

// Posts batches, each retried as the failures table says.
struct Sent {
  lorvane::SubmitExchange exchange;  // of the last attempt
  lorvane::SubmitResult result;      // the last attempt's reply, as lorvane-submit reads it
  lorvane::PushReply reply;
  lorvane::ReplyVerdict verdict = lorvane::ReplyVerdict::retry;  // retry: given up
  bool certificate_failed = false;
};

class BatchSender {
 public:
  BatchSender(const lorvane::Text& address, const Shower& shower, const std::string& key,
              const Options& options, const Clock& clock, const ProgressBar& progress)
      : address_(address),
        shower_(shower),
        shown_address_(shower.utf8(key)),
        options_(options),
        clock_(clock),
        progress_(progress),
        random_(std::random_device{}()) {}

  // Posts batch number `number` (`size` URLs, joined in `list`) until a reply
  // decides it, a certificate fails, or the retries are spent.
  Sent send(const lorvane::Text& list, std::size_t number, std::size_t size) {
    namespace net = lorvane::platform;
    Sent sent;
    for (int attempt = 0;; ++attempt) {
      if (options_.verbose) {
        std::fprintf(stderr, "POST %s (%zu URLs)\n", shown_address_.c_str(), size);
      }
      sent.exchange = lorvane::post_url_list(address_, list);
      // Whether a response came is read_reply's decision, as for the window;
      // one whose status line cannot be read counts as a refusal.
      sent.result = lorvane::read_reply(sent.exchange.received_headers,
                                        sent.exchange.oversized_headers, sent.exchange.body);
      const lorvane::SubmitResult& came = sent.result;
      const bool responded = came.outcome != lorvane::SubmitOutcome::no_response;
      int status = responded ? lorvane::status_of_headers(came.status_line.view()) : 0;
      if (status == 0 && responded) status = -1;
      sent.reply = lorvane::read_push_reply(sent.exchange.body.view());
      sent.verdict = lorvane::judge_reply(status, sent.reply);
      const net::DWORD error = responded ? 0 : net::last_internet_error();
      if (options_.verbose) {
        if (!responded) {
          std::fprintf(stderr, "(no response: %s)\n", failure_reason(error).c_str());
        } else {
          std::fprintf(stderr, "%s\n%s\n", shower_.utf8(came.status_line.view()).c_str(),
                       shower_.utf8(sent.exchange.body.view(), true).c_str());
        }
      }
      if (sent.verdict != lorvane::ReplyVerdict::retry) return sent;
      if (!responded && is_certificate_error(error)) {
        sent.certificate_failed = true;
        progress_.clear();
        say("cannot send to " + shown_address_ + ": " + failure_reason(error) +
            " (--insecure accepts any certificate); nothing more is sent");
        return sent;
      }
      const std::string what =
          responded ? "status " + std::to_string(status) : failure_reason(error);
      if (attempt == options_.retries) {
        progress_.clear();
        say("batch " + std::to_string(number) + ": " + what + " after " +
            std::to_string(options_.retries) + " retries; its " + std::to_string(size) +
            " URLs stay queued");
        return sent;
      }
      // 1 s, 2 s, 4 s ... with up to a quarter more at random, or what the
      // server asks for; never more than a minute.
      double wait =
          std::ldexp(1.0, attempt) * std::uniform_real_distribution<double>(1.0, 1.25)(random_);
      std::string why = "back-off";
      if (const auto asked =
              lorvane::retry_after_seconds(sent.exchange.received_headers.view(), clock_.now())) {
        wait = static_cast<double>(*asked);
        why = "Retry-After";
      }
      wait = std::min(wait, most_wait_seconds);
      progress_.clear();
      char waiting[160];
      std::snprintf(waiting, sizeof waiting, "batch %zu: %s; retry %d of %d in %.1f s (%s)", number,
                    what.c_str(), attempt + 1, options_.retries, wait, why.c_str());
      say(waiting);
      clock_.wait(wait);
    }
  }

 private:
  const lorvane::Text& address_;
  const Shower& shower_;
  std::string shown_address_;  // without its token
  const Options& options_;
  const Clock& clock_;
  const ProgressBar& progress_;
  std::mt19937 random_;
};

int push(const Options& options) {
  const Clock clock;
  namespace net = lorvane::platform;
  if (!options.insecure) {
    net::DWORD verify = 1;
    net::InternetSetOptionA(nullptr, net::LORVANE_OPTION_VERIFY_CERTIFICATES, &verify,
                            sizeof verify);
  }
  if (const char* ca_file = std::getenv("LORVANE_PUSH_CA_FILE"); ca_file != nullptr) {
    std::string name = ca_file;
    net::InternetSetOptionA(nullptr, net::LORVANE_OPTION_CA_FILE, name.data(),
                            static_cast<net::DWORD>(name.size()));
  }

  lorvane::ConvertedText address = lorvane::text_from_utf8(options.address);
  if (!address.problem.empty()) {
    say("the address is refused: " + address.problem);
    return exit_usage;
  }
  const Shower shower(lorvane::address_tokens(address.text.view()));
  const std::string key = lorvane::interface_key(address.text.view());

  std::optional<lorvane::LastmodTime> since;
  if (!options.since.empty()) {
    since = lorvane::read_lastmod(options.since);
    const bool date_only = options.since.size() == 10 && since && !since->has_time;
    if (!since || (!date_only && !since->has_time)) {
      std::fprintf(stderr,
                   "lorvane-push: --since takes YYYY-MM-DD or an RFC 3339 time, not %s\n"
                   "Try 'lorvane-push --help'.\n",
                   options.since.c_str());
      return exit_usage;
    }
  }

  // Everything is read before anything is sent.
  InputUrls input;
  std::vector<std::string> files = options.files;
  if (files.empty() && options.sitemaps.empty()) files.push_back("-");
  for (const std::string& file : files) {
    if (!read_list(file, input)) return exit_usage;
  }
  SitemapReader sitemaps(input, since, options.verbose);
  for (const std::string& source : options.sitemaps) {
    if (!sitemaps.read(source)) return exit_usage;
  }

  std::optional<lorvane::Ledger> ledger;
  const std::string ledger_path =
      options.no_ledger ? std::string()
                        : (options.ledger.empty() ? default_ledger() : options.ledger);
  const bool read_only = options.dry_run;
  try {
    // A dry run records nothing, and so makes no ledger that is not there.
    if (read_only && !ledger_path.empty() && !std::filesystem::exists(ledger_path)) {
      ledger.emplace(std::string());
    } else {
      ledger.emplace(ledger_path);
    }
  } catch (const lorvane::LedgerBusy& busy) {
    say(std::string(busy.what()) + "; try again when it has ended");
    return exit_busy;
  } catch (const lorvane::LedgerError& error) {
    say(error.what());
    return exit_usage;
  }

  try {
    std::optional<long long> interface =
        read_only ? ledger->find_interface(key) : std::optional(ledger->interface_id(key));
    const lorvane::PushPlan plan =
        lorvane::plan_push(*ledger, interface, input.urls(), options.resubmit);
    std::optional<long long> remaining =
        interface ? lorvane::known_remaining(ledger->quota(*interface), clock.now()) : std::nullopt;
    if (options.dry_run) {
      print_plan(plan, options, remaining);
      return exit_done;
    }
    ledger->enqueue(*interface, plan.fresh, clock.now());

    std::vector<std::string> queue = plan.earlier;
    queue.insert(queue.end(), plan.fresh.begin(), plan.fresh.end());
    const auto cap = static_cast<std::size_t>(options.batch);

    Report report;
    const ProgressBar progress(isatty(STDERR_FILENO) == 1, queue.size());
    BatchSender sender(address.text, shower, key, options, clock, progress);
    std::size_t position = 0;
    progress.show(0);
    while (position < queue.size()) {
      std::size_t size = std::min(cap, queue.size() - position);
      if (remaining) size = std::min<std::size_t>(size, static_cast<std::size_t>(*remaining));
      if (size == 0) {
        report.stop = Stop::quota;
        break;
      }
      const std::size_t planned_batches =
          report.batches.size() +
          lorvane::batch_sizes(queue.size() - position, cap, remaining).size();
      const std::vector<std::string> batch(
          queue.begin() + static_cast<std::ptrdiff_t>(position),
          queue.begin() + static_cast<std::ptrdiff_t>(position + size));
      ledger->mark_in_flight(*interface, batch, clock.now());
      const lorvane::Text list(joined(batch));

      BatchReport line;
      line.sent = size;
      const Sent sent = sender.send(list, report.batches.size() + 1, size);

      if (sent.verdict == lorvane::ReplyVerdict::accepted) {
        std::unordered_set<std::string> not_same_site;
        std::unordered_set<std::string> not_valid;
        // The lists come as JSON (UTF-8); the batch went out in code page 936.
        const auto add_listed = [](const std::vector<std::string>& listed,
                                   std::unordered_set<std::string>& into) {
          for (const std::string& item : listed) {
            into.insert(item);
            lorvane::ConvertedText converted = lorvane::text_from_utf8(item);
            if (converted.problem.empty()) into.insert(converted.text.release());
          }
        };
        add_listed(sent.reply.not_same_site, not_same_site);
        add_listed(sent.reply.not_valid, not_valid);
        std::vector<std::pair<std::string, UrlOutcome>> outcomes;
        outcomes.reserve(batch.size());
        for (const std::string& url : batch) {
          UrlOutcome outcome = UrlOutcome::accepted;
          if (not_same_site.contains(url)) {
            outcome = UrlOutcome::not_same_site;
            report.not_same_site.push_back(shower.utf8(url));
            ++line.rejected;
          } else if (not_valid.contains(url)) {
            outcome = UrlOutcome::not_valid;
            report.not_valid.push_back(shower.utf8(url));
            ++line.rejected;
          } else {
            report.accepted.push_back(shower.utf8(url));
            ++line.accepted;
          }
          outcomes.emplace_back(url, outcome);
        }
        std::optional<lorvane::LearntQuota> learnt;
        if (sent.reply.remain) {
          remaining = std::max(*sent.reply.remain, 0LL);
          learnt = lorvane::LearntQuota{*sent.reply.remain, clock.now()};
        } else if (remaining) {
          remaining = std::max(0LL, *remaining - static_cast<long long>(line.accepted));
        }
        ledger->record(*interface, outcomes, learnt);
        line.remain = sent.reply.remain ? sent.reply.remain : remaining;
        line.outcome = "accepted";
        report.batches.push_back(line);
        position += size;
        progress.clear();
        if (!options.json) {
          std::printf("batch %zu/%zu: %zu sent, %zu accepted, %zu rejected, remaining %s\n",
                      report.batches.size(), std::max(planned_batches, report.batches.size()),
                      line.sent, line.accepted, line.rejected, remaining_text(line.remain).c_str());
          std::fflush(stdout);
        }
        progress.show(position);
        continue;
      }

      // Not accepted: the batch stays queued, no longer in flight.
      ledger->release(*interface, batch);
      line.reply = shower.utf8(sent.result.result_line.view());
      if (sent.verdict == lorvane::ReplyVerdict::over_quota) {
        remaining = 0;
        ledger->set_quota(*interface, 0, clock.now());
        line.outcome = "over_quota";
        line.remain = 0;
        report.stop = Stop::quota;
      } else if (sent.verdict == lorvane::ReplyVerdict::refused) {
        line.outcome = "refused";
        report.stop = Stop::refused;
        progress.clear();
        say("the interface refused batch " + std::to_string(report.batches.size() + 1) + ": " +
            line.reply);
      } else {
        line.outcome = sent.certificate_failed ? "certificate" : "no_response";
        report.stop = Stop::no_response;
      }
      report.batches.push_back(line);
      if (!options.json) {
        std::printf("batch %zu/%zu: %zu sent, %s\n", report.batches.size(),
                    std::max(planned_batches, report.batches.size()), line.sent,
                    line.outcome == "over_quota" ? "over quota, remaining 0"
                    : line.outcome == "refused"  ? ("refused: " + line.reply).c_str()
                                                 : "no response");
      }
      break;
    }
    progress.clear();
    if (report.stop == Stop::finished && position < queue.size()) report.stop = Stop::quota;
    for (const std::string& url : ledger->queued(*interface)) {
      report.queued.push_back(shower.utf8(url));
    }
    report.remain = remaining;
    print_report(report, options.json);
    if (std::fflush(stdout) != 0)
      say(std::string("cannot write the report: ") + std::strerror(errno));
    return exit_status(report);
  } catch (const lorvane::LedgerError& error) {
    say(error.what());
    return exit_no_response;
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  CLI::App app(
      "Sends the URLs of the FILEs (UTF-8, one a line; - for standard input, which is read\n"
      "when neither a FILE nor a --sitemap is given) and of every --sitemap to the\n"
      "URL-submission interface at ADDRESS, in batches within the interface's cap and the\n"
      "day's remaining quota, and remembers each URL's outcome in a ledger.",
      "lorvane-push");
  app.set_version_flag("--version", std::string("lorvane-push ") + lorvane_version);
  app.add_option("ADDRESS", options.address, "the interface address")->required();
  app.add_option("FILE", options.files, "URL lists");
  app.add_option("--sitemap", options.sitemaps,
                 "URLs from a sitemap or sitemap index (an http(s) address or a file; gzip is "
                 "read too); repeatable")
      ->take_all()
      ->expected(1)
      ->allow_extra_args(false)
      ->type_name("SRC");
  CLI::Option* since =
      app.add_option("--since", options.since,
                     "with --sitemap: only URLs whose <lastmod> is on or after DATE "
                     "(YYYY-MM-DD or an RFC 3339 time); URLs without one are kept")
          ->type_name("DATE");
  app.add_option("--batch", options.batch, "at most N URLs a request (default 2000)")
      ->check(CLI::Range(1, 1'000'000'000))
      ->type_name("N");
  CLI::Option* ledger_option =
      app.add_option("--ledger", options.ledger,
                     "the ledger (default $XDG_STATE_HOME/lorvane/ledger.sqlite)")
          ->type_name("FILE");
  app.add_flag("--no-ledger", options.no_ledger, "keep no ledger")->excludes(ledger_option);
  app.add_flag("--resubmit", options.resubmit,
               "also send URLs the ledger holds as accepted or rejected");
  app.add_flag("--dry-run", options.dry_run, "print the plan; send and record nothing");
  app.add_flag("--json", options.json, "the report as one JSON document");
  app.add_option("--retries", options.retries,
                 "retries of a batch that gets no response, 429 or 5xx (default 3)")
      ->check(CLI::Range(0, 100))
      ->type_name("N");
  app.add_flag("--insecure", options.insecure, "accept any server certificate");
  app.add_flag("--verbose,-v", options.verbose,
               "also write each request, its status line and reply to standard error");
  app.footer(
      "Exit status: 0 everything sent was accepted and nothing is left queued; 1 the\n"
      "interface refused a batch, or some URLs were rejected; 2 no response after the\n"
      "retries, or a certificate that does not verify; 3 the quota is spent with URLs still\n"
      "queued; 64 a usage error or unreadable input (nothing sent); 75 another push holds\n"
      "the ledger.");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return exit_done;
  } catch (const CLI::CallForVersion&) {
    std::printf("%s\n", app.version().c_str());
    return exit_done;
  } catch (const CLI::ParseError& error) {
    std::fprintf(stderr, "lorvane-push: %s\nTry 'lorvane-push --help'.\n", error.what());
    return exit_usage;
  }
  if (since->count() > 0 && options.sitemaps.empty()) {
    std::fputs("lorvane-push: --since needs --sitemap\nTry 'lorvane-push --help'.\n", stderr);
    return exit_usage;
  }
  return push(options);
}
