// Apply: writes the texture and fade effects into the material of the modifier's node, creating a Standard
// material when the node has none. Applying is one-shot and leaves no undo record.
#include <cstring>

#include "effects/Effects.h"
#include "modifier/Wakeweave.h"
#include "plugin/Globals.h"
#include "plugin/ParamIds.h"
#include "plugin/resource.h"
#include "stdmat.h"
#include "ui/WakeweaveDlgProc.h"

namespace {

const char kMaterialName[] = "Wakeweave";
constexpr int kTextureSlot = ID_DI;
constexpr int kFadeSlot = ID_OP;
// The gradient's integer setting, given before its colours.
constexpr int kGradientSetting = 3;

enum class Choice { Use, Skip, Stop };

Interface* Host() { return s_ip ? static_cast<Interface*>(s_ip) : GetCOREInterface(); }

void RedrawViews() {
  Interface* ip = Host();
  ip->RedrawViews(ip->GetTime(), REDRAW_NORMAL);
}

// The effects need the node twice, to find its material and to give it one; without it nothing is applied.
INode* NodeOrSay(HWND hWnd, Modifier* mod) {
  INode* node = findModifierNode(mod);
  if (!node) MessageBoxA(hWnd, "Effects could not be applied: the modifier's node was not found", "Failed", MB_OK);
  return node;
}

// The material an effect goes into. One of ours that has an opacity map already is overwritten only when the
// person says so; any other material is used as it is.
Choice ChooseMaterial(HWND hWnd, Modifier* mod, Mtl*& mtl, bool& created) {
  mtl = nullptr;
  created = false;
  INode* node = NodeOrSay(hWnd, mod);
  if (!node) return Choice::Stop;
  mtl = node->GetMtl();
  if (!mtl) {
    mtl = NewDefaultStdMat();
    if (!mtl) return Choice::Stop;
    mtl->SetName(kMaterialName);
    created = true;
    return Choice::Use;
  }
  const char* name = mtl->GetName();
  const bool ours = name && std::strstr(name, kMaterialName) != nullptr;
  const bool hasOpacity = mtl->NumSubTexmaps() > kFadeSlot && mtl->GetSubTexmap(kFadeSlot) != nullptr;
  if (!ours || !hasOpacity) return Choice::Use;
  switch (MessageBoxA(hWnd, "Do you wish to Overwrite the opacity map of ", "Overwrite", MB_YESNOCANCEL)) {
    case IDYES:
      return Choice::Use;
    case IDNO:
      return Choice::Skip;
    default:
      return Choice::Stop;
  }
}

// A material nobody took is freed again.
void DropIfUnused(Mtl* mtl, bool created) {
  if (created && mtl) mtl->MaybeAutoDelete();
}

// Puts the map into the material's slot as its active map, then gives the material to the node, looked up
// again as the host's own commands do. False when the node is gone.
bool Install(HWND hWnd, Modifier* mod, Mtl* mtl, bool created, int slot, Texmap* map) {
  mtl->SetSubTexmap(slot, map);
  mtl->SetActiveTexmap(map);
  INode* node = NodeOrSay(hWnd, mod);
  if (!node) {
    DropIfUnused(mtl, created);
    return false;
  }
  node->SetMtl(mtl);
  return true;
}

}  // namespace

INode* findModifierNode(Modifier* mod) {
  if (!mod) return nullptr;
  TSTR name;
  mod->NotifyDependents(FOREVER, reinterpret_cast<PartID>(&name), REFMSG_GET_NODE_NAME);
  if (name.Length() == 0) return nullptr;
  INode* node = Host()->GetINodeByName(name);
  if (!node) return nullptr;
  Object* obj = node->GetObjectRef();
  if (!obj) return nullptr;
  if (obj->SuperClassID() != GEN_DERIVOB_CLASS_ID) return nullptr;
  auto* derived = static_cast<IDerivedObject*>(obj);
  for (int i = 0; i < derived->NumModifiers(); ++i) {
    Modifier* m = derived->GetModifier(i);
    if (m && m->ClassID() == mod->ClassID()) return m == mod ? node : nullptr;
  }
  return nullptr;
}

int WakeweaveDlgProc::applyEffects(HWND hWnd) {
  IParamBlock2* pb = m_pMod ? m_pMod->pblock : nullptr;
  if (!pb) return 0;
  const BOOL texture = pb->GetInt(pb_apply_tex_b, 0) != 0;
  const float vRepeat = pb->GetFloat(pb_apply_tex_vrepeat, 0);
  const BOOL fade = pb->GetInt(pb_apply_fade_b, 0) != 0;
  const float midpoint = pb->GetFloat(pb_apply_fade_mp, 0);
  int result = 0;

  if (texture) {
    Mtl* mtl = nullptr;
    bool created = false;
    const Choice choice = ChooseMaterial(hWnd, m_pMod, mtl, created);
    if (choice == Choice::Stop) return 0;
    if (choice == Choice::Use) {
      char path[MAX_PATH];
      std::memset(path, 0, sizeof path);
      GetDlgItemTextA(hWnd, IDC_TEXTURE_PATH, path, MAX_PATH);
      BitmapTex* tex = NewDefaultBitmapTex();
      if (!tex) {
        DropIfUnused(mtl, created);
        MessageBoxA(hWnd, "Failed to create texture of bitmap", "Failed", MB_OK);
        return 0;
      }
      if (StdUVGen* uv = tex->GetUVGen()) {
        uv->SetFlag(U_WRAP, 1);
        uv->SetUTile(1.0f, 0);
        uv->SetFlag(V_WRAP, 1);
        uv->SetVTile(vRepeat, 0);
      }
      tex->SetMapName(path);
      tex->ReloadBitmapAndUpdate();
      result = 1;
      if (!Install(hWnd, m_pMod, mtl, created, kTextureSlot, tex)) return 0;
      Host()->ActivateTexture(tex, mtl, -1);
      RedrawViews();
    }
  }

  if (fade) {
    Mtl* mtl = nullptr;
    bool created = false;
    const Choice choice = ChooseMaterial(hWnd, m_pMod, mtl, created);
    if (choice == Choice::Stop) return 0;
    if (choice == Choice::Use) {
      GradTex* grad = NewDefaultGradTex();
      if (!grad) {
        DropIfUnused(mtl, created);
        MessageBoxA(hWnd, "Failed to create texture of gradient", "Failed", MB_OK);
        return 0;
      }
      grad->SetMidPoint(midpoint, 0);
      grad->SetGradType(kGradientSetting);
      grad->SetColor(0, Color(1.0f, 1.0f, 1.0f));
      grad->SetColor(1, Color(0.0f, 0.0f, 0.0f));
      grad->SetColor(2, Color(0.0f, 0.0f, 0.0f));
      result = 1;
      if (!Install(hWnd, m_pMod, mtl, created, kFadeSlot, grad)) return 0;
    }
  }

  RedrawViews();
  if (result == 1) MessageBoxA(hWnd, "Effects have been successfully applied", "Success", MB_OK);
  return result;
}
