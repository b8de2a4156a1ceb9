// The push ledger: what happened to each URL at each interface, in SQLite.
//
// One history per interface, keyed by the interface address without its
// token. Per URL: when it was first seen and last sent, its outcome, and
// whether it is in flight (posted, reply not yet recorded). Per interface:
// the last remaining quota and when it was learnt.
#pragma once

#include <sqlite3.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace lorvane {

enum class UrlOutcome { queued, accepted, not_same_site, not_valid };

// The outcome's name as the ledger and the reports write it.
const char* outcome_name(UrlOutcome outcome);

struct LedgerError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Another push holds the ledger.
struct LedgerBusy : LedgerError {
  using LedgerError::LedgerError;
};

struct LearntQuota {
  long long remain = 0;
  long long learnt = 0;  // seconds since 1970 UTC
};

class Ledger {
 public:
  // Opens the ledger file, creating it (mode 0600, its folder 0700) and its
  // tables when missing, in WAL mode, and takes it for this process alone
  // until destroyed: a second push on the same file gets LedgerBusy. An
  // empty `path` keeps the ledger in memory only. Throws LedgerError.
  explicit Ledger(const std::string& path);
  ~Ledger();
  Ledger(const Ledger&) = delete;
  Ledger& operator=(const Ledger&) = delete;

  // The interface's id, made on first use.
  long long interface_id(const std::string& key);
  // The interface's id; none when the ledger has never met it.
  std::optional<long long> find_interface(const std::string& key);

  std::optional<LearntQuota> quota(long long interface);
  void set_quota(long long interface, long long remain, long long learnt);

  // The recorded outcome of each URL, none for a URL never seen.
  std::vector<std::optional<UrlOutcome>> outcomes(long long interface,
                                                  const std::vector<std::string>& urls);

  // Every URL queued at the interface: the in-flight ones first, then in the
  // order they were queued.
  std::vector<std::string> queued(long long interface);

  // Queues `urls` after those queued so far, in their order: new ones are
  // recorded as first seen `now`, known ones lose their earlier outcome.
  void enqueue(long long interface, const std::vector<std::string>& urls, long long now);

  // Marks the queued `urls` in flight, last sent `now`, in one transaction.
  void mark_in_flight(long long interface, const std::vector<std::string>& urls, long long now);

  // Writes a batch's outcomes and, when the reply told it, the remaining
  // quota, in one transaction; the batch is no longer in flight.
  void record(long long interface, const std::vector<std::pair<std::string, UrlOutcome>>& outcomes,
              std::optional<LearntQuota> quota);

  // Takes the in-flight mark off `urls`, which stay queued.
  void release(long long interface, const std::vector<std::string>& urls);

 private:
  struct Statement;
  void execute(const char* sql);
  void begin();
  void commit();

  sqlite3* database_ = nullptr;
  int lock_descriptor_ = -1;
};

}  // namespace lorvane
