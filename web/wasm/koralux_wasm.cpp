// The engine's interface to JavaScript (web/src/engine.js wraps it): a job holds one
// performance's bytes and settings; describing it gives what --info shows, converting it gives
// the MIDI file's bytes and reports the conversion's progress as it goes. Every answer that is
// not bytes is text: JSON on success, the message the user reads on failure.

#include <emscripten/emscripten.h>

#include <array>
#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "common/failure_message.hpp"
#include "engine/analysis_pass.hpp"
#include "engine/conversion_run.hpp"
#include "engine/key_signature_table.hpp"
#include "engine/output_name.hpp"
#include "engine/part_schedule.hpp"
#include "evt/performance_reader.hpp"
#include "smf/smf_writer.hpp"

// Hands one report of the conversion to the module's `onReport(kind, text, number)`, if set.
// The kinds are the observer's calls: "status", "progressBegin", "partDone".
// clang-format off
EM_JS(void, koralux_report, (const char* kind, const char* text, int textLength, double number), {
  if (Module["onReport"]) {
    Module["onReport"](UTF8ToString(kind), UTF8ToString(text, textLength), number);
  }
});
// clang-format on

namespace {

using koralux::ConversionSettings;

// The settings JavaScript may give, by name, each with the range the engine accepts. A new
// setting is one more row.
struct SettingField {
  std::string_view name;
  int low;
  int high;
  void (*assign)(ConversionSettings&, int);
};

constexpr SettingField kSettingFields[] = {
    {"keySharpsFlats", -7, 7,
     [](ConversionSettings& s, int v) { s.keySharpsFlats = static_cast<std::int8_t>(v); }},
    {"keyMinor", 0, 1,
     [](ConversionSettings& s, int v) { s.keyMinor = static_cast<std::uint8_t>(v); }},
    {"timeNumerator", 1, 255,
     [](ConversionSettings& s, int v) { s.timeNumerator = static_cast<std::uint8_t>(v); }},
    {"timeDenominator", 1, 128,
     [](ConversionSettings& s, int v) { s.timeDenominator = static_cast<std::uint8_t>(v); }},
    {"rhythmUnitAbsent", 0, 1, [](ConversionSettings& s, int v) { s.rhythmUnitAbsent = v != 0; }},
    {"legacyTiming", 0, 1, [](ConversionSettings& s, int v) { s.legacyTiming = v != 0; }},
    {"xgParts", 0, 1, [](ConversionSettings& s, int v) { s.xgParts = v != 0; }},
};

class ReportingObserver final : public koralux::ConversionObserver {
 public:
  void status(std::string_view text) override {
    koralux_report("status", text.data(), static_cast<int>(text.size()), 0);
  }
  void progressBegin(std::int64_t total) override {
    koralux_report("progressBegin", "", 0, static_cast<double>(total));
  }
  void partDone(std::int64_t count) override {
    koralux_report("partDone", "", 0, static_cast<double>(count));
  }
};

// A small JSON object writer: names are ours, string values are escaped.
class JsonObject {
 public:
  JsonObject& number(std::string_view name, std::int64_t value) {
    return raw(name, std::to_string(value));
  }
  JsonObject& boolean(std::string_view name, bool value) {
    return raw(name, value ? "true" : "false");
  }
  JsonObject& string(std::string_view name, std::string_view value) {
    std::string quoted = "\"";
    for (const char c : value) {
      const auto byte = static_cast<unsigned char>(c);
      if (c == '"' || c == '\\') {
        quoted += '\\';
        quoted += c;
      } else if (byte < 0x20) {
        static constexpr char kHex[] = "0123456789abcdef";
        quoted += "\\u00";
        quoted += kHex[byte >> 4];
        quoted += kHex[byte & 15];
      } else {
        quoted += c;
      }
    }
    return raw(name, quoted + '"');
  }
  JsonObject& raw(std::string_view name, const std::string& json) {
    text_ += text_.empty() ? "{" : ",";
    text_ += '"';
    text_ += name;
    text_ += "\":";
    text_ += json;
    return *this;
  }
  std::string done() const { return text_.empty() ? "{}" : text_ + "}"; }

