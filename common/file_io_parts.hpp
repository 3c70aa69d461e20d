#pragma once
// What the file layer's common part (common/file_io.cpp) and its part for each system
// (common/file_io_posix.cpp, common/file_io_windows.cpp) give each other.

#include <string>

namespace koralux {

// The name of the temporary file that an all-or-nothing write of the file `targetName` puts
// beside it: ".NAME.koralux-" and eight random letters and digits (hidden where a leading dot
// hides, and recognisably ours).
std::string temporaryFileName(const std::string& targetName);

// Makes standard output take bytes unchanged: binary mode on Windows, nothing elsewhere.
void makeStandardOutputBinary();

}  // namespace koralux
