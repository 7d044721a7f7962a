#pragma once
// The modifier's panel opened on a shape node, as the modify panel opens it, with the person's actions
// delivered as the host's message loop would deliver them.
#include <custcont.h>
#include <hold.h>

#include <string>

#include "panel_agent.h"
#include "plugin/resource.h"
#include "effects/Effects.h"
#include "plugin_fixture.h"
#include "ui/WakeweaveDlgProc.h"

class PanelTest : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    theHold.ResetUndo();
    mod = NewModifier();
    node = AddNode("Wake Shape", Circle(10.0f), mod);
  }
  void TearDown() override {
    Close();
    theHold.ResetUndo();
    SceneTest::TearDown();
  }

  static IObjParam* EditIP() { return dynamic_cast<IObjParam*>(ip()); }
  void Open() {
    mod->BeginEditParams(EditIP(), 0, nullptr);
    open = true;
  }
  void Close() {
    if (open) mod->EndEditParams(EditIP(), 0, nullptr);
    open = false;
  }
  // Delivers what the person's actions queued, as the host's loop does between them.
  static void Pump() { Win32DispatchPendingMessages(); }

  static HWND Rollout(int map) { return s_hRollout[map]; }
  static bool Enabled(int map, int id) { return IsWindowEnabled(GetDlgItem(Rollout(map), id)) != FALSE; }
  static bool SpinnerEnabled(int map, int id) {
    ISpinnerControl* spin = GetISpinner(GetDlgItem(Rollout(map), id));
    if (!spin) return false;
    const bool on = spin->IsEnabled() != FALSE;
    ReleaseISpinner(spin);
    return on;
  }
  static bool Checked(int map, int id) { return IsDlgButtonChecked(Rollout(map), id) == BST_CHECKED; }
  static void Press(int map, int id) {
    ASSERT_TRUE(Win32PressButton(Rollout(map), id) || Win32ClickControl(Rollout(map), id)) << "control " << id;
    Pump();
  }
  // Types into a numeric field and commits with Enter.
  static void Enter(int map, int id, const char* text) {
    ASSERT_TRUE(Win32TypeText(Rollout(map), id, text));
    ASSERT_TRUE(Win32PressKeyIn(Rollout(map), id, VK_RETURN));
    Pump();
  }
  static void Type(int map, int id, const char* text) {
    ASSERT_TRUE(Win32TypeText(Rollout(map), id, text));
    Pump();
  }
  static std::string Text(int map, int id) { return WindowText(GetDlgItem(Rollout(map), id)); }

  Wakeweave* mod = nullptr;
  INode* node = nullptr;
  bool open = false;
};
