// The Standard material's slots, its name and its active map.
#include "materials_fixture.h"

class StdMatTest : public MaterialsTest {
 protected:
  void SetUp() override {
    MaterialsTest::SetUp();
    node = NewNode();
    mtl = NewDefaultStdMat();
    ASSERT_NE(mtl, nullptr);
    node->SetMtl(mtl);
  }
  INode* node = nullptr;
  StdMat2* mtl = nullptr;
};

TEST_F(StdMatTest, IsAMaterialWithTwelveEmptySlotsAndAName) {
  EXPECT_EQ(mtl->SuperClassID(), SClass_ID(MATERIAL_CLASS_ID));
  EXPECT_EQ(mtl->ClassID(), Class_ID(DMTL_CLASS_ID, 0));
  ASSERT_EQ(mtl->NumSubTexmaps(), 12);
  for (int i = 0; i < mtl->NumSubTexmaps(); ++i) EXPECT_EQ(mtl->GetSubTexmap(i), nullptr) << i;
  EXPECT_STREQ(mtl->GetName(), "");
  mtl->SetName("Wakeweave 2");
  EXPECT_STREQ(mtl->GetName(), "Wakeweave 2");
  mtl->SetName(nullptr);
  EXPECT_STREQ(mtl->GetName(), "");
}

TEST_F(StdMatTest, EachSlotHoldsItsOwnMapAndIsAReferenceOfTheMaterial) {
  BitmapTex* tex = NewDefaultBitmapTex();
  GradTex* grad = NewDefaultGradTex();
  mtl->SetSubTexmap(ID_DI, tex);
  mtl->SetSubTexmap(ID_OP, grad);
  EXPECT_EQ(mtl->GetSubTexmap(1), tex);
  EXPECT_EQ(mtl->GetSubTexmap(6), grad);
  for (int i : {0, 2, 3, 4, 5, 7, 8, 9, 10, 11}) EXPECT_EQ(mtl->GetSubTexmap(i), nullptr) << i;
  ASSERT_EQ(tex->NumDependents(), 1);
  EXPECT_EQ(tex->Dependent(0), mtl);
  EXPECT_EQ(mtl->GetReference(ID_OP), grad);
  ASSERT_EQ(mtl->NumDependents(), 1);
  EXPECT_EQ(mtl->Dependent(0), node);
}

TEST_F(StdMatTest, ASlotOutOfRangeIsReportedAndChangesNothing) {
  AssertCapture asserts;
  int gone = 0;
  auto* map = new CountingMap(&gone);
  mtl->SetSubTexmap(STD2_NMAX_TEXMAPS, map);
  mtl->SetSubTexmap(-1, map);
  EXPECT_EQ(mtl->GetSubTexmap(STD2_NMAX_TEXMAPS), nullptr);
  EXPECT_EQ(asserts.Count(), 3u);
  EXPECT_EQ(map->NumDependents(), 0) << "no slot took it";
  for (int i = 0; i < STD2_NMAX_TEXMAPS; ++i) EXPECT_EQ(mtl->GetSubTexmap(i), nullptr) << i;
  map->MaybeAutoDelete();
  EXPECT_EQ(gone, 1);
}

TEST_F(StdMatTest, MapsHaveNoSlotsOfTheirOwn) {
  AssertCapture asserts;
  GradTex* grad = NewDefaultGradTex();
  EXPECT_EQ(grad->NumSubTexmaps(), 0);
  EXPECT_EQ(grad->GetSubTexmap(0), nullptr);
  EXPECT_EQ(asserts.Count(), 1u);
  grad->MaybeAutoDelete();
}

TEST_F(StdMatTest, TheActiveMapIsOneOfItsMapsUntilItLeavesItsLastSlot) {
  AssertCapture asserts;
  BitmapTex* tex = NewDefaultBitmapTex();
  GradTex* grad = NewDefaultGradTex();
  EXPECT_EQ(mtl->GetActiveTexmap(), nullptr);
  mtl->SetActiveTexmap(tex);  // not in a slot yet
  EXPECT_EQ(asserts.Count(), 1u);
  EXPECT_EQ(mtl->GetActiveTexmap(), nullptr);

  mtl->SetSubTexmap(ID_DI, tex);
  mtl->SetSubTexmap(ID_AM, tex);
  mtl->SetSubTexmap(ID_OP, grad);
  mtl->SetActiveTexmap(tex);
  EXPECT_EQ(mtl->GetActiveTexmap(), tex);
  mtl->SetSubTexmap(ID_DI, nullptr);
  EXPECT_EQ(mtl->GetActiveTexmap(), tex) << "still in the ambient slot";
  mtl->SetSubTexmap(ID_AM, NewDefaultGradTex());
  EXPECT_EQ(mtl->GetActiveTexmap(), nullptr) << "gone from the material (and freed)";

  mtl->SetActiveTexmap(grad);
  mtl->SetActiveTexmap(nullptr);
  EXPECT_EQ(mtl->GetActiveTexmap(), nullptr);
  EXPECT_EQ(asserts.Count(), 1u);
}

TEST_F(StdMatTest, AChangedMapIsAChangedMaterialForItsUsers) {
  BitmapTex* tex = NewDefaultBitmapTex();
  mtl->SetSubTexmap(ID_DI, tex);
  Listener listener(mtl);
  tex->GetUVGen()->SetVTile(4.0f, 0);  // generator -> map -> material -> listener
  EXPECT_EQ(listener.Count(REFMSG_CHANGE), 1);
  mtl->SetSubTexmap(ID_OP, NewDefaultGradTex());
  EXPECT_EQ(listener.Count(REFMSG_CHANGE), 2);
}
