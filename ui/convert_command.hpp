#pragma once
// What the desktop dialog does, whichever toolkit draws it: the settings its lists and its rhythm
// box stand for, the refusals of an empty path field, the run itself with its status texts and
// progress, a failed run, and the warnings of a run that gave findings; and the conversion of
// every song on a floppy-disk image. Each toolkit's dialog is a view that shows what it is told.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/conversion_observer.hpp"
#include "engine/conversion_settings.hpp"
#include "engine/findings.hpp"

namespace koralux {

struct LoadedDisk;

// The entries of the time-signature lists; a selected entry's position plus 2 is its number.
inline constexpr std::array<std::string_view, 5> kNumeratorEntries{"2", "3", "4", "5", "6"};
inline constexpr std::array<std::string_view, 7> kDenominatorEntries{"2", "3", "4", "5",
                                                                     "6", "7", "8"};
// The entries selected at start (by prefix, the first entry that begins with the text).
inline constexpr std::string_view kInitialNumerator = "4";
inline constexpr std::string_view kInitialDenominator = "4";
inline constexpr std::string_view kInitialKey = "C Major";

inline constexpr std::string_view kInitialStatus = "Status:";
inline constexpr std::string_view kNoInputRefusal = "Please supply Input File!";
inline constexpr std::string_view kNoOutputRefusal = "Please supply Output File!";
inline constexpr std::string_view kFailedStatus = "Status: Conversion failed";

// What the user chose: the paths (UTF-8, whole) and the lists' selected positions.
struct DialogChoices {
  std::string inputPath{};
  std::string outputPath{};
  int keyRow = 0;  // a row of KeySignatureTable
  int numeratorRow = 2;
  int denominatorRow = 2;
  bool rhythmUnitAbsent = false;
  bool xgParts = false;  // Options > "Include &XG Parts and Registrations"
};

ConversionSettings settingsFrom(const DialogChoices& choices);

// The one message that lists a converted file's findings, each on a line of its own.
std::string findingsMessage(std::string_view inputPath, const std::vector<Finding>& findings);

// Whether the dialog takes `path` as a disk image: a sector image, a bitstream image (refused
// with its reason when converted) or, in builds that unpack them, a zipped one.
bool isDiskImageName(std::string_view path);
// The file-name patterns of the disk images the dialog's Open dialog offers ("*.img", ...).
std::vector<std::string> diskImagePatterns();
// The folder the songs of the image at `imagePath` go into: one named after the image ("disk1"
// of "disk1.img") inside `parentFolder`, or beside the image when that is empty.
std::string diskSongFolder(const std::string& imagePath, const std::string& parentFolder);
// The title of the folder dialog that asks for runDisk's `parentFolder`.
std::string diskFolderQuestion(const std::string& imagePath);

// What a dialog shows. Each call should be visible at once: the conversion runs on the window's
// own thread, which paints nothing else until it has finished.
class DialogView {
 public:
  virtual ~DialogView() = default;
  virtual void showStatus(std::string_view text) = 0;
  // The bar's range is 0 to `maximum` (at least 1); `position` lies in it.
  virtual void showProgressRange(int maximum) = 0;
  virtual void showProgress(int position) = 0;
  // A message box with the exclamation icon and one OK button.
  virtual void refuse(std::string_view message) = 0;
  // A message box with the error icon: the conversion failed for this reason.
  virtual void reportFailure(std::string_view message) = 0;
  // A message box with the warning icon: the file was converted, but the user must know this.
  virtual void warn(std::string_view message) = 0;
  // A message box with the information icon: all went well.
  virtual void inform(std::string_view message) = 0;
  // The wait cursor while a conversion runs.
  virtual void showBusy(bool busy) = 0;
};

// The Convert command, and the observer of the conversion it runs.
class ConvertCommand final : public ConversionObserver {
 public:
  explicit ConvertCommand(DialogView& view) : view_(view) {}

  // Refuses an empty path field; otherwise converts. A failure is reported and the dialog stays,
  // ready for another try. Returns whether a conversion completed.
  bool run(const DialogChoices& choices);
  // Converts every song on the image at `imagePath` with the choices' settings into
  // diskSongFolder(imagePath, parentFolder), the status line naming each song and the bar
  // counting them; then one box says how many were converted and names each song that was not
  // and each converted with warnings, with the reasons. An image that cannot be read at all is
  // reported and nothing is written. The image is only read. Returns the number converted.
  int runDisk(const std::string& imagePath, const std::string& parentFolder,
              const DialogChoices& choices);

  void status(std::string_view text) override;
  void progressBegin(std::int64_t total) override;
  void partDone(std::int64_t count) override;

 private:
  // What became of the songs of one disk, and the message that says it.
  struct DiskOutcome {
    std::string image{};
    std::string folder{};
    int songs = 0;
    int converted = 0;
    std::vector<std::string> notConverted{};  // "MDR_05.EVT: damaged: the cluster chain ..."
    std::vector<std::string> warnings{};      // of songs converted
    std::vector<std::string> diskNotes{};     // damage outside the songs
    std::string message() const;
  };
  void convertSongs(const LoadedDisk& loaded, const ConversionSettings& settings,
                    DiskOutcome& outcome);

  DialogView& view_;
  // The run's note count and the notes its parts have taken so far.
  std::int64_t total_ = 0;
  std::int64_t done_ = 0;
};

}  // namespace koralux
