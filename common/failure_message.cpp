#include "common/failure_message.hpp"

#include "common/fatal_stop.hpp"

namespace koralux {

std::string failureMessage(std::exception_ptr failure, const std::string& label) {
  try {
    std::rethrow_exception(failure);
  } catch (const FatalStop& stop) {
    return stop.what();
  } catch (const std::exception& other) {
    return label + ": " + other.what();
  } catch (...) {
    return label + ": unknown error";
  }
}

}  // namespace koralux
