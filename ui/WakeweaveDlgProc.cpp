// The rollouts' own procedure: what the host's automatic binding of the parameter block cannot do.
#include "ui/WakeweaveDlgProc.h"

#include <cstring>

#include "bitmap.h"
#include "modifier/Wakeweave.h"
#include "plugin/Globals.h"
#include "plugin/ParamIds.h"
#include "plugin/resource.h"
#include "ui/AboutBox.h"
#include "ui/EventPicker.h"

namespace {

// What the "Effects" rollout needs of the path text: only whether it is empty.
constexpr int kPathProbeSize = 200;

void EnableControl(HWND rollout, int id, BOOL on) {
  if (HWND h = GetDlgItem(rollout, id)) EnableWindow(h, on);
}

// Spinners are enabled through the host's spinner interface, which is released again at once.
void EnableSpinner(HWND rollout, int id, BOOL on) {
  HWND h = GetDlgItem(rollout, id);
  if (!h) return;
  if (ISpinnerControl* spin = GetISpinner(h)) {
    spin->Enable(on);
    ReleaseISpinner(spin);
  }
}

IParamBlock2* BlockOf(Wakeweave* mod) { return mod ? mod->pblock : nullptr; }

}  // namespace

void RefreshParametersEnabling(Wakeweave* mod) {
  HWND hWnd = s_hRollout[map_main];
  IParamBlock2* pb = BlockOf(mod);
  if (!hWnd || !pb) return;
  const BOOL moving = pb->GetInt(pb_moving_or_still, 0) == 0;
  if (moving) pb->SetValue(pb_userange, 0, FALSE);
  const BOOL useRange = pb->GetInt(pb_userange, 0) != 0;
  EnableControl(hWnd, IDC_START_LABEL, useRange);
  EnableSpinner(hWnd, IDC_START_SPIN, useRange);
  EnableControl(hWnd, IDC_END_LABEL, useRange);
  EnableSpinner(hWnd, IDC_END_SPIN, useRange);
  EnableControl(hWnd, IDC_LAG_LABEL, moving);
  EnableSpinner(hWnd, IDC_OLD_FRAMES_SPIN, moving);
  EnableControl(hWnd, IDC_USE_RANGE, !moving);
}

void RefreshEffectsEnabling(Wakeweave* mod) {
  HWND hWnd = s_hRollout[map_effects];
  IParamBlock2* pb = BlockOf(mod);
  if (!hWnd || !pb) return;
  const BOOL texture = pb->GetInt(pb_apply_tex_b, 0) != 0;
  const BOOL fade = pb->GetInt(pb_apply_fade_b, 0) != 0;
  char path[kPathProbeSize] = "";
  GetDlgItemTextA(hWnd, IDC_TEXTURE_PATH, path, kPathProbeSize);
  EnableControl(hWnd, IDC_APPLY, fade || (texture && path[0] != '\0'));
  EnableControl(hWnd, IDC_TEXTURE_PATH, texture);
  EnableControl(hWnd, IDC_TEXTURE_NAME, texture);
  EnableControl(hWnd, IDC_VREPEAT_LABEL, texture);
  EnableControl(hWnd, IDC_BROWSE, texture);
  EnableSpinner(hWnd, IDC_VREPEAT_SPIN, texture);
  EnableControl(hWnd, IDC_MIDPOINT_LABEL, fade);
  EnableSpinner(hWnd, IDC_MIDPOINT_SPIN, fade);
}

