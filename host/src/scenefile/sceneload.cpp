// Loading a scene. The whole file is read and its digest checked before anything is believed; every item
// is then built outside the scene, every reference checked before any is set, and the scene is replaced
// only once all of it has loaded. Whatever fails on the way takes everything built so far down with it.
//
// Order of the work: create the items (nodes, parameter blocks and the host's own objects load their data
// at once: it decides how many references they have); make the particle events of their systems; check
// every reference against what its holder takes there; set them all; then let the plug-in objects read
// their own data, with their references in place.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "../core/datastream.h"
#include "../params/paramkind.h"
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
#include "stdmat.h"

namespace scenefile {
namespace {

constexpr size_t kNodeRefsWithoutMaterial = 4;

constexpr int kMaxTicksPerFrame = TIME_TICKSPERSEC;

struct ItemDesc {
  SClass_ID super = 0;
  Class_ID cls;
  uint32_t flags = 0;
  ItemKind kind = ItemKind::Class;
  // A parameter block's owner class and block id.
  SClass_ID ownerSuper = 0;
  Class_ID ownerCls;
  BlockID blockId = 0;
  std::vector<int32_t> refs;
  const Chunk* data = nullptr;
};

// Reads one data chunk with a Reader, which must take all of it.
template <class Read>
bool ParseData(const Chunk& c, USHORT id, Read read) {
  if (c.id != id || c.sub) return false;
  TreeLoad in(c);
  hostio::Reader r(&in);
  return read(r) && r.Done();
}

// What a reference slot of a parameter block takes, by its parameter's type.
enum class Takes { Node, Controller, Block, Material, Texmap, Anything };

std::vector<Takes> BlockSlots(IParamBlock2* pb) {
  std::vector<Takes> out;
  ParamBlockDesc2* desc = pb->GetDesc();
  for (const ParamDef& d : desc->paramdefs) {
    if (!paramkind::HoldsRefs(d)) continue;
    Takes t = Takes::Anything;
    if (paramkind::Controllable(d))
      t = Takes::Controller;
    else if (base_type(d.type) == TYPE_INODE)
      t = Takes::Node;
    else if (base_type(d.type) == TYPE_PBLOCK2)
      t = Takes::Block;
    else if (base_type(d.type) == TYPE_MTL)
      t = Takes::Material;
    else if (base_type(d.type) == TYPE_TEXMAP)
      t = Takes::Texmap;
    out.insert(out.end(), size_t(pb->Count(d.ID)), t);
  }
  return out;
}

bool IsController(ReferenceTarget* t, SClass_ID super) {
  return dynamic_cast<Control*>(t) && t->SuperClassID() == super;
}

// Create hands back the object as the base its super class implies.
ReferenceTarget* AsTarget(void* p, SClass_ID super) {
  if (!p) return nullptr;
  switch (super) {
    case OSM_CLASS_ID:
    case WSM_CLASS_ID:
      return static_cast<Modifier*>(p);
    case SHAPE_CLASS_ID:
    case GEOMOBJECT_CLASS_ID:
    case GEN_DERIVOB_CLASS_ID:
    case kHelperSuperClass:
      return static_cast<Object*>(p);
    case CTRL_FLOAT_CLASS_ID:
    case CTRL_POSITION_CLASS_ID:
    case CTRL_ROTATION_CLASS_ID:
    case CTRL_SCALE_CLASS_ID:
    case CTRL_MATRIX3_CLASS_ID:
      return static_cast<Control*>(p);
    default:
      return static_cast<ReferenceTarget*>(p);
  }
}

class Loader {
 public:
  ~Loader() {
    if (!installed_) TearDown();
  }

  const std::string& Error() const { return error_; }

