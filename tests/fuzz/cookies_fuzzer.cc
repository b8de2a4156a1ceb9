// The cookie merge against the rule written the plain way (reference_web.h,
// with the linear name test), and what a merge never gives: two identical
// entries, or an entry of a deleted cookie (one whose last eight bytes are
// "=deleted"). Both variables come back as the rule says: `sent` holds the
// result, `received` the received text without spaces.
//
// Input: sent \0 received.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/reference_web.h"
#include "text/text.h"
#include "web/cookies.h"

namespace {

using lorvane::Text;
using lorvane::fuzz::escaped;
namespace ref = lorvane::fuzz::reference;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const lorvane::fuzz::Input input(data, size, 0, 2);
  const std::string sent_in = input.text(0);
  const std::string received_in = input.text(1);

  Text sent(sent_in);
  Text received(received_in);
  const Text merged = lorvane::merge_cookies(sent, received);
  const ref::Merged expected = ref::merge_cookies(sent_in, received_in);
  FUZZ_CHECK(merged.view() == expected.result, "merge_cookies follows its rule",
             {"sent", escaped(sent_in)}, {"received", escaped(received_in)},
             {"merged", escaped(std::string(merged.view()))},
             {"expected", escaped(expected.result)});
  FUZZ_CHECK(sent == merged && received.view() == expected.received,
             "the sent variable holds the result, the received one its text without spaces",
             {"sent", escaped(sent_in)}, {"received", escaped(received_in)},
             {"sent_after", escaped(std::string(sent.view()))},
             {"received_after", escaped(std::string(received.view()))});

  const std::vector<std::string> entries =
      ref::split_text(std::string(merged.view()), "; ", std::nullopt);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string& entry = entries[i];
    FUZZ_CHECK(!(entry.size() >= 8 && entry.ends_with("=deleted")),
               "a merge holds no deleted cookie", {"sent", escaped(sent_in)},
               {"received", escaped(received_in)}, {"entry", escaped(entry)});
    for (std::size_t j = i + 1; j < entries.size(); ++j) {
      FUZZ_CHECK(entry != entries[j], "a merge holds no entry twice", {"sent", escaped(sent_in)},
                 {"received", escaped(received_in)}, {"entry", escaped(entry)});
    }
  }
  return 0;
}
