// The binding of a rollout's controls to its block, both ways: values shown when the rollout opens and
// whenever the block changes; a person's change stored at the current time as one undo step named after
// the parameter.
#include "panel_internal.h"
#include "../params/paramkind.h"
#include "custcont.h"
#include "debug.h"
#include "hold.h"
#include "inode.h"
#include "plugapi.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using paramkind::Kind;
using paramkind::KindOf;

namespace {

TimeValue Now() { return GetRolloutHost()->CurrentTime(); }

// The parameters this rollout shows.
std::vector<ParamDef*> BoundParams(IParamMap2* map) {
  std::vector<ParamDef*> out;
  ParamBlockDesc2* desc = map->GetDesc();
  for (ParamDef& d : desc->paramdefs)
    if (d.has_ui && d.map_id == map->GetMapID()) out.push_back(&d);
  return out;
}

// A control the description names (0: none).
HWND Ctl(HWND rollout, int id) { return id ? GetDlgItem(rollout, id) : nullptr; }

std::string NodeName(INode* n) { return n ? (n->GetName() ? n->GetName() : "") : "None"; }

// A spinner's limits and value; one pair of controls per component of a point.
void ShowSpinner(IParamBlock2* pb, const ParamDef& d, HWND rollout, TimeValue t) {
  const Kind kind = KindOf(d.type);
  for (int k = 0; k + 1 < d.ctrl_count(); k += 2) {
    ISpinnerControl* spin = GetISpinner(Ctl(rollout, d.ctrl_IDs[size_t(k) + 1]));
    if (!spin) continue;
    Interval valid = FOREVER;
    if (kind == Kind::Int) {
      int v = 0;
      if (d.has_range) spin->SetLimits(d.range_low.i, d.range_high.i, FALSE);
      pb->GetValue(d.ID, t, v, valid);
      spin->SetValue(v, FALSE);
    } else {
      float v = 0.0f;
      if (kind == Kind::Point) {
        Point3 p;
        pb->GetValue(d.ID, t, p, valid);
        v = p[k / 2];
      } else {
        pb->GetValue(d.ID, t, v, valid);
      }
      if (d.has_range) spin->SetLimits(d.range_low.f, d.range_high.f, FALSE);
      spin->SetValue(v, FALSE);
    }
    ReleaseISpinner(spin);
  }
}

void SetButtonCheck(HWND rollout, int id, bool on) {
  HWND h = Ctl(rollout, id);
  if (!h) return;
  if (ICustButton* b = GetICustButton(h)) {
    b->SetCheck(on);
    ReleaseICustButton(b);
  } else {
    CheckDlgButton(rollout, id, on ? BST_CHECKED : BST_UNCHECKED);
  }
}

bool ButtonChecked(HWND rollout, int id) {
  HWND h = Ctl(rollout, id);
  if (ICustButton* b = GetICustButton(h)) {
    bool on = b->IsChecked();
    ReleaseICustButton(b);
    return on;
  }
  return IsDlgButtonChecked(rollout, id) == BST_CHECKED;
}

std::string ListText(HWND list, int i) {
  LRESULT n = SendMessageA(list, LB_GETTEXTLEN, WPARAM(i), 0);
  if (n < 0) return std::string();
  std::string s(size_t(n) + 1, '\0');
  SendMessageA(list, LB_GETTEXT, WPARAM(i), LPARAM(s.data()));
  s.resize(size_t(n));
  return s;
}

// One entry per node of the table; rebuilt only when the names differ, so a refresh keeps the selection.
void ShowNodeList(IParamBlock2* pb, const ParamDef& d, HWND rollout, TimeValue t) {
  HWND list = Ctl(rollout, d.ctrl_IDs.empty() ? 0 : d.ctrl_IDs[0]);
  if (!list) return;
  std::vector<std::string> names;
  for (int i = 0, n = pb->Count(d.ID); i < n; ++i) {
    INode* node = nullptr;
    Interval valid = FOREVER;
    pb->GetValue(d.ID, t, node, valid, i);
    names.push_back(node && node->GetName() ? node->GetName() : "");
  }
  bool same = SendMessageA(list, LB_GETCOUNT, 0, 0) == LRESULT(names.size());
  for (size_t i = 0; same && i < names.size(); ++i) same = ListText(list, int(i)) == names[i];
  if (same) return;
  SendMessageA(list, LB_RESETCONTENT, 0, 0);
  for (const std::string& s : names) SendMessageA(list, LB_ADDSTRING, 0, LPARAM(s.c_str()));
}

void ShowParam(IParamBlock2* pb, const ParamDef& d, HWND rollout, TimeValue t) {
  if (d.ctrl_IDs.empty()) return;
  const int first = d.ctrl_IDs[0];
  switch (d.ctrl_type) {
    case TYPE_SPINNER:
      ShowSpinner(pb, d, rollout, t);
      break;
    case TYPE_SINGLECHEKBOX:
    case TYPE_CHECKBUTTON:
      SetButtonCheck(rollout, first, pb->GetInt(d.ID, t) != 0);
      break;
    case TYPE_RADIO: {
      int v = pb->GetInt(d.ID, t);
      for (int k = 0; k < d.ctrl_count(); ++k) SetButtonCheck(rollout, d.ctrl_IDs[size_t(k)], k == v);
      break;
    }
    case TYPE_PICKNODEBUTTON:
      if (HWND h = Ctl(rollout, first)) SetWindowTextA(h, NodeName(pb->GetINode(d.ID, t)).c_str());
      break;
    case TYPE_NODELISTBOX:
      ShowNodeList(pb, d, rollout, t);
      break;
    case TYPE_EDITBOX: {
      HWND h = Ctl(rollout, first);
      if (!h) break;
      const Kind kind = KindOf(d.type);
      std::string text = kind == Kind::String  ? std::string(pb->GetStr(d.ID, t) ? pb->GetStr(d.ID, t) : "")
                         : kind == Kind::Int   ? std::to_string(pb->GetInt(d.ID, t))
                         : kind == Kind::Float ? panel::FloatText(pb->GetFloat(d.ID, t))
                                               : std::string();
      SetWindowTextA(h, text.c_str());
      break;
    }
    default:
      break;  // colour swatches, map and material buttons: nothing of theirs is shown by the stand-in
  }
}

// Runs one change of the person's as one undo step named after the parameter; a refused change leaves no
// step and the controls show the block's value again.
template <class F>
void Store(IParamMap2* map, HWND rollout, const ParamDef& d, F change) {
  theHold.Begin();
  bool ok = change();
  if (ok) {
    theHold.Accept(panel::UndoName(map->GetDesc(), d).c_str());
  } else {
    theHold.Cancel();
    panel::ShowValues(map, rollout);
  }
}

void SpinnerChanged(IParamMap2* map, HWND rollout, const ParamDef& d, int pair) {
  IParamBlock2* pb = map->GetParamBlock();
  ISpinnerControl* spin = GetISpinner(Ctl(rollout, d.ctrl_IDs[size_t(pair) * 2 + 1]));
  if (!spin) return;
  const TimeValue t = Now();
  const Kind kind = KindOf(d.type);
  if (kind == Kind::Int) {
    int v = spin->GetIVal();
    if (d.has_range) v = std::clamp(v, d.range_low.i, d.range_high.i);
    Store(map, rollout, d, [&] { return pb->SetValue(d.ID, t, v) != FALSE; });
  } else {
    float v = spin->GetFVal();
    if (d.has_range) v = std::clamp(v, d.range_low.f, d.range_high.f);
    if (kind == Kind::Point) {
      Point3 p = pb->GetPoint3(d.ID, t);
      p[pair] = v;
      Store(map, rollout, d, [&] { return pb->SetValue(d.ID, t, p) != FALSE; });
    } else {
      Store(map, rollout, d, [&] { return pb->SetValue(d.ID, t, v) != FALSE; });
    }
  }
  ReleaseISpinner(spin);
}

void EditEntered(IParamMap2* map, HWND rollout, const ParamDef& d, HWND edit) {
  IParamBlock2* pb = map->GetParamBlock();
  ICustEdit* e = GetICustEdit(edit);
  if (!e) return;
  const TimeValue t = Now();
  TSTR text;
  e->GetText(text);
  BOOL valid = TRUE;
  switch (KindOf(d.type)) {
    case Kind::String:
      Store(map, rollout, d, [&] { return pb->SetValue(d.ID, t, text.data()) != FALSE; });
      break;
    case Kind::Int: {
      int v = e->GetInt(&valid);
      if (valid && d.has_range) v = std::clamp(v, d.range_low.i, d.range_high.i);
      Store(map, rollout, d, [&] { return valid && pb->SetValue(d.ID, t, v); });
      break;
    }
    case Kind::Float: {
      float v = e->GetFloat(&valid);
      if (valid && d.has_range) v = std::clamp(v, d.range_low.f, d.range_high.f);
      Store(map, rollout, d, [&] { return valid && pb->SetValue(d.ID, t, v); });
      break;
    }
    default:
      break;
  }
  ReleaseICustEdit(e);
}

// Remove: the selected entries of the list leave the table, as one step.
void RemoveSelected(IParamMap2* map, HWND rollout, const ParamDef& d) {
  HWND list = Ctl(rollout, d.ctrl_IDs[0]);
  if (!list) return;
  std::vector<int> selected;
  LRESULT cur = SendMessageA(list, LB_GETCURSEL, 0, 0);
  if (cur != LB_ERR) {
    selected.push_back(int(cur));
  } else {
    LRESULT n = SendMessageA(list, LB_GETSELCOUNT, 0, 0);
    if (n > 0) {
      selected.resize(size_t(n));
      n = SendMessageA(list, LB_GETSELITEMS, WPARAM(n), LPARAM(selected.data()));
      selected.resize(size_t(std::max<LRESULT>(n, 0)));
    }
  }
  if (selected.empty()) return;
  IParamBlock2* pb = map->GetParamBlock();
  std::sort(selected.rbegin(), selected.rend());  // from the back, so the indices stay right
  Store(map, rollout, d, [&] {
    for (int i : selected)
      if (i < pb->Count(d.ID)) pb->Delete(d.ID, i, 1);
    return true;
  });
}

void Command(IParamMap2* map, HWND rollout, int id, int code) {
  if (code != BN_CLICKED) return;
  IParamBlock2* pb = map->GetParamBlock();
  const TimeValue t = Now();
  for (ParamDef* dp : BoundParams(map)) {
    const ParamDef& d = *dp;
    auto& ids = d.ctrl_IDs;
    switch (d.ctrl_type) {
      case TYPE_SINGLECHEKBOX:
      case TYPE_CHECKBUTTON:
        if (ids[0] == id) {
          int on = ButtonChecked(rollout, id) ? 1 : 0;
          Store(map, rollout, d, [&] { return pb->SetValue(d.ID, t, on) != FALSE; });
          return;
        }
        break;
      case TYPE_RADIO:
        for (int k = 0; k < d.ctrl_count(); ++k)
          if (ids[size_t(k)] == id) {
            Store(map, rollout, d, [&] { return pb->SetValue(d.ID, t, k) != FALSE; });
            return;
          }
        break;
      case TYPE_PICKNODEBUTTON:
        if (ids[0] == id) {
          // A second click on a waiting button takes the mode back.
          if (panel::Picking(map, d.ID))
            panel::EndPick(map);
          else
            panel::BeginPick(map, d.ID, Ctl(rollout, id));
          return;
        }
        break;
      case TYPE_NODELISTBOX:
        if (ids.size() > 3 && ids[3] != 0 && ids[3] == id) {
          RemoveSelected(map, rollout, d);
          return;
        }
        break;
      default:
        break;
    }
  }
}

}  // namespace