  // The file's chunks: the scene, then its digest.
  bool Parse(const std::vector<Chunk>& top) {
    if (top.size() != 2 || top[0].id != kScene || !top[0].sub || top[1].id != kDigestChunk)
      return Fail("damaged: it does not hold a scene and its digest");
    uint32_t digest = 0;
    if (!ParseData(top[1], kDigestChunk, [&](hostio::Reader& r) { return r.U32(digest); }))
      return Fail("damaged: its digest cannot be read");
    if (Digest(top, 1) != digest) return Fail("damaged: its contents do not match its digest");
    const std::vector<Chunk>& parts = top[0].kids;
    if (parts.size() != 3 || parts[0].id != kHeader || parts[1].id != kItems || parts[2].id != kNodes)
      return Fail("damaged: the scene does not hold a header, its items and its nodes");
    return ParseHeader(parts[0]) && ParseItems(parts[1]) && ParseNodes(parts[2]);
  }

  bool Build() {
    made_.assign(items_.size(), nullptr);
    lateLoad_.assign(items_.size(), false);
    for (size_t k = 0; k < items_.size(); ++k)
      if (items_[k].kind != ItemKind::Event && !Create(k)) return false;
    for (size_t k = 0; k < items_.size(); ++k)
      if (items_[k].kind == ItemKind::Event && !CreateEvent(k)) return false;
    if (!CheckReferences() || !CheckStacks() || !CheckReached()) return false;
    SetReferences();
    for (size_t k = 0; k < items_.size(); ++k)
      if (lateLoad_[k] && !LoadData(k)) return false;
    Install();
    return true;
  }

 private:
  bool Fail(const std::string& what) {
    error_ = what;
    return false;
  }
  bool FailItem(size_t k, const std::string& what) {
    const ItemDesc& d = items_[k];
    std::string name = "item " + std::to_string(k) + " (";
    if (made_.size() > k && made_[k] && d.kind == ItemKind::Node)
      name += "node \"" + std::string(static_cast<INode*>(made_[k])->GetName()) + "\"";
    else if (d.kind == ItemKind::Node)
      name += "a node";
    else if (d.kind == ItemKind::ParamBlock)
      name += "a parameter block of class " + ClassText(d.ownerSuper, d.ownerCls);
    else
      name += "class " + ClassText(d.super, d.cls);
    return Fail(name + "): " + what);
  }

  // ---- reading the file --------------------------------------------------------------------------------

  bool ParseHeader(const Chunk& c) {
    uint32_t version = 0;
    int32_t start = 0, end = 0;
    if (!ParseData(c, kHeader, [&](hostio::Reader& r) {
          return r.U32(version) && r.I32(tpf_) && r.I32(time_) && r.I32(start) && r.I32(end);
        }))
      return Fail("damaged: its header cannot be read");
    if (version != kFormatVersion)
      return Fail("saved in format version " + std::to_string(version) + ", which this host does not read (it reads " +
                  std::to_string(kFormatVersion) + ")");
    if (tpf_ < 1 || tpf_ > kMaxTicksPerFrame)
      return Fail("damaged: ticks per frame " + std::to_string(tpf_) + " outside 1 to " +
                  std::to_string(kMaxTicksPerFrame));
    if (end < start) return Fail("damaged: the animation range ends before it starts");
    range_ = Interval(start, end);
    return true;
  }

  bool ParseItems(const Chunk& c) {
    // A scene without nodes has no items: the chunk is then empty.
    if (!c.sub) {
      if (!c.data.empty()) return Fail("damaged: its items cannot be read");
      return true;
    }
    items_.resize(c.kids.size());
    for (size_t k = 0; k < c.kids.size(); ++k) {
      const Chunk& item = c.kids[k];
      ItemDesc& d = items_[k];
      if (item.id != kItem || !item.sub || item.kids.size() != 3 || item.kids[2].id != kItemData)
        return FailItem(k, "damaged: not an item");
      if (!ParseData(item.kids[0], kItemClass, [&](hostio::Reader& r) { return ParseClass(r, d); }))
        return FailItem(k, "damaged: its class cannot be read");
      if (!ParseData(item.kids[1], kItemRefs, [&](hostio::Reader& r) { return ParseRefs(r, d.refs, c.kids.size()); }))
        return FailItem(k, "damaged: its references cannot be read");
      // Saved before nodes carried a material: the same node without one.
      if (d.kind == ItemKind::Node && d.refs.size() == kNodeRefsWithoutMaterial) d.refs.push_back(-1);
      d.data = &item.kids[2];
    }
    return true;
  }

