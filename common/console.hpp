#pragma once
// What a console program asks of the system it runs on: its arguments in UTF-8, whether a
// standard stream is a terminal, and standard streams that show any file name.
// One implementation per system: common/console_posix.cpp, common/console_windows.cpp.

#include <string>
#include <vector>

namespace koralux {

// The program's arguments (its own name first) in UTF-8. On Windows they are taken from the
// UTF-16 command line, as main()'s argv holds only what the code page can spell; elsewhere they
// are argv as it is.
std::vector<std::string> utf8Arguments(int argc, char** argv);

enum class StandardStream { Output, Error };

// True when `stream` goes to a terminal (a console window on Windows), not to a file or a pipe.
bool isTerminal(StandardStream stream);

// On Windows: makes the console show what the program writes as UTF-8 (until the program
// ends) and take the terminal escapes of the progress line, and puts standard output and error
// in binary mode, so that what the program writes reaches a file or a pipe byte for byte as on
// other systems (lines end in a line feed alone; a MIDI file written to standard output keeps
// its bytes 0A as they are). Elsewhere nothing.
void prepareStandardStreams();

}  // namespace koralux
