// Saving a scene: every node, depth first, and everything their references reach, each item saved once
// however many references lead to it (an object two nodes share is one item).
#include <cstdio>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "../core/datastream.h"
#include "../scene/scene_internal.h"
#include "chunktree.h"
#include "classdir.h"
#include "iface.h"
#include "iparamb2.h"
#include "particles.h"
#include "plugapi.h"
#include "scenefile.h"
#include "sceneformat.h"
#include "sceneitems.h"

namespace scenefile {
namespace {

class Saver {
 public:
  // Numbers the nodes (depth first, each parent's children in order) and then everything reachable from
  // them; false with *error set when something cannot be saved so that it loads again.
  bool Collect(std::string* error) {
    std::vector<std::pair<INode*, int>> stack;  // a node and its parent's item
    INode* root = GetCOREInterface()->GetRootNode();
    for (int i = root->NumberOfChildren() - 1; i >= 0; --i) stack.push_back({root->GetChildNode(i), -1});
    while (!stack.empty()) {
      auto [node, parent] = stack.back();
      stack.pop_back();
      if (!dynamic_cast<SceneNode*>(node)) return Refuse(error, "a node of the scene is not one of the host's");
      const int item = Add(node);
      nodes_.push_back({item, parent});
      for (int i = node->NumberOfChildren() - 1; i >= 0; --i) stack.push_back({node->GetChildNode(i), item});
    }
    // The list grows while it is walked: each item's references join it when first met.
    for (size_t k = 0; k < items_.size(); ++k) {
      ReferenceTarget* t = items_[k];
      std::string why;
      if (!Saveable(t, &why)) return Refuse(error, ItemText(t) + " cannot be saved: " + why);
      std::vector<int32_t> refs;
      for (int i = 0; i < t->NumRefs(); ++i) {
        ReferenceTarget* r = t->GetReference(i);
        if (!r) {
          refs.push_back(-1);
        } else if (r->SuperClassID() == BASENODE_CLASS_ID) {
          // Nodes are the scene's: one outside it cannot be brought back.
          auto it = index_.find(r);
          if (it == index_.end()) return Refuse(error, ItemText(t) + " refers to a node that is not in the scene");
          refs.push_back(it->second);
        } else {
          refs.push_back(Add(r));
        }
      }
      refs_.push_back(std::move(refs));
    }
    return true;
  }

  bool Write(TreeSave& ts, std::string* error) {
    Interface* ip = GetCOREInterface();
    ts.BeginChunk(kScene);
    hostio::SaveData(
        &ts,
        [&](hostio::Writer& w) {
          w.U32(kFormatVersion);
          w.I32(GetTicksPerFrame());
          w.I32(ip->GetTime());
          w.I32(ip->GetAnimRange().Start());
          w.I32(ip->GetAnimRange().End());
        },
        kHeader);
    ts.BeginChunk(kItems);
    for (size_t k = 0; k < items_.size(); ++k)
      if (!WriteItem(ts, k, error)) return false;
    ts.EndChunk();
    hostio::SaveData(
        &ts,
        [&](hostio::Writer& w) {
          w.U32(uint32_t(nodes_.size()));
          for (const auto& [item, parent] : nodes_) {
            w.I32(item);
            w.I32(parent);
          }
        },
        kNodes);
    ts.EndChunk();
    if (ts.Misused() || ts.Depth() != 0) return Refuse(error, "the scene's chunks could not be written");
    return true;
  }

 private:
  int Add(ReferenceTarget* t) {
    auto [it, added] = index_.emplace(t, int(items_.size()));
    if (added) items_.push_back(t);
    return it->second;
  }

  // Whether an item can be created again when the scene is loaded.
  static bool Saveable(ReferenceTarget* t, std::string* why) {
    switch (KindOf(t)) {
      case ItemKind::Node:
        if (dynamic_cast<SceneNode*>(t)) return true;
        *why = "it is a node of no scene";
        return false;
      case ItemKind::ParamBlock: {
        auto* pb = dynamic_cast<IParamBlock2*>(t);
        ParamBlockDesc2* desc = pb ? pb->GetDesc() : nullptr;
        ClassDesc* owner = desc ? desc->cd : nullptr;
        if (owner && FindClassDesc(owner->SuperClassID(), owner->ClassID()) == owner) return true;
        *why = "the class it belongs to is not in the class directory";
        return false;
      }
      case ItemKind::Event:
        return true;
      case ItemKind::Class:
        if (FindClassDesc(t->SuperClassID(), t->ClassID())) return true;
        *why = "its class is not in the class directory";
        return false;
    }
    return false;
  }

  bool WriteItem(TreeSave& ts, size_t k, std::string* error) {
    ReferenceTarget* t = items_[k];
    ts.BeginChunk(kItem);
    hostio::SaveData(
        &ts,
        [&](hostio::Writer& w) {
          w.U32(t->SuperClassID());
          w.U32(t->ClassID().PartA());
          w.U32(t->ClassID().PartB());
          auto* mod = dynamic_cast<Modifier*>(t);
          w.U32(mod && !mod->IsEnabled() ? kItemDisabled : 0);
          if (KindOf(t) == ItemKind::ParamBlock) {
            ParamBlockDesc2* desc = static_cast<IParamBlock2*>(t)->GetDesc();
            w.U32(desc->cd->SuperClassID());
            w.U32(desc->cd->ClassID().PartA());
            w.U32(desc->cd->ClassID().PartB());
            w.U32(uint32_t(uint16_t(desc->ID)));
          }
        },
        kItemClass);
    hostio::SaveData(
        &ts,
        [&](hostio::Writer& w) {
          w.U32(uint32_t(refs_[k].size()));
          for (int32_t r : refs_[k]) w.I32(r);
        },
        kItemRefs);
    ts.BeginChunk(kItemData);
    const size_t depth = ts.Depth();
    const IOResult r = t->Save(&ts);
    if (r != IO_OK || ts.Depth() != depth || ts.Misused())
      return Refuse(error, ItemText(t) + (r != IO_OK ? " failed to save itself" : " saved itself in broken chunks"));
    ts.EndChunk();
    ts.EndChunk();
    return true;
  }

  static bool Refuse(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
  }

  std::vector<ReferenceTarget*> items_;
  std::unordered_map<ReferenceTarget*, int> index_;
  std::vector<std::vector<int32_t>> refs_;
  std::vector<std::pair<int32_t, int32_t>> nodes_;
};

}  // namespace
}  // namespace scenefile

IOResult SaveScene(const std::string& path, std::string* error) {
  using namespace scenefile;
  std::string why;
  auto fail = [&](const std::string& what) {
    if (error) *error = what;
    return IO_ERROR;
  };
  try {
    Saver saver;
    TreeSave ts;
    if (!saver.Collect(&why) || !saver.Write(ts, &why)) return fail(why);
    const uint32_t digest = Digest(ts.Top(), ts.Top().size());
    hostio::SaveData(
        &ts, [&](hostio::Writer& w) { w.U32(digest); }, kDigestChunk);
    FileSave out(path);
    WriteTree(out, ts.Top());
    if (out.Close() != IO_OK) return fail("cannot write the file");
  } catch (const std::bad_alloc&) {
    return fail("not enough memory to save the scene");
  }
  return IO_OK;
}
