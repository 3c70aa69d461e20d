#include "cli/batch.hpp"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "audio/audio_file.hpp"
#include "cli/audio_output.hpp"
#include "cli/disk_command.hpp"
#include "common/console.hpp"
#include "common/failure_message.hpp"
#include "common/file_io.hpp"
#include "engine/conversion_run.hpp"
#include "engine/output_name.hpp"

namespace koralux::cli {

namespace {

namespace fs = std::filesystem;

// One file to convert: a performance file, or a song on a disk image. A job refused before its
// conversion starts carries the reason.
struct Job {
  std::string input;  // the file, or "IMAGE/PATH" of a song on a disk
  std::string output;
  std::string refusal;                     // "LABEL: description", or empty
  std::shared_ptr<const LoadedDisk> disk;  // the song's disk; null for a performance file
  std::size_t file = 0;                    // the song's index in disk->disk.files
  bool damaged = false;                    // refused: the song is damaged on its disk
};

// What the images of a call hold besides the songs converted.
struct DiskTally {
  std::size_t images = 0;
  std::size_t skipped = 0;  // files on the disks that are not songs
};

// One job for each song on the image at `image` (or only the one `song` names), each going to
// the image's folder: `folder` (the image's path without its extension, beside it or under
// --output-dir). A damaged song is refused with its reason. The disk's own problems are
// reported, not counted as failures.
void addDiskJobs(const std::string& image, const fs::path& folder, const std::string& song,
                 std::vector<Job>& jobs, std::vector<std::string>& problems,
                 std::vector<std::string>& notes, DiskTally& tally) {
  std::shared_ptr<const LoadedDisk> disk;
  try {
    disk = std::make_shared<const LoadedDisk>(loadDisk(image));
  } catch (...) {
    problems.push_back(failureMessage(std::current_exception(), image));
    return;
  }
  ++tally.images;
  if (!disk->disk.fatNote.empty()) notes.push_back(image + ": " + disk->disk.fatNote);
  for (const std::string& problem : disk->disk.problems) notes.push_back(image + ": " + problem);
  std::vector<DiskSong> songs = disk->contents.songs;
  if (!song.empty()) {
    const auto named = findSong(disk->disk, disk->contents, song);
    if (!named) {
      problems.push_back(image + ": holds no song " + song + " (--info lists the songs)");
      return;
    }
    songs = {*named};
  } else {
    tally.skipped += disk->disk.files.size() - songs.size();
  }
  for (const DiskSong& entry : songs) {
    const DiskFile& file = disk->disk.files[entry.file];
    Job job{diskFileLabel(image, file), diskSongOutputName(folder, file), {}, disk, entry.file};
    if (file.damaged()) {
      job.refusal = job.input + ": damaged, not converted: " + file.damage;
      job.damaged = true;
    }
    jobs.push_back(std::move(job));
  }
}

// Adds every performance file and disk image in `folder` and below (links to folders are not
// followed, so a tree that links to itself is walked once), each with its output: beside it, or
// at the same place under `outputFolder` if that is not empty; an image's songs go into the
// image's folder there. Paths are joined as the user spelled the folders. A folder that cannot
// be read is reported and the walk goes on with the rest.
void walk(const std::string& folder, const std::string& outputFolder, std::vector<Job>& jobs,
          std::vector<std::string>& problems, std::vector<std::string>& notes, DiskTally& tally) {
  std::vector<FolderEntry> entries;
  try {
    entries = listFolder(folder);
  } catch (...) {
    problems.push_back(failureMessage(std::current_exception(), folder));
    return;
  }
  for (const FolderEntry& entry : entries) {
    if (entry.kind != FolderEntry::Kind::File) continue;
    const std::string input = joinPath(folder, entry.name);
    const std::string placed = outputFolder.empty() ? input : joinPath(outputFolder, entry.name);
    if (imageKindOf(entry.name) != ImageKind::None) {
      addDiskJobs(input, pathFromUtf8(diskFolderName(placed)), {}, jobs, problems, notes, tally);
    } else if (isPerformanceFileName(entry.name)) {
      jobs.push_back({input, derivedOutputName(placed), {}, {}, 0});
    }
  }
  for (const FolderEntry& entry : entries) {
    if (entry.kind != FolderEntry::Kind::Folder) continue;
    walk(joinPath(folder, entry.name),
         outputFolder.empty() ? outputFolder : joinPath(outputFolder, entry.name), jobs, problems,
         notes, tally);
  }
}

// The files to convert, in the order given (a walked folder's files sorted by path), each
// once. Refuses before any conversion starts: a folder given without --recursive, an output
// that another file of the call also writes, and an output that is another input of the call.
std::vector<Job> plan(const std::vector<std::string>& inputs, const std::string& songOutput,
                      const BatchOptions& options, std::vector<std::string>& problems,
                      std::vector<std::string>& notes, DiskTally& tally) {
  std::vector<Job> jobs;
  for (const std::string& input : inputs) {
    if (isFolder(input)) {
      if (options.recursive) {
        walk(input, options.outputDir, jobs, problems, notes, tally);
      } else {
        jobs.push_back({input,
                        {},
                        input + ": is a folder; add --recursive to convert the .evt "
                                "files in it",
                        {},
                        0});
      }
      continue;
    }
    const std::string name = utf8FromPath(pathFromUtf8(input).filename());
    const std::string placed =
        options.outputDir.empty() ? input : joinPath(options.outputDir, name);
    if (imageKindOf(input) != ImageKind::None) {
      const std::size_t first = jobs.size();
      addDiskJobs(input, pathFromUtf8(diskFolderName(placed)), options.song, jobs, problems, notes,
                  tally);
      if (!songOutput.empty() && jobs.size() == first + 1) jobs.back().output = songOutput;
      continue;
    }
    jobs.push_back({input, derivedOutputName(placed), {}, {}, 0});
  }

  // Two spellings of one path compare equal once made absolute and normal ("a/./b",
  // "x/../a/b").
  std::error_code error;
  const fs::path workingFolder = fs::current_path(error);
  const auto normal = [&workingFolder](const std::string& path) {
    return utf8FromPath((workingFolder / pathFromUtf8(path)).lexically_normal());
  };
  std::set<std::string> seenInputs;
  std::set<std::string> allInputs;
  for (const Job& job : jobs) {
    allInputs.insert(normal(job.disk ? job.disk->path : job.input));
  }
  std::map<std::string, std::string> writers;  // output -> the input that writes it
  std::vector<Job> unique;
  for (Job& job : jobs) {
    if (!seenInputs.insert(normal(job.input)).second) continue;  // named twice
    if (job.refusal.empty()) {
      const std::string output = normal(job.output);
      if (const auto [first, added] = writers.emplace(output, job.input); !added) {
        job.refusal = job.input + ": not converted: its output " + job.output +
                      " is also the output of " + first->second;
      } else if (allInputs.contains(output)) {
        job.refusal = job.input + ": not converted: its output " + job.output +
                      " is another input of this conversion";
      }
    }
    unique.push_back(std::move(job));
  }
  return unique;
}

// Makes the folders that the outputs go to under --output-dir and the folders of the disks'
// songs; a folder that cannot be made refuses the files that were to go there.
void makeOutputFolders(std::vector<Job>& jobs, const BatchOptions& options) {
  std::map<std::string, std::string> made;  // folder -> why it cannot be made, or ""
  for (Job& job : jobs) {
    if (!job.refusal.empty() || (options.outputDir.empty() && !job.disk)) continue;
    const std::string folder = utf8FromPath(pathFromUtf8(job.output).parent_path());
    if (folder.empty()) continue;
    auto [entry, added] = made.emplace(folder, std::string());
    if (added) {
      try {
        makeFolders(folder);
      } catch (...) {
        entry->second = failureMessage(std::current_exception(), folder);
      }
    }
    if (!entry->second.empty()) job.refusal = entry->second;
  }
}

// Reports the run of a single file on standard error as it goes.
class ProgressReporter final : public ConversionObserver {
 public:
  void status(std::string_view text) override { std::cerr << text << '\n'; }
  void progressBegin(std::int64_t total) override {
    std::cerr << "Notes in the performance: " << total << '\n';
  }
  void partDone(std::int64_t count) override {
    std::cerr << "  notes transcribed: " << count << '\n';
  }
};

// "-o -" writes the MIDI file to standard output, on every system.
constexpr std::string_view kStandardOutputName = "-";

bool isStandardOutput(const std::string& path) {
  return path == kStandardOutputName || path == "/dev/stdout" || path == "/dev/fd/1" ||
         path == "/proc/self/fd/1";
}

// ConversionRun for "-o -": the same conversion, its file going to standard output.
ConversionSummary convertToStandardOutput(const ConversionSettings& settings,
                                          ConversionObserver& observer) {
  const std::vector<std::uint8_t> performance = readWholeFile(settings.inputPath);
  ConversionResult result = convertPerformance(performance, settings, observer);
  writeStandardOutput(result.midi);
  return result.summary;
}

// The conversion of a song on a disk, its file put at settings.outputPath (or standard output).
ConversionSummary convertDiskSong(const DiskFile& song, const ConversionSettings& settings,
                                  ConversionObserver& observer) {
  ConversionResult result = convertPerformance(song.bytes, settings, observer);
  if (isStandardOutput(settings.outputPath)) {
    writeStandardOutput(result.midi);
  } else {
    writeFileAtomically(settings.outputPath, result.midi);
  }
  return result.summary;
}

// What the user sees of the conversions: a line per file written (standard output), a line per
// failure (standard error); for many files, the count at the end and on a terminal one progress
// line on standard error, rewritten in place and taken away before any other line is printed.
class BatchReport {
 public:
  BatchReport(std::size_t total, bool single, bool quiet)
      : total_(total),
        single_(single),
        quiet_(quiet),
        progress_(!single && !quiet && isTerminal(StandardStream::Error)),
        outputShared_(progress_ && isTerminal(StandardStream::Output)) {}

