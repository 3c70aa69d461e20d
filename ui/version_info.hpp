// The texts that identify the program: its version resource (what Windows shows in the
// executable's properties) and its About box. Plain macros, so that the Windows resource compiler
// reads this header as well as the C++ compiler (hence guards, not a pragma).
#ifndef KORALUX_UI_VERSION_INFO_HPP
#define KORALUX_UI_VERSION_INFO_HPP

// Version resource. The About box carries its own, different version text.
#define KORALUX_FILE_VERSION_NUMBERS 1, 0, 0, 1
#define KORALUX_FILE_VERSION_TEXT "1, 0, 0, 1"
#define KORALUX_PRODUCT_VERSION_NUMBERS 1, 0, 0, 1
#define KORALUX_PRODUCT_VERSION_TEXT "1, 0, 0, 1"
#define KORALUX_FILE_DESCRIPTION "Electone EVT file convertor"
#define KORALUX_INTERNAL_NAME "KORALUX"
#define KORALUX_ORIGINAL_FILENAME "KORALUX.EXE"
#define KORALUX_PRODUCT_NAME "KORALUX Application"

// About box.
#define KORALUX_ABOUT_CAPTION "About KORALUX"
#define KORALUX_ABOUT_VERSION "KORALUX Version 2.00.01"
#define KORALUX_ABOUT_SENTENCE "If this program works it was written by:"
#define KORALUX_CONTACT_EMAIL "koralux@koralux.org"
#define KORALUX_CONTACT_WEB "https://koralux.org/"

// The main dialog's entry in the window menu, where the platform gives the program one.
#define KORALUX_SYSTEM_MENU_ABOUT "&About KORALUX..."

#endif  // KORALUX_UI_VERSION_INFO_HPP
