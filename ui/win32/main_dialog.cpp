#include "ui/win32/main_dialog.hpp"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "common/windows_text.hpp"
#include "engine/key_signature_table.hpp"
#include "engine/output_name.hpp"
#include "ui/control_ids.hpp"

namespace koralux {

namespace {

constexpr int kMainDialogTemplate = KORALUX_RESOURCE_MAIN_DIALOG;
constexpr int kAboutDialogTemplate = KORALUX_RESOURCE_ABOUT_DIALOG;
constexpr int kProgramIcon = KORALUX_RESOURCE_PROGRAM_ICON;
constexpr int kSystemMenuAboutText = KORALUX_RESOURCE_SYSTEM_MENU_ABOUT_TEXT;

// The name the MIDI sequencer knows the played file by.
constexpr wchar_t kPlayedSong[] = L"koralux_song";

// The file dialogs' buffer: the longest path Windows knows (with the "\\?\" prefix), and then some.
constexpr DWORD kPathBuffer = 32768 + 256;

// The executable's file name without folder and its last extension: "KORALUX.EXE" gives
// "KORALUX", "my.converter.exe" gives "my.converter". Any length.
std::wstring programDisplayName() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::size_t folder = path.find_last_of(L"\\/");
  std::wstring name = folder == std::wstring::npos ? path : path.substr(folder + 1);
  const std::size_t dot = name.find_last_of(L'.');
  if (dot != std::wstring::npos && dot > 0) name.resize(dot);
  return name;
}

// The program's first argument, if there is one.
std::wstring firstArgument() {
  int count = 0;
  const std::unique_ptr<LPWSTR, decltype(&LocalFree)> arguments(
      CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
  if (arguments == nullptr || count < 2) return {};
  return arguments.get()[1];
}

// The whole path of `path`, "." and ".." resolved: the shell takes no other.
std::wstring fullPath(const std::wstring& path) {
  std::wstring full(kPathBuffer, L'\0');
  full.resize(GetFullPathNameW(path.c_str(), kPathBuffer, full.data(), nullptr));
  return full;
}

// `owner`'s centre is the box's centre, kept on the owner's screen.
void centreOver(HWND box, HWND owner) {
  RECT outer{};
  RECT inner{};
  GetWindowRect(owner, &outer);
  GetWindowRect(box, &inner);
  const LONG width = inner.right - inner.left;
  const LONG height = inner.bottom - inner.top;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& area = monitor.rcWork;
  const LONG x =
      std::max(area.left, std::min((outer.left + outer.right - width) / 2, area.right - width));
  const LONG y =
      std::max(area.top, std::min((outer.top + outer.bottom - height) / 2, area.bottom - height));
  SetWindowPos(box, nullptr, static_cast<int>(x), static_cast<int>(y), 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The About box: OK, Enter, Escape and the close box close it.
INT_PTR CALLBACK aboutProcedure(HWND box, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      centreOver(box, GetWindow(box, GW_OWNER));
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(box, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      EndDialog(box, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

HICON programIcon(HINSTANCE instance, int sizeMetric) {
  const int size = GetSystemMetrics(sizeMetric);
  return static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(kProgramIcon), IMAGE_ICON, size, size, LR_SHARED));
}

}  // namespace

MainDialog::MainDialog(HINSTANCE instance)
    : instance_(instance),
      icon_(programIcon(instance, SM_CXICON)),
      smallIcon_(programIcon(instance, SM_CXSMICON)),
      displayName_(programDisplayName()) {}

INT_PTR MainDialog::run() {
  const INT_PTR result = DialogBoxParamW(instance_, MAKEINTRESOURCEW(kMainDialogTemplate), nullptr,
                                         &procedure, reinterpret_cast<LPARAM>(this));
  mciSendStringW((std::wstring(L"close ") + kPlayedSong).c_str(), nullptr, 0, nullptr);
  return result;
}

INT_PTR CALLBACK MainDialog::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    reinterpret_cast<MainDialog*>(lParam)->window_ = window;
  }
  auto* dialog = reinterpret_cast<MainDialog*>(GetWindowLongPtrW(window, DWLP_USER));
  return dialog == nullptr ? FALSE : dialog->handle(message, wParam, lParam);
}

INT_PTR MainDialog::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      initialise();
      return TRUE;  // the focus goes to the first control in Tab order, "&About"
    case WM_COMMAND:
      // Buttons and menus; the fields' and lists' notifications are not commands.
      if (HIWORD(wParam) == BN_CLICKED || HIWORD(wParam) == 1) command(LOWORD(wParam));
      return TRUE;
    case WM_CLOSE:
      EndDialog(window_, IDCANCEL);
      return TRUE;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == kSystemMenuAboutCommand) {
        showAbout();
        return TRUE;
      }
      return FALSE;
    case MM_MCINOTIFY:
      // The end of the song (a stop or a new song aborts it, and is not the end of this one).
      if (wParam == MCI_NOTIFY_SUCCESSFUL) stopPlaying();
      return TRUE;
    case WM_DROPFILES:
      dropped(reinterpret_cast<HDROP>(wParam));
      return TRUE;
    case WM_PAINT:
      return paintIconic();
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(icon_);
    default:
      (void)lParam;
      return FALSE;
  }
}

