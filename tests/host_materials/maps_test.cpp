// The bitmap map, its coordinates and the gradient map: their settings and the faults they report.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>

#include "materials_fixture.h"

using MapsTest = MaterialsTest;

TEST_F(MapsTest, CoordinatesWrapOnceAlongBothAxesByDefault) {
  BitmapTex* tex = NewDefaultBitmapTex();
  ASSERT_NE(tex, nullptr);
  StdUVGen* uv = tex->GetUVGen();
  ASSERT_NE(uv, nullptr);
  EXPECT_EQ(uv->SuperClassID(), SClass_ID(UVGEN_CLASS_ID));
  EXPECT_TRUE(uv->GetFlag(U_WRAP));
  EXPECT_TRUE(uv->GetFlag(V_WRAP));
  EXPECT_FALSE(uv->GetFlag(U_MIRROR));
  EXPECT_FALSE(uv->GetFlag(V_MIRROR));
  EXPECT_EQ(uv->GetUTile(0), 1.0f);
  EXPECT_EQ(uv->GetVTile(0), 1.0f);
  // The generator is the map's: it is referenced by it and goes with it (the fixture counts).
  ASSERT_EQ(uv->NumDependents(), 1);
  EXPECT_EQ(uv->Dependent(0), tex);
  tex->MaybeAutoDelete();
}

TEST_F(MapsTest, EachTilingFlagIsSetAndClearedOnItsOwn) {
  BitmapTex* tex = NewDefaultBitmapTex();
  StdUVGen* uv = tex->GetUVGen();
  uv->SetFlag(U_WRAP, 0);
  EXPECT_FALSE(uv->GetFlag(U_WRAP));
  EXPECT_TRUE(uv->GetFlag(V_WRAP));
  uv->SetFlag(V_MIRROR, 1);
  EXPECT_TRUE(uv->GetFlag(V_MIRROR));
  EXPECT_FALSE(uv->GetFlag(U_MIRROR));
  EXPECT_TRUE(uv->GetFlag(V_WRAP));
  uv->SetFlag(U_WRAP | U_MIRROR, 7);  // any nonzero value is on
  EXPECT_TRUE(uv->GetFlag(U_WRAP));
  EXPECT_TRUE(uv->GetFlag(U_MIRROR));
  uv->SetFlag(U_WRAP | V_WRAP | U_MIRROR | V_MIRROR, 0);
  for (ULONG f : {U_WRAP, V_WRAP, U_MIRROR, V_MIRROR}) EXPECT_FALSE(uv->GetFlag(f)) << f;
  tex->MaybeAutoDelete();
}

TEST_F(MapsTest, TilingIsKeptAsGivenAndAFlagOrValueItCannotTakeIsReported) {
  AssertCapture asserts;
  BitmapTex* tex = NewDefaultBitmapTex();
  StdUVGen* uv = tex->GetUVGen();
  uv->SetUTile(1.0f, 0);
  uv->SetVTile(12.5f, 4800);
  EXPECT_EQ(uv->GetUTile(0), 1.0f);
  EXPECT_EQ(uv->GetVTile(0), 12.5f) << "not animated: the value holds at every time";
  EXPECT_EQ(uv->GetVTile(-9600), 12.5f);
  uv->SetVTile(-2.0f, 0);
  EXPECT_EQ(uv->GetVTile(0), -2.0f);
  EXPECT_EQ(asserts.Count(), 0u);

  uv->SetVTile(std::numeric_limits<float>::quiet_NaN(), 0);
  uv->SetUTile(std::numeric_limits<float>::infinity(), 0);
  uv->SetFlag(1 << 4, 1);
  uv->SetFlag(U_WRAP | (1 << 9), 0);
  EXPECT_EQ(asserts.Count(), 4u);
  EXPECT_EQ(uv->GetVTile(0), -2.0f);
  EXPECT_EQ(uv->GetUTile(0), 1.0f);
  EXPECT_TRUE(uv->GetFlag(U_WRAP)) << "a call with a bad bit changes none of the good ones";
  tex->MaybeAutoDelete();
}

TEST_F(MapsTest, TheBitmapKeepsItsFileNameAndNotesEachReload) {
  const std::string path = (std::filesystem::path(::testing::TempDir()) / "ww_materials_texture.png").string();
  std::filesystem::remove(path);
  BitmapTex* tex = NewDefaultBitmapTex();
  EXPECT_EQ(tex->SuperClassID(), SClass_ID(TEXMAP_CLASS_ID));
  EXPECT_EQ(tex->ClassID(), Class_ID(BMTEX_CLASS_ID, 0));
  EXPECT_STREQ(tex->GetMapName(), "");
  EXPECT_EQ(tex->ReloadCount(), 0);
  tex->SetMapName(path.c_str());
  EXPECT_STREQ(tex->GetMapName(), path.c_str());
  EXPECT_EQ(tex->ReloadCount(), 0) << "naming the file does not read it";

  tex->ReloadBitmapAndUpdate();
  EXPECT_EQ(tex->ReloadCount(), 1);
  EXPECT_FALSE(tex->BitmapFileFound());
  std::ofstream(path) << "not really an image";
  tex->ReloadBitmapAndUpdate();
  EXPECT_EQ(tex->ReloadCount(), 2);
  EXPECT_TRUE(tex->BitmapFileFound());
  tex->SetMapName(nullptr);
  tex->ReloadBitmapAndUpdate();
  EXPECT_FALSE(tex->BitmapFileFound()) << "no name, no file";
  EXPECT_STREQ(tex->GetMapName(), "");
  std::filesystem::remove(path);

  Listener listener(tex);
  tex->ReloadBitmapAndUpdate();
  EXPECT_EQ(listener.Count(REFMSG_CHANGE), 1) << "its users are told";
}