  static bool ParseClass(hostio::Reader& r, ItemDesc& d) {
    uint32_t super, a, b;
    if (!r.U32(super) || !r.U32(a) || !r.U32(b) || !r.U32(d.flags)) return false;
    d.super = super;
    d.cls = Class_ID(a, b);
    d.kind = KindOf(d.super, d.cls);
    if (d.flags & ~kItemDisabled) return r.Fail();
    if (d.kind != ItemKind::ParamBlock) return true;
    uint32_t osuper, oa, ob, block;
    if (!r.U32(osuper) || !r.U32(oa) || !r.U32(ob) || !r.U32(block) || block > 0xFFFF) return r.Fail();
    d.ownerSuper = osuper;
    d.ownerCls = Class_ID(oa, ob);
    d.blockId = BlockID(int16_t(uint16_t(block)));
    return true;
  }

  static bool ParseRefs(hostio::Reader& r, std::vector<int32_t>& refs, size_t items) {
    uint32_t n = 0;
    if (!r.Count(n, 4)) return false;
    refs.resize(n);
    for (int32_t& ref : refs)
      if (!r.I32(ref) || ref < -1 || (ref >= 0 && size_t(ref) >= items)) return r.Fail();
    return true;
  }

  bool ParseNodes(const Chunk& c) {
    std::vector<char> listed(items_.size(), 0);
    size_t nodeItems = 0;
    for (const ItemDesc& d : items_)
      if (d.kind == ItemKind::Node) ++nodeItems;
    const bool ok = ParseData(c, kNodes, [&](hostio::Reader& r) {
      uint32_t n = 0;
      if (!r.Count(n, 8) || n != nodeItems) return r.Fail();
      nodes_.resize(n);
      for (auto& [item, parent] : nodes_) {
        // Each node once, after the node it hangs under.
        if (!r.I32(item) || !r.I32(parent) || item < 0 || size_t(item) >= items_.size() ||
            items_[size_t(item)].kind != ItemKind::Node || listed[size_t(item)] ||
            (parent != -1 && (parent < 0 || size_t(parent) >= items_.size() || listed[size_t(parent)] != 1)))
          return r.Fail();
        listed[size_t(item)] = 1;
      }
      return true;
    });
    return ok || Fail("damaged: its node list does not list every node once, each after its parent");
  }

  // ---- building ----------------------------------------------------------------------------------------

  bool Create(size_t k) {
    const ItemDesc& d = items_[k];
    switch (d.kind) {
      case ItemKind::Node: {
        auto* node = new SceneNode(false);
        made_[k] = node;
        return LoadNow(k, node);
      }
      case ItemKind::ParamBlock: {
        ClassDesc* owner = FindClassDesc(d.ownerSuper, d.ownerCls);
        if (!owner) return FailItem(k, "its class is not known (is the plug-in that offers it loaded?)");
        ParamBlockDesc2* desc = owner->GetParamBlockDescByID(d.blockId);
        if (!desc) return FailItem(k, "its class has no parameter block " + std::to_string(d.blockId));
        IParamBlock2* pb = CreateParameterBlock2(desc, nullptr);
        if (!pb) return FailItem(k, "the block cannot be made");
        made_[k] = pb;
        return LoadNow(k, pb);
      }
      case ItemKind::Event:
        return true;
      case ItemKind::Class:
        break;
    }
    ClassDesc* cd = FindClassDesc(d.super, d.cls);
    if (!cd) return FailItem(k, "its class is not known (is the plug-in that offers it loaded?)");
    ReferenceTarget* t = AsTarget(cd->Create(TRUE), d.super);
    if (!t) return FailItem(k, "its class could not create it");
    made_[k] = t;
    if (t->SuperClassID() != d.super || t->ClassID() != d.cls)
      return FailItem(k, "its class made an object of another class");
    if (d.flags & kItemDisabled) {
      auto* mod = dynamic_cast<Modifier*>(t);
      if (!mod) return FailItem(k, "damaged: only a modifier can be switched off");
      mod->DisableMod();
    }
    if (!IsHostClass(cd)) {
      lateLoad_[k] = true;
      return true;
    }
    return LoadNow(k, t);
  }

