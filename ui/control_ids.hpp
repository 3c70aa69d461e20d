#pragma once
// The identifiers of the main dialog's controls and menu commands. Every control that has one
// carries it in its "controlId" property; every menu action carries its command as its data.

namespace koralux {

inline constexpr char kControlIdProperty[] = "controlId";

enum ControlId : int {
  kAboutButton = 1000,
  kInputField = 1001,
  kOutputField = 1002,
  kKeyList = 1004,
  kStatusLine = 1005,
  kNumeratorList = 1007,
  kConvertButton = 1008,
  kRhythmBox = 1009,
  kInputBrowseButton = 1010,
  kOutputBrowseButton = 1011,
  kDenominatorList = 1012,
  kProgressBar = 1015,
  kAboutOkButton = 1,  // the About box's OK button
};

enum MenuCommand : int {
  kAboutCommand = 32771,
  kOpenEvtFileCommand = 32772,
  kConvertFileCommand = 32773,
  kXgPartsCommand = 32774,  // Options > "Include &XG Parts and Registrations", checkable
};

// The window menu's "&About KORALUX..." entry (Windows).
inline constexpr unsigned kSystemMenuAboutCommand = 16;

}  // namespace koralux