std::string panel::ModuleString(ParamBlockDesc2* desc, int id) {
  HINSTANCE module = desc && desc->cd ? desc->cd->HInstance() : nullptr;
  if (!module || !id) return std::string();
  const char* text = nullptr;
  int n = LoadStringA(module, UINT(id), reinterpret_cast<LPSTR>(&text), 0);
  return n > 0 && text ? std::string(text, size_t(n)) : std::string();
}

std::string panel::UndoName(ParamBlockDesc2* desc, const ParamDef& def) {
  std::string name = ModuleString(desc, def.local_name);
  return name.empty() ? std::string(def.int_name.data()) : name;
}

void panel::BindControls(IParamMap2* map, HWND rollout) {
  const bool fromModule = map->GetDesc()->cd && map->GetDesc()->cd->HInstance();
  for (ParamDef* d : BoundParams(map)) {
    // A module's template that lacks a bound control is the description's mistake: say so.
    for (int id : d->ctrl_IDs)
      if (id && fromModule && !GetDlgItem(rollout, id))
        DebugPrint("rollout %d has no control %d for parameter %s\n", int(map->GetMapID()), id, d->int_name.data());
    switch (d->ctrl_type) {
      case TYPE_SPINNER:
        for (int k = 0; k + 1 < d->ctrl_count(); k += 2) {
          ISpinnerControl* spin = GetISpinner(Ctl(rollout, d->ctrl_IDs[size_t(k) + 1]));
          if (!spin) continue;
          HWND edit = Ctl(rollout, d->ctrl_IDs[size_t(k)]);
          if (ICustEdit* e = GetICustEdit(edit)) {
            ReleaseICustEdit(e);
            spin->LinkToEdit(edit, EditSpinnerType(d->edit_type));
          }
          spin->SetScale(d->scale);
          ReleaseISpinner(spin);
        }
        break;
      case TYPE_CHECKBUTTON:
      case TYPE_PICKNODEBUTTON:
        if (ICustButton* b = GetICustButton(Ctl(rollout, d->ctrl_IDs[0]))) {
          b->SetType(CBT_CHECK);
          ReleaseICustButton(b);
        }
        break;
      default:
        break;
    }
  }
  ShowValues(map, rollout);
}