  bool LoadNow(size_t k, ReferenceTarget* t) {
    TreeLoad in(*items_[k].data);
    if (t->Load(&in) != IO_OK || in.Failed()) return FailItem(k, "damaged: its data does not read back");
    return true;
  }

  bool CreateEvent(size_t k) {
    const ItemDesc& d = items_[k];
    auto* sys =
        d.refs.size() == 1 && d.refs[0] >= 0 ? dynamic_cast<FlowParticleSystem*>(made_[size_t(d.refs[0])]) : nullptr;
    if (!sys) return FailItem(k, "damaged: an event belongs to a particle flow system");
    TreeLoad in(*d.data);
    Object* ev = nullptr;
    if (LoadFlowEvent(sys, &in, &ev) != IO_OK || in.Failed())
      return FailItem(k, "damaged: it is not one of its system's events");
    made_[k] = ev;
    return true;
  }

  ReferenceTarget* Target(int32_t ref) const { return ref < 0 ? nullptr : made_[size_t(ref)]; }

  // Whether reference i of item k may point at t: what the holder takes there.
  bool Fits(size_t k, int i, ReferenceTarget* t, std::string* why) {
    ReferenceTarget* holder = made_[k];
    const ItemDesc& d = items_[k];
    auto want = [&](bool ok, const char* what) {
      if (!ok) *why = what;
      return ok;
    };
    if (d.kind == ItemKind::Node) {
      static const SClass_ID controllers[3] = {CTRL_POSITION_CLASS_ID, CTRL_ROTATION_CLASS_ID, CTRL_SCALE_CLASS_ID};
      if (i == 0) return want(!t || dynamic_cast<Object*>(t), "a node carries an object");
      if (i == 4) return want(!t || dynamic_cast<Mtl*>(t), "a node's material is a material");
      return want(t && IsController(t, controllers[i - 1]), "a node's transform takes a controller of its kind");
    }
    if (d.kind == ItemKind::ParamBlock) {
      switch (blockSlots_[k][size_t(i)]) {
        case Takes::Node:
          return want(!t || dynamic_cast<INode*>(t), "a node parameter takes a node");
        case Takes::Controller:
          return want(!t || IsController(t, CTRL_FLOAT_CLASS_ID), "an animated parameter takes a float controller");
        case Takes::Block:
          return want(!t || dynamic_cast<IParamBlock2*>(t), "a block parameter takes a parameter block");
        case Takes::Material:
          return want(!t || t->SuperClassID() == MATERIAL_CLASS_ID, "a material parameter takes a material");
        case Takes::Texmap:
          return want(!t || t->SuperClassID() == TEXMAP_CLASS_ID, "a map parameter takes a map");
        case Takes::Anything:
          return true;
      }
    }
    if (dynamic_cast<Mtl*>(holder)) return want(!t || dynamic_cast<Texmap*>(t), "a material's slot takes a map");
    if (dynamic_cast<BitmapTex*>(holder))
      return want(dynamic_cast<StdUVGen*>(t), "a bitmap's coordinates are a coordinate generator");
    if (dynamic_cast<IDerivedObject*>(holder)) {
      if (i == 0) return want(!t || dynamic_cast<Object*>(t), "a modifier stack sits on an object");
      return want(t && dynamic_cast<Modifier*>(t), "a modifier stack holds modifiers");
    }
    // A plug-in's object takes there what its class gave it when it was created: something of the same
    // super class (a block of the same description); where it started with nothing, a node (what objects
    // pick up later) or nothing.
    ReferenceTarget* fresh = holder->GetReference(i);
    if (!fresh) return want(!t || dynamic_cast<INode*>(t), "the class keeps nothing there but a node");
    if (!t || t->SuperClassID() != fresh->SuperClassID())
      return want(false, "the class keeps another kind of object there");
    if (auto* block = dynamic_cast<IParamBlock2*>(fresh))
      return want(dynamic_cast<IParamBlock2*>(t) && static_cast<IParamBlock2*>(t)->GetDesc() == block->GetDesc(),
                  "the class keeps a parameter block of another description there");
    return true;
  }

