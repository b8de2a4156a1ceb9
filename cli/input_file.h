// The command-line programs' input: a whole file, or standard input for "-".
#pragma once

#include <string>

namespace lorvane {

// Appends the bytes of `file` ("-": standard input) to `content`. False when
// it cannot be opened or read, with `problem` saying why in a sentence that
// names the file ("cannot open urls.txt: No such file or directory").
bool read_input_file(const std::string& file, std::string& content, std::string& problem);

}  // namespace lorvane
