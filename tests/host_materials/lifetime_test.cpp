// Materials and maps live as long as something references them: a slot, a node, another material.
#include "materials_fixture.h"

using MaterialLifetimeTest = MaterialsTest;

TEST_F(MaterialLifetimeTest, AMapReplacedInItsSlotIsFreedOnceAndItsSuccessorKept) {
  int aGone = 0, bGone = 0;
  INode* node = NewNode();
  StdMat2* mtl = NewDefaultStdMat();
  ASSERT_NE(mtl, nullptr);
  node->SetMtl(mtl);
  auto* a = new CountingMap(&aGone);
  auto* b = new CountingMap(&bGone);
  mtl->SetSubTexmap(ID_DI, a);
  mtl->SetSubTexmap(ID_DI, b);
  EXPECT_EQ(aGone, 1);
  EXPECT_EQ(bGone, 0);
  EXPECT_EQ(mtl->GetSubTexmap(ID_DI), b);
  // Putting the same map again changes nothing: it is not dropped on the way.
  mtl->SetSubTexmap(ID_DI, b);
  EXPECT_EQ(bGone, 0);
  EXPECT_EQ(b->NumDependents(), 1);
  ip->DeleteNode(node);
  EXPECT_EQ(bGone, 1);
  EXPECT_EQ(aGone, 1);
}

TEST_F(MaterialLifetimeTest, AMapSharedBySlotsOrMaterialsGoesWithItsLastHolder) {
  int gone = 0;
  auto* shared = new CountingMap(&gone);
  INode* n1 = NewNode();
  INode* n2 = NewNode();
  StdMat2* m1 = NewDefaultStdMat();
  StdMat2* m2 = NewDefaultStdMat();
  n1->SetMtl(m1);
  n2->SetMtl(m2);
  m1->SetSubTexmap(ID_DI, shared);
  m1->SetSubTexmap(ID_OP, shared);
  m2->SetSubTexmap(ID_BU, shared);

  m1->SetSubTexmap(ID_DI, nullptr);
  m1->SetSubTexmap(ID_OP, nullptr);
  EXPECT_EQ(gone, 0) << "the other material still holds it";
  EXPECT_EQ(m2->GetSubTexmap(ID_BU), shared);
  n2->SetMtl(nullptr);  // the material goes, and the map with it
  EXPECT_EQ(gone, 1);
}

TEST_F(MaterialLifetimeTest, ANodesMaterialIsReplacedOrSharedLikeAnyReference) {
  int gone = 0;
  INode* n1 = NewNode();
  INode* n2 = NewNode();
  StdMat2* first = NewDefaultStdMat();
  first->SetSubTexmap(ID_DI, new CountingMap(&gone));
  n1->SetMtl(first);
  n2->SetMtl(first);
  EXPECT_EQ(n1->GetMtl(), first);
  n1->SetMtl(NewDefaultStdMat());
  EXPECT_EQ(gone, 0) << "the second node still holds the first material";
  EXPECT_EQ(n2->GetMtl(), first);
  n2->SetMtl(n1->GetMtl());
  EXPECT_EQ(gone, 1) << "nobody holds the first material any more: it goes with its map";
  EXPECT_EQ(n1->GetMtl(), n2->GetMtl());
}

TEST_F(MaterialLifetimeTest, DeletingANodeOrResettingTheSceneFreesItsMaterial) {
  int gone = 0;
  NewNode()->SetMtl(NewDefaultStdMat());
  StdMat2* mtl = NewDefaultStdMat();
  mtl->SetSubTexmap(ID_OP, new CountingMap(&gone));
  NewNode()->SetMtl(mtl);
  ip->ResetScene();
  EXPECT_EQ(gone, 1);
  EXPECT_EQ(MAX_heapLiveCount(), liveAtStart);
}

TEST_F(MaterialLifetimeTest, MaybeAutoDeleteFreesOnlyWhatNobodyTook) {
  int gone = 0;
  StdMat2* unused = NewDefaultStdMat();
  unused->SetSubTexmap(ID_DI, new CountingMap(&gone));
  EXPECT_EQ(unused->MaybeAutoDelete(), REF_SUCCEED);
  EXPECT_EQ(gone, 1) << "its maps go with it";

  INode* node = NewNode();
  StdMat2* taken = NewDefaultStdMat();
  node->SetMtl(taken);
  EXPECT_EQ(taken->MaybeAutoDelete(), REF_FAIL);
  EXPECT_EQ(node->GetMtl(), taken);

  int mapGone = 0;
  auto* map = new CountingMap(&mapGone);
  taken->SetSubTexmap(ID_SP, map);
  EXPECT_EQ(map->MaybeAutoDelete(), REF_FAIL);
  EXPECT_EQ(mapGone, 0);
  BitmapTex* loose = NewDefaultBitmapTex();
  EXPECT_EQ(loose->MaybeAutoDelete(), REF_SUCCEED);  // with its coordinates: the fixture counts them
  // The taken material and its map go with the scene, while the counter is still there to hear it.
  ip->ResetScene();
  EXPECT_EQ(mapGone, 1);
}

TEST_F(MaterialLifetimeTest, AMapDeletedWhileInASlotLeavesTheSlotEmptyAndNotActive) {
  int gone = 0;
  StdMat2* mtl = NewDefaultStdMat();
  NewNode()->SetMtl(mtl);
  auto* map = new CountingMap(&gone);
  mtl->SetSubTexmap(ID_DI, map);
  mtl->SetActiveTexmap(map);
  map->DeleteMe();
  EXPECT_EQ(gone, 1);
  EXPECT_EQ(mtl->GetSubTexmap(ID_DI), nullptr);
  EXPECT_EQ(mtl->GetActiveTexmap(), nullptr);
}

TEST_F(MaterialLifetimeTest, TheRootCarriesNoMaterial) {
  AssertCapture asserts;
  StdMat2* mtl = NewDefaultStdMat();
  ip->GetRootNode()->SetMtl(mtl);
  EXPECT_EQ(asserts.Count(), 1u);
  EXPECT_EQ(ip->GetRootNode()->GetMtl(), nullptr);
  EXPECT_EQ(mtl->MaybeAutoDelete(), REF_SUCCEED) << "the root took no reference to it";
}
