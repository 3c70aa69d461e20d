#include "cli/event_dump.hpp"

#include <cstdio>
#include <exception>
#include <optional>
#include <ostream>
#include <streambuf>

#include "cli/disk_command.hpp"
#include "cli/output_check.hpp"
#include "common/failure_message.hpp"
#include "common/fatal_stop.hpp"
#include "common/file_io.hpp"
#include "engine/conversion_plan.hpp"
#include "engine/reading_clock.hpp"
#include "evt/performance_reader.hpp"

namespace koralux::cli {

namespace {

// How many data bytes of an event are worth showing: the ones its kind carries.
int dataBytes(EventKind kind) {
  switch (kind) {
    case EventKind::FootController:
    case EventKind::Expression:
    case EventKind::Sustain:
    case EventKind::AllNotesOff:
    case EventKind::Controller:
    case EventKind::NoteOff:
    case EventKind::NoteOn:
    case EventKind::PitchBend:
      return 2;
    case EventKind::ProgramChange:
    case EventKind::ChannelPressure:
      return 1;
    default:
      return 0;
  }
}

// The tempo a conversion would find, which sets where the clock's interval estimate starts;
// none when the file is damaged (the listing then goes as far as the damage, without ticks).
std::optional<std::int64_t> estimatedTempo(std::span<const std::uint8_t> performance,
                                           const std::string& label) {
  try {
    ConversionSettings settings;
    settings.inputPath = label;
    return planConversion(performance, settings).analysis.tempo;
  } catch (const FatalStop&) {
    return std::nullopt;
  }
}

std::string numberOrDash(bool present, long long value) {
  return present ? std::to_string(value) : std::string("-");
}

void writeLine(std::ostream& out, const char* offset, const char* kind, const std::string& channel,
               const std::string& data1, const std::string& data2, const std::string& ms,
               const std::string& ticks) {
  char text[160];
  const int length =
      std::snprintf(text, sizeof text, "%-9s %-15s %7s %5s %5s %10s %10s\n", offset, kind,
                    channel.c_str(), data1.c_str(), data2.c_str(), ms.c_str(), ticks.c_str());
  out.write(text, length);
}

// Takes every character and keeps none: -q still reads the whole file for the exit status.
class DiscardingBuffer final : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

}  // namespace

void writeEventDump(std::ostream& out, std::span<const std::uint8_t> performance,
                    const std::string& label, bool rhythmUnitAbsent) {
  const std::optional<std::int64_t> tempo = estimatedTempo(performance, label);
  // The clock of the part tracks, so that the ticks are the ones the conversion writes.
  ReadingClock clock(tempo.value_or(1));
  std::int64_t milliseconds = 0;

  writeLine(out, "#offset", "kind", "channel", "data1", "data2", "ms", "ticks");
  PerformanceReader reader(performance, label);
  // A listing nobody can receive (a full disk, a closed pipe) is not worth finishing.
  while (out) {
    const std::size_t offset = reader.offset();
    const PerformanceEvent event = reader.next();
    if (event.kind == EventKind::EndOfFile) break;
    Tick ticks = 0;
    const bool timed = clock.advance(event, rhythmUnitAbsent, [&](Tick time) { ticks = time; });
    if (event.kind == EventKind::Timing) milliseconds += event.milliseconds();
    const int data = dataBytes(event.kind);
    char offsetText[24];
    std::snprintf(offsetText, sizeof offsetText, "%zu", offset);
    writeLine(out, offsetText, std::string(eventKindName(event.kind)).c_str(),
              std::to_string(event.channel), numberOrDash(data >= 1, event.data1),
              numberOrDash(data >= 2, event.data2), numberOrDash(timed, milliseconds),
              numberOrDash(timed && tempo.has_value(), ticks));
  }
}

int runDumpCommand(const std::vector<std::string>& paths, bool rhythmUnitAbsent, bool quiet,
                   std::ostream& out, std::ostream& err, const std::string& song) {
  if (paths.size() != 1) {
    err << "koralux-cli: --dump lists one file; " << paths.size()
        << " were given\nRun with --help for more information.\n";
    return 2;
  }
  std::string path = paths.front();
  DiscardingBuffer nothing;
  std::ostream discard(&nothing);
  std::ostream& listing = quiet ? discard : out;
  try {
    if (!song.empty()) {
      NamedSong named = readNamedSong(path, song);
      path = named.label;
      writeEventDump(listing, named.bytes, path, rhythmUnitAbsent);
    } else {
      writeEventDump(listing, readWholeFile(path), path, rhythmUnitAbsent);
    }
  } catch (...) {
    listing.flush();
    err << "koralux-cli: " << failureMessage(std::current_exception(), path) << '\n';
    return 1;
  }
  if (!quiet && !flushedCleanly(out, err)) return 1;
  return 0;
}

}  // namespace koralux::cli