 private:
  std::string text_;
};

std::string jsonArray(const std::vector<std::string>& items) {
  std::string text = "[";
  for (const std::string& item : items) text += (text.size() > 1 ? "," : "") + item;
  return text + "]";
}

struct Job {
  ConversionSettings settings;
  std::vector<std::uint8_t> performance;
  std::vector<std::uint8_t> midi;
  std::string outputName;  // the MIDI file's name, derived from the performance's
  std::string text;        // the JSON answer, or the message of the failure
};

// What --info shows: the analysis pass's findings and the parts a conversion would write.
std::string describe(const Job& job) {
  koralux::PerformanceReader reader(job.performance, job.settings.inputPath);
  koralux::SmfWriter writer(job.settings.inputPath);  // the conductor track is thrown away
  writer.create();
  const koralux::AnalysisResults a = koralux::runAnalysisPass(reader, writer, {}, {});
  std::vector<std::string> parts;
  std::array<bool, koralux::kLastChannel + 1> taken{};
  std::int64_t transcribed = 0;
  // A track that takes `source`'s notes.
  const auto addPart = [&](std::string_view name, int source, int destination, bool mono) {
    taken[static_cast<std::size_t>(source)] = true;
    transcribed += a.noteOns(source);
    parts.push_back(JsonObject()
                        .string("name", name)
                        .number("source", source)
                        .number("destination", destination)
                        .boolean("mono", mono)
                        .number("notes", a.noteOns(source))
                        .number("played", a.activity.sounding(source))
                        .done());
  };
  for (const koralux::PartScheduleRow& row : koralux::PartSchedule) {
    if (!row.runsFor(a.activity.verdict(row.verdictChannel))) continue;
    const koralux::TranscriptionParameters& p = row.parameters;
    addPart(p.trackName, p.source, p.destination, p.mono);
  }
  // With the XG option, the backing's parts follow the organ's (the set-up track has no notes).
  std::int64_t setupTracks = 0;
  if (job.settings.xgParts) {
    for (const koralux::XgTrack& track : koralux::plannedXgTracks(a.xg, a.activity)) {
      if (track.channel == 0) {
        ++setupTracks;
      } else {
        addPart(track.name, track.channel, track.channel, false);
      }
    }
  }
  // Channels whose notes no part takes.
  std::vector<std::string> untaken;
  for (int channel = koralux::kFirstChannel; channel <= koralux::kLastChannel; ++channel) {
    if (a.noteOns(channel) > 0 && !taken[static_cast<std::size_t>(channel)]) {
      untaken.push_back(std::to_string(channel));
    }
  }
  return JsonObject()
      .number("sizeBytes", static_cast<std::int64_t>(job.performance.size()))
      .number("milliseconds", a.milliseconds)
      .number("tempo", a.tempo)
      .number("alignTick", a.alignTick)
      .number("alignMarkers", a.events(koralux::EventKind::AlignMarker))
      .number("songStartOffset", a.songStartOffset)
      .number("notesTotal", a.noteOnCount)
      .number("notesTranscribed", transcribed)
      .number("tracks", 1 + static_cast<std::int64_t>(parts.size()) + setupTracks)
      .raw("parts", jsonArray(parts))
      .raw("untakenChannels", jsonArray(untaken))
      .done();
}

std::string convert(Job& job) {
  ReportingObserver observer;
  koralux::ConversionResult result =
      koralux::convertPerformance(job.performance, job.settings, observer);
  job.midi = std::move(result.midi);
  return JsonObject()
      .number("tracks", result.summary.tracks)
      .number("notesTotal", result.summary.notesTotal)
      .number("notesTranscribed", result.summary.notesTranscribed)
      .done();
}

// Runs `work`, keeping its answer or the message of its failure in job.text; true on success.
template <typename Work>
bool answer(Job& job, Work&& work) {
  try {
    job.text = work();
    return true;
  } catch (const std::bad_alloc&) {
    job.text = job.settings.inputPath + ": the file is too large for the memory this page may use";
  } catch (...) {
    job.text = koralux::failureMessage(std::current_exception(), job.settings.inputPath);
  }
  return false;
}

std::string keyListJson() {
  std::vector<std::string> rows;
  for (const koralux::KeySignatureRow& row : koralux::KeySignatureTable) {
    rows.push_back(JsonObject()
                       .string("text", row.text)
                       .number("sharpsFlats", row.sharpsFlats)
                       .number("minor", row.minor)
                       .done());
  }
  return jsonArray(rows);
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE Job* koralux_job_new(const char* name) {
  auto* job = new Job;
  job->settings.inputPath = name;
  job->outputName = koralux::derivedOutputName(name);
  return job;
}

EMSCRIPTEN_KEEPALIVE void koralux_job_free(Job* job) {
  delete job;
}

// Room for the performance's bytes, which the caller copies in; null if there is no memory.
EMSCRIPTEN_KEEPALIVE std::uint8_t* koralux_job_input(Job* job, std::size_t size) {
  try {
    job->performance.resize(size);
    return job->performance.data();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// 1 when `name` is a setting and `value` lies in its range; otherwise 0, with the reason in the
// job's text.
EMSCRIPTEN_KEEPALIVE int koralux_job_set(Job* job, const char* name, int value) {
  for (const SettingField& field : kSettingFields) {
    if (field.name != name) continue;
    if (value < field.low || value > field.high) {
      job->text = "the setting " + std::string(name) + " must be " + std::to_string(field.low) +
                  " to " + std::to_string(field.high) + ", not " + std::to_string(value);
      return 0;
    }
    field.assign(job->settings, value);
    return 1;
  }
  job->text = "there is no setting named " + std::string(name);
  return 0;
}

EMSCRIPTEN_KEEPALIVE int koralux_job_describe(Job* job) {
  return answer(*job, [job] { return describe(*job); }) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int koralux_job_convert(Job* job) {
  return answer(*job, [job] { return convert(*job); }) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE const char* koralux_job_text(const Job* job) {
  return job->text.c_str();
}
EMSCRIPTEN_KEEPALIVE const std::uint8_t* koralux_job_midi(const Job* job) {
  return job->midi.data();
}
EMSCRIPTEN_KEEPALIVE std::size_t koralux_job_midi_size(const Job* job) {
  return job->midi.size();
}

// The 24 keys as JSON, in the order the key list shows them.
EMSCRIPTEN_KEEPALIVE const char* koralux_keys() {
  static const std::string keys = keyListJson();
  return keys.c_str();
}

EMSCRIPTEN_KEEPALIVE const char* koralux_job_output_name(const Job* job) {
  return job->outputName.c_str();
}

}  // extern "C"
