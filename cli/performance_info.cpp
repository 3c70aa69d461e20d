#include "cli/performance_info.hpp"

#include <cstdio>
#include <exception>
#include <ostream>
#include <sstream>

#include "audio/audio_file.hpp"
#include "audio/sound_font.hpp"
#include "cli/disk_command.hpp"
#include "cli/output_check.hpp"
#include "common/failure_message.hpp"
#include "common/fatal_stop.hpp"
#include "common/file_io.hpp"
#include "engine/conversion_run.hpp"
#include "engine/output_name.hpp"

namespace koralux::cli {

namespace {

std::string secondsText(std::int64_t milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(milliseconds / 1000),
                static_cast<long long>(milliseconds % 1000));
  return text;
}

// Label in a column of its own, then the value.
std::string line(std::string_view label, const std::string& value) {
  std::string text(label);
  text.resize(17, ' ');
  return text + value + '\n';
}

std::string padded(std::string text, std::size_t width, bool right = false) {
  if (text.size() >= width) return text;
  const std::string fill(width - text.size(), ' ');
  return right ? fill + text : text + fill;
}

std::string alignmentText(const AnalysisResults& analysis) {
  if (analysis.alignTick > 0) {
    return "tick " + std::to_string(analysis.alignTick) + " (after " +
           std::to_string(analysis.alignTick / kTicksPerClockMarker) + " clock markers)";
  }
  if (analysis.events(EventKind::AlignMarker) > 0) {
    return "none: no alignment marker follows a clock marker";
  }
  return "none: the file has no alignment marker";
}

std::string songStartText(const AnalysisResults& analysis) {
  const std::string offset = std::to_string(analysis.songStartOffset) + " ticks";
  if (analysis.alignTick > 0) {
    return offset + " (the alignment point lands at tick " +
           std::to_string(analysis.alignTick - analysis.songStartOffset) + ")";
  }
  return offset + " (the performance starts at tick " + std::to_string(-analysis.songStartOffset) +
         ")";
}

std::string partSource(const PlannedTrack& part) {
  std::string text = "from channel " + std::to_string(part.source);
  if (part.destination != part.source) text += " onto " + std::to_string(part.destination);
  if (part.mono) text += ", mono";
  return text;
}

// The backing, the registration changes and what --xg-parts would add; nothing when the file
// has none of them.
std::string xgText(const ConversionPlan& plan) {
  const XgActivity& xg = plan.analysis.xg;
  const std::vector<PlannedTrack> backing = plan.backingTracks();
  if (backing.empty() && xg.registrations.empty()) return {};
  std::string channels;
  for (const PlannedTrack& track : backing) {
    if (track.role != TrackRole::XgPart) continue;
    channels += (channels.empty() ? "" : ", ") + std::to_string(track.source);
  }
  std::string text = line("XG channels:", channels.empty() ? "none" : channels);
  text += line("Registrations:", std::to_string(xg.registrations.size()) +
                                     (xg.registrations.size() == 1 ? " change" : " changes"));
  for (const RegistrationChange& change : xg.registrations) {
    text += "  " + padded(secondsText(change.milliseconds) + " s", 15) + "Registration " +
            std::to_string(change.number) + '\n';
  }
  if (plan.xgParts) return text;
  const std::int64_t notes = plan.notesTranscribed() + plan.backingNotes();
  text += line("With --xg-parts:",
               std::to_string(plan.trackCount() + static_cast<int>(backing.size())) + " tracks, " +
                   std::to_string(notes) + " of " + std::to_string(plan.analysis.noteOnCount) +
                   " notes");
  for (const PlannedTrack& track : backing) {
    text += "  " + padded(track.name, 12);
    if (track.role == TrackRole::XgSetup) {
      text += std::to_string(xg.setupMessages) +
              (xg.setupMessages == 1 ? " set-up message\n" : " set-up messages\n");
    } else {
      text += padded("from channel " + std::to_string(track.source), 28) +
              padded(std::to_string(track.notes), 8, true) +
              (track.notes == 1 ? " note\n" : " notes\n");
    }
  }
  if (!xg.registrations.empty()) {
    text += "  " + std::to_string(xg.registrations.size()) +
            (xg.registrations.size() == 1 ? " marker" : " markers") + " in the conductor track\n";
  }
  if (const std::int64_t left = plan.backingNotes(); left > 0) {
    text += std::to_string(left) +
            (left == 1 ? " note on channels 5–14 is left out; add --xg-parts to keep it\n"
                       : " notes on channels 5–14 are left out; add --xg-parts to keep them\n");
  }
  return text;
}

// What --audio would make of the file at `path`: the MIDI file's length, played, and the
// release after it.
std::string audioText(const std::string& path, const ConversionSettings& settings,
                      const AudioRequest& request) {
  if (const auto why = audio::audioUnavailable()) return line("Audio:", "none: " + *why);
  const auto format = audio::formatNamed(request.format).value_or(audio::AudioFormat::Wav);
  ConversionSettings named = settings;
  named.inputPath = path;
  SilentObserver silent;
  const double seconds =
      audio::midiSeconds(convertPerformance(readWholeFile(path), named, silent).midi);
  std::string text = line("Audio:", audio::audioPathFor(derivedOutputName(path), format));
  text +=
      line("Audio length:", audio::durationText(seconds) + " and up to " +
                                std::to_string(static_cast<int>(audio::kLongestReleaseSeconds)) +
                                " s of release");
  const auto soundFont = audio::soundFontToUse(request.soundFont);
  return text + line("Sound font:", soundFont
                                        ? *soundFont
                                        : std::string("none; install ") + audio::kSoundFontPackage);
}

}  // namespace

