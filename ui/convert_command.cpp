#include "ui/convert_command.hpp"

#include <algorithm>
#include <exception>
#include <limits>

#include "common/failure_message.hpp"
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

}  // namespace

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
