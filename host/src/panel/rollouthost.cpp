// The host's rollout host: each rollout is a modeless child panel of the command panel, built from the
// class module's dialog template; its dialog procedure binds the controls to the block and forwards every
// message to the user procedure that is current when the message arrives.
#include "panel_internal.h"
#include "custcont.h"
#include "debug.h"
#include "iface.h"
#include "plugapi.h"

namespace {

constexpr int kEmptyPanel = 1;

// A class without a module has no templates: its rollouts are empty panels from the host's own image.
const Win32DialogResource kHostDialogs[] = {
    {kEmptyPanel, "", WS_CHILD | WS_VISIBLE, 108, 20, nullptr, 0},
};
const Win32ResourceImage kHostImage = {nullptr, 0, kHostDialogs, 1, nullptr, 0};

HINSTANCE HostModule() {
  static HINSTANCE module = Win32RegisterModule("host panel", &kHostImage);
  return module;
}

TimeValue Now() {
  Interface* ip = GetCOREInterface();
  return ip ? ip->GetTime() : 0;
}

IParamMap2* MapOf(HWND rollout) { return reinterpret_cast<IParamMap2*>(GetWindowLongPtrA(rollout, GWLP_USERDATA)); }

INT_PTR CALLBACK RolloutProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  IParamMap2* map = nullptr;
  if (msg == WM_INITDIALOG) {
    map = reinterpret_cast<IParamMap2*>(lParam);
    if (!map) return FALSE;
    // The title first, while no map is attached: the user procedure does not hear of it.
    const ParamRolloutDef* def = map->GetDesc()->GetRolloutDef(map->GetMapID());
    if (def && def->title) SetWindowTextA(hWnd, panel::ModuleString(map->GetDesc(), def->title).c_str());
    SetWindowLongPtrA(hWnd, GWLP_USERDATA, LONG_PTR(map));
    static_cast<ParamMap2Impl*>(map)->SetHWnd(hWnd);
    panel::BindControls(map, hWnd);
  } else {
    map = MapOf(hWnd);
    if (!map) return FALSE;
  }
  // The binding acts first, so that the user procedure reads the new value from the block.
  panel::ControlMessage(map, hWnd, msg, wParam, lParam);
  INT_PTR result = FALSE;
  if (ParamMap2UserDlgProc* proc = map->GetUserDlgProc()) result = proc->DlgProc(Now(), map, hWnd, msg, wParam, lParam);
  if (msg == WM_DESTROY) {
    panel::EndPick(map);
    SetWindowLongPtrA(hWnd, GWLP_USERDATA, 0);
  }
  return result;
}

class WindowRolloutHost : public IRolloutHost {
 public:
  HWND CreateRollout(HINSTANCE hInst, int dlgTemplate, int titleId, IParamMap2* map) override {
    InitCustomControls(hInst);
    HWND panel = GetCOREInterface()->GetMAXHWnd();
    HINSTANCE source = hInst ? hInst : HostModule();
    int id = hInst ? dlgTemplate : kEmptyPanel;
    HWND h = CreateDialogParamA(source, MAKEINTRESOURCE(id), panel, RolloutProc, LPARAM(map));
    if (!h) {
      DebugPrint("rollout template %d could not be built (error %u)\n", dlgTemplate, unsigned(GetLastError()));
      assert1(__LINE__, __FILE__, "the rollout's template is in the class's module");
    }
    return h;
  }
  void DestroyRollout(HWND hWnd) override {
    if (hWnd) DestroyWindow(hWnd);
  }
  void RefreshRollout(HWND hWnd, IParamMap2* map) override {
    if (MapOf(hWnd) == map) panel::ShowValues(map, hWnd);
  }
  TimeValue CurrentTime() override { return Now(); }
  BOOL ForwardsMessages() override { return TRUE; }
};

WindowRolloutHost g_host;

}  // namespace

IRolloutHost* panel::DefaultRolloutHost() { return &g_host; }
