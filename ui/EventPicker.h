#pragma once
// The Particle Flow event picker: offers the event nodes of the chosen particle system and appends the ones
// the person selects to "pfEventList", as one undo step.
#include <max.h>
#include <windows.h>

class Wakeweave;

// Runs the picker for mod, hParent (the rollout) owning its dialog. Nothing happens, silently, without a
// Particle Flow system that has events.
void AddParticleFlowEvents(Wakeweave* mod, HWND hParent);
INT_PTR CALLBACK EventPickerDlgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Collects, in the host's order, the nodes among the dependents it is shown.
class MyEnumProc : public DependentEnumProc {
 public:
  int proc(ReferenceMaker* rmaker) override;
  Tab<INode*> Nodes;
};
