#pragma once
// A listing that could not be written in full must not end with exit status 0: a full disk or
// a closed pipe on standard output is a failure like any other.

#include <iosfwd>

namespace koralux::cli {

// Flushes `out`; when it or an earlier write failed, says so on `err` and returns false.
bool flushedCleanly(std::ostream& out, std::ostream& err);

}  // namespace koralux::cli
