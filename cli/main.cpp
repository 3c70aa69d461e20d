// koralux-cli: converts an organ performance file (.evt) into a Standard MIDI File, or many of
// them in one call (cli/batch.cpp).

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdint>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/audio_output.hpp"
#include "cli/batch.hpp"
#include "cli/disk_command.hpp"
#include "cli/event_dump.hpp"
#include "cli/performance_info.hpp"
#include "common/console.hpp"
#include "common/failure_message.hpp"
#include "common/fatal_stop.hpp"
#include "engine/conversion_settings.hpp"
#include "engine/key_signature_table.hpp"
#include "engine/setting_ranges.hpp"

namespace koralux::cli {
namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct TimeSignatureText {
  std::uint8_t numerator = 4;
  std::uint8_t denominator = 4;
};

// "N/D" with N and D of at most three digits each, in the ranges a conversion accepts.
std::optional<TimeSignatureText> parseTimeSignature(const std::string& text) {
  const auto slash = text.find('/');
  if (slash == std::string::npos) return std::nullopt;
  const auto number = [](const std::string& digits) {
    if (digits.empty() || digits.size() > 3) return -1;
    int value = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return -1;
      value = value * 10 + (c - '0');
    }
    return value;
  };
  const int numerator = number(text.substr(0, slash));
  const int denominator = number(text.substr(slash + 1));
  if (!rangeOf(Setting::TimeNumerator).contains(numerator) ||
      !rangeOf(Setting::TimeDenominator).contains(denominator)) {
    return std::nullopt;
  }
  return TimeSignatureText{static_cast<std::uint8_t>(numerator),
                           static_cast<std::uint8_t>(denominator)};
}

std::string keyList() {
  std::string list;
  for (const auto& row : KeySignatureTable) {
    if (!list.empty()) list += ", ";
    list += row.text;
  }
  return list;
}

// Replaces each input that is a wildcard pattern by the names it matches (on Windows, where the
// shell leaves wildcards to the program; elsewhere the shell has expanded them). Each pattern
// that matches nothing, or whose folder cannot be read, is reported on standard error; returns
// false if there was one.
bool expandInputs(std::vector<std::string>& inputs, bool folders) {
  std::vector<std::string> expanded;
  bool allMatched = true;
  for (const std::string& input : inputs) {
    try {
      const std::vector<std::string> names = expandWildcards(input, folders);
      if (names.empty()) {
        std::cerr << "koralux-cli: " << input << ": no file matches" << std::endl;
        allMatched = false;
      }
      expanded.insert(expanded.end(), names.begin(), names.end());
    } catch (...) {
      std::cerr << "koralux-cli: " << failureMessage(std::current_exception(), input) << std::endl;
      allMatched = false;
    }
  }
  inputs = std::move(expanded);
  return allMatched;
}

// Help that fits one screen: the usage line names INPUT, so it gets no section of its own, and
// which options exclude which is left to the error messages and the manual.
class CompactHelp final : public CLI::Formatter {
 public:
  CompactHelp() { column_width(24); }
  std::string make_positionals(const CLI::App*) const override { return {}; }
  std::string make_option_opts(const CLI::Option* option) const override {
    return option->get_type_size() != 0 ? " " + option->get_type_name() : std::string();
  }
  // No blank line between the usage line and the options, and one alone before the examples
  // (an option left out of the help leaves one more).
  std::string make_help(const CLI::App* app, std::string name,
                        CLI::AppFormatMode mode) const override {
    std::string text = CLI::Formatter::make_help(app, std::move(name), mode);
    for (auto at = text.find("\n\n\n"); at != std::string::npos; at = text.find("\n\n\n")) {
      text.erase(at, 1);
    }
    if (const auto at = text.find("\n\nOptions:"); at != std::string::npos) text.erase(at, 1);
    return text;
  }
};

}  // namespace
}  // namespace koralux::cli