void MainDialog::initialise() {
  HMENU systemMenu = GetSystemMenu(window_, FALSE);
  if (systemMenu != nullptr) {
    // A pointer to the string in the resources, and its length; the text carries no terminator.
    const wchar_t* text = nullptr;
    const int length =
        LoadStringW(instance_, kSystemMenuAboutText, reinterpret_cast<LPWSTR>(&text), 0);
    if (length > 0) {
      const std::wstring entry(text, static_cast<std::size_t>(length));
      AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
      AppendMenuW(systemMenu, MF_STRING, kSystemMenuAboutCommand, entry.c_str());
    }
  }
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

  const auto fill = [this](int list, const auto& entries, std::string_view initial) {
    for (const std::string_view entry : entries) {
      SendDlgItemMessageW(window_, list, CB_ADDSTRING, 0,
                          reinterpret_cast<LPARAM>(windows::widen(entry).c_str()));
    }
    // By prefix over the whole list: the first entry that begins with the text.
    SendDlgItemMessageW(window_, list, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(windows::widen(initial).c_str()));
  };
  std::vector<std::string_view> keys;
  for (const KeySignatureRow& row : KeySignatureTable) keys.push_back(row.text);
  fill(kKeyList, keys, kInitialKey);
  fill(kNumeratorList, kNumeratorEntries, kInitialNumerator);
  fill(kDenominatorList, kDenominatorEntries, kInitialDenominator);

  // The edit controls' own limit is some 32 000 characters; paths may be longer.
  for (const int field : {kInputField, kOutputField}) {
    SendDlgItemMessageW(window_, field, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
  }

  const std::wstring argument = firstArgument();
  if (!argument.empty()) chooseInput(windows::narrow(argument));
  DragAcceptFiles(window_, TRUE);
}

void MainDialog::command(int id) {
  switch (id) {
    case kConvertButton:
    case kConvertFileCommand:
      convert();
      break;
    case kInputBrowseButton:
    case kOpenEvtFileCommand:
      browseForInput();
      break;
    case kOutputBrowseButton:
      browseForOutput();
      break;
    case kConvertDiskImageCommand:
      convertDiskImage();
      break;
    case kPlayConvertedFileCommand:
      if (playing_) {
        stopPlaying();
      } else {
        playConvertedFile();
      }
      break;
    case kAboutButton:
    case kAboutCommand:
      showAbout();
      break;
    case kXgPartsCommand:
      // Off at every start, as every other setting is.
      CheckMenuItem(GetMenu(window_), kXgPartsCommand,
                    static_cast<UINT>(MF_BYCOMMAND | (xgParts() ? MF_UNCHECKED : MF_CHECKED)));
      break;
    case IDOK:
    case IDCANCEL:
      EndDialog(window_, id);
      break;
    default:
      break;  // the rhythm box checks and unchecks itself
  }
}

std::string MainDialog::fieldText(int id) const {
  HWND field = GetDlgItem(window_, id);
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(field, text.data(), static_cast<int>(text.size()))));
  return windows::narrow(text);
}

void MainDialog::setFieldText(int id, std::string_view text) {
  SetDlgItemTextW(window_, id, windows::widen(text).c_str());
}

int MainDialog::selection(int list) const {
  const LRESULT position = SendDlgItemMessageW(window_, list, CB_GETCURSEL, 0, 0);
  return position == CB_ERR ? 0 : static_cast<int>(position);
}