  // `finished`: nothing more is to be made of the file (no audio follows). The findings are
  // warnings: on standard error even with --quiet, since the file may not be what the user
  // believes it is.
  void written(const ConversionSummary& summary, const std::string& input,
               const std::string& output, bool finished) {
    const std::lock_guard lock(mutex_);
    if (finished) ++done_;
    if (!summary.findings.empty()) {
      ++warned_;
      clearProgress();
      for (const Finding& finding : summary.findings) {
        std::cerr << "koralux-cli: warning: " << input << ": " << finding.text << std::endl;
      }
    }
    if (!quiet_) {
      // Standard output on the same terminal would print the line over the progress line.
      if (outputShared_) clearProgress();
      std::ostream& out = isStandardOutput(output) ? std::cerr : std::cout;
      out << "Wrote " << summary.tracks << (summary.tracks == 1 ? " track" : " tracks") << " ("
          << summary.notesTranscribed << " of " << summary.notesTotal << " notes) to " << output
          << std::endl;
    }
    drawProgress();
  }

  // The audio made of a file after its MIDI file: the file is done.
  void wroteAudio(const AudioMaker::Made& audio) {
    const std::lock_guard lock(mutex_);
    ++done_;
    clearRendering();
    if (quiet_) return;
    if (outputShared_) clearProgress();
    std::cout << "Wrote " << audio::durationText(audio.seconds) << " of audio to " << audio.path
              << std::endl;
    drawProgress();
  }

