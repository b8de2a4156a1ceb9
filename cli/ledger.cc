#include "cli/ledger.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace lorvane {
namespace {

constexpr const char* outcome_names[] = {"queued", "accepted", "not_same_site", "not_valid"};

constexpr char schema[] = R"sql(
CREATE TABLE IF NOT EXISTS interfaces (
  id INTEGER PRIMARY KEY,
  address BLOB NOT NULL UNIQUE,      -- the interface address without its token
  remain INTEGER,                    -- the last remaining quota the interface told
  remain_learnt INTEGER,             -- when, in seconds since 1970 UTC
  next_order INTEGER NOT NULL DEFAULT 1
);
CREATE TABLE IF NOT EXISTS urls (
  interface INTEGER NOT NULL REFERENCES interfaces (id),
  url BLOB NOT NULL,                 -- code page 936, as sent
  first_seen INTEGER NOT NULL,
  last_sent INTEGER,
  outcome TEXT NOT NULL CHECK (outcome IN ('queued', 'accepted', 'not_same_site', 'not_valid')),
  in_flight INTEGER NOT NULL DEFAULT 0,  -- 1: posted, the reply not yet recorded
  queue_order INTEGER NOT NULL,
  PRIMARY KEY (interface, url)
) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS queue ON urls (interface, queue_order) WHERE outcome = 'queued';
)sql";

UrlOutcome outcome_from(std::string_view name) {
  for (int i = 0; i < 4; ++i) {
    if (name == outcome_names[i]) return static_cast<UrlOutcome>(i);
  }
  return UrlOutcome::queued;
}

}  // namespace

const char* outcome_name(UrlOutcome outcome) { return outcome_names[static_cast<int>(outcome)]; }

// A prepared statement, finalised when it goes.
struct Ledger::Statement {
  Statement(sqlite3* database, const char* sql) : database(database) {
    if (sqlite3_prepare_v2(database, sql, -1, &statement, nullptr) != SQLITE_OK) {
      throw LedgerError(std::string("ledger: ") + sqlite3_errmsg(database));
    }
  }
  ~Statement() { sqlite3_finalize(statement); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& bind(int index, long long value) {
    sqlite3_bind_int64(statement, index, value);
    return *this;
  }
  Statement& bind(int index, const std::string& value) {
    sqlite3_bind_blob(statement, index, value.data(), static_cast<int>(value.size()),
                      SQLITE_STATIC);
    return *this;
  }
  Statement& bind_text(int index, const char* value) {
    sqlite3_bind_text(statement, index, value, -1, SQLITE_STATIC);
    return *this;
  }
  // True while rows come.
  bool step() {
    const int status = sqlite3_step(statement);
    if (status == SQLITE_ROW) return true;
    if (status == SQLITE_DONE) return false;
    throw LedgerError(std::string("ledger: ") + sqlite3_errmsg(database));
  }
  void run() {
    while (step()) {
    }
    reset();
  }
  void reset() {
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
  }
  long long integer(int column) { return sqlite3_column_int64(statement, column); }
  bool null(int column) { return sqlite3_column_type(statement, column) == SQLITE_NULL; }
  std::string blob(int column) {
    const void* data = sqlite3_column_blob(statement, column);
    return std::string(static_cast<const char*>(data),
                       static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
  }

  sqlite3* database;
  sqlite3_stmt* statement = nullptr;
};

Ledger::Ledger(const std::string& path) {
  std::string file = path.empty() ? ":memory:" : path;
  if (!path.empty()) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) {
      std::error_code ignored;
      if (std::filesystem::create_directories(folder, ignored)) {
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ignored);
      }
    }
    // Made here, not by SQLite, so that it is the owner's alone from the first
    // byte; SQLite gives its -wal and -shm files the same mode.
    lock_descriptor_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock_descriptor_ < 0) {
      throw LedgerError("cannot open the ledger " + path + ": " + std::strerror(errno));
    }
    struct stat status {};
    if (fstat(lock_descriptor_, &status) == 0 && (status.st_mode & 0077) != 0) {
      fchmod(lock_descriptor_, 0600);
    }
    // One push at a time: the lock goes with the process, however it ends.
    if (flock(lock_descriptor_, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::close(lock_descriptor_);
      lock_descriptor_ = -1;
      if (error == EWOULDBLOCK) throw LedgerBusy("another push is running with the ledger " + path);
      throw LedgerError("cannot lock the ledger " + path + ": " + std::strerror(error));
    }
  }
  if (sqlite3_open_v2(file.c_str(), &database_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                      nullptr) != SQLITE_OK) {
    std::string message = database_ != nullptr ? sqlite3_errmsg(database_) : "out of memory";
    sqlite3_close(database_);
    database_ = nullptr;
    if (lock_descriptor_ >= 0) ::close(lock_descriptor_);
    throw LedgerError("cannot open the ledger " + path + ": " + message);
  }
  try {
    sqlite3_busy_timeout(database_, 10000);
    if (!path.empty()) {
      Statement mode(database_, "PRAGMA journal_mode = WAL");
      if (!mode.step() || mode.blob(0) != "wal") {
        throw LedgerError("the ledger " + path + " cannot be put in WAL mode");
      }
    }
    // A transaction that returned is on disk: a power cut loses no outcome.
    execute("PRAGMA synchronous = FULL");
    execute("PRAGMA foreign_keys = ON");
    execute(schema);
  } catch (...) {
    sqlite3_close(database_);
    if (lock_descriptor_ >= 0) ::close(lock_descriptor_);
    throw;
  }
}

