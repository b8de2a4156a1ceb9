#include "platform/qt/cp936.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace lorvane::platform::qt {

namespace {

// Length of the UTF-8 sequence that `lead` begins (1 for a stray byte).
std::size_t utf8_sequence_length(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

// Converts `input` with iconv; at each byte sequence the converter rejects,
// appends `replacement` and skips what `skip` says.
template <typename Skip>
std::string convert(const char* to, const char* from, std::string_view input,
                    std::string_view replacement, Skip skip) {
  iconv_t converter = iconv_open(to, from);
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    // glibc always has both; without them the controls could not work at all.
    std::abort();
  }
  std::string output;
  char buffer[1024];
  char* in = const_cast<char*>(input.data());
  std::size_t in_left = input.size();
  while (in_left > 0) {
    char* out = buffer;
    std::size_t out_left = sizeof buffer;
    const std::size_t done = iconv(converter, &in, &in_left, &out, &out_left);
    output.append(buffer, static_cast<std::size_t>(out - buffer));
    if (done != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL: an invalid or cut-off sequence.
    output.append(replacement);
    const std::size_t skipped = std::min(skip(static_cast<unsigned char>(*in)), in_left);
    in += skipped;
    in_left -= skipped;
  }
  iconv_close(converter);
  return output;
}

}  // namespace

QString from_cp936(std::string_view bytes) {
  const std::string utf8 = convert("UTF-8", "CP936", bytes, "\xEF\xBF\xBD",
                                   [](unsigned char) { return std::size_t{1}; });
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string to_cp936(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return convert("CP936", "UTF-8", std::string_view(utf8.constData(), utf8.size()), "?",
                 utf8_sequence_length);
}

}  // namespace lorvane::platform::qt