  // For a single file on a terminal: how far the audio of `path` is made.
  void rendering(const std::string& path, double share) {
    if (!single_ || quiet_ || !isTerminal(StandardStream::Error)) return;
    const std::lock_guard lock(mutex_);
    const int percent = static_cast<int>(share * 100);
    if (rendering_ && percent == renderedPercent_) return;
    std::cerr << "\rMaking " << path << ": " << percent << " %\033[K" << std::flush;
    rendering_ = true;
    renderedPercent_ = percent;
  }

  // `message` is "LABEL: description"; a failed file counts as done too, a damaged song on a
  // disk as damaged.
  void failed(const std::string& message, bool file = true, bool damaged = false) {
    const std::lock_guard lock(mutex_);
    if (file) {
      ++done_;
      ++(damaged ? damaged_ : failed_);
    } else {
      ++problems_;
    }
    clearRendering();
    clearProgress();
    std::cerr << "koralux-cli: " << message << std::endl;
    drawProgress();
  }

  // A line that does not count as a failure: a disk's damage outside its songs, a warning.
  void note(const std::string& message) {
    const std::lock_guard lock(mutex_);
    clearProgress();
    std::cerr << "koralux-cli: " << message << std::endl;
    drawProgress();
  }

  // The last line: how many files were converted; with disk images, how many songs, and how
  // many of their files were damaged and skipped.
  void finish(const DiskTally& disks) {
    const std::lock_guard lock(mutex_);
    clearProgress();
    if (quiet_ || single_) return;
    if (total_ == 0) {
      if (problems_ > 0) return;  // the inputs that were refused are reported
      if (disks.images == 0) {
        std::cerr << "koralux-cli: no performance files (.evt) found" << std::endl;
      } else {
        std::cerr << "koralux-cli: no songs (.EVT files) found on "
                  << (disks.images == 1 ? "the disk" : "the disks") << "; " << disks.skipped
                  << (disks.skipped == 1 ? " other file" : " other files") << " skipped"
                  << std::endl;
      }
      return;
    }
    const bool songs = disks.images > 0;
    std::cerr << "Converted " << (done_ - failed_ - damaged_) << " of " << total_
              << (songs ? (total_ == 1 ? " song" : " songs") : (total_ == 1 ? " file" : " files"));
    if (warned_ > 0) std::cerr << " (" << warned_ << " with warnings)";
    if (songs) std::cerr << ", " << damaged_ << " damaged";
    if (failed_ > 0) std::cerr << ", " << failed_ << " failed";
    if (songs) {
      std::cerr << "; " << disks.skipped << (disks.skipped == 1 ? " file" : " files")
                << (disks.images == 1 ? " on the disk" : " on the disks") << " skipped (not songs)";
    }
    std::cerr << std::endl;
  }

