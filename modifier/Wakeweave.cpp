// The modifier object: identity, references, cloning, saving and the host's questions.
#include "modifier/Wakeweave.h"

#include <new>

#include "ui/WakeweaveDlgProc.h"

#include "plugin/Globals.h"
#include "plugin/ParamIds.h"
#include "plugin/WakeweaveClassDesc.h"
#include "plugin/resource.h"
#include "recalc/ScopeLock.h"

// Reference message that the modifier stops without acting on it.
#define REFMSG_STOPPED_BY_WAKEWEAVE 0x162

Wakeweave::Wakeweave() : pblock(nullptr) {
  InitializeCriticalSection(&m_lock);
  m_bTrailRebuild = 0;
  m_szTexturePath[0] = 0;
  GetWakeweaveDesc()->MakeAutoParamBlocks(this);
}

Wakeweave::~Wakeweave() {
  DeleteAllRefsFromMe();
  DeleteCriticalSection(&m_lock);
}

void Wakeweave::GetClassName(TSTR& s) { s = GetString(IDS_CLASS_NAME); }
Class_ID Wakeweave::ClassID() { return WAKEWEAVE_CLASS_ID; }
TSTR Wakeweave::SubAnimName(int) { return TSTR(GetString(IDS_PARAMS)); }
const char* Wakeweave::GetObjectName() { return GetString(IDS_CLASS_NAME); }

IParamBlock2* Wakeweave::GetParamBlockByID(short id) { return (pblock && pblock->ID() == id) ? pblock : nullptr; }

BaseInterface* Wakeweave::GetInterface(Interface_ID id) {
  if (id == WW_INTERFACE_ID) return static_cast<WWInterface*>(this);
  if (id == WW_COMMANDS_ID) return static_cast<WWCommands*>(this);
  return Modifier::GetInterface(id);
}

void Wakeweave::regenerate_particle_trails() { regenerateParticleTrails(); }

RefTargetHandle Wakeweave::GetReference(int) { return pblock; }
void Wakeweave::SetReference(int, RefTargetHandle rtarg) { pblock = static_cast<IParamBlock2*>(rtarg); }

void Wakeweave::BeginEditParams(IObjParam* ip, ULONG flags, Animatable* prev) {
  s_ip = ip;
  GetWakeweaveDesc()->BeginEditParams(ip, this, flags, prev);
  for (HWND& h : s_hRollout) h = nullptr;
  // Installing a procedure on an open rollout delivers its WM_INITDIALOG, so it learns its window.
  ParamBlockDesc2* pbd = GetWakeweaveParamBlockDesc();
  for (int map = 0; map < 4; ++map) pbd->SetUserDlgProc(MapID(map), new (std::nothrow) WakeweaveDlgProc(this, map));
}

void Wakeweave::EndEditParams(IObjParam* ip, ULONG flags, Animatable* next) {
  GetWakeweaveDesc()->EndEditParams(ip, this, flags, next);
  s_ip = nullptr;
}

IOResult Wakeweave::Save(ISave* isave) {
  // The recording's own result is not reported: a scene save must not fail because of it.
  m_particleState.save(isave);
  return IO_OK;
}

IOResult Wakeweave::Load(ILoad* iload) {
  // A damaged recording keeps what could be read; the rest of the scene still loads.
  if (m_particleState.load(iload) != IO_OK) DebugPrint("Wakeweave::Load: particle recording damaged\n");
  return IO_OK;
}

RefResult Wakeweave::NotifyRefChanged(const Interval&, RefTargetHandle hTarget, PartID&, RefMessage message) {
  switch (message) {
    case REFMSG_CHANGE:
      // Picking a particle system alone does not change the trail; regeneration notifies when done.
      if (hTarget == pblock && pblock && pblock->LastNotifyParamID() == pb_particle_node) return REF_STOP;
      return REF_SUCCEED;
    case REFMSG_STOPPED_BY_WAKEWEAVE:
      return REF_STOP;
    default:
      return REF_SUCCEED;
  }
}

RefTargetHandle Wakeweave::Clone(RemapDir& remap) {
  ScopeLock lock(&m_lock);
  Wakeweave* copy = new Wakeweave();
  copy->ReplaceReference(0, remap.CloneRef(pblock));
  BaseClone(this, copy, remap);
  return copy;
}

Interval Wakeweave::LocalValidity(TimeValue t) {
  // The trail depends on the shape at other times, so no evaluation is reused at another time.
  if (TestAFlag(A_MOD_BEING_EDITED)) return NEVER;
  return Interval(t, t);
}
