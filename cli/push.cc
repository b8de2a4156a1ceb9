#include "cli/push.h"

#include <algorithm>

namespace lorvane {
namespace {

// The query's parameters, each "name=value" as written, and what follows the
// query (a fragment), split off an address.
struct QueryParts {
  std::string_view before;  // up to and without the "?"
  std::vector<std::string_view> parameters;
  std::string_view fragment;  // from the "#" on
};

QueryParts split_query(std::string_view address) {
  QueryParts parts;
  const auto hash = address.find('#');
  parts.fragment = hash == std::string_view::npos ? std::string_view() : address.substr(hash);
  address = address.substr(0, hash);
  const auto question = address.find('?');
  parts.before = address.substr(0, question);
  if (question == std::string_view::npos) return parts;
  std::string_view query = address.substr(question + 1);
  while (true) {
    const auto amp = query.find('&');
    parts.parameters.push_back(query.substr(0, amp));
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return parts;
}

bool is_token(std::string_view parameter) {
  return parameter.substr(0, parameter.find('=')) == "token";
}

}  // namespace

std::string interface_key(std::string_view address) {
  const QueryParts parts = split_query(address);
  std::string key(parts.before);
  bool first = true;
  for (const std::string_view parameter : parts.parameters) {
    if (is_token(parameter)) continue;
    key += first ? '?' : '&';
    key += parameter;
    first = false;
  }
  key += parts.fragment;
  return key;
}

std::vector<std::string> address_tokens(std::string_view address) {
  std::vector<std::string> tokens;
  for (const std::string_view parameter : split_query(address).parameters) {
    const auto equals = parameter.find('=');
    if (is_token(parameter) && equals != std::string_view::npos && equals + 1 < parameter.size()) {
      tokens.emplace_back(parameter.substr(equals + 1));
    }
  }
  return tokens;
}

long long interface_day(long long seconds) {
  constexpr long long utc_plus_8 = 8 * 3600;
  const long long shifted = seconds + utc_plus_8;
  return shifted >= 0 ? shifted / 86400 : -((-shifted + 86399) / 86400);
}

std::optional<long long> known_remaining(const std::optional<LearntQuota>& learnt, long long now) {
  if (!learnt || interface_day(learnt->learnt) != interface_day(now)) return std::nullopt;
  return std::max(learnt->remain, 0LL);
}

PushPlan plan_push(Ledger& ledger, std::optional<long long> interface,
                   const std::vector<std::string>& urls, bool resubmit) {
  PushPlan plan;
  plan.found = urls.size();
  if (!interface) {
    plan.fresh = urls;
    return plan;
  }
  plan.earlier = ledger.queued(*interface);
  const std::vector<std::optional<UrlOutcome>> outcomes = ledger.outcomes(*interface, urls);
  for (std::size_t i = 0; i < urls.size(); ++i) {
    if (!outcomes[i]) {
      plan.fresh.push_back(urls[i]);
      continue;
    }
    switch (*outcomes[i]) {
      case UrlOutcome::queued:
        break;  // among the earlier ones
      case UrlOutcome::accepted:
        if (resubmit) {
          plan.fresh.push_back(urls[i]);
        } else {
          ++plan.accepted_before;
        }
        break;
      case UrlOutcome::not_same_site:
      case UrlOutcome::not_valid:
        if (resubmit) {
          plan.fresh.push_back(urls[i]);
        } else {
          ++plan.rejected_before;
        }
        break;
    }
  }
  return plan;
}

std::vector<std::size_t> batch_sizes(std::size_t count, std::size_t cap,
                                     std::optional<long long> remaining) {
  std::vector<std::size_t> sizes;
  std::size_t left = count;
  while (left > 0) {
    std::size_t size = std::min(left, cap);
    if (remaining) {
      size = std::min<std::size_t>(size, static_cast<std::size_t>(std::max(*remaining, 0LL)));
      if (size == 0) break;
      *remaining -= static_cast<long long>(size);
    }
    sizes.push_back(size);
    left -= size;
  }
  return sizes;
}

}  // namespace lorvane
