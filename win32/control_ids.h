#pragma once
// The controls' identifiers: how the window tells its controls apart, and how
// another process finds them (GetDlgItem). 1 and 2 are left to IDOK and
// IDCANCEL, which the dialog keys send.
namespace picrelink::win32 {

enum ControlId : int {
  kIdCxLabel4 = 100,
  kIdCxLabel2 = 101,
  kIdBtn1 = 102,
  kIdLabel8 = 103,
  kIdEdtnum = 104,
  kIdEdtnumUpDown = 105,
  kIdCxButton1 = 106,
  kIdCxLabel3 = 107,
  kIdBtn2 = 108,
  kIdCxLabel30 = 109,
  kIdBtn3 = 110,
  kIdCheckBox1 = 111,
  kIdCxButton30 = 112,
  kIdCxLabel1 = 113,
  // The browse buttons over the right ends of btn1, btn2 and btn3.
  kIdBtn1Browse = 120,
  kIdBtn2Browse = 121,
  kIdBtn3Browse = 122,
  // The band below the start button.
  kIdStatusText = 130,
  kIdStatusDetails = 131,
  kIdStatusProgress = 132,
  kIdStatusProgressText = 133,
  kIdStatusCancel = 134,
  kIdStatusOffer = 135,
};

}  // namespace picrelink::win32
