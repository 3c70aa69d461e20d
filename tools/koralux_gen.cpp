// koralux-gen: writes a made-up organ performance file (".evt") for trying out, testing and
// timing the converter. The same options always give the same bytes.
//
//   koralux-gen OUTPUT.evt [--seed N] [--seconds S] [--bytes N] [--tempo BPM] [--no-rhythm]
//               [--no-align] [--channels 1,2,3,15] [--pedal-mono] [--no-expression]
//               [--every-kind] [--loose-timing] [--xg]
//
// Exit status: 0 written, 1 the file could not be written, 2 the command line is wrong.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "tools/performance_generator.hpp"

namespace {

constexpr int kWriteFailed = 1;
constexpr int kUsageError = 2;

// Writes the whole file; returns the system's description of what went wrong, or "".
std::string writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return std::strerror(errno);
  const std::size_t written = std::fwrite(bytes.data(), 1, bytes.size(), file);
  int error = written == bytes.size() ? 0 : errno;
  if (std::fflush(file) != 0 && error == 0) error = errno;
  if (std::fclose(file) != 0 && error == 0) error = errno;
  if (written != bytes.size() && error == 0) error = EIO;
  return error == 0 ? std::string() : std::strerror(error);
}

}  // namespace

int main(int argc, char** argv) {
  koralux::GeneratorOptions options;
  std::string output;
  std::vector<int> channels;
  bool noRhythm = false;
  bool noAlign = false;
  bool noExpression = false;

  CLI::App app{"Writes a made-up organ performance file (.evt) for trying out the converter."};
  app.add_option("OUTPUT", output, "Performance file to write")->required();
  app.add_option("--seed", options.seed, "Seed of the random choices (same seed, same bytes)")
      ->capture_default_str();
  app.add_option("--seconds", options.seconds, "Length of the performance in seconds")
      ->check(CLI::Range(0.0, 86400.0))
      ->capture_default_str();
  app.add_option("--bytes", options.targetBytes,
                 "Go on until the file is about this many bytes (replaces --seconds)")
      ->check(CLI::Range(std::size_t{0}, std::size_t{1} << 32));
  app.add_option("--tempo", options.tempo, "Beats per minute of the rhythm unit")
      ->check(CLI::Range(20, 400))
      ->capture_default_str();
  app.add_flag("--no-rhythm", noRhythm, "The rhythm unit stays off: no clock markers");
  app.add_flag("--no-align", noAlign, "No alignment marker after the first beat");
  app.add_option("--channels", channels, "Channels that play, 1 to 16 (default 1,2,3,15)")
      ->delimiter(',')
      ->check(CLI::Range(1, 16));
  app.add_flag("--pedal-mono", options.pedalWithoutReleases,
               "The pedal (channel 3) sends note-ons only");
  app.add_flag("--no-expression", noExpression, "The expression pedal stays still");
  app.add_flag("--every-kind", options.everyKind,
               "Also every other kind of event an organ's stream can hold");
  app.add_flag("--loose-timing", options.looseTiming,
               "Events due at a clock marker may be sent just before it");
  app.add_flag("--xg", options.xg,
               "Channels 5-14 are an XG backing with its set-up, channel 16 changes "
               "registrations (default channels 1,2,3,5,6,7,10,15,16)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error);
    return status == 0 ? 0 : kUsageError;
  }

  options.rhythmUnit = !noRhythm;
  options.alignMarker = !noAlign;
  options.expression = !noExpression;
  if (options.xg && channels.empty()) options.channels = koralux::kXgChannels;
  if (!channels.empty()) {
    options.channels = 0;
    for (const int channel : channels) options.channels |= koralux::channelBit(channel);
  }

  const std::vector<std::uint8_t> performance = koralux::generatePerformance(options);
  const std::string problem = writeFile(output, performance);
  if (!problem.empty()) {
    std::cerr << "koralux-gen: " << output << ": " << problem << '\n';
    return kWriteFailed;
  }
  std::cout << "koralux-gen: wrote " << performance.size() << " bytes to " << output << '\n';
  return 0;
}
