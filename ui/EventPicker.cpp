// The event picker's search, its dialog and the one undo step that appends the choice.
#include "ui/EventPicker.h"

#include <vector>

#include "hold.h"
#include "modifier/Wakeweave.h"
#include "particles.h"
#include "plugin/Globals.h"
#include "plugin/ParamIds.h"
#include "plugin/resource.h"

namespace {

// Shown for a candidate without a name: its entry must still stand in its place.
const char kUnnamedEvent[] = "(unnamed event)";

void CollectEvents(Wakeweave* mod, TimeValue t) {
  INode* node = mod->pblock ? mod->pblock->GetINode(pb_particle_node, t) : nullptr;
  if (!node) return;
  Object* obj = node->EvalWorldState(t).obj;
  if (!obj || !obj->IsParticleSystem() || !obj->GetInterface(PARTICLEOBJECTEXT_INTERFACE)) return;
  MyEnumProc dependents;
  obj->DoEnumDependents(&dependents);
  for (int i = 0; i < dependents.Nodes.Count(); ++i) {
    INode* candidate = dependents.Nodes[i];
    Object* ref = candidate->GetObjectRef();
    if (ref && ref->GetInterface(PARTICLEGROUP_INTERFACE)) mod->m_eventCandidates.Append(1, &candidate);
  }
}

}  // namespace

int MyEnumProc::proc(ReferenceMaker* rmaker) {
  if (rmaker->SuperClassID() == BASENODE_CLASS_ID) {
    INode* node = static_cast<INode*>(rmaker);
    Nodes.Append(1, &node);
  }
  return DEP_ENUM_CONTINUE;
}

void AddParticleFlowEvents(Wakeweave* mod, HWND hParent) {
  if (!mod) return;
  const TimeValue t = GetCOREInterface()->GetTime();
  mod->m_eventCandidates.ZeroCount();
  mod->m_eventChoices.ZeroCount();
  CollectEvents(mod, t);
  if (mod->m_eventCandidates.Count() == 0) return;
  const INT_PTR result = DialogBoxParamA(hInstance, MAKEINTRESOURCE(IDD_EVENT_PICKER), hParent, EventPickerDlgProc,
                                         reinterpret_cast<LPARAM>(mod));
  if (result != 1 || mod->m_eventChoices.Count() == 0 || !mod->pblock) return;
  theHold.Begin();
  for (int i = 0; i < mod->m_eventChoices.Count(); ++i) {
    INode* event = mod->m_eventCandidates[mod->m_eventChoices[i]];
    mod->pblock->Append(pb_pf_event_list, 1, &event);
  }
  theHold.Accept(GetString(IDS_ADD_EVENTS));
  GetWakeweaveParamBlockDesc()->InvalidateUI();
}

INT_PTR CALLBACK EventPickerDlgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* mod = reinterpret_cast<Wakeweave*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
  switch (msg) {
    case WM_INITDIALOG: {
      mod = reinterpret_cast<Wakeweave*>(lParam);
      SetWindowLongPtrA(hWnd, GWLP_USERDATA, lParam);
      if (!mod) return TRUE;
      for (int i = 0; i < mod->m_eventCandidates.Count(); ++i) {
        const char* name = mod->m_eventCandidates[i]->GetName();
        SendDlgItemMessageA(hWnd, IDC_EVENT_CANDIDATES, LB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(name && *name ? name : kUnnamedEvent));
      }
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        const LRESULT n = SendDlgItemMessageA(hWnd, IDC_EVENT_CANDIDATES, LB_GETSELCOUNT, 0, 0);
        std::vector<int> selected(n > 0 ? size_t(n) : 0);
        if (!selected.empty())
          SendDlgItemMessageA(hWnd, IDC_EVENT_CANDIDATES, LB_GETSELITEMS, WPARAM(selected.size()),
                              reinterpret_cast<LPARAM>(selected.data()));
        if (mod) {
          mod->m_eventChoices.ZeroCount();
          // Entry k stands for candidate k; anything else the list answered is not a candidate.
          for (int k : selected)
            if (k >= 0 && k < mod->m_eventCandidates.Count()) mod->m_eventChoices.Append(1, &k);
        }
        EndDialog(hWnd, 1);
      } else if (LOWORD(wParam) == IDCANCEL) {
        if (mod) mod->m_eventCandidates.ZeroCount();
        EndDialog(hWnd, 0);
      }
      return TRUE;
    case WM_CLOSE:
      if (mod) mod->m_eventCandidates.ZeroCount();
      EndDialog(hWnd, 0);
      return TRUE;
    default:
      return FALSE;
  }
}
