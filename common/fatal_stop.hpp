#pragma once
// The one error a conversion reports: it ends the conversion, never the process.
// The message is the sentence the user reads: "LABEL: description", where the label
// is the file the error concerns (or a fixed label) and may be empty.

#include <stdexcept>
#include <string>

namespace koralux {

class FatalStop : public std::runtime_error {
 public:
  FatalStop(std::string label, std::string description);

  // The C library's description of an error number, as the system words it
  // ("No space left on device").
  static FatalStop fromErrno(std::string label, int errorNumber);

  const std::string& label() const noexcept { return label_; }
  const std::string& description() const noexcept { return description_; }

 private:
  std::string label_;
  std::string description_;
};

}  // namespace koralux
