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

#include "common/console.hpp"
#include "common/failure_message.hpp"
#include "common/file_io.hpp"
#include "engine/conversion_run.hpp"
#include "engine/output_name.hpp"

namespace koralux::cli {

namespace {

namespace fs = std::filesystem;

// One file to convert. A job refused before its conversion starts carries the reason.
struct Job {
  std::string input;
  std::string output;
  std::string refusal;  // "LABEL: description", or empty
};

// Adds every performance file in `folder` and below (links to folders are not followed, so a tree
// that links to itself is walked once), each with its output: beside it, or at the same place
// under `outputFolder` if that is not empty. Paths are joined as the user spelled the folders. A
// folder that cannot be read is reported and the walk goes on with the rest.
void walk(const std::string& folder, const std::string& outputFolder, std::vector<Job>& jobs,
          std::vector<std::string>& problems) {
  std::vector<FolderEntry> entries;
  try {
    entries = listFolder(folder);
  } catch (...) {
    problems.push_back(failureMessage(std::current_exception(), folder));
    return;
  }
  for (const FolderEntry& entry : entries) {
    if (entry.kind != FolderEntry::Kind::File || !isPerformanceFileName(entry.name)) continue;
    const std::string input = joinPath(folder, entry.name);
    jobs.push_back(
        {input,
         derivedOutputName(outputFolder.empty() ? input : joinPath(outputFolder, entry.name)),
         {}});
  }
  for (const FolderEntry& entry : entries) {
    if (entry.kind != FolderEntry::Kind::Folder) continue;
    walk(joinPath(folder, entry.name),
         outputFolder.empty() ? outputFolder : joinPath(outputFolder, entry.name), jobs, problems);
  }
}

// The files to convert, in the order given (a walked folder's files sorted by path), each
// once. Refuses before any conversion starts: a folder given without --recursive, an output
// that another file of the call also writes, and an output that is another input of the call.
std::vector<Job> plan(const std::vector<std::string>& inputs, const BatchOptions& options,
                      std::vector<std::string>& problems) {
  std::vector<Job> jobs;
  for (const std::string& input : inputs) {
    if (isFolder(input)) {
      if (options.recursive) {
        walk(input, options.outputDir, jobs, problems);
      } else {
        jobs.push_back({input,
                        {},
                        input + ": is a folder; add --recursive to convert the .evt "
                                "files in it"});
      }
      continue;
    }
    const std::string name = utf8FromPath(pathFromUtf8(input).filename());
    jobs.push_back(
        {input,
         derivedOutputName(options.outputDir.empty() ? input : joinPath(options.outputDir, name)),
         {}});
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
  for (const Job& job : jobs) allInputs.insert(normal(job.input));
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

// Makes the folders that the outputs go to under --output-dir; a folder that cannot be made
// refuses the files that were to go there.
void makeOutputFolders(std::vector<Job>& jobs, const BatchOptions& options) {
  if (options.outputDir.empty()) return;
  std::map<std::string, std::string> made;  // folder -> why it cannot be made, or ""
  for (Job& job : jobs) {
    if (!job.refusal.empty()) continue;
    const std::string folder = utf8FromPath(pathFromUtf8(job.output).parent_path());
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

  void written(const ConversionSummary& summary, const std::string& output) {
    const std::lock_guard lock(mutex_);
    ++done_;
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

  // `message` is "LABEL: description"; a failed file counts as done too.
  void failed(const std::string& message, bool file = true) {
    const std::lock_guard lock(mutex_);
    if (file) {
      ++done_;
      ++failed_;
    }
    clearProgress();
    std::cerr << "koralux-cli: " << message << std::endl;
    drawProgress();
  }

  // The last line: how many files were converted.
  void finish() {
    const std::lock_guard lock(mutex_);
    clearProgress();
    if (quiet_ || single_) return;
    if (total_ == 0) {
      std::cerr << "koralux-cli: no performance files (.evt) found" << std::endl;
      return;
    }
    std::cerr << "Converted " << (done_ - failed_) << " of " << total_
              << (total_ == 1 ? " file" : " files");
    if (failed_ > 0) std::cerr << ", " << failed_ << " failed";
    std::cerr << std::endl;
  }

 private:
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
  bool shown_ = false;
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
  if (output.empty()) return std::nullopt;
  if (!options.outputDir.empty()) return "-o and --output-dir cannot be used together";
  if (inputs.size() > 1 || options.recursive) {
    return "-o names one output file, so it takes one input file; to convert several, leave "
           "it out (each output goes beside its input) or use --output-dir DIR";
  }
  return std::nullopt;
}

int runConversions(const std::vector<std::string>& inputs, const std::string& output,
                   const BatchOptions& options, const ConversionSettings& settings, bool quiet) {
  // A single file goes where it always went, with the checks of the conversion itself (-j alone
  // changes nothing for it).
  const bool single = inputs.size() == 1 && !options.recursive && options.outputDir.empty();
  std::vector<std::string> problems;
  std::vector<Job> jobs;
  if (single) {
    jobs.push_back(
        {inputs.front(), output.empty() ? derivedOutputName(inputs.front()) : output, {}});
  } else {
    jobs = plan(inputs, options, problems);
    makeOutputFolders(jobs, options);
  }

  BatchReport report(jobs.size(), single, quiet);
  for (const std::string& problem : problems) report.failed(problem, false);

  // Each conversion owns everything it uses, so they run side by side without sharing.
  std::atomic<std::size_t> next = 0;
  std::atomic<bool> anyFailed = !problems.empty();
  const auto work = [&] {
    for (std::size_t i = next++; i < jobs.size(); i = next++) {
      const Job& job = jobs[i];
      if (!job.refusal.empty()) {
        anyFailed = true;
        report.failed(job.refusal);
        continue;
      }
      ConversionSettings fileSettings = settings;
      fileSettings.inputPath = job.input;
      fileSettings.outputPath = job.output;
      ProgressReporter reporter;
      SilentObserver silent;
      ConversionObserver& observer =
          single && !quiet ? static_cast<ConversionObserver&>(reporter) : silent;
      try {
        report.written(job.output == kStandardOutputName
                           ? convertToStandardOutput(fileSettings, observer)
                           : ConversionRun(fileSettings, observer),
                       job.output);
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
  report.finish();
  return anyFailed ? 1 : 0;
}

}  // namespace koralux::cli
