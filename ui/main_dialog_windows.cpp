// Windows only: the dialog's entry in the window menu (the system menu the title bar's icon
// opens), "&About KORALUX...", which opens the About box as the "&About" button does.

#ifndef NOMINMAX
#define NOMINMAX  // keeps std::min and std::max usable
#endif
#include <windows.h>

#include <string>

#include "ui/control_ids.hpp"
#include "ui/main_dialog.hpp"
#include "ui/version_info.hpp"

namespace koralux {

void MainDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!systemMenuExtended_) extendSystemMenu();
}

void MainDialog::extendSystemMenu() {
  HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE);
  if (menu == nullptr) return;
  const std::wstring text = QStringLiteral(KORALUX_SYSTEM_MENU_ABOUT).toStdWString();
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, kSystemMenuAboutCommand, text.c_str());
  systemMenuExtended_ = true;
}

bool MainDialog::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
  const auto* msg = static_cast<const MSG*>(message);
  if (eventType == "windows_generic_MSG" && msg->message == WM_SYSCOMMAND &&
      (msg->wParam & 0xFFF0) == kSystemMenuAboutCommand) {
    showAbout();
    *result = 0;
    return true;
  }
  return QDialog::nativeEvent(eventType, message, result);
}

}  // namespace koralux
