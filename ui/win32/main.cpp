// koralux.exe: the desktop converter of organ performance files (.evt) into Standard MIDI Files,
// on Windows. Its one window is the main dialog; the program ends when the dialog does.

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "ui/win32/main_dialog.hpp"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // The progress bar's window class.
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  // The folder dialog is a COM object.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  koralux::MainDialog dialog(instance);
  dialog.run();
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}
