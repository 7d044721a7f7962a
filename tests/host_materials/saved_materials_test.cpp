// Materials and maps saved with the scene: loaded back with their settings and sharing, and a file that
// puts something else in their places is refused.
#include <cstring>

#include "host_core/chunk_tree.h"
#include "host_scene/saved_scene_util.h"
#include "materials_fixture.h"

namespace {

class SavedMaterials : public SavedSceneTest {
 protected:
  // Two nodes sharing one material with a bitmap and a gradient, and a third whose material shows the same
  // bitmap in two slots.
  void Build() {
    StdMat2* mtl = NewDefaultStdMat();
    mtl->SetName("Wakeweave");
    BitmapTex* tex = NewDefaultBitmapTex();
    tex->SetName("Trail texture");
    tex->SetMapName("C:\\maps\\wake.png");
    StdUVGen* uv = tex->GetUVGen();
    uv->SetFlag(U_WRAP, 0);
    uv->SetFlag(V_MIRROR, 1);
    uv->SetUTile(2.0f, 0);
    uv->SetVTile(12.5f, 0);
    GradTex* grad = NewDefaultGradTex();
    grad->SetColor(0, Color(1.0f, 1.0f, 1.0f));
    grad->SetColor(1, Color(0.25f, 0.5f, 0.75f));
    grad->SetMidPoint(0.3f, 0);
    grad->SetGradType(3);
    mtl->SetSubTexmap(ID_DI, tex);
    mtl->SetSubTexmap(ID_OP, grad);
    for (const char* name : {"A", "B"}) {
      INode* n = ip->CreateObjectNode(new SplineShape());
      n->SetName(name);
      n->SetMtl(mtl);
    }
    StdMat2* other = NewDefaultStdMat();
    other->SetSubTexmap(ID_AM, tex);
    other->SetSubTexmap(ID_BU, tex);
    INode* c = ip->CreateObjectNode(new SplineShape());
    c->SetName("C");
    c->SetMtl(other);
    ip->CreateObjectNode(new SplineShape())->SetName("Bare");
  }

  std::string SaveAndReset() {
    const std::string path = File("materials.wws");
    std::string error;
    EXPECT_EQ(SaveScene(path, &error), IO_OK) << error;
    ip->ResetScene();
    return path;
  }

  // The edited file, written with a digest that matches.
  std::string Sealed(const std::vector<ChunkNode>& top) {
    const std::string path = File("edited.wws");
    EXPECT_EQ(SaveTree(path, top), IO_OK);
    std::string error;
    EXPECT_EQ(ResealSceneFile(path, &error), IO_OK) << error;
    return path;
  }
};

// The items of a saved file and their reference lists, for editing.
std::vector<ChunkNode>& Items(std::vector<ChunkNode>& top) { return top.at(0).kids.at(1).kids; }
uint32_t GetU32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b.at(at)) | uint32_t(b.at(at + 1)) << 8 | uint32_t(b.at(at + 2)) << 16 | uint32_t(b.at(at + 3)) << 24;
}
// The first item of that class (part B of the host's class ids is 0); -1 if none.
int IndexOfClass(std::vector<ChunkNode>& top, SClass_ID super, ULONG classA) {
  std::vector<ChunkNode>& items = Items(top);
  for (size_t k = 0; k < items.size(); ++k) {
    const std::vector<uint8_t>& c = items[k].kids.at(0).data;
    if (GetU32(c, 0) == super && GetU32(c, 4) == classA) return int(k);
  }
  return -1;
}
void PutRef(std::vector<ChunkNode>& top, int item, int ref, int32_t to) {
  std::vector<uint8_t>& refs = Items(top).at(size_t(item)).kids.at(1).data;
  for (int i = 0; i < 4; ++i) refs.at(size_t(4 + 4 * ref + i)) = uint8_t(uint32_t(to) >> (8 * i));
}

}  // namespace

TEST_F(SavedMaterials, ComeBackWithTheirSettingsAndShared) {
  Build();
  std::string error;
  ASSERT_EQ(LoadScene(SaveAndReset(), &error), IO_OK) << error;
  INode* a = ip->GetINodeByName("A");
  INode* b = ip->GetINodeByName("B");
  INode* c = ip->GetINodeByName("C");
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(ip->GetINodeByName("Bare")->GetMtl(), nullptr);
  Mtl* mtl = a->GetMtl();
  ASSERT_NE(mtl, nullptr);
  EXPECT_EQ(b->GetMtl(), mtl) << "one material, shared as before";
  EXPECT_STREQ(mtl->GetName(), "Wakeweave");
  ASSERT_EQ(mtl->ClassID(), Class_ID(DMTL_CLASS_ID, 0));

  auto* tex = dynamic_cast<BitmapTex*>(mtl->GetSubTexmap(ID_DI));
  ASSERT_NE(tex, nullptr);
  EXPECT_STREQ(tex->GetName(), "Trail texture");
  EXPECT_STREQ(tex->GetMapName(), "C:\\maps\\wake.png");
  StdUVGen* uv = tex->GetUVGen();
  ASSERT_NE(uv, nullptr);
  EXPECT_FALSE(uv->GetFlag(U_WRAP));
  EXPECT_TRUE(uv->GetFlag(V_WRAP));
  EXPECT_TRUE(uv->GetFlag(V_MIRROR));
  EXPECT_FALSE(uv->GetFlag(U_MIRROR));
  EXPECT_EQ(uv->GetUTile(0), 2.0f);
  EXPECT_EQ(uv->GetVTile(0), 12.5f);

  auto* grad = dynamic_cast<GradTex*>(mtl->GetSubTexmap(ID_OP));
  ASSERT_NE(grad, nullptr);
  EXPECT_EQ(grad->GetColor(0), Color(1.0f, 1.0f, 1.0f));
  EXPECT_EQ(grad->GetColor(1), Color(0.25f, 0.5f, 0.75f));
  EXPECT_EQ(grad->GetColor(2), Color(1.0f, 1.0f, 1.0f));
  EXPECT_EQ(grad->GetMidPoint(), 0.3f);
  EXPECT_EQ(grad->GetGradType(), 3);
  for (int i = 0; i < STD2_NMAX_TEXMAPS; ++i)
    if (i != ID_DI && i != ID_OP) EXPECT_EQ(mtl->GetSubTexmap(i), nullptr) << i;

  Mtl* other = c->GetMtl();
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(other->GetSubTexmap(ID_AM), tex) << "the same bitmap, once";
  EXPECT_EQ(other->GetSubTexmap(ID_BU), tex);
  // Freed with the scene, each once: the fixture counts.
}

