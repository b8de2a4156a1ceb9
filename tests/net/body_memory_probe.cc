// Fetches one URL with web_request and reports, on standard output, the body's
// length, how many of its bytes break the 'a' to 'z' pattern of the test
// servers' /large route, and the process's peak resident memory:
//   LENGTH WRONG PEAK_KIB
// A process of its own, so that the peak is that of the request alone.
#include <sys/resource.h>

#include <cstdio>
#include <string_view>

#include "text/values.h"
#include "web/web_request.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: net_body_memory_probe URL\n", stderr);
    return 64;
  }
  const lorvane::Bytes body = lorvane::web_request(lorvane::Text(argv[1]));
  const std::string_view bytes = body.view();
  unsigned long long wrong = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != static_cast<char>('a' + i % 26)) ++wrong;
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%zu %llu %ld\n", bytes.size(), wrong, usage.ru_maxrss);
  return 0;
}
