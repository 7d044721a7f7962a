// Class descriptors: the registry of a class's block descriptors, automatic blocks and the opening and
// closing of their rollouts.
#include "plugapi.h"
#include "ifnpub.h"
#include "iparamb2.h"
#include "debug.h"

#include <algorithm>
#include <cstring>

void ClassDesc::AddInterface(FPInterface* fpi) {
  if (fpi && std::find(interfaces_.begin(), interfaces_.end(), fpi) == interfaces_.end()) interfaces_.push_back(fpi);
}

void ClassDesc::RemoveInterface(FPInterface* fpi) {
  auto it = std::find(interfaces_.begin(), interfaces_.end(), fpi);
  if (it != interfaces_.end()) interfaces_.erase(it);
}

ClassDesc::~ClassDesc() {
  for (FPInterface* fpi : interfaces_) {
    FPInterfaceDesc* d = fpi->GetDesc();
    if (d && static_cast<FPInterface*>(d) == fpi && d->cd_ == this) d->cd_ = nullptr;
  }
}

FPInterface* ClassDesc::GetInterfaceAt(int i) {
  return i < 0 || i >= int(interfaces_.size()) ? nullptr : interfaces_[size_t(i)];
}

ClassDesc2::~ClassDesc2() {
  // Descriptors that outlive this one (static destruction order across libraries) must not call back.
  for (ParamBlockDesc2* pbd : pbDescs_) {
    pbd->closeRollouts();
    pbd->cd = nullptr;
  }
}

ParamBlockDesc2* ClassDesc2::GetParamBlockDesc(int i) {
  return i < 0 || i >= int(pbDescs_.size()) ? nullptr : pbDescs_[size_t(i)];
}

ParamBlockDesc2* ClassDesc2::GetParamBlockDescByID(BlockID id) {
  for (ParamBlockDesc2* pbd : pbDescs_)
    if (pbd->ID == id) return pbd;
  return nullptr;
}

ParamBlockDesc2* ClassDesc2::GetParamBlockDescByName(const char* name) {
  if (!name) return nullptr;
  for (ParamBlockDesc2* pbd : pbDescs_)
    if (std::strcmp(pbd->int_name, name) == 0) return pbd;
  return nullptr;
}

void ClassDesc2::AddParamBlockDesc(ParamBlockDesc2* pbd) {
  if (!pbd || std::find(pbDescs_.begin(), pbDescs_.end(), pbd) != pbDescs_.end()) return;
  pbd->cd = this;
  pbDescs_.push_back(pbd);
}

void ClassDesc2::RemoveParamBlockDesc(ParamBlockDesc2* pbd) {
  auto it = std::find(pbDescs_.begin(), pbDescs_.end(), pbd);
  if (it == pbDescs_.end()) return;
  pbDescs_.erase(it);
  if (pbd->cd == this) pbd->cd = nullptr;
}

void ClassDesc2::ClearParamBlockDescs() {
  for (ParamBlockDesc2* pbd : pbDescs_) pbd->cd = nullptr;
  pbDescs_.clear();
}

void ClassDesc2::MakeAutoParamBlocks(ReferenceMaker* owner) {
  if (!owner) return;
  for (ParamBlockDesc2* pbd : pbDescs_) {
    if (!(pbd->flags & P_AUTO_CONSTRUCT) || (pbd->flags & P_CLASS_PARAMS)) continue;
    IParamBlock2* pb = CreateParameterBlock2(pbd, owner);
    if (!pb) continue;
    if (owner->ReplaceReference(pbd->ref_no, pb) != REF_SUCCEED) {
      assert1(__LINE__, __FILE__, "the owner has the reference number of its automatic block");
      pb->DeleteThis();
    }
  }
}

namespace {

// The owner's block of a descriptor: by block id first (the owner's own answer), else among its references.
IParamBlock2* FindBlock(ReferenceMaker* obj, ParamBlockDesc2* pbd) {
  IParamBlock2* pb = obj->GetParamBlockByID(pbd->ID);
  if (pb && pb->GetDesc() == pbd) return pb;
  for (int i = 0; i < obj->NumRefs(); ++i) {
    ReferenceTarget* r = obj->GetReference(i);
    if (r && r->SuperClassID() == PARAMETER_BLOCK2_CLASS_ID) {
      auto* cand = static_cast<IParamBlock2*>(r);
      if (cand->GetDesc() == pbd) return cand;
    }
  }
  return nullptr;
}

}  // namespace

void ClassDesc2::BeginEditParams(IObjParam*, ReferenceMaker* obj, ULONG, Animatable*) {
  // The panel shows one object's rollouts at a time.
  if (editObj_) EndEditParams(nullptr, editObj_, 0, nullptr);
  if (!obj) return;
  editObj_ = obj;
  for (ParamBlockDesc2* pbd : pbDescs_) {
    if (!(pbd->flags & P_AUTO_UI)) continue;
    if (IParamBlock2* pb = FindBlock(obj, pbd)) pbd->openRollouts(pb);
  }
}

void ClassDesc2::EndEditParams(IObjParam*, ReferenceMaker*, ULONG, Animatable*) {
  for (ParamBlockDesc2* pbd : pbDescs_) pbd->closeRollouts();
  editObj_ = nullptr;
}

void ClassDesc2::InvalidateUI() {
  for (ParamBlockDesc2* pbd : pbDescs_) pbd->InvalidateUI();
}

void ClassDesc2::InvalidateUI(ParamBlockDesc2* pbd) {
  if (pbd) pbd->InvalidateUI();
}

int ClassDesc2::NumOpenRollouts() {
  int n = 0;
  for (ParamBlockDesc2* pbd : pbDescs_) n += pbd->NumOpenMaps();
  return n;
}

IParamMap2* ClassDesc2::GetOpenRollout(int i) {
  if (i < 0) return nullptr;
  for (ParamBlockDesc2* pbd : pbDescs_) {
    for (const ParamRolloutDef& r : pbd->rollouts) {
      IParamMap2* map = pbd->GetMap(r.map_id);
      if (!map) continue;
      if (i == 0) return map;
      --i;
    }
  }
  return nullptr;
}
