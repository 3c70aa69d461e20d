#include "common/fatal_stop.hpp"

#include <cstring>
#include <utility>

namespace koralux {

namespace {
std::string compose(const std::string& label, const std::string& description) {
  return label.empty() ? description : label + ": " + description;
}
}  // namespace

FatalStop::FatalStop(std::string label, std::string description, std::error_code code)
    : std::runtime_error(compose(label, description)),
      label_(std::move(label)),
      description_(std::move(description)),
      code_(code) {}

FatalStop FatalStop::fromErrno(std::string label, int errorNumber) {
  return FatalStop(std::move(label), std::strerror(errorNumber),
                   std::error_code(errorNumber, std::generic_category()));
}

}  // namespace koralux