void panel::ShowValues(IParamMap2* map, HWND rollout) {
  IParamBlock2* pb = map->GetParamBlock();
  if (!pb || !IsWindow(rollout)) return;
  const TimeValue t = Now();
  for (ParamDef* d : BoundParams(map)) ShowParam(pb, *d, rollout, t);
}

void panel::ControlMessage(IParamMap2* map, HWND rollout, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!map->GetParamBlock()) return;
  switch (msg) {
    case WM_COMMAND:
      Command(map, rollout, LOWORD(wParam), HIWORD(wParam));
      break;
    case CC_SPINNER_CHANGE: {
      const int id = LOWORD(wParam);
      for (ParamDef* d : BoundParams(map))
        if (d->ctrl_type == TYPE_SPINNER)
          for (int k = 1; k < d->ctrl_count(); k += 2)
            if (d->ctrl_IDs[size_t(k)] == id) return SpinnerChanged(map, rollout, *d, k / 2);
      break;
    }
    case WM_CUSTEDIT_ENTER: {
      const int id = int(wParam);
      for (ParamDef* d : BoundParams(map))
        if (d->ctrl_type == TYPE_EDITBOX && d->ctrl_IDs[0] == id)
          return EditEntered(map, rollout, *d, reinterpret_cast<HWND>(lParam));
      break;
    }
    default:
      break;
  }
}
