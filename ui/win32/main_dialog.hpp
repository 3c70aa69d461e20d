#pragma once
// The program's working window drawn with the Windows API: dialog template 102 of koralux.rc, run
// modally as the program's only window. What its commands do is ConvertCommand's; this class
// shows it with the template's controls and the platform's message boxes and file dialogs.

#include <windows.h>

#include <string>
#include <string_view>

#include "ui/convert_command.hpp"

namespace koralux {

class MainDialog final : private DialogView {
 public:
  explicit MainDialog(HINSTANCE instance);
  // Shows the dialog and returns once it has ended, by OK (Enter outside a push button) or
  // Cancel (Escape, the close box).
  INT_PTR run();

 private:
  static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
  void initialise();
  void command(int id);
  DialogChoices choicesNow() const;  // what the user has chosen now
  void convert();
  void browseForInput();
  void browseForOutput();
  // The common Save (or Open) dialog with `filter`; the chosen path, or empty when cancelled.
  std::wstring askForPath(bool save, const wchar_t* filter, const wchar_t* extension, DWORD flags);
  void convertDiskImage();
  // Asks where the folder of the songs of the image at `path` goes (beside the image unless the
  // user chooses another folder), then converts every song into it.
  void convertDisk(const std::string& path);
  // File > "&Play Converted File": plays the file the last conversion wrote through the system's
  // MIDI sequencer; the entry reads "&Stop Playing" while it plays. Greyed until a conversion
  // has succeeded.
  void playConvertedFile();
  void stopPlaying();
  // The common folder dialog titled `title`, opened on `start`; the chosen folder, or empty.
  std::wstring askForFolder(const std::string& title, const std::string& start);
  void showAbout();
  void chooseInput(const std::string& path);
  void dropped(HDROP files);
  bool paintIconic();
  std::string fieldText(int id) const;
  void setFieldText(int id, std::string_view text);
  int selection(int list) const;
  bool xgParts() const;  // Options > "Include &XG Parts and Registrations" is checked

  // DialogView. Each call repaints what it changed at once.
  void showStatus(std::string_view text) override;
  void showProgressRange(int maximum) override;
  void showProgress(int position) override;
  void refuse(std::string_view message) override;
  void reportFailure(std::string_view message) override;
  void warn(std::string_view message) override;
  void inform(std::string_view message) override;
  void showBusy(bool busy) override;

  HINSTANCE instance_;
  HWND window_ = nullptr;
  HICON icon_;
  HICON smallIcon_;
  std::wstring displayName_;
  ConvertCommand convertCommand_{*this};
  std::string converted_;  // the file the last conversion wrote
  bool playing_ = false;
};

}  // namespace koralux
