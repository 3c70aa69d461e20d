#pragma once
// Helpers shared by the tests: annotated hex, performances built in code, temporary folders.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/conversion_observer.hpp"

namespace koralux::test {

using Bytes = std::vector<std::uint8_t>;

// "4D 54 68 64  00 00 00 06" -> bytes. Spaces and line breaks are ignored, and so is anything
// from '#' to the end of a line; "'Upper'" inserts the characters between the quotes.
Bytes hex(std::string_view text);

// A performance file: 256 header bytes, then `events` (given as annotated hex).
Bytes performance(std::string_view events);

// Bytes at the end of `bytes` as text, for readable comparisons.
std::string toHex(const Bytes& bytes);

// Compares two byte strings and on a difference reports the first differing offset with the
// bytes around it on both sides.
::testing::AssertionResult sameBytes(const Bytes& expected, const Bytes& actual);

// Succeeds when the strict checker (tests/smf_checker.hpp) accepts `midi`; otherwise says what
// is wrong with it.
::testing::AssertionResult isStrictMidiFile(const Bytes& midi);

// Records every observer call as one line: "progressBegin 1", "status Status: Finished", ...
class RecordingObserver final : public ConversionObserver {
 public:
  void status(std::string_view text) override { calls.push_back("status " + std::string(text)); }
  void progressBegin(std::int64_t total) override {
    calls.push_back("progressBegin " + std::to_string(total));
  }
  void partDone(std::int64_t count) override {
    calls.push_back("partDone " + std::to_string(count));
  }
  std::vector<std::string> calls;
};

// A fresh folder, removed with everything in it at the end of the test.
class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(std::string_view name) const { return (path_ / name).string(); }
  // Names of the entries in the folder, sorted.
  std::vector<std::string> entries() const;

 private:
  std::filesystem::path path_;
};

// The event bytes of each track chunk of a MIDI file (conductor track first).
std::vector<Bytes> trackBodies(const Bytes& midi);

void writeFile(const std::string& path, const Bytes& bytes);
Bytes readFile(const std::string& path);

}  // namespace koralux::test
