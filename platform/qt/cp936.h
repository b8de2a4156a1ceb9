// Code page 936 <-> Qt's strings, at the control boundary and nowhere else.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace lorvane::platform::qt {

// Bytes that code page 936 cannot decode become U+FFFD, one per byte.
QString from_cp936(std::string_view bytes);

// Characters that code page 936 cannot hold become "?", as the Windows
// conversion does with its default character.
std::string to_cp936(const QString& text);

}  // namespace lorvane::platform::qt
