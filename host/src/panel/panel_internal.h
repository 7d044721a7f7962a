#pragma once
// The pieces of the command panel shared by the descriptor (which opens rollouts), the rollout host (which
// builds their windows), the binding of controls to the block, and the pick mode.
#include "iparamb2.h"

#include <string>

// One open rollout of a descriptor, bound to a block.
class ParamMap2Impl : public IParamMap2 {
 public:
  ParamMap2Impl(ParamBlockDesc2* desc, int rolloutIndex, IParamBlock2* pb, ParamMap2UserDlgProc** proc)
      : desc_(desc), index_(rolloutIndex), pb_(pb), proc_(proc) {}
  IParamBlock2* GetParamBlock() override { return pb_; }
  HWND GetHWnd() override { return hWnd_; }
  MapID GetMapID() override;
  ParamBlockDesc2* GetDesc() override { return desc_; }
  ParamMap2UserDlgProc* GetUserDlgProc() override { return *proc_; }
  void Invalidate() override;
  void Invalidate(ParamID, int) override { Invalidate(); }

  // Set by the rollout host as soon as the window exists, so that WM_INITDIALOG finds it.
  void SetHWnd(HWND h) { hWnd_ = h; }
  void SetParamBlock(IParamBlock2* pb) { pb_ = pb; }

 private:
  ParamBlockDesc2* desc_;
  int index_;
  IParamBlock2* pb_;
  ParamMap2UserDlgProc** proc_;  // the descriptor's current procedure for this rollout
  HWND hWnd_ = nullptr;
};

namespace panel {

// The host's own rollout host, which builds windows (rollouthost.cpp).
IRolloutHost* DefaultRolloutHost();

// Sets the rollout's bound controls up (spinner links, scales, button types), then shows the values.
void BindControls(IParamMap2* map, HWND rollout);
// Shows the block's current values in the rollout's bound controls.
void ShowValues(IParamMap2* map, HWND rollout);
// A person's change to a bound control, stored in the block as one undo step before the user procedure
// hears of the same message.
void ControlMessage(IParamMap2* map, HWND rollout, UINT msg, WPARAM wParam, LPARAM lParam);

// A float as fields show it: the fewest decimals that read back as the same float.
std::string FloatText(float v);

// String id of the descriptor's module ("" when it has none).
std::string ModuleString(ParamBlockDesc2* desc, int id);
// What the undo step of a parameter's change is called: its local name, else its internal name.
std::string UndoName(ParamBlockDesc2* desc, const ParamDef& def);

// Pick mode of a pick button: waits for a node picked in a viewport (StandInPickNode).
void BeginPick(IParamMap2* map, ParamID id, HWND button);
bool Picking(IParamMap2* map, ParamID id);
// Ends the pick mode when it belongs to map (a closing rollout), or any when map is null.
void EndPick(IParamMap2* map);

}  // namespace panel