TEST_F(SavedMaterials, AFileThatPutsSomethingElseInTheirPlacesIsRefused) {
  Build();
  const std::string good = SaveAndReset();
  ip->CreateObjectNode(new SplineShape())->SetName("Keep");
  const long live = MAX_heapLiveCount();
  std::vector<ChunkNode> saved = WalkFile(good).top;
  const int shape = IndexOfClass(saved, SHAPE_CLASS_ID, SPLINESHAPE_CLASS_ID);
  const int mtl = IndexOfClass(saved, MATERIAL_CLASS_ID, DMTL_CLASS_ID);
  const int tex = IndexOfClass(saved, TEXMAP_CLASS_ID, BMTEX_CLASS_ID);
  const int grad = IndexOfClass(saved, TEXMAP_CLASS_ID, GRADIENT_CLASS_ID);
  ASSERT_TRUE(shape >= 0 && mtl >= 0 && tex >= 0 && grad >= 0);

  struct Edit {
    int item, ref, to;
    const char* said;
  };
  const Edit edits[] = {
      {0, 4, shape, "material"},     // a node's material is a shape
      {0, 4, tex, "material"},       // ... or a map
      {mtl, ID_DI, shape, "map"},    // a slot holds a shape
      {mtl, ID_OP, mtl, "map"},      // ... or the material itself
      {tex, 0, grad, "coordinate"},  // a bitmap's coordinates are a map
      {tex, 0, -1, "coordinate"},    // ... or missing
  };
  for (const Edit& e : edits) {
    std::vector<ChunkNode> top = WalkFile(good).top;
    PutRef(top, e.item, e.ref, e.to);
    const std::string path = Sealed(top);
    std::string error;
    EXPECT_EQ(LoadScene(path, &error), IO_ERROR) << e.item << "/" << e.ref;
    EXPECT_NE(error.find(e.said), std::string::npos) << error;
    EXPECT_NE(ip->GetINodeByName("Keep"), nullptr);
    EXPECT_EQ(MAX_heapLiveCount(), live) << error;
  }
}

TEST_F(SavedMaterials, SettingsTheMapsCannotHoldAreRefused) {
  Build();
  const std::string good = SaveAndReset();
  const long live = MAX_heapLiveCount();
  struct Edit {
    SClass_ID super;
    ULONG classA;
    size_t at;  // in the item's data, after its empty name
    uint32_t value;
  };
  const float two = 2.0f;
  uint32_t twoBits = 0;
  std::memcpy(&twoBits, &two, 4);
  const Edit edits[] = {
      {TEXMAP_CLASS_ID, GRADIENT_CLASS_ID, 4 + 9 * 4, twoBits},  // the midpoint past the end
      {UVGEN_CLASS_ID, STDUV_CLASS_ID, 4, 1u << 4},              // a flag that is not a tiling flag
      {UVGEN_CLASS_ID, STDUV_CLASS_ID, 8, 0x7FC00000},           // a tiling that is no number
  };
  for (const Edit& e : edits) {
    std::vector<ChunkNode> top = WalkFile(good).top;
    const int item = IndexOfClass(top, e.super, e.classA);
    ASSERT_GE(item, 0);
    std::vector<uint8_t>& data = Items(top).at(size_t(item)).kids.at(2).kids.at(0).data;
    ASSERT_EQ(GetU32(data, 0), 0u) << "its name is empty";
    for (int i = 0; i < 4; ++i) data.at(e.at + size_t(i)) = uint8_t(e.value >> (8 * i));
    const std::string path = Sealed(top);
    std::string error;
    EXPECT_EQ(LoadScene(path, &error), IO_ERROR) << e.at;
    EXPECT_NE(error.find("damaged"), std::string::npos) << error;
    EXPECT_EQ(MAX_heapLiveCount(), live) << error;
  }
}

TEST_F(SavedMaterials, ANodeSavedBeforeNodesHadMaterialsLoadsWithoutOne) {
  Build();
  const std::string good = SaveAndReset();
  std::vector<ChunkNode> top = WalkFile(good).top;
  std::vector<uint8_t>& refs = Items(top).at(3).kids.at(1).data;  // "Bare", the last node
  ASSERT_EQ(GetU32(refs, 0), 5u);
  ASSERT_EQ(GetU32(refs, 4 + 4 * 4), 0xFFFFFFFFu) << "no material";
  refs.resize(refs.size() - 4);
  refs[0] = 4;
  const std::string path = Sealed(top);
  std::string error;
  ASSERT_EQ(LoadScene(path, &error), IO_OK) << error;
  ASSERT_NE(ip->GetINodeByName("Bare"), nullptr);
  EXPECT_EQ(ip->GetINodeByName("Bare")->GetMtl(), nullptr);
  EXPECT_NE(ip->GetINodeByName("A")->GetMtl(), nullptr);
}
