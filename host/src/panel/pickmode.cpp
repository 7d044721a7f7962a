// The pick mode of a pick button: the button stays pressed and the prompt line shows the parameter's
// prompt until a node the parameter's validator accepts is picked in a viewport, or the mode is cancelled.
#include "panel_internal.h"
#include "custcont.h"
#include "hold.h"
#include "inode.h"

#include <string>

namespace {

struct PickMode {
  IParamMap2* map = nullptr;  // null: no pick mode
  ParamID id = -1;
  HWND button = nullptr;
  std::string prompt;
};
PickMode g_pick;

void ShowPressed(HWND button, bool on) {
  if (!button || !IsWindow(button)) return;
  if (ICustButton* b = GetICustButton(button)) {
    b->SetCheck(on);
    ReleaseICustButton(b);
  } else {
    SendMessageA(button, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

}  // namespace

void panel::BeginPick(IParamMap2* map, ParamID id, HWND button) {
  EndPick(nullptr);  // one pick mode at a time
  ParamBlockDesc2* desc = map->GetDesc();
  g_pick.map = map;
  g_pick.id = id;
  g_pick.button = button;
  g_pick.prompt = ModuleString(desc, desc->IDtoIndex(id) >= 0 ? desc->GetParamDef(id).prompt : 0);
  ShowPressed(button, true);
}

bool panel::Picking(IParamMap2* map, ParamID id) { return g_pick.map && g_pick.map == map && g_pick.id == id; }

void panel::EndPick(IParamMap2* map) {
  if (!g_pick.map || (map && g_pick.map != map)) return;
  HWND button = g_pick.button;
  g_pick = PickMode();
  ShowPressed(button, false);
}

BOOL StandInPickNode(INode* node) {
  IParamMap2* map = g_pick.map;
  if (!map || !node) return FALSE;
  IParamBlock2* pb = map->GetParamBlock();
  ParamBlockDesc2* desc = map->GetDesc();
  if (!pb || desc->IDtoIndex(g_pick.id) < 0) return FALSE;
  const ParamDef& d = desc->GetParamDef(g_pick.id);
  // The validator filters what the cursor may pick; a refused node leaves the mode waiting.
  PB2Value v;
  v.r = node;
  if (d.validator && !d.validator->Validate(v, pb->GetOwner(), d.ID, 0)) return FALSE;
  theHold.Begin();
  if (!pb->SetValue(d.ID, GetRolloutHost()->CurrentTime(), node)) {
    theHold.Cancel();
    return FALSE;
  }
  theHold.Accept(panel::UndoName(desc, d).c_str());
  panel::EndPick(map);
  return TRUE;
}

void StandInCancelPick() { panel::EndPick(nullptr); }

const char* StandInPrompt() { return g_pick.map ? g_pick.prompt.c_str() : ""; }

BOOL StandInInPickMode() { return g_pick.map != nullptr; }
