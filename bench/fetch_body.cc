// The Lorvane side of the download comparison: fetches one URL with
// web_request, as the program does, and keeps the body. Exits 0 when the body
// has the expected length (the second argument), 1 otherwise.
//
// `fetch_body --fill LENGTH` only builds a body of LENGTH bytes 1024 at a
// time, as web_request's reads do, without any network: the cost of keeping a
// body in fresh memory.
#include <array>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/values.h"
#include "web/web_request.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const long long wanted = std::atoll(argv[2]);
  if (std::string_view(argv[1]) == "--fill") {
    lorvane::Bytes body;
    std::array<char, 1024> block{};
    for (long long filled = 0; filled < wanted; filled += block.size()) {
      body.append(std::string_view(block.data(), block.size()));
    }
    return static_cast<long long>(body.view().size()) >= wanted ? 0 : 1;
  }
  const lorvane::Bytes body = lorvane::web_request(lorvane::Text(argv[1]));
  return static_cast<long long>(body.view().size()) == wanted ? 0 : 1;
}
