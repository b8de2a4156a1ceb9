#include <string_view>

#include "app/start_program.h"
#include "lorvane_version.h"
#include "platform/shell.h"

int main(int argc, char** argv) {
  // The window reads no command line. --version, alone, is answered for
  // packagers and scripts; anything else is ignored, as before.
  if (argc == 2 && std::string_view(argv[1]) == "--version") {
    lorvane::platform::tell_starter(lorvane::Text(std::string("lorvane ") + lorvane_version));
    return 0;
  }
  return lorvane::start_program();
}
