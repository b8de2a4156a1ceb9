// The parts of lorvane-push that decide, apart from the network and the
// terminal: which interface a history belongs to, when a learnt quota
// expires, and what a push sends in which order.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/ledger.h"

namespace lorvane {

// The interface address with every `token` query parameter taken out: the
// key of the interface's history, safe to store and show. Everything else of
// the address is kept as written.
std::string interface_key(std::string_view address);

// The values of the address's `token` query parameters, as written (to be
// kept out of everything printed).
std::vector<std::string> address_tokens(std::string_view address);

// The interfaces' day, in UTC+8, of a time in seconds since 1970 UTC: a
// remaining quota learnt on one day holds until that day ends.
long long interface_day(long long seconds);

// The remaining quota still known at `now`: the learnt one while its day
// lasts, none after.
std::optional<long long> known_remaining(const std::optional<LearntQuota>& learnt, long long now);

struct PushPlan {
  std::size_t found = 0;             // distinct URLs of the input
  std::size_t accepted_before = 0;   // of those, recorded as accepted: not sent
  std::size_t rejected_before = 0;   // recorded as not_same_site or not_valid: not sent
  std::vector<std::string> earlier;  // queued by earlier runs, in-flight first
  std::vector<std::string> fresh;    // to be queued now, in input order

  std::size_t to_send() const { return earlier.size() + fresh.size(); }
};

// What a push of `urls` (distinct, in input order) sends: the URLs already
// queued at the interface first, then those of the input the ledger does not
// hold (with `resubmit`, also those it holds as accepted or rejected). An
// interface the ledger has never met (none) has nothing recorded.
PushPlan plan_push(Ledger& ledger, std::optional<long long> interface,
                   const std::vector<std::string>& urls, bool resubmit);

// The sizes of the batches that send `count` URLs, at most `cap` each, within
// the remaining quota `remaining` when known (each URL assumed accepted).
std::vector<std::size_t> batch_sizes(std::size_t count, std::size_t cap,
                                     std::optional<long long> remaining);

}  // namespace lorvane