DialogChoices MainDialog::choicesNow() const {
  return {.inputPath = fieldText(kInputField),
          .outputPath = fieldText(kOutputField),
          .keyRow = selection(kKeyList),
          .numeratorRow = selection(kNumeratorList),
          .denominatorRow = selection(kDenominatorList),
          .rhythmUnitAbsent = IsDlgButtonChecked(window_, kRhythmBox) == BST_CHECKED,
          .xgParts = xgParts()};
}

void MainDialog::convert() {
  const DialogChoices choices = choicesNow();
  // A disk image named as the input converts as File > Convert Disk Image... does.
  if (isDiskImageName(choices.inputPath)) return convertDisk(choices.inputPath);
  // The played file is open: it could not be replaced.
  stopPlaying();
  if (!convertCommand_.run(choices)) return;
  converted_ = choices.outputPath;
  EnableMenuItem(GetMenu(window_), kPlayConvertedFileCommand, MF_BYCOMMAND | MF_ENABLED);
}

void MainDialog::playConvertedFile() {
  const std::wstring song = kPlayedSong;
  MCIERROR error = mciSendStringW(
      (L"open \"" + windows::widen(converted_) + L"\" type sequencer alias " + song).c_str(),
      nullptr, 0, nullptr);
  if (error == 0) {
    error = mciSendStringW((L"play " + song + L" notify").c_str(), nullptr, 0, window_);
    if (error != 0) mciSendStringW((L"close " + song).c_str(), nullptr, 0, nullptr);
  }
  if (error != 0) {
    wchar_t reason[256] = L"";
    mciGetErrorStringW(error, reason, 256);
    reportFailure(converted_ + " could not be played: " + windows::narrow(reason));
    return;
  }
  playing_ = true;
  ModifyMenuW(GetMenu(window_), kPlayConvertedFileCommand, MF_BYCOMMAND | MF_STRING,
              kPlayConvertedFileCommand, L"&Stop Playing");
}

void MainDialog::stopPlaying() {
  if (!playing_) return;
  mciSendStringW((std::wstring(L"close ") + kPlayedSong).c_str(), nullptr, 0, nullptr);
  playing_ = false;
  ModifyMenuW(GetMenu(window_), kPlayConvertedFileCommand, MF_BYCOMMAND | MF_STRING,
              kPlayConvertedFileCommand, L"&Play Converted File");
}