INT_PTR WakeweaveDlgProc::DlgProc(TimeValue, IParamMap2*, HWND hWnd, UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      if (m_nMap >= 0 && m_nMap < 4) s_hRollout[m_nMap] = hWnd;
      if (m_nMap == map_main) RefreshParametersEnabling(m_pMod);
      if (m_nMap == map_effects) RefreshEffectsEnabling(m_pMod);
      // Setting the text notifies a change, which refreshes the "Effects" enabling once more.
      if (m_pMod && GetDlgItem(hWnd, IDC_TEXTURE_PATH))
        SetDlgItemTextA(hWnd, IDC_TEXTURE_PATH, m_pMod->m_szTexturePath);
      break;
    case WM_DESTROY:
      if (m_nMap >= 0 && m_nMap < 4) s_hRollout[m_nMap] = nullptr;
      // A field destroyed while it has the focus never hears that it lost it: give the host its shortcuts
      // back here, or they stay off after the panel closes.
      if (m_bShortcutsOff) {
        if (Interface* ip = GetCOREInterface()) ip->EnableAccelerators();
        m_bShortcutsOff = false;
      }
      if (m_pMod && GetDlgItem(hWnd, IDC_TEXTURE_PATH)) {
        char text[MAX_PATH] = "";
        GetDlgItemTextA(hWnd, IDC_TEXTURE_PATH, text, MAX_PATH);
        std::memcpy(m_pMod->m_szTexturePath, text, MAX_PATH);
      }
      break;
    case WM_COMMAND:
      command(hWnd, LOWORD(wParam), HIWORD(wParam));
      break;
    default:
      break;
  }
  return FALSE;
}

void WakeweaveDlgProc::command(HWND hWnd, int id, int notification) {
  switch (id) {
    case IDC_BROWSE:
      browseForTexture(hWnd);
      break;
    case IDC_ADD_EVENTS:
      if (m_pMod) AddParticleFlowEvents(m_pMod, hWnd);
      break;
    case IDC_MOVING:
    case IDC_ANCHORED:
    case IDC_USE_RANGE:
      RefreshParametersEnabling(m_pMod);
      break;
    case IDC_APPLY:
      if (m_pMod) applyEffects(hWnd);
      break;
    case IDC_APPLY_FADE:
    case IDC_APPLY_TEXTURE:
      RefreshEffectsEnabling(m_pMod);
      break;
    case IDC_TEXTURE_PATH:
      // Typing into the field must not trigger the host's keyboard shortcuts.
      if (Interface* ip = GetCOREInterface()) {
        if (notification == EN_SETFOCUS) {
          ip->DisableAccelerators();
          m_bShortcutsOff = true;
        }
        if (notification == EN_KILLFOCUS) {
          ip->EnableAccelerators();
          m_bShortcutsOff = false;
        }
      }
      RefreshEffectsEnabling(m_pMod);
      break;
    case IDC_REGENERATE:
      if (m_pMod && particleTrailsOn()) m_pMod->regenerateParticleTrails();
      break;
    case IDC_SNAPSHOT:
      if (m_pMod && particleTrailsOn()) m_pMod->snapshotParticlePaths();
      break;
    case IDC_ABOUT:
      ShowAboutBox();
      break;
    case IDC_HELP_COMMAND:
      ShowHelp(hWnd);
      break;
    default:
      break;
  }
}

BOOL WakeweaveDlgProc::particleTrailsOn() {
  IParamBlock2* pb = BlockOf(m_pMod);
  if (!pb) return FALSE;
  int on = FALSE;
  Interval whole = FOREVER;
  pb->GetValue(pb_particle_trails_b, 0, on, whole);
  return on != 0;
}

void WakeweaveDlgProc::browseForTexture(HWND hWnd) {
  BitmapInfo bi;
  if (!TheManager || !TheManager->SelectFileInputEx(&bi, hWnd, "Wakeweave")) return;
  const char* name = bi.Name();
  SetDlgItemTextA(hWnd, IDC_TEXTURE_PATH, name);
  // The ANSI code page of the stand-in is single-byte, so the last backslash byte is the last backslash.
  if (const char* slash = std::strrchr(name, '\\')) SetDlgItemTextA(hWnd, IDC_TEXTURE_NAME, slash + 1);
}

void WakeweaveDlgProc::SetThing(ReferenceTarget* m) { m_pMod = dynamic_cast<Wakeweave*>(m); }

void WakeweaveDlgProc::DeleteThis() {
  DebugPrint("WakeweaveDlgProc::DeleteThis() \n");
  delete this;
}
