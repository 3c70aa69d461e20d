// The identifiers of the main dialog's controls and menu commands, and of the Windows program's
// resources. Every control that has one carries it in its "controlId" property; every menu action
// carries its command as its data. Plain macros first, so that the Windows resource compiler
// reads this header as well as the C++ compiler (it skips the C++ below; hence guards, not a
// pragma).
#ifndef KORALUX_UI_CONTROL_IDS_HPP
#define KORALUX_UI_CONTROL_IDS_HPP

#define KORALUX_ID_ABOUT_BUTTON 1000
#define KORALUX_ID_INPUT_FIELD 1001
#define KORALUX_ID_OUTPUT_FIELD 1002
#define KORALUX_ID_KEY_LIST 1004
#define KORALUX_ID_STATUS_LINE 1005
#define KORALUX_ID_NUMERATOR_LIST 1007
#define KORALUX_ID_CONVERT_BUTTON 1008
#define KORALUX_ID_RHYTHM_BOX 1009
#define KORALUX_ID_INPUT_BROWSE_BUTTON 1010
#define KORALUX_ID_OUTPUT_BROWSE_BUTTON 1011
#define KORALUX_ID_DENOMINATOR_LIST 1012
#define KORALUX_ID_PROGRESS_BAR 1015
#define KORALUX_ID_ABOUT_OK_BUTTON 1  // the About box's OK button (IDOK)

#define KORALUX_COMMAND_ABOUT 32771
#define KORALUX_COMMAND_OPEN_EVT_FILE 32772
#define KORALUX_COMMAND_CONVERT_FILE 32773
#define KORALUX_COMMAND_XG_PARTS 32774  // Options > "Include &XG Parts and Registrations"
#define KORALUX_COMMAND_CONVERT_DISK_IMAGE 32775
#define KORALUX_COMMAND_PLAY_CONVERTED_FILE 32776  // Windows only

// The window menu's "&About KORALUX..." entry (Windows).
#define KORALUX_COMMAND_SYSTEM_MENU_ABOUT 16

// The Windows program's resources (ui/win32/koralux.rc).
#define KORALUX_RESOURCE_ABOUT_DIALOG 100
#define KORALUX_RESOURCE_SYSTEM_MENU_ABOUT_TEXT 101
#define KORALUX_RESOURCE_MAIN_DIALOG 102
#define KORALUX_RESOURCE_PROGRAM_ICON 128
#define KORALUX_RESOURCE_MAIN_MENU 130
#define KORALUX_RESOURCE_BANNER 134

#ifndef RC_INVOKED

namespace koralux {

inline constexpr char kControlIdProperty[] = "controlId";

enum ControlId : int {
  kAboutButton = KORALUX_ID_ABOUT_BUTTON,
  kInputField = KORALUX_ID_INPUT_FIELD,
  kOutputField = KORALUX_ID_OUTPUT_FIELD,
  kKeyList = KORALUX_ID_KEY_LIST,
  kStatusLine = KORALUX_ID_STATUS_LINE,
  kNumeratorList = KORALUX_ID_NUMERATOR_LIST,
  kConvertButton = KORALUX_ID_CONVERT_BUTTON,
  kRhythmBox = KORALUX_ID_RHYTHM_BOX,
  kInputBrowseButton = KORALUX_ID_INPUT_BROWSE_BUTTON,
  kOutputBrowseButton = KORALUX_ID_OUTPUT_BROWSE_BUTTON,
  kDenominatorList = KORALUX_ID_DENOMINATOR_LIST,
  kProgressBar = KORALUX_ID_PROGRESS_BAR,
  kAboutOkButton = KORALUX_ID_ABOUT_OK_BUTTON,
};

enum MenuCommand : int {
  kAboutCommand = KORALUX_COMMAND_ABOUT,
  kOpenEvtFileCommand = KORALUX_COMMAND_OPEN_EVT_FILE,
  kConvertFileCommand = KORALUX_COMMAND_CONVERT_FILE,
  kXgPartsCommand = KORALUX_COMMAND_XG_PARTS,  // checkable
  kConvertDiskImageCommand = KORALUX_COMMAND_CONVERT_DISK_IMAGE,
  kPlayConvertedFileCommand = KORALUX_COMMAND_PLAY_CONVERTED_FILE,
};

inline constexpr unsigned kSystemMenuAboutCommand = KORALUX_COMMAND_SYSTEM_MENU_ABOUT;

}  // namespace koralux

#endif  // RC_INVOKED
#endif  // KORALUX_UI_CONTROL_IDS_HPP
