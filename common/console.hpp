#pragma once
// What a console program asks of the system it runs on: its arguments in UTF-8 with their
// wildcards expanded, whether a standard stream is a terminal, and standard streams that show
// any file name.
// One implementation per system: common/console_posix.cpp, common/console_windows.cpp.

#include <string>
#include <vector>

namespace koralux {

// The program's arguments (its own name first) in UTF-8. On Windows they are taken from the
// UTF-16 command line, as main()'s argv holds only what the code page can spell; elsewhere they
// are argv as it is.
std::vector<std::string> utf8Arguments(int argc, char** argv);

// The paths that an argument naming files stands for. Windows leaves wildcards to each program:
// there an argument with * or ? in its last component stands for the names in its folder that
// match it, ignoring case (*.* matching every name), sorted ignoring case, each after the
// argument's folder as it was typed; folders only when `folders`; none when nothing matches. A
// folder that cannot be read is a FatalStop. Any other argument stands for itself, and so does
// every argument elsewhere, where the shell has expanded the wildcards.
std::vector<std::string> expandWildcards(const std::string& argument, bool folders);

enum class StandardStream { Output, Error };

// True when `stream` goes to a terminal (a console window on Windows), not to a file or a pipe.
bool isTerminal(StandardStream stream);

// On Windows: std::cout and std::cerr, where they lead to a console, write to it in UTF-16 (what
// the program writes being UTF-8), each line whole, the progress line's escape that erases the
// rest of the line done by the console (whose settings are left as they are); standard output
// and error are put in binary mode, so that what the program writes reaches a file or a pipe
// byte for byte as on other systems (lines end in a line feed alone; a MIDI file written to
// standard output keeps its bytes 0A as they are). Elsewhere nothing.
void prepareStandardStreams();

}  // namespace koralux