PerformanceDescription describePerformance(const std::string& path,
                                           const ConversionSettings& settings) {
  ConversionSettings named = settings;
  named.inputPath = path;
  return {path, planConversion(readWholeFile(path), named)};
}

void writeInfoText(std::ostream& out, const PerformanceDescription& info) {
  const ConversionPlan& plan = info.plan;
  const AnalysisResults& a = plan.analysis;
  std::string text = line("File:", info.file);
  text += line("Size:", std::to_string(plan.sizeBytes) + " bytes");
  text += line("Duration:", secondsText(a.milliseconds) + " seconds");
  text += line("Tempo:", std::to_string(a.tempo) + " beats per minute");
  text += line("Alignment point:", alignmentText(a));
  text += line("Song start:", songStartText(a));

  std::int64_t events = 0;
  for (std::int64_t count : a.eventCounts) events += count;
  text += line("Events:", std::to_string(events));
  for (int kind = 0; kind < kEventKindCount; ++kind) {
    const std::int64_t count = a.eventCounts[static_cast<std::size_t>(kind)];
    if (count == 0) continue;
    text += "  " + padded(std::string(eventKindName(static_cast<EventKind>(kind))), 16) +
            padded(std::to_string(count), 10, true) + '\n';
  }

  std::string channels;
  for (int channel = kFirstChannel; channel <= kLastCountedChannel; ++channel) {
    const PartVerdict verdict = a.activity.verdict(channel);
    if (verdict == PartVerdict::Absent) continue;
    channels += "  " + padded(std::to_string(channel), 15) +
                padded(std::to_string(a.activity.sounding(channel)), 8, true) +
                padded(std::to_string(a.activity.released(channel)), 10, true) + "  " +
                std::string(verdictName(verdict)) + '\n';
  }
  text += channels.empty() ? line("Channels:", "no notes")
                           : line("Channels:", "note-ons  releases  verdict") + channels;

  const std::vector<PlannedTrack>& parts = plan.tracks;
  std::string tracks = std::to_string(plan.trackCount());
  tracks += parts.empty() ? " (conductor only)"
                          : " (conductor and " + std::to_string(parts.size()) +
                                (parts.size() == 1 ? " part)" : " parts)");
  tracks += ", " + std::to_string(plan.notesTranscribed()) + " of " +
            std::to_string(a.noteOnCount) + " notes";
  text += line("Tracks:", tracks);
  for (const PlannedTrack& part : parts) {
    text += "  " + padded(part.name, 12);
    if (part.role == TrackRole::XgSetup) {
      text += std::to_string(a.xg.setupMessages) +
              (a.xg.setupMessages == 1 ? " set-up message\n" : " set-up messages\n");
      continue;
    }
    text += padded(partSource(part), 28) + padded(std::to_string(part.notes), 8, true) +
            (part.notes == 1 ? " note\n" : " notes\n");
  }
  text += xgText(plan);
  const std::vector<Finding>& findings = plan.analysis.findings;
  if (!findings.empty()) text += "Warnings:        " + std::to_string(findings.size()) + '\n';
  for (const Finding& finding : findings) text += "  " + finding.text + '\n';
  out << text;
}

namespace {

// The --info entry of a disk image: the whole disk, or with `song` the one song it names.
InfoEntry describeImage(const std::string& path, const ConversionSettings& settings,
                        const std::string& song, bool json, std::ostream& out) {
  const LoadedDisk loaded = loadDisk(path);
  if (song.empty()) {
    DiskDescription disk = describeDisk(loaded, settings);
    if (!json) writeDiskInfoText(out, disk);
    return disk;
  }
  const auto found = findSong(loaded.disk, loaded.contents, song);
  if (!found) throw FatalStop(path, "holds no song " + song + " (--info lists the songs)");
  LoadedDisk one = loaded;
  one.contents.songs = {*found};
  DiskDescription disk = describeDisk(one, settings);
  const DiskSongDescription& entry = disk.songs.front();
  const DiskFile& file = loaded.disk.files[found->file];
  if (!entry.performance) {
    throw FatalStop(diskFileLabel(path, file), "damaged: " + entry.problem);
  }
  if (!json) {
    writeInfoText(out, *entry.performance);
    for (const std::string& warning : file.warnings) out << line("Warning:", warning);
  }
  return disk;
}

}  // namespace

int runInfoCommand(const std::vector<std::string>& paths, const ConversionSettings& settings,
                   bool json, bool quiet, std::ostream& out, std::ostream& err,
                   const std::string& song, const AudioRequest& audio) {
  std::vector<InfoEntry> described;
  bool failed = false;
  bool first = true;
  std::ostringstream discard;  // what --quiet leaves unsaid
  for (const std::string& path : paths) {
    try {
      if (!json && !quiet && !first) out << '\n';
      if (imageKindOf(path) != ImageKind::None || !song.empty()) {
        described.push_back(describeImage(path, settings, song, json, quiet ? discard : out));
      } else {
        PerformanceDescription info = describePerformance(path, settings);
        if (!json && !quiet) {
          writeInfoText(out, info);
          if (!audio.format.empty()) out << audioText(path, settings, audio);
        }
        described.push_back(std::move(info));
      }
      if (!json && !quiet) out.flush();
      first = false;
    } catch (...) {
      err << "koralux-cli: " << failureMessage(std::current_exception(), path) << '\n';
      failed = true;
    }
  }
  if (json && !quiet) out << infoJson(described);
  if (!quiet && !flushedCleanly(out, err)) return 1;
  return failed ? 1 : 0;
}

}  // namespace koralux::cli