  bool CheckReferences() {
    blockSlots_.resize(items_.size());
    for (size_t k = 0; k < items_.size(); ++k) {
      const ItemDesc& d = items_[k];
      if (d.kind == ItemKind::Event) continue;  // its system it was made with
      ReferenceTarget* t = made_[k];
      if (d.kind == ItemKind::ParamBlock) blockSlots_[k] = BlockSlots(static_cast<IParamBlock2*>(t));
      if (int(d.refs.size()) != t->NumRefs())
        return FailItem(k, "damaged: it has " + std::to_string(t->NumRefs()) + " references, the file gives " +
                               std::to_string(d.refs.size()));
      for (size_t i = 0; i < d.refs.size(); ++i) {
        std::string why;
        if (!Fits(k, int(i), Target(d.refs[i]), &why))
          return FailItem(k, "damaged: reference " + std::to_string(i) + " points at item " +
                                 std::to_string(d.refs[i]) + ", but " + why);
      }
    }
    return true;
  }

  // Every item is reached from the nodes: a saved scene holds nothing else, and what nothing held would
  // outlive the scene.
  bool CheckReached() {
    std::vector<char> reached(items_.size(), 0);
    std::vector<size_t> todo;
    for (const auto& node : nodes_) {
      reached[size_t(node.first)] = 1;
      todo.push_back(size_t(node.first));
    }
    while (!todo.empty()) {
      const size_t k = todo.back();
      todo.pop_back();
      for (int32_t r : items_[k].refs)
        if (r >= 0 && !reached[size_t(r)]) {
          reached[size_t(r)] = 1;
          todo.push_back(size_t(r));
        }
    }
    for (size_t k = 0; k < items_.size(); ++k)
      if (!reached[k]) return FailItem(k, "damaged: nothing in the scene refers to it");
    return true;
  }

  // Stacks on stacks must end in an object: a derived object that is its own base would evaluate forever.
  bool CheckStacks() {
    std::vector<char> state(items_.size(), 0);  // 1 on the chain being followed, 2 known to end
    auto derived = [&](size_t k) { return dynamic_cast<IDerivedObject*>(made_[k]) != nullptr; };
    for (size_t k = 0; k < items_.size(); ++k) {
      std::vector<size_t> chain;
      for (size_t at = k; derived(at) && state[at] != 2;) {
        if (state[at] == 1) return FailItem(at, "damaged: modifier stacks sit on one another in a loop");
        state[at] = 1;
        chain.push_back(at);
        const int32_t base = items_[at].refs[0];  // a derived object has its object as reference 0
        if (base < 0) break;
        at = size_t(base);
      }
      for (size_t c : chain) state[c] = 2;
    }
    return true;
  }

  void SetReferences() {
    for (size_t k = 0; k < items_.size(); ++k) {
      const ItemDesc& d = items_[k];
      if (d.kind == ItemKind::Event) continue;
      ReferenceTarget* holder = made_[k];
      for (size_t i = 0; i < d.refs.size(); ++i) {
        ReferenceTarget* t = Target(d.refs[i]);
        // What the holder was created with is its own (defaults, a fresh block) and goes when replaced.
        holder->ReplaceReference(int(i), t);
        if (auto* pb = dynamic_cast<IParamBlock2*>(t))
          if (d.kind != ItemKind::ParamBlock) pb->SetOwner(holder);
      }
    }
  }

  bool LoadData(size_t k) {
    TreeLoad in(*items_[k].data);
    if (made_[k]->Load(&in) != IO_OK || in.Failed()) return FailItem(k, "damaged: its data does not read back");
    return true;
  }

  void Install() {
    std::vector<std::pair<SceneNode*, SceneNode*>> nodes;
    nodes.reserve(nodes_.size());
    for (const auto& [item, parent] : nodes_)
      nodes.push_back({static_cast<SceneNode*>(made_[size_t(item)]),
                       parent < 0 ? nullptr : static_cast<SceneNode*>(made_[size_t(parent)])});
    InstallScene(nodes, tpf_, range_, time_);
    installed_ = true;
  }

