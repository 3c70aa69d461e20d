// The engine's interface to JavaScript (web/src/engine.js wraps it): a job holds one
// performance's bytes and settings; describing it gives what --info shows, converting it gives
// the MIDI file's bytes and reports the conversion's progress as it goes. A job may hold a
// floppy-disk image instead: reading it lists the songs, whose bytes are then handed out one by
// one. Every answer that is not bytes is text: JSON on success, the message the user reads on
// failure.

#include <emscripten/emscripten.h>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/performance_description.hpp"
#include "common/failure_message.hpp"
#include "common/fatal_stop.hpp"
#include "disk/disk_contents.hpp"
#include "engine/conversion_plan.hpp"
#include "engine/conversion_run.hpp"
#include "engine/key_signature_table.hpp"
#include "engine/output_name.hpp"
#include "engine/setting_ranges.hpp"

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
using Json = nlohmann::ordered_json;

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

struct Job {
  ConversionSettings settings;
  std::vector<std::uint8_t> performance;
  std::vector<std::uint8_t> midi;
  std::string outputName;                  // the MIDI file's name, derived from the performance's
  std::string text;                        // the JSON answer, or the message of the failure
  std::optional<koralux::DiskImage> disk;  // when the bytes were read as a disk image
};

// What --info --json shows for the job's settings: what the file holds and the tracks a
// conversion writes.
std::string describe(const Job& job) {
  return koralux::descriptionJson(
      {job.settings.inputPath, koralux::planConversion(job.performance, job.settings)});
}

std::string convert(Job& job) {
  ReportingObserver observer;
  koralux::ConversionResult result =
      koralux::convertPerformance(job.performance, job.settings, observer);
  job.midi = std::move(result.midi);
  return Json{{"tracks", result.summary.tracks},
              {"notesTotal", result.summary.notesTotal},
              {"notesTranscribed", result.summary.notesTranscribed}}
      .dump();
}

// The job's bytes read as a floppy-disk image: its layout, label and damage, its songs (each
// with the index that hands out its bytes), its registration files and other files.
std::string readDisk(Job& job) {
  try {
    job.disk = koralux::readDiskImage(job.performance);
  } catch (const koralux::FatalStop& stop) {
    throw koralux::FatalStop(job.settings.inputPath, stop.description());
  }
  const koralux::DiskImage& disk = *job.disk;
  const koralux::DiskContents contents = koralux::contentsOf(disk);
  const auto nullOr = [](const std::string& text) { return text.empty() ? Json() : Json(text); };
  Json songs = Json::array();
  for (const koralux::DiskSong& song : contents.songs) {
    const koralux::DiskFile& file = disk.files[song.file];
    songs.push_back(
        {{"index", song.file},
         {"path", file.path},
         {"slot", song.slot >= 0 ? Json(song.slot) : Json()},
         {"size", file.bytes.size()},
         {"damage", nullOr(file.damage)},
         {"warnings", file.warnings},
         {"registration", song.registration ? Json(disk.files[*song.registration].path) : Json()}});
  }
  const auto paths = [&disk](const std::vector<std::size_t>& indices) {
    Json list = Json::array();
    for (std::size_t i : indices) list.push_back(disk.files[i].path);
    return list;
  };
  return Json{{"format", disk.geometry.format},
              {"label", nullOr(disk.label)},
              {"fatNote", nullOr(disk.fatNote)},
              {"problems", disk.problems},
              {"songs", songs},
              {"registrationFiles", paths(contents.registrations)},
              {"otherFiles", paths(contents.others)}}
      .dump(-1, ' ', false, Json::error_handler_t::replace);
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
  Json rows = Json::array();
  for (const koralux::KeySignatureRow& row : koralux::KeySignatureTable) {
    rows.push_back({{"text", row.text}, {"sharpsFlats", row.sharpsFlats}, {"minor", row.minor}});
  }
  return rows.dump();
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
  const koralux::SettingRange* range = koralux::findSetting(name);
  if (range == nullptr) {
    job->text = "there is no setting named " + std::string(name);
    return 0;
  }
  if (!range->contains(value)) {
    job->text = "the setting " + std::string(name) + " must be " + std::to_string(range->low) +
                " to " + std::to_string(range->high) + ", not " + std::to_string(value);
    return 0;
  }
  range->assign(job->settings, value);
  return 1;
}

EMSCRIPTEN_KEEPALIVE int koralux_job_describe(Job* job) {
  return answer(*job, [job] { return describe(*job); }) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int koralux_job_convert(Job* job) {
  return answer(*job, [job] { return convert(*job); }) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int koralux_job_read_disk(Job* job) {
  return answer(*job, [job] { return readDisk(*job); }) ? 1 : 0;
}

// The bytes of the disk's file `index` (as far as they read), once the disk has been read.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* koralux_job_disk_file(const Job* job, std::size_t index) {
  return job->disk->files.at(index).bytes.data();
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