Ledger::~Ledger() {
  sqlite3_close(database_);
  // Closed only after SQLite let go of the file: closing a descriptor of the
  // file drops every POSIX lock this process holds on it.
  if (lock_descriptor_ >= 0) ::close(lock_descriptor_);
}

void Ledger::execute(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(database_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message != nullptr ? message : "unknown error";
    sqlite3_free(message);
    throw LedgerError("ledger: " + text);
  }
}

void Ledger::begin() { execute("BEGIN IMMEDIATE"); }

void Ledger::commit() { execute("COMMIT"); }

long long Ledger::interface_id(const std::string& key) {
  Statement insert(database_, "INSERT OR IGNORE INTO interfaces (address) VALUES (?1)");
  insert.bind(1, key).run();
  Statement select(database_, "SELECT id FROM interfaces WHERE address = ?1");
  select.bind(1, key);
  if (!select.step()) throw LedgerError("ledger: the interface was not recorded");
  return select.integer(0);
}

std::optional<long long> Ledger::find_interface(const std::string& key) {
  Statement select(database_, "SELECT id FROM interfaces WHERE address = ?1");
  select.bind(1, key);
  if (!select.step()) return std::nullopt;
  return select.integer(0);
}

std::optional<LearntQuota> Ledger::quota(long long interface) {
  Statement select(database_, "SELECT remain, remain_learnt FROM interfaces WHERE id = ?1");
  select.bind(1, interface);
  if (!select.step() || select.null(0) || select.null(1)) return std::nullopt;
  return LearntQuota{select.integer(0), select.integer(1)};
}

void Ledger::set_quota(long long interface, long long remain, long long learnt) {
  Statement update(database_,
                   "UPDATE interfaces SET remain = ?2, remain_learnt = ?3 WHERE id = ?1");
  update.bind(1, interface).bind(2, remain).bind(3, learnt).run();
}

std::vector<std::optional<UrlOutcome>> Ledger::outcomes(long long interface,
                                                        const std::vector<std::string>& urls) {
  std::vector<std::optional<UrlOutcome>> found;
  found.reserve(urls.size());
  Statement select(database_, "SELECT outcome FROM urls WHERE interface = ?1 AND url = ?2");
  execute("BEGIN");
  for (const std::string& url : urls) {
    select.bind(1, interface).bind(2, url);
    if (select.step()) {
      found.push_back(
          outcome_from(reinterpret_cast<const char*>(sqlite3_column_text(select.statement, 0))));
    } else {
      found.push_back(std::nullopt);
    }
    select.reset();
  }
  commit();
  return found;
}

std::vector<std::string> Ledger::queued(long long interface) {
  std::vector<std::string> urls;
  Statement select(database_,
                   "SELECT url FROM urls WHERE interface = ?1 AND outcome = 'queued' "
                   "ORDER BY in_flight DESC, queue_order");
  select.bind(1, interface);
  while (select.step()) urls.push_back(select.blob(0));
  return urls;
}

void Ledger::enqueue(long long interface, const std::vector<std::string>& urls, long long now) {
  if (urls.empty()) return;
  begin();
  try {
    Statement next(database_, "SELECT next_order FROM interfaces WHERE id = ?1");
    next.bind(1, interface);
    long long order = next.step() ? next.integer(0) : 1;
    Statement upsert(database_,
                     "INSERT INTO urls (interface, url, first_seen, outcome, queue_order) "
                     "VALUES (?1, ?2, ?3, 'queued', ?4) "
                     "ON CONFLICT (interface, url) DO UPDATE SET outcome = 'queued', "
                     "in_flight = 0, queue_order = excluded.queue_order");
    for (const std::string& url : urls) {
      upsert.bind(1, interface).bind(2, url).bind(3, now).bind(4, order++).run();
    }
    Statement advance(database_, "UPDATE interfaces SET next_order = ?2 WHERE id = ?1");
    advance.bind(1, interface).bind(2, order).run();
    commit();
  } catch (...) {
    execute("ROLLBACK");
    throw;
  }
}

void Ledger::mark_in_flight(long long interface, const std::vector<std::string>& urls,
                            long long now) {
  begin();
  try {
    Statement update(database_,
                     "UPDATE urls SET in_flight = 1, last_sent = ?3 "
                     "WHERE interface = ?1 AND url = ?2");
    for (const std::string& url : urls) update.bind(1, interface).bind(2, url).bind(3, now).run();
    commit();
  } catch (...) {
    execute("ROLLBACK");
    throw;
  }
}

void Ledger::record(long long interface,
                    const std::vector<std::pair<std::string, UrlOutcome>>& outcomes,
                    std::optional<LearntQuota> quota) {
  begin();
  try {
    Statement update(database_,
                     "UPDATE urls SET outcome = ?3, in_flight = 0 "
                     "WHERE interface = ?1 AND url = ?2");
    for (const auto& [url, outcome] : outcomes) {
      update.bind(1, interface).bind(2, url).bind_text(3, outcome_name(outcome)).run();
    }
    if (quota) set_quota(interface, quota->remain, quota->learnt);
    commit();
  } catch (...) {
    execute("ROLLBACK");
    throw;
  }
}

void Ledger::release(long long interface, const std::vector<std::string>& urls) {
  begin();
  try {
    Statement update(database_, "UPDATE urls SET in_flight = 0 WHERE interface = ?1 AND url = ?2");
    for (const std::string& url : urls) update.bind(1, interface).bind(2, url).run();
    commit();
  } catch (...) {
    execute("ROLLBACK");
    throw;
  }
}

}  // namespace lorvane