  // Everything built goes: first every reference between built items is let go without deleting anything,
  // so no item is deleted as another's last reference while still listed here; then each item is deleted,
  // taking with it what only it held (defaults, fresh blocks).
  void TearDown() {
    std::unordered_set<ReferenceTarget*> mine;
    for (ReferenceTarget* t : made_)
      if (t) mine.insert(t);
    for (ReferenceTarget* t : made_) {
      if (!t) continue;
      for (int i = 0; i < t->NumRefs(); ++i) {
        ReferenceTarget* r = t->GetReference(i);
        if (r && mine.count(r)) t->ReplaceReference(i, nullptr, FALSE);
      }
    }
    for (ReferenceTarget* t : made_) {
      if (!t) continue;
      if (auto* node = dynamic_cast<SceneNode*>(t)) node->AllowDeletion();
      t->DeleteThis();
    }
    made_.clear();
  }

  std::string error_;
  int32_t tpf_ = 0;
  TimeValue time_ = 0;
  Interval range_;
  std::vector<ItemDesc> items_;
  std::vector<std::pair<int32_t, int32_t>> nodes_;
  std::vector<ReferenceTarget*> made_;
  std::vector<bool> lateLoad_;
  std::vector<std::vector<Takes>> blockSlots_;
  bool installed_ = false;
};

// Why a file the chunk reader refused is no saved scene, from its first bytes and its size.
std::string HeaderProblem(const std::string& path, uint64_t size) {
  std::ifstream in(path, std::ios::binary);
  unsigned char h[ChunkFormat::kFileHeaderSize] = {};
  in.read(reinterpret_cast<char*>(h), sizeof h);
  if (!in || size < sizeof h || std::memcmp(h, ChunkFormat::kMagic, 4) != 0)
    return "not a saved scene (it does not begin as one)";
  auto u32 = [&](int at) {
    return uint32_t(h[at]) | (uint32_t(h[at + 1]) << 8) | (uint32_t(h[at + 2]) << 16) | (uint32_t(h[at + 3]) << 24);
  };
  if (u32(4) != ChunkFormat::kVersion)
    return "not a saved scene of this version (chunk file version " + std::to_string(u32(4)) + ")";
  return "truncated or damaged: it holds " + std::to_string(size - sizeof h) + " bytes after its header, which says " +
         std::to_string(u32(8));
}

}  // namespace
}  // namespace scenefile

IOResult LoadScene(const std::string& path, std::string* error) {
  using namespace scenefile;
  auto fail = [&](const std::string& what) {
    if (error) *error = what;
    return IO_ERROR;
  };
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return fail(std::string("cannot read the file: ") + std::strerror(errno));
  if (S_ISDIR(st.st_mode)) return fail("cannot read the file: it is a directory");
  try {
    FileLoad in(path);
    if (in.Status() != IO_OK) return fail(HeaderProblem(path, uint64_t(st.st_size)));
    std::vector<Chunk> top;
    std::string why;
    if (!ReadTree(in, top, &why)) return fail(why);
    Loader loader;
    if (!loader.Parse(top) || !loader.Build()) return fail(loader.Error());
  } catch (const std::bad_alloc&) {
    return fail("not enough memory to load the scene");
  }
  return IO_OK;
}

IOResult ResealSceneFile(const std::string& path, std::string* error) {
  using namespace scenefile;
  auto fail = [&](const std::string& what) {
    if (error) *error = what;
    return IO_ERROR;
  };
  FileLoad in(path);
  if (in.Status() != IO_OK) return fail("not a chunk file, or damaged");
  std::vector<Chunk> top;
  std::string why;
  if (!ReadTree(in, top, &why)) return fail(why);
  if (!top.empty() && top.back().id == kDigestChunk) top.pop_back();
  TreeSave digest;
  const uint32_t value = Digest(top, top.size());
  hostio::SaveData(
      &digest, [&](hostio::Writer& w) { w.U32(value); }, kDigestChunk);
  FileSave out(path);
  WriteTree(out, top);
  WriteTree(out, digest.Top());
  return out.Close() == IO_OK ? IO_OK : fail("cannot write the file");
}
