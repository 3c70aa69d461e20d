#include "ui/convert_command.hpp"

#include <algorithm>
#include <exception>
#include <limits>

#include "common/disk_file.hpp"
#include "common/failure_message.hpp"
#include "common/file_io.hpp"
#include "common/zipped_image.hpp"
#include "engine/conversion_run.hpp"
#include "engine/key_signature_table.hpp"

namespace koralux {

namespace {

// The bars count in int; a total beyond that (not met in practice) is shown to scale.
constexpr std::int64_t kBarLimit = std::numeric_limits<int>::max();

int barPosition(std::int64_t notes, std::int64_t total) {
  if (total <= kBarLimit) return static_cast<int>(notes);
  return static_cast<int>(static_cast<double>(notes) / static_cast<double>(total) *
                          static_cast<double>(kBarLimit));
}

// Holds the wait cursor for as long as it lives.
class Busy {
 public:
  explicit Busy(DialogView& view) : view_(view) { view_.showBusy(true); }
  ~Busy() { view_.showBusy(false); }
  Busy(const Busy&) = delete;
  Busy& operator=(const Busy&) = delete;

 private:
  DialogView& view_;
};

std::string songCount(int count) {
  return std::to_string(count) + (count == 1 ? " song" : " songs");
}

// A heading and its lines, after a blank line; nothing when there are no lines.
std::string section(std::string_view heading, const std::vector<std::string>& lines) {
  if (lines.empty()) return {};
  std::string text = "\n\n" + std::string(heading);
  for (const std::string& line : lines) text += '\n' + line;
  return text;
}

}  // namespace

std::string ConvertCommand::DiskOutcome::message() const {
  const std::string count =
      songs == 0           ? image + " holds no performance files (.evt): nothing was"
      : converted == 0     ? "None of the " + songCount(songs) + " on " + image + " was"
      : converted == songs ? songCount(songs)
                           : std::to_string(converted) + " of " + songCount(songs);
  return count + " converted" + (converted > 0 ? " into " + folder : std::string()) + "." +
         section("Not converted:", notConverted) + section("Converted with warnings:", warnings) +
         section("About the disk:", diskNotes);
}

ConversionSettings settingsFrom(const DialogChoices& choices) {
  ConversionSettings settings;
  settings.inputPath = choices.inputPath;
  settings.outputPath = choices.outputPath;
  settings.rhythmUnitAbsent = choices.rhythmUnitAbsent;
  settings.xgParts = choices.xgParts;
  const KeySignatureRow& key = KeySignatureTable.at(static_cast<std::size_t>(choices.keyRow));
  settings.keySharpsFlats = key.sharpsFlats;
  settings.keyMinor = key.minor;
  // Both lists begin at "2" and rise by one.
  settings.timeNumerator = static_cast<std::uint8_t>(choices.numeratorRow + 2);
  settings.timeDenominator = static_cast<std::uint8_t>(choices.denominatorRow + 2);
  return settings;
}

std::string findingsMessage(std::string_view inputPath, const std::vector<Finding>& findings) {
  std::string message = std::string(inputPath) + " was converted, but:";
  for (const Finding& finding : findings) message += "\n\n" + finding.text;
  return message;
}

bool isDiskImageName(std::string_view path) {
  const ImageKind kind = imageKindOf(path);
  return kind != ImageKind::None && (kind != ImageKind::Zipped || readsZippedImages());
}

std::vector<std::string> diskImagePatterns() {
  std::vector<std::string> patterns;
  for (const std::string_view extension : kSectorImageExtensions) {
    patterns.push_back("*." + std::string(extension));
  }
  if (readsZippedImages()) patterns.push_back("*." + std::string(kZippedImageExtension));
  return patterns;
}

std::string diskSongFolder(const std::string& imagePath, const std::string& parentFolder) {
  const std::string beside = diskFolderName(imagePath);
  if (parentFolder.empty()) return beside;
  return joinPath(parentFolder, utf8FromPath(pathFromUtf8(beside).filename()));
}

std::string diskFolderQuestion(const std::string& imagePath) {
  return "Where the folder " +
         utf8FromPath(pathFromUtf8(diskSongFolder(imagePath, {})).filename()) +
         " with the songs goes";
}

bool ConvertCommand::run(const DialogChoices& choices) {
  // A field holding only spaces counts as filled: the run will say what it makes of it.
  if (choices.inputPath.empty()) {
    view_.refuse(kNoInputRefusal);
    return false;
  }
  if (choices.outputPath.empty()) {
    view_.refuse(kNoOutputRefusal);
    return false;
  }
  const ConversionSettings settings = settingsFrom(choices);
  std::string failure;
  try {
    ConversionSummary summary;
    {
      const Busy busy(view_);
      summary = ConversionRun(settings, *this);
    }
    // After the wait cursor has gone: the file is written, and the box waits for the user.
    if (!summary.findings.empty())
      view_.warn(findingsMessage(settings.inputPath, summary.findings));
    return true;
  } catch (...) {
    failure = failureMessage(std::current_exception(), settings.inputPath);
  }
  // The output is as it was; the dialog stays.
  status(kFailedStatus);
  view_.reportFailure(failure);
  return false;
}

int ConvertCommand::runDisk(const std::string& imagePath, const std::string& parentFolder,
                            const DialogChoices& choices) {
  DiskOutcome outcome{.image = imagePath, .folder = diskSongFolder(imagePath, parentFolder)};
  std::string failure;
  {
    const Busy busy(view_);
    try {
      convertSongs(loadDisk(imagePath), settingsFrom(choices), outcome);
    } catch (...) {
      // The image unread, or its folder not made: nothing was written.
      failure = failureMessage(std::current_exception(), imagePath);
    }
  }
  status(failure.empty() && outcome.converted > 0 ? kFinishedStatus : kFailedStatus);
  if (!failure.empty()) {
    view_.reportFailure(failure);
  } else if (outcome.converted == 0) {
    view_.reportFailure(outcome.message());
  } else if (outcome.notConverted.empty() && outcome.warnings.empty() &&
             outcome.diskNotes.empty()) {
    view_.inform(outcome.message());
  } else {
    view_.warn(outcome.message());
  }
  return outcome.converted;
}

void ConvertCommand::convertSongs(const LoadedDisk& loaded, const ConversionSettings& settings,
                                  DiskOutcome& outcome) {
  if (!loaded.disk.fatNote.empty()) outcome.diskNotes.push_back(loaded.disk.fatNote);
  for (const std::string& problem : loaded.disk.problems) outcome.diskNotes.push_back(problem);
  const std::vector<DiskSong>& songs = loaded.contents.songs;
  outcome.songs = static_cast<int>(songs.size());
  view_.showProgressRange(std::max(outcome.songs, 1));
  view_.showProgress(0);
  bool folderMade = false;  // once there is a song to put in it
  for (int done = 0; done < outcome.songs; ++done) {
    const DiskFile& song = loaded.disk.files[songs[static_cast<std::size_t>(done)].file];
    status("Status: " + song.path + " (" + std::to_string(done + 1) + " of " +
           std::to_string(outcome.songs) + ")");
    if (song.damaged()) {
      outcome.notConverted.push_back(song.path + ": damaged: " + song.damage);
    } else {
      if (!folderMade) makeFolders(outcome.folder);
      folderMade = true;
      try {
        ConversionSettings named = settings;
        named.inputPath = song.path;
        named.outputPath = diskSongOutputName(pathFromUtf8(outcome.folder), song);
        makeFolders(utf8FromPath(pathFromUtf8(named.outputPath).parent_path()));
        SilentObserver silent;
        const ConversionResult result = convertPerformance(song.bytes, named, silent);
        writeFileAtomically(named.outputPath, result.midi);
        ++outcome.converted;
        for (const std::string& warning : song.warnings) {
          outcome.warnings.push_back(song.path + ": " + warning);
        }
        for (const Finding& finding : result.summary.findings) {
          outcome.warnings.push_back(song.path + ": " + finding.text);
        }
      } catch (...) {
        outcome.notConverted.push_back(failureMessage(std::current_exception(), song.path));
      }
    }
    view_.showProgress(done + 1);
  }
}

void ConvertCommand::status(std::string_view text) {
  view_.showStatus(text);
}

void ConvertCommand::progressBegin(std::int64_t total) {
  total_ = std::max<std::int64_t>(total, 0);
  done_ = 0;
  // The whole note count, however large. A performance without notes gets a range of 1, since
  // an empty range would make the bar a busy indicator or divide by zero.
  view_.showProgressRange(std::max(barPosition(total_, total_), 1));
  view_.showProgress(0);
}

void ConvertCommand::partDone(std::int64_t count) {
  // Every part moves the bar, one without notes by one step. The bar stops when full.
  done_ = std::min(done_ + std::max<std::int64_t>(count, 1), total_);
  view_.showProgress(barPosition(done_, total_));
}

}  // namespace koralux
