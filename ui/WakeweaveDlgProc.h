#pragma once
// The procedure of one rollout of the modifier panel: the enabling rules, the texture path that outlives the
// "Effects" rollout, and the commands behind the buttons the parameter map does not handle itself.
#include <max.h>
#include <windows.h>

class Wakeweave;

class WakeweaveDlgProc : public ParamMap2UserDlgProc {
 public:
  WakeweaveDlgProc(Wakeweave* mod, int map) : m_pMod(mod), m_nMap(map) {}

  // Always FALSE: the parameter map handles every message as well.
  INT_PTR DlgProc(TimeValue t, IParamMap2* map, HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
  void DeleteThis() override;
  // Another modifier of this class takes over the open rollouts; anything else leaves none.
  void SetThing(ReferenceTarget* m) override;

  // Writes the chosen material effects into the material of the modifier's node; hWnd is the "Effects"
  // rollout, owner of every message box and holder of the path field. 1 when an effect was applied.
  int applyEffects(HWND hWnd);

  Wakeweave* m_pMod;
  int m_nMap;

 private:
  // The host's shortcuts are off because the texture path field has the focus.
  bool m_bShortcutsOff = false;

  void command(HWND hWnd, int id, int notification);
  void browseForTexture(HWND hWnd);
  BOOL particleTrailsOn();
};

// Enables the "Parameters" rollout's controls for the trail kind (a moving trail never keeps a range).
void RefreshParametersEnabling(Wakeweave* mod);
// Enables the "Effects" rollout's controls for the chosen effects and the texture path.
void RefreshEffectsEnabling(Wakeweave* mod);
