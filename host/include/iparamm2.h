#pragma once
// Parameter maps: the binding of a parameter block to one rollout of the command panel, and the user dialog
// procedure through which a plug-in adds what the automatic binding cannot do.
#include "maxtypes.h"
#include "maxheap.h"
#include "custcont.h"

class IParamBlock2;
class ParamBlockDesc2;
class ReferenceTarget;
class ParamMap2UserDlgProc;
class INode;
typedef short ParamID;
typedef short MapID;

// Messages the host delivers to user dialog procedures when a rollout opens and closes. The Windows
// stand-in may define them first; the values are the Windows API's.
#ifndef WM_INITDIALOG
#define WM_INITDIALOG 0x0110
#endif
#ifndef WM_DESTROY
#define WM_DESTROY 0x0002
#endif

// One open rollout bound to a parameter block.
class HOSTAPI IParamMap2 : public MaxHeapOperators {
 public:
  virtual ~IParamMap2() = default;
  virtual IParamBlock2* GetParamBlock() = 0;
  virtual HWND GetHWnd() = 0;
  virtual MapID GetMapID() = 0;
  virtual ParamBlockDesc2* GetDesc() = 0;
  virtual ParamMap2UserDlgProc* GetUserDlgProc() = 0;
  // Asks the rollout to show the block's current values again (all of them, or one parameter).
  virtual void Invalidate() = 0;
  virtual void Invalidate(ParamID id, int tabIndex = -1) = 0;
};

// A plug-in's procedure for one rollout. The host calls DlgProc with the rollout's messages and releases the
// procedure through DeleteThis when the rollout closes.
class HOSTAPI ParamMap2UserDlgProc : public MaxHeapOperators {
 public:
  virtual INT_PTR DlgProc(TimeValue t, IParamMap2* map, HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) = 0;
  virtual void DeleteThis() = 0;
  virtual void SetThing(ReferenceTarget* m) {}
  virtual void Update(TimeValue t) {}
  virtual void Update(TimeValue t, Interval& valid, IParamMap2* pmap) { Update(t); }
  virtual void SetParamBlock(IParamBlock2* pb) {}
  virtual ~ParamMap2UserDlgProc() = default;
};

// Where rollout windows come from. The default host builds each rollout from the class module's dialog
// template as a child panel of the host's command panel (a class without a module gets an empty panel),
// binds its controls to the block, and forwards every message of the window to the map's user procedure,
// at the core interface's current time. Tests may install their own.
class HOSTAPI IRolloutHost {
 public:
  virtual ~IRolloutHost() = default;
  virtual HWND CreateRollout(HINSTANCE hInst, int dlgTemplate, int titleId, IParamMap2* map) = 0;
  virtual void DestroyRollout(HWND hWnd) = 0;
  // The block's values changed: redraw the rollout's bound controls.
  virtual void RefreshRollout(HWND hWnd, IParamMap2* map) {}
  // The time that rollout messages are delivered at (the scene's current time).
  virtual TimeValue CurrentTime() { return 0; }
  // TRUE when the rollout's window delivers WM_INITDIALOG (while it is created) and WM_DESTROY (while it is
  // destroyed) to the user procedure itself; otherwise the descriptor delivers them around the calls above.
  virtual BOOL ForwardsMessages() { return FALSE; }
};
// Installs a rollout host (null restores the default one); returns the previous host, null when that was
// the default. The caller keeps ownership and must not install a new host while rollouts are open.
HOSTAPI IRolloutHost* SetRolloutHost(IRolloutHost* host);
HOSTAPI IRolloutHost* GetRolloutHost();

// --- Stand-in extensions: the viewport side of a pick button (TYPE_PICKNODEBUTTON) ---

// A person's click on a node in a viewport while a pick button waits for one: the parameter's validator
// decides; a refused node (or no pick mode) answers FALSE and the mode goes on; an accepted node is stored
// as one undo step named after the parameter, and the mode ends.
HOSTAPI BOOL StandInPickNode(INode* node);
// Escape, or a right click in a viewport: the pick mode ends without a pick.
HOSTAPI void StandInCancelPick();
// The host's prompt line: the pick button's prompt while it waits, else "".
HOSTAPI const char* StandInPrompt();
HOSTAPI BOOL StandInInPickMode();
