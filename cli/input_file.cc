#include "cli/input_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace lorvane {
namespace {

// The whole stream; false (errno set) when reading fails.
bool read_all(std::FILE* stream, std::string& content) {
  // A file's size is known: its bytes then land in one block.
  struct stat status {};
  if (fstat(fileno(stream), &status) == 0 && S_ISREG(status.st_mode)) {
    content.reserve(content.size() + static_cast<std::size_t>(status.st_size) + 1);
  }
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), stream);
    content.append(buffer.data(), got);
    if (got < buffer.size()) return std::ferror(stream) == 0;
  }
}

}  // namespace

bool read_input_file(const std::string& file, std::string& content, std::string& problem) {
  if (file == "-") {
    if (read_all(stdin, content)) return true;
    problem = std::string("cannot read standard input: ") + std::strerror(errno);
    return false;
  }
  std::FILE* stream = std::fopen(file.c_str(), "rb");
  if (stream == nullptr) {
    problem = "cannot open " + file + ": " + std::strerror(errno);
    return false;
  }
  const bool read = read_all(stream, content);
  const int read_error = errno;
  std::fclose(stream);
  if (!read) problem = "cannot read " + file + ": " + std::strerror(read_error);
  return read;
}

}  // namespace lorvane
