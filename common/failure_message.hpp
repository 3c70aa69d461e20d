#pragma once
// The sentence the user reads when a task fails, whatever was thrown: the command-line program
// and the dialog both word their failures through it, from a `catch (...)`.

#include <exception>
#include <string>

namespace koralux {

// A FatalStop's own message ("LABEL: description"); for anything else thrown, its text after
// `label`, the file the failed task concerned ("song.evt: std::bad_alloc").
std::string failureMessage(std::exception_ptr failure, const std::string& label);

}  // namespace koralux