 private:
  void clearRendering() {
    if (!rendering_) return;
    std::cerr << "\r\033[K" << std::flush;
    rendering_ = false;
  }
  void clearProgress() {
    if (!shown_) return;
    std::cerr << "\r\033[K" << std::flush;
    shown_ = false;
  }
  void drawProgress() {
    if (!progress_) return;
    // Redrawn at most 20 times a second while it stands, and for the last file.
    const auto now = std::chrono::steady_clock::now();
    if (shown_ && done_ < total_ && now - lastDraw_ < std::chrono::milliseconds(50)) {
      return;
    }
    lastDraw_ = now;
    std::cerr << "\rConverting: " << done_ << " of " << total_ << " files done\033[K" << std::flush;
    shown_ = true;
  }

  std::mutex mutex_;
  const std::size_t total_;
  const bool single_;
  const bool quiet_;
  const bool progress_;
  const bool outputShared_;
  std::size_t done_ = 0;
  std::size_t failed_ = 0;
  std::size_t warned_ = 0;
  std::size_t damaged_ = 0;
  std::size_t problems_ = 0;  // failures before any conversion: a folder or an image unread
  bool shown_ = false;
  bool rendering_ = false;
  int renderedPercent_ = 0;
  std::chrono::steady_clock::time_point lastDraw_;
};

}  // namespace

void addBatchOptions(CLI::App& app, BatchOptions& options) {
  app.add_flag("-r,--recursive", options.recursive,
               "INPUTs may be folders: convert every .evt in them");
  app.add_option("--output-dir", options.outputDir, "Write the outputs into DIR, keeping layout")
      ->type_name("DIR");
  app.add_option("-j,--jobs", options.jobs, "Conversions at a time (default: one per core)")
      ->type_name("N")
      ->check(CLI::Range(1u, 1024u).description(""));
}

std::optional<std::string> batchUsageError(const std::vector<std::string>& inputs,
                                           const std::string& output, const BatchOptions& options) {
  const bool image = inputs.size() == 1 && imageKindOf(inputs.front()) != ImageKind::None;
  if (!options.song.empty() && (!image || options.recursive)) {
    return "--song names a song on a disk image, so it takes one disk image (.img, .ima, .imz, "
           "...)";
  }
  if (output.empty()) return std::nullopt;
  if (!options.outputDir.empty()) return "-o and --output-dir cannot be used together";
  if (image && options.song.empty()) {
    return "-o names one output file, and a disk image holds many songs; name one with "
           "--song N, or leave -o out (the songs go into a folder named after the image)";
  }
  if (inputs.size() > 1 || options.recursive) {
    return "-o names one output file, so it takes one input file; to convert several, leave "
           "it out (each output goes beside its input) or use --output-dir DIR";
  }
  return std::nullopt;
}

int runConversions(const std::vector<std::string>& inputs, const std::string& output,
                   const BatchOptions& options, const ConversionSettings& settings, bool quiet,
                   AudioMaker* audio) {
  // A single file goes where it always went, with the checks of the conversion itself (-j alone
  // changes nothing for it).
  const bool single = inputs.size() == 1 && !options.recursive && options.outputDir.empty() &&
                      imageKindOf(inputs.front()) == ImageKind::None;
  std::vector<std::string> problems;
  std::vector<std::string> notes;
  DiskTally disks;
  std::vector<Job> jobs;
  if (single) {
    jobs.push_back(
        {inputs.front(), output.empty() ? derivedOutputName(inputs.front()) : output, {}, {}, 0});
  } else {
    jobs = plan(inputs, output, options, problems, notes, disks);
    makeOutputFolders(jobs, options);
  }

  // One song named on a disk image is reported like one file: its line, no tally.
  BatchReport report(jobs.size(), single || !options.song.empty(), quiet);
  for (const std::string& problem : problems) report.failed(problem, false);
  if (!quiet) {
    for (const std::string& note : notes) report.note(note);
  }

  // Each conversion owns everything it uses, so they run side by side without sharing.
  std::atomic<std::size_t> next = 0;
  std::atomic<bool> anyFailed = !problems.empty();
  const auto work = [&] {
    for (std::size_t i = next++; i < jobs.size(); i = next++) {
      const Job& job = jobs[i];
      const auto refusal = !job.refusal.empty() ? std::optional<std::string>(job.refusal)
                           : audio != nullptr   ? audio->refusal(job.input, job.output)
                                                : std::nullopt;
      if (refusal) {
        anyFailed = true;
        report.failed(*refusal, true, job.damaged);
        continue;
      }
      const DiskFile* song = job.disk ? &job.disk->disk.files[job.file] : nullptr;
      if (song && !quiet) {
        for (const std::string& warning : song->warnings) {
          report.note(job.input + ": warning: " + warning);
        }
      }
      ConversionSettings fileSettings = settings;
      fileSettings.inputPath = job.input;
      fileSettings.outputPath = job.output;
      ProgressReporter reporter;
      SilentObserver silent;
      ConversionObserver& observer =
          single && !quiet ? static_cast<ConversionObserver&>(reporter) : silent;
      try {
        const ConversionSummary summary = song ? convertDiskSong(*song, fileSettings, observer)
                                          : job.output == kStandardOutputName
                                              ? convertToStandardOutput(fileSettings, observer)
                                              : ConversionRun(fileSettings, observer);
        report.written(summary, job.input, job.output, audio == nullptr);
        if (audio != nullptr) {
          report.wroteAudio(audio->make(job.output, [&](double share) {
            report.rendering(audio::audioPathFor(job.output, audio->format()), share);
          }));
        }
      } catch (...) {
        anyFailed = true;
        report.failed(failureMessage(std::current_exception(), job.input));
      }
    }
  };

  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t workers = std::min<std::size_t>(options.jobs != 0 ? options.jobs : cores,
                                                    std::max<std::size_t>(jobs.size(), 1));
  {
    std::vector<std::jthread> helpers;
    for (std::size_t i = 1; i < workers; ++i) helpers.emplace_back(work);
    work();
  }
  report.finish(disks);
  return anyFailed ? 1 : 0;
}

}  // namespace koralux::cli
