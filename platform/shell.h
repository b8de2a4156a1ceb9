// The message box and the browser, as the start-up notice uses them.
//
// Kept apart from the window toolkit so that tests can link recording
// stand-ins; the backends are platform/qt/ and platform/win32/.
//
// The win32 backend includes this header before <windows.h>, whose macros
// share these names.
#pragma once

#include <cstdint>
#include <optional>

#include "text/values.h"

namespace lorvane::platform {

// Message box type bits, with the values of the Windows API.
inline constexpr std::uint32_t MB_OK = 0x00000000;
inline constexpr std::uint32_t MB_TASKMODAL = 0x00002000;

// The title of a message box when none is given: "信息：" in code page 936.
inline constexpr char default_message_title[] = "\xD0\xC5\xCF\xA2\xA3\xBA";

// Shows `text` in a message box with no owner window and waits until it is
// dismissed; returns the button pressed. `type` holds the MB_ bits.
std::int32_t show_message(const Text& text, std::uint32_t type,
                          const std::optional<Text>& title = std::nullopt);

// Tells whoever started the program one line, such as its version: on
// standard output. A Windows GUI program has no console of its own, so there
// the line goes to standard output when the caller gave one (a pipe or a
// file), else to the console of the program that started it, else into a
// message box.
void tell_starter(const Text& line);

// Hands the URL to the desktop's "open" action, without any shell command
// line; the result is ignored.
void open_in_browser(const Text& url);

}  // namespace lorvane::platform
