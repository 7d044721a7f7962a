// The core interface's view and keyboard calls: maps shown in the viewports, redraw requests, accelerators.
#include "materials_fixture.h"

class ViewportTest : public MaterialsTest {
 protected:
  void SetUp() override {
    MaterialsTest::SetUp();
    mtl = NewDefaultStdMat();
    NewNode()->SetMtl(mtl);
    tex = NewDefaultBitmapTex();
    grad = NewDefaultGradTex();
    mtl->SetSubTexmap(ID_DI, tex);
    mtl->SetSubTexmap(ID_OP, grad);
  }
  StdMat2* mtl = nullptr;
  BitmapTex* tex = nullptr;
  GradTex* grad = nullptr;
};

TEST_F(ViewportTest, AMaterialShowsTheMapLastActivated) {
  EXPECT_EQ(HostShownTexmap(mtl), nullptr);
  ip->ActivateTexture(tex, mtl);
  EXPECT_EQ(HostShownTexmap(mtl), tex);
  EXPECT_TRUE(tex->TestMtlFlag(MTL_TEX_DISPLAY_ENABLED));
  ip->ActivateTexture(grad, mtl, -1);
  EXPECT_EQ(HostShownTexmap(mtl), grad);
  EXPECT_FALSE(tex->TestMtlFlag(MTL_TEX_DISPLAY_ENABLED)) << "one map per material";
  ip->DeActivateTexture(grad, mtl);
  EXPECT_EQ(HostShownTexmap(mtl), nullptr);
}

TEST_F(ViewportTest, ShowingAMapOutsideTheMaterialIsReportedAndChangesNothing) {
  AssertCapture asserts;
  ip->ActivateTexture(tex, mtl);
  GradTex* stranger = NewDefaultGradTex();
  ip->ActivateTexture(stranger, mtl);
  ip->ActivateTexture(grad, mtl, 0);  // no sub-materials here
  ip->ActivateTexture(nullptr, mtl);
  ip->ActivateTexture(grad, nullptr);
  ip->DeActivateTexture(stranger, mtl);
  EXPECT_EQ(asserts.Count(), 5u);
  EXPECT_EQ(HostShownTexmap(mtl), tex);
  EXPECT_FALSE(stranger->TestMtlFlag(MTL_TEX_DISPLAY_ENABLED));
  EXPECT_FALSE(grad->TestMtlFlag(MTL_TEX_DISPLAY_ENABLED));
  stranger->MaybeAutoDelete();
}

TEST_F(ViewportTest, RedrawsAreCountedNotDrawn) {
  const long before = HostRedrawCount();
  ip->RedrawViews(ip->GetTime());
  ip->RedrawViews(0, REDRAW_INTERACTIVE);
  EXPECT_EQ(HostRedrawCount(), before + 2);
  ip->ForceCompleteRedraw();
  EXPECT_EQ(HostRedrawCount(), before + 3);
}

TEST(AcceleratorsTest, AreAFlagThatOneEnableTurnsBackOn) {
  Interface* ip = GetCOREInterface();
  ASSERT_TRUE(ip->AcceleratorsEnabled());
  ip->DisableAccelerators();
  EXPECT_FALSE(ip->AcceleratorsEnabled());
  ip->DisableAccelerators();
  ip->EnableAccelerators();
  EXPECT_TRUE(ip->AcceleratorsEnabled()) << "a flag, not a count";
  ip->EnableAccelerators();
  ip->DisableAccelerators();
  EXPECT_FALSE(ip->AcceleratorsEnabled());
  ip->EnableAccelerators();
  EXPECT_TRUE(ip->AcceleratorsEnabled());
}
