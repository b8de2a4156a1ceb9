// lorvane-submit: the submit button from a terminal. Posts a URL list to a
// submission interface through the same submit_urls as the window and prints
// the same result line, in UTF-8.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "app/submission.h"
#include "cli/input_file.h"
#include "cli/terminal_text.h"
#include "lorvane_version.h"

namespace {

// Exit statuses; 64 is EX_USAGE of sysexits.h.
constexpr int exit_accepted = 0;
constexpr int exit_refused = 1;
constexpr int exit_no_response = 2;
constexpr int exit_usage = 64;

constexpr char usage_text[] =
    "Usage: lorvane-submit [--verbose] ADDRESS [FILE]\n"
    "\n"
    "Posts the URLs in FILE (one a line, UTF-8), or on standard input when FILE\n"
    "is absent or -, to the submission interface at ADDRESS, and prints the\n"
    "result line.\n"
    "\n"
    "  --verbose  also write the response's status line and reply to standard error\n"
    "  --help     show this help\n"
    "  --version  show the version\n"
    "\n"
    "Exit status: 0 the interface accepted the list (the reply holds \"success\"),\n"
    "1 the interface answered without it, 2 no response came, 64 a usage error.\n";

// A command line that cannot work: the message and where to find the usage.
int usage_error(const std::string& message) {
  std::fprintf(stderr, "lorvane-submit: %s\nTry 'lorvane-submit --help'.\n", message.c_str());
  return exit_usage;
}

// Input that cannot be sent, exiting as a usage error does.
int input_error(const std::string& message) {
  std::fprintf(stderr, "lorvane-submit: %s\n", message.c_str());
  return exit_usage;
}

}  // namespace

int main(int argc, char** argv) {
  bool verbose = false;
  std::vector<std::string> arguments;
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view argument = argv[i];
    if (!options_ended && argument == "--") {
      options_ended = true;
    } else if (!options_ended && (argument == "--help" || argument == "-h")) {
      std::fputs(usage_text, stdout);
      return exit_accepted;
    } else if (!options_ended && argument == "--version") {
      std::printf("lorvane-submit %s\n", lorvane_version);
      return exit_accepted;
    } else if (!options_ended && (argument == "--verbose" || argument == "-v")) {
      verbose = true;
    } else if (!options_ended && argument.size() > 1 && argument.starts_with('-')) {
      return usage_error("unknown option " + std::string(argument));
    } else {
      arguments.emplace_back(argument);
    }
  }
  if (arguments.empty()) return usage_error("no interface address given");
  if (arguments.size() > 2) return usage_error("too many arguments");

  lorvane::ConvertedText address = lorvane::text_from_utf8(arguments[0]);
  if (!address.problem.empty()) return input_error("the address is refused: " + address.problem);

  std::string file = arguments.size() == 2 ? arguments[1] : "-";
  std::string input;
  std::string problem;
  if (!lorvane::read_input_file(file, input, problem)) return input_error(problem);
  lorvane::ConvertedText url_list = lorvane::url_list_from_utf8(input);
  input = std::string();
  if (!url_list.problem.empty()) {
    std::string where = file == "-" ? "standard input" : file;
    return input_error(where + ", " + url_list.problem + "; nothing was sent");
  }

  lorvane::SubmitResult result = lorvane::submit_urls(address.text, url_list.text);

  if (verbose) {
    if (result.outcome == lorvane::SubmitOutcome::no_response) {
      std::fputs("(no response)\n", stderr);
    } else {
      // A header block too large to read leaves no status line to show.
      std::string status = result.status_line.empty()
                               ? std::string("(no status line: the header block was not read)")
                               : lorvane::utf8_for_terminal(result.status_line.view());
      std::string reply = lorvane::utf8_for_terminal(result.reply.view(), true);
      std::fprintf(stderr, "%s\n%s\n", status.c_str(), reply.c_str());
    }
  }
  std::string line = lorvane::utf8_for_terminal(result.result_line.view());
  std::fprintf(stdout, "%s\n", line.c_str());
  if (std::fflush(stdout) != 0) {
    std::fprintf(stderr, "lorvane-submit: cannot write the result: %s\n", std::strerror(errno));
  }

  switch (result.outcome) {
    case lorvane::SubmitOutcome::accepted:
      return exit_accepted;
    case lorvane::SubmitOutcome::refused:
      return exit_refused;
    case lorvane::SubmitOutcome::no_response:
      return exit_no_response;
  }
  return exit_no_response;
}
