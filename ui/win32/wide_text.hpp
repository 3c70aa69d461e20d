#pragma once
// UTF-8 inside the program, UTF-16 at the Windows API.

#include <string>
#include <string_view>

namespace koralux {

std::wstring wideFromUtf8(std::string_view text);
std::string utf8FromWide(std::wstring_view text);

}  // namespace koralux
