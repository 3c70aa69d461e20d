#include "cli/output_check.hpp"

#include <cerrno>
#include <cstring>
#include <ostream>

namespace koralux::cli {

bool flushedCleanly(std::ostream& out, std::ostream& err) {
  if (out) {
    errno = 0;
    out.flush();
    if (out) return true;
  }
  // errno still holds the reason of the write that failed first.
  const int error = errno;
  err << "koralux-cli: standard output: " << (error != 0 ? std::strerror(error) : "write error")
      << '\n';
  return false;
}

}  // namespace koralux::cli