bool MainDialog::xgParts() const {
  return (GetMenuState(GetMenu(window_), kXgPartsCommand, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

void MainDialog::chooseInput(const std::string& path) {
  setFieldText(kInputField, path);
  setFieldText(kOutputField, derivedOutputName(path));
}

void MainDialog::browseForInput() {
  // No further options: the read-only box shows, and a name that does not exist is accepted.
  const std::wstring name =
      askForPath(false, L"EL Files (*.evt)\0*.evt\0All Files (*.*)\0*.*\0", L"evt", OFN_EXPLORER);
  if (!name.empty()) chooseInput(windows::narrow(name));
}

void MainDialog::browseForOutput() {
  const std::wstring name =
      askForPath(true, L"MIDI Files (*.mid)\0*.mid\0All Files (*.*)\0*.*\0", L"mid",
                 OFN_EXPLORER | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
  if (!name.empty()) setFieldText(kOutputField, windows::narrow(name));
}

std::wstring MainDialog::askForPath(bool save, const wchar_t* filter, const wchar_t* extension,
                                    DWORD flags) {
  std::wstring name(kPathBuffer, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = window_;
  dialog.lpstrFilter = filter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = name.data();
  dialog.nMaxFile = kPathBuffer;
  dialog.lpstrDefExt = extension;
  dialog.Flags = flags;
  if (!(save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog))) return {};
  name.resize(name.find(L'\0'));
  return name;
}

void MainDialog::convertDiskImage() {
  std::wstring patterns;
  for (const std::string& pattern : diskImagePatterns()) {
    patterns += (patterns.empty() ? L"" : L";") + windows::widen(pattern);
  }
  // Pairs of a name and its patterns, each ended by a null; a further null ends the list.
  const std::wstring filter = L"Disk Images (" + patterns + L")" + L'\0' + patterns + L'\0' +
                              L"All Files (*.*)" + L'\0' + L"*.*" + L'\0';
  const std::wstring name = askForPath(false, filter.c_str(), nullptr,
                                       OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY);
  if (!name.empty()) convertDisk(windows::narrow(name));
}

void MainDialog::convertDisk(const std::string& path) {
  // The image's own folder, its separator kept ("C:\\" is the root, "C:" the drive's working
  // folder).
  const std::size_t separator = path.find_last_of("\\/");
  const std::wstring folder =
      askForFolder(diskFolderQuestion(path),
                   separator == std::string::npos ? "." : path.substr(0, separator + 1));
  if (folder.empty()) return;
  stopPlaying();  // the played file may be one of the songs' outputs
  convertCommand_.runDisk(path, windows::narrow(folder), choicesNow());
}

std::wstring MainDialog::askForFolder(const std::string& title, const std::string& start) {
  IFileOpenDialog* dialog = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IFileOpenDialog, reinterpret_cast<void**>(&dialog)))) {
    return {};
  }
  const std::unique_ptr<IFileOpenDialog, void (*)(IFileOpenDialog*)> owner(
      dialog, [](IFileOpenDialog* d) { d->Release(); });
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
  dialog->SetTitle(windows::widen(title).c_str());
  IShellItem* folder = nullptr;
  if (SUCCEEDED(SHCreateItemFromParsingName(fullPath(windows::widen(start)).c_str(), nullptr,
                                            IID_IShellItem, reinterpret_cast<void**>(&folder)))) {
    dialog->SetFolder(folder);
    folder->Release();
  }
  IShellItem* chosen = nullptr;
  if (FAILED(dialog->Show(window_)) || FAILED(dialog->GetResult(&chosen))) return {};
  wchar_t* name = nullptr;
  std::wstring path;
  if (SUCCEEDED(chosen->GetDisplayName(SIGDN_FILESYSPATH, &name))) {
    path = fullPath(name);  // Wine gives a typed "." as it is ("C:\disk\.")
    CoTaskMemFree(name);
  }
  chosen->Release();
  return path;
}

void MainDialog::showAbout() {
  DialogBoxParamW(instance_, MAKEINTRESOURCEW(kAboutDialogTemplate), window_, &aboutProcedure, 0);
}

void MainDialog::dropped(HDROP files) {
  // The first performance file or disk image among those dropped.
  std::string path;
  const UINT count = DragQueryFileW(files, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count && path.empty(); ++i) {
    std::wstring name(DragQueryFileW(files, i, nullptr, 0) + 1, L'\0');
    name.resize(DragQueryFileW(files, i, name.data(), static_cast<UINT>(name.size())));
    path = windows::narrow(name);
    if (!isPerformanceFileName(path) && !isDiskImageName(path)) path.clear();
  }
  DragFinish(files);
  if (isPerformanceFileName(path)) {
    chooseInput(path);
  } else if (!path.empty()) {
    convertDisk(path);
  }
}

bool MainDialog::paintIconic() {
  if (!IsIconic(window_)) return false;
  PAINTSTRUCT paint;
  HDC context = BeginPaint(window_, &paint);
  SendMessageW(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
  RECT client{};
  GetClientRect(window_, &client);
  DrawIcon(context, (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2,
           (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2, icon_);
  EndPaint(window_, &paint);
  return true;
}

void MainDialog::showStatus(std::string_view text) {
  HWND line = GetDlgItem(window_, kStatusLine);
  SetWindowTextW(line, windows::widen(text).c_str());
  UpdateWindow(line);
}

void MainDialog::showProgressRange(int maximum) {
  SendDlgItemMessageW(window_, kProgressBar, PBM_SETRANGE32, 0, maximum);
}

void MainDialog::showProgress(int position) {
  SendDlgItemMessageW(window_, kProgressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  UpdateWindow(GetDlgItem(window_, kProgressBar));
}

void MainDialog::refuse(std::string_view message) {
  MessageBoxW(window_, windows::widen(message).c_str(), displayName_.c_str(),
              MB_ICONEXCLAMATION | MB_OK);
}

void MainDialog::reportFailure(std::string_view message) {
  MessageBoxW(window_, windows::widen(message).c_str(), displayName_.c_str(), MB_ICONERROR | MB_OK);
}

void MainDialog::warn(std::string_view message) {
  MessageBoxW(window_, windows::widen(message).c_str(), displayName_.c_str(),
              MB_ICONWARNING | MB_OK);
}

void MainDialog::inform(std::string_view message) {
  MessageBoxW(window_, windows::widen(message).c_str(), displayName_.c_str(),
              MB_ICONINFORMATION | MB_OK);
}

void MainDialog::showBusy(bool busy) {
  SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

}  // namespace koralux