TEST_F(MapsTest, TheGradientStartsBlackGreyWhiteAndKeepsItsThreeColours) {
  GradTex* grad = NewDefaultGradTex();
  ASSERT_NE(grad, nullptr);
  EXPECT_EQ(grad->SuperClassID(), SClass_ID(TEXMAP_CLASS_ID));
  EXPECT_EQ(grad->ClassID(), Class_ID(GRADIENT_CLASS_ID, 0));
  EXPECT_EQ(grad->GetColor(0), Color(0.0f, 0.0f, 0.0f));
  EXPECT_EQ(grad->GetColor(1), Color(0.5f, 0.5f, 0.5f));
  EXPECT_EQ(grad->GetColor(2), Color(1.0f, 1.0f, 1.0f));
  EXPECT_EQ(grad->GetMidPoint(), 0.5f);
  EXPECT_EQ(grad->GetGradType(), GRAD_LINEAR);

  grad->SetColor(0, Color(1.0f, 1.0f, 1.0f));
  grad->SetColor(1, Color(0.25f, 0.5f, 0.75f));
  grad->SetColor(2, Color(0.0f, 0.0f, 0.0f));
  EXPECT_EQ(grad->GetColor(0), Color(1.0f, 1.0f, 1.0f));
  EXPECT_EQ(grad->GetColor(1), Color(0.25f, 0.5f, 0.75f));
  EXPECT_EQ(grad->GetColor(2), Color(0.0f, 0.0f, 0.0f));
  grad->MaybeAutoDelete();
}

TEST_F(MapsTest, AGradientColourIndexOutOfRangeIsReportedAndChangesNothing) {
  AssertCapture asserts;
  GradTex* grad = NewDefaultGradTex();
  grad->SetColor(3, Color(0.1f, 0.2f, 0.3f));
  grad->SetColor(-1, Color(0.1f, 0.2f, 0.3f));
  EXPECT_EQ(asserts.Count(), 2u);
  EXPECT_EQ(grad->GetColor(3), Color()) << "black for a colour that does not exist";
  EXPECT_EQ(asserts.Count(), 3u);
  EXPECT_EQ(grad->GetColor(0), Color(0.0f, 0.0f, 0.0f));
  EXPECT_EQ(grad->GetColor(1), Color(0.5f, 0.5f, 0.5f));
  EXPECT_EQ(grad->GetColor(2), Color(1.0f, 1.0f, 1.0f));
  grad->MaybeAutoDelete();
}

TEST_F(MapsTest, TheMidpointIsClampedToTheGradientAndItsTypeKeptAsGiven) {
  AssertCapture asserts;
  GradTex* grad = NewDefaultGradTex();
  grad->SetMidPoint(0.3f, 0);
  EXPECT_EQ(grad->GetMidPoint(0), 0.3f);
  EXPECT_EQ(grad->GetMidPoint(9600), 0.3f);
  grad->SetMidPoint(1.5f, 0);
  EXPECT_EQ(grad->GetMidPoint(), 1.0f);
  grad->SetMidPoint(-0.5f, 0);
  EXPECT_EQ(grad->GetMidPoint(), 0.0f);
  EXPECT_EQ(asserts.Count(), 0u);
  grad->SetMidPoint(std::nanf(""), 0);
  EXPECT_EQ(asserts.Count(), 1u);
  EXPECT_EQ(grad->GetMidPoint(), 0.0f);

  grad->SetGradType(GRAD_RADIAL);
  EXPECT_EQ(grad->GetGradType(), GRAD_RADIAL);
  grad->SetGradType(3);  // no type the host defines: kept, not refused or changed
  EXPECT_EQ(grad->GetGradType(), 3);
  EXPECT_EQ(asserts.Count(), 1u);
  grad->MaybeAutoDelete();
}

TEST_F(MapsTest, EachCreationFailureSwitchFailsTheNextCallOnly) {
  SetNextNewDefaultStdMatFails(TRUE);
  EXPECT_EQ(NewDefaultStdMat(), nullptr);
  StdMat2* mtl = NewDefaultStdMat();
  EXPECT_NE(mtl, nullptr);

  SetNextNewDefaultBitmapTexFails(TRUE);
  GradTex* grad = NewDefaultGradTex();
  EXPECT_NE(grad, nullptr) << "another maker's switch";
  EXPECT_EQ(NewDefaultBitmapTex(), nullptr);
  BitmapTex* tex = NewDefaultBitmapTex();
  EXPECT_NE(tex, nullptr);

  SetNextNewDefaultGradTexFails(TRUE);
  EXPECT_EQ(NewDefaultGradTex(), nullptr);
  SetNextNewDefaultGradTexFails(TRUE);
  SetNextNewDefaultGradTexFails(FALSE);  // taken back
  GradTex* grad2 = NewDefaultGradTex();
  EXPECT_NE(grad2, nullptr);

  for (MtlBase* m : std::initializer_list<MtlBase*>{mtl, grad, tex, grad2})
    if (m) m->MaybeAutoDelete();
}
