#pragma once
// The one error a conversion reports: it ends the conversion, never the process.
// The message is the sentence the user reads: "LABEL: description", where the label
// is the file the error concerns (or a fixed label) and may be empty. Beside it, as the
// system's error number, the code of a failure the system reported (compare it with
// std::errc::no_space_on_device and the like); a damaged file or a setting out of range has
// none.

#include <stdexcept>
#include <string>
#include <system_error>

namespace koralux {

class FatalStop : public std::runtime_error {
 public:
  FatalStop(std::string label, std::string description, std::error_code code = {});

  // The C library's description of an error number, as the system words it
  // ("No space left on device"), with the number as the code.
  static FatalStop fromErrno(std::string label, int errorNumber);

  const std::string& label() const noexcept { return label_; }
  const std::string& description() const noexcept { return description_; }
  // Empty (false) when the failure is not one the system reported.
  const std::error_code& code() const noexcept { return code_; }

 private:
  std::string label_;
  std::string description_;
  std::error_code code_;
};

}  // namespace koralux
