#pragma once
// Windows only: UTF-8 and the system's UTF-16 strings, and the system's words for an error.

#if defined(_WIN32)

#include <string>
#include <string_view>

namespace koralux::windows {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

// FormatMessageW's text for a GetLastError() code, in UTF-8, without the line break it ends
// with ("The system cannot find the file specified.").
std::string errorText(unsigned long code);

// `path` as the wide API takes it: made absolute and prefixed with \\?\ (\\?\UNC\ for a
// network path), so that its length is not limited to 260 characters. Device names ("NUL",
// \\.\COM1) and paths that carry a prefix already are left as they are.
std::wstring systemPath(const std::string& path);

}  // namespace koralux::windows

#endif