int main(int argc, char** argv) {
  using namespace koralux;
  using namespace koralux::cli;
  prepareStandardStreams();
  CLI::App app{"Converts organ performances (.evt, disk images) into Standard MIDI Files.",
               "koralux-cli"};
  app.set_version_flag("--version", std::string("koralux-cli ") + KORALUX_VERSION,
                       "Print the version and exit");
  app.footer(
      "Example: koralux-cli song.evt --key \"F Major\" --time 3/4 --xg-parts --audio flac\n"
      "Exit status: 0 done, 1 a file failed, 2 wrong arguments. Manual: koralux-cli(1).");

  std::vector<std::string> inputs;
  std::string output;
  std::string key = "C Major";
  std::string time = "4/4";
  bool rhythmUnitAbsent = false;
  bool legacyTiming = false;
  bool xgParts = false;
  bool strict = false;
  bool quiet = false;
  bool info = false;
  bool json = false;
  bool dump = false;
  bool extract = false;

  app.formatter(std::make_shared<CompactHelp>());
  // CLI11 on Windows would take "/tmp/song.evt" for an option "/tmp"; options start with '-'
  // on every system.
  app.allow_windows_style_options(false);
  app.add_option("INPUT", inputs, "Performance files (.evt), disk images, or folders with -r")
      ->required();
  auto* outputOption = app.add_option("-o,--output", output,
                                      "MIDI file to write, - for stdout (default INPUT as .mid)")
                           ->type_name("FILE");
  app.add_option("--key", key, "Key signature, e.g. \"F Sharp Minor\" (default C Major)")
      ->type_name("KEY");
  app.add_option("--time", time, "Time signature, e.g. 3/4 (default 4/4)")->type_name("N/D");
  app.add_flag("--rhythm-unit-absent", rhythmUnitAbsent,
               "The rhythm unit was not used in the recording");
  app.add_flag("--legacy-timing", legacyTiming, "Keep the old timing, in which late events drift");
  app.add_flag("--xg-parts", xgParts, "Also write the XG backing and the registration changes");
  app.add_flag("--strict", strict, "Refuse files with warnings (cut short, not a recording)");
  app.add_flag("-q,--quiet", quiet, "Print nothing but errors");
  auto* infoFlag =
      app.add_flag("--info", info, "Describe INPUTs, not converting them (with --json: JSON)")
          ->excludes(outputOption);
  // Named in --info's line, so that the help keeps to one screen.
  app.add_flag("--json", json, "With --info: print JSON for scripts")->group("");
  app.add_flag("--dump", dump, "List every event of INPUT instead of converting it")
      ->excludes(outputOption)
      ->excludes(infoFlag);
  BatchOptions batch;
  addBatchOptions(app, batch);
  AudioRequest audioRequest;
  addAudioOptions(app, audioRequest);
  app.add_option("--song", batch.song, "Only this song of the disk image: slot N or its name")
      ->type_name("N");
  app.add_flag("--extract", extract, "Copy the files off each disk image, byte for byte")
      ->excludes(outputOption)
      ->excludes(infoFlag)
      ->excludes("--dump")
      ->excludes("--song");

  const std::vector<std::string> arguments = utf8Arguments(argc, argv);
  std::vector<const char*> argumentPointers;
  for (const std::string& argument : arguments) argumentPointers.push_back(argument.c_str());
  try {
    app.parse(static_cast<int>(argumentPointers.size()), argumentPointers.data());
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "koralux-cli: " << e.what() << "\nRun with --help for more information.\n";
    return kExitUsage;
  }

  ConversionSettings settings;
  const auto keyRow = findKeySignature(key);
  if (!keyRow) {
    std::cerr << "koralux-cli: --key: unknown key \"" << key
              << "\"; accepted (any case): " << keyList() << '\n';
    return kExitUsage;
  }
  settings.keySharpsFlats = KeySignatureTable[*keyRow].sharpsFlats;
  settings.keyMinor = KeySignatureTable[*keyRow].minor;
  const auto timeSignature = parseTimeSignature(time);
  if (!timeSignature) {
    const SettingRange& n = rangeOf(Setting::TimeNumerator);
    const SettingRange& d = rangeOf(Setting::TimeDenominator);
    std::cerr << "koralux-cli: --time: \"" << time
              << "\" is not a time signature; write N/D with N from " << n.low << " to " << n.high
              << " and D from " << d.low << " to " << d.high << ", for example 3/4\n";
    return kExitUsage;
  }
  settings.timeNumerator = timeSignature->numerator;
  settings.timeDenominator = timeSignature->denominator;
  settings.rhythmUnitAbsent = rhythmUnitAbsent;
  settings.legacyTiming = legacyTiming;
  settings.xgParts = xgParts;
  settings.strict = strict;

  if (const auto error = audioUsageError(audioRequest, output)) {
    std::cerr << "koralux-cli: " << *error << '\n';
    return kExitUsage;
  }
  if (json && !info) {
    std::cerr << "koralux-cli: --json requires --info\n";
    return kExitUsage;
  }
  const bool allMatched = expandInputs(inputs, batch.recursive);
  if (inputs.empty()) return kExitFailed;
  int status = 0;
  if (extract) {
    status = runExtractCommand(inputs, batch.outputDir, quiet, std::cout, std::cerr);
  } else if (info) {
    status = runInfoCommand(inputs, settings, json, quiet, std::cout, std::cerr, batch.song,
                            audioRequest);
  } else if (dump) {
    status = runDumpCommand(inputs, rhythmUnitAbsent, quiet, std::cout, std::cerr, batch.song);
  } else if (const auto error = batchUsageError(inputs, output, batch)) {
    std::cerr << "koralux-cli: " << *error << '\n';
    return kExitUsage;
  } else if (audioRequest.format.empty()) {
    status = runConversions(inputs, output, batch, settings, quiet);
  } else {
    std::optional<AudioMaker> audio;
    try {
      audio.emplace(audioRequest, xgParts);
    } catch (const FatalStop& stop) {
      std::cerr << "koralux-cli: " << stop.what() << '\n';
      return kExitFailed;
    }
    status = runConversions(inputs, output, batch, settings, quiet, &*audio);
  }
  return allMatched ? status : std::max(status, kExitFailed);
}
