#include "tests/test_support.hpp"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "tests/smf_checker.hpp"

namespace koralux::test {

Bytes hex(std::string_view text) {
  Bytes bytes;
  int high = -1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '#') {
      while (i < text.size() && text[i] != '\n') ++i;
      continue;
    }
    if (c == '\'') {
      for (++i; i < text.size() && text[i] != '\''; ++i)
        bytes.push_back(static_cast<std::uint8_t>(text[i]));
      continue;
    }
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (digit < 0) continue;
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<std::uint8_t>(high * 16 + digit));
      high = -1;
    }
  }
  EXPECT_EQ(high, -1) << "odd number of hex digits in: " << text;
  return bytes;
}

Bytes performance(std::string_view events) {
  Bytes bytes(256, 0);
  const Bytes body = hex(events);
  bytes.insert(bytes.end(), body.begin(), body.end());
  return bytes;
}

std::string toHex(const Bytes& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

::testing::AssertionResult sameBytes(const Bytes& expected, const Bytes& actual) {
  if (expected == actual) return ::testing::AssertionSuccess();
  const auto [e, a] = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
  const auto offset = static_cast<std::size_t>(e - expected.begin());
  const std::size_t from = offset > 8 ? offset - 8 : 0;
  const auto window = [&](const Bytes& b) {
    const std::size_t to = std::min(b.size(), offset + 8);
    return from < to ? toHex(Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
                                   b.begin() + static_cast<std::ptrdiff_t>(to)))
                     : std::string();
  };
  (void)a;
  return ::testing::AssertionFailure()
         << "first difference at offset " << offset << " (sizes " << expected.size() << " and "
         << actual.size() << ")\n  expected from " << from << ": " << window(expected)
         << "\n  actual   from " << from << ": " << window(actual);
}

::testing::AssertionResult isStrictMidiFile(const Bytes& midi) {
  const std::string defect = smfDefect(midi);
  if (defect.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "not a sound MIDI file: " << defect;
}

TemporaryFolder::TemporaryFolder() {
  std::random_device entropy;
  path_ = std::filesystem::temp_directory_path() /
          ("koralux-test-" + std::to_string(entropy()) + std::to_string(entropy()));
  std::filesystem::create_directories(path_);
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TemporaryFolder::entries() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<Bytes> trackBodies(const Bytes& midi) {
  std::vector<Bytes> tracks;
  std::size_t at = 14;
  while (at + 8 <= midi.size()) {
    const std::size_t length = (std::size_t{midi[at + 4]} << 24) |
                               (std::size_t{midi[at + 5]} << 16) |
                               (std::size_t{midi[at + 6]} << 8) | midi[at + 7];
    at += 8;
    if (at + length > midi.size()) {
      ADD_FAILURE() << "track length " << length << " runs past the end of the file";
      break;
    }
    tracks.emplace_back(midi.begin() + static_cast<std::ptrdiff_t>(at),
                        midi.begin() + static_cast<std::ptrdiff_t>(at + length));
    at += length;
  }
  return tracks;
}

void writeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace koralux::test
