#pragma once
// How a conversion reports to whoever presents it. Calls arrive on the converting thread in
// this order: progressBegin once, then status and partDone for each part transcribed, then
// status("Status: Finished").

#include <cstdint>
#include <string_view>

namespace koralux {

class ConversionObserver {
 public:
  virtual ~ConversionObserver() = default;
  virtual void status(std::string_view text) = 0;
  // The number of note-ons in the whole file, every channel.
  virtual void progressBegin(std::int64_t total) = 0;
  // The number of note-ons one part took from its source channel.
  virtual void partDone(std::int64_t count) = 0;
};

// For callers that want no reports.
class SilentObserver final : public ConversionObserver {
 public:
  void status(std::string_view) override {}
  void progressBegin(std::int64_t) override {}
  void partDone(std::int64_t) override {}
};

}  // namespace koralux
