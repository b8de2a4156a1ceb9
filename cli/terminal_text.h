// The boundary between a terminal (UTF-8) and the program's texts (code page
// 936): lorvane-submit converts here and only here.
#pragma once

#include <string>
#include <string_view>

#include "text/values.h"

namespace lorvane {

// A conversion that either gives a text or says, in UTF-8, why it cannot.
struct ConvertedText {
  Text text;            // code page 936; empty when `problem` is set
  std::string problem;  // empty on success, e.g. "line 3: character U+1F600 ..."
};

// The URL list the window would send for the same lines: the input's lines
// (each ended by LF or CR LF) joined with CR LF, no line break after the last
// one, converted to code page 936. A leading byte-order mark is dropped. A
// zero byte, invalid UTF-8 or a character code page 936 cannot represent is
// refused, naming its 1-based line; nothing is converted then.
ConvertedText url_list_from_utf8(std::string_view input);

// A single UTF-8 value (an address) converted to code page 936, refused on the
// same grounds as url_list_from_utf8, with no line named.
ConvertedText text_from_utf8(std::string_view input);

// A code page 936 text for a terminal: converted to UTF-8, every byte that is
// no character of the code page shown as U+FFFD, and control characters
// (which a hostile reply could use to drive the terminal) shown as U+FFFD too,
// except line feeds and tabs when `keep_line_breaks` is set.
std::string utf8_for_terminal(std::string_view cp936, bool keep_line_breaks = false);

}  // namespace lorvane
