#pragma once
// The host's custom controls: edit fields, spinners and buttons that dialog and rollout templates name by
// class ("CustEdit", "SpinnerControl", "CustButton"), and the interfaces through which code drives them.
// The host library registers the classes with the Windows stand-in when it is loaded.
#include "maxtypes.h"
#include "maxheap.h"
#include "strclass.h"

// How a spinner edits its value (EDITTYPE_TIME: the value is in ticks, its field shows frames).
enum EditSpinnerType {
  EDITTYPE_INT = 1,
  EDITTYPE_FLOAT,
  EDITTYPE_UNIVERSE,
  EDITTYPE_POS_INT,
  EDITTYPE_POS_FLOAT,
  EDITTYPE_POS_UNIVERSE,
  EDITTYPE_TIME,
};
// A spinner scale of SPIN_AUTOSCALE lets the spinner pick its step from the value.
#define SPIN_AUTOSCALE -1.0f

#define CUSTEDITWINDOWCLASS "CustEdit"
#define SPINNERWINDOWCLASS "SpinnerControl"
#define CUSTBUTTONWINDOWCLASS "CustButton"

// Notifications the controls send to their dialog, with the host's values.
// wParam: LOWORD the spinner's id, HIWORD TRUE while a drag goes on; lParam: the spinner's ISpinnerControl*,
// valid during the call only (not to be released).
#define CC_SPINNER_CHANGE (WM_USER + 600)
#define CC_SPINNER_BUTTONDOWN (WM_USER + 601)
#define CC_SPINNER_BUTTONUP (WM_USER + 602)
// Enter pressed in a custom edit field. wParam: the field's id; lParam: its window.
#define WM_CUSTEDIT_ENTER (WM_USER + 685)

enum CustButType { CBT_PUSH, CBT_CHECK };

// What every custom control interface offers. An interface used after its window was destroyed is a
// fault, reported through assert1.
class HOSTAPI ICustomControl : public MaxHeapOperators {
 public:
  virtual ~ICustomControl() = default;
  virtual HWND GetHwnd() = 0;
  virtual void Enable(BOOL onOff = TRUE) = 0;
  virtual void Disable() = 0;
  virtual BOOL IsEnabled() = 0;
};

class HOSTAPI ICustEdit : public ICustomControl {
 public:
  // Copies at most ct - 1 characters and a terminating zero.
  virtual void GetText(char* text, int ct) = 0;
  virtual void GetText(TSTR& text) = 0;
  virtual int GetTextLength() = 0;
  virtual void SetText(const char* text) = 0;
  virtual void SetText(int i) = 0;
  virtual void SetText(float f, int precision = 3) = 0;
  // The text read as a number; *valid (when given) says whether all of it was one.
  virtual int GetInt(BOOL* valid = nullptr) = 0;
  virtual float GetFloat(BOOL* valid = nullptr) = 0;
  // Whether Enter was pressed since the last GotReturn (cleared by asking).
  virtual void WantReturn(BOOL yesNo) = 0;
  virtual BOOL GotReturn() = 0;
  virtual void GiveFocus() = 0;
  virtual BOOL HasFocus() = 0;
};

class HOSTAPI ISpinnerControl : public ICustomControl {
 public:
  virtual float GetFVal() = 0;
  virtual int GetIVal() = 0;
  virtual void SetAutoScale(BOOL on = TRUE) = 0;
  virtual void SetScale(float s) = 0;
  // Clamped to the limits; with notify the dialog gets CC_SPINNER_CHANGE. The linked field shows the value.
  virtual void SetValue(float v, int notify) = 0;
  virtual void SetValue(int v, int notify) = 0;
  // limitCurrent clamps the present value into the new limits at once.
  virtual void SetLimits(int min, int max, int limitCurrent = TRUE) = 0;
  virtual void SetLimits(float min, float max, int limitCurrent = TRUE) = 0;
  // The field that shows and edits the value (a CustEdit); Enter in it sets the spinner.
  virtual void LinkToEdit(HWND hEdit, EditSpinnerType type) = 0;
  virtual void SetIndeterminate(BOOL i = TRUE) = 0;
  virtual BOOL IsIndeterminate() = 0;
  // Stand-in extensions.
  virtual float GetMin() = 0;
  virtual float GetMax() = 0;
  virtual float GetScale() = 0;
};

class HOSTAPI ICustButton : public ICustomControl {
 public:
  virtual void SetType(CustButType type) = 0;
  virtual CustButType GetType() = 0;
  // Sets the state quietly (no command to the dialog).
  virtual void SetCheck(BOOL checked) = 0;
  virtual BOOL IsChecked() = 0;
  virtual void SetText(const char* text) = 0;
  virtual void GetText(char* text, int ct) = 0;
};

// Interfaces on a control's window; null for a window of another class. Each one taken is released once.
HOSTAPI ICustEdit* GetICustEdit(HWND hCtrl);
HOSTAPI void ReleaseICustEdit(ICustEdit* ice);
HOSTAPI ISpinnerControl* GetISpinner(HWND hCtrl);
HOSTAPI void ReleaseISpinner(ISpinnerControl* isc);
HOSTAPI ICustButton* GetICustButton(HWND hCtrl);
HOSTAPI void ReleaseICustButton(ICustButton* icb);

// Registers the custom control classes (done already when the host library loads; calling again is
// harmless). The module handle is not needed by the stand-in.
HOSTAPI void InitCustomControls(HINSTANCE hInst);

// --- Stand-in extensions ---

// Interfaces taken with the Get functions above and not yet released.
HOSTAPI int CustomControlInterfacesOutstanding();
