// Apply on the "Effects" rollout: the texture and the fade written into the material of the modifier's
// node, the overwrite question and its three answers, and what the person is told.
#include <gtest/gtest.h>

#include <stdmat.h>

#include <string>

#include "panel_fixture.h"

namespace {

const char kQuestion[] = "Do you wish to Overwrite the opacity map of ";

class ApplyEffects : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    Open();
  }
  void ChooseTexture(const char* path) {
    Press(map_effects, IDC_APPLY_TEXTURE);
    Type(map_effects, IDC_TEXTURE_PATH, path);
  }
  void ChooseFade() { Press(map_effects, IDC_APPLY_FADE); }
  // Apply as the procedure runs it, with its result.
  int Apply() {
    auto* proc = dynamic_cast<WakeweaveDlgProc*>(mod->pblock->GetMap(MapID(map_effects))->GetUserDlgProc());
    return proc ? proc->applyEffects(Rollout(map_effects)) : -1;
  }
  Mtl* Material() const { return node->GetMtl(); }
  Texmap* Slot(int i) const { return Material() ? Material()->GetSubTexmap(i) : nullptr; }
  static int Questions(const PanelAgent& agent) {
    int n = 0;
    for (const auto& b : agent.boxes) n += b.text == kQuestion && b.caption == "Overwrite" && b.type == MB_YESNOCANCEL;
    return n;
  }
  static int Successes(const PanelAgent& agent) {
    int n = 0;
    for (const auto& b : agent.boxes) n += b.text == "Effects have been successfully applied" && b.caption == "Success";
    return n;
  }
};

}  // namespace

TEST_F(ApplyEffects, NeitherEffectOnlyRedraws) {
  PanelAgent agent;
  const long redraws = HostRedrawCount();
  EXPECT_EQ(Apply(), 0);
  EXPECT_EQ(HostRedrawCount(), redraws + 1);
  EXPECT_TRUE(agent.boxes.empty());
  EXPECT_EQ(Material(), nullptr);
}

TEST_F(ApplyEffects, BothEffectsOnANodeWithoutMaterialMakeOneNamedWakeweaveWithoutAQuestion) {
  ChooseTexture("C:\\maps\\wake.png");
  Enter(map_effects, IDC_VREPEAT_EDIT, "3");
  ChooseFade();
  PanelAgent agent;
  Press(map_effects, IDC_APPLY);

  Mtl* mtl = Material();
  ASSERT_NE(mtl, nullptr);
  EXPECT_EQ(std::string(mtl->GetName()), "Wakeweave");
  auto* tex = dynamic_cast<BitmapTex*>(Slot(ID_DI));
  ASSERT_NE(tex, nullptr) << "the bitmap goes into the diffuse slot";
  EXPECT_EQ(std::string(tex->GetMapName()), "C:\\maps\\wake.png");
  EXPECT_GE(tex->ReloadCount(), 1);
  StdUVGen* uv = tex->GetUVGen();
  ASSERT_NE(uv, nullptr);
  EXPECT_TRUE(uv->GetFlag(U_WRAP));
  EXPECT_TRUE(uv->GetFlag(V_WRAP));
  EXPECT_FLOAT_EQ(uv->GetUTile(0), 1.0f) << "once across the trail";
  EXPECT_FLOAT_EQ(uv->GetVTile(0), 3.0f) << "three times along it";
  EXPECT_EQ(HostShownTexmap(mtl), tex) << "the bitmap, not the gradient, is shown in the viewports";

  auto* grad = dynamic_cast<GradTex*>(Slot(ID_OP));
  ASSERT_NE(grad, nullptr) << "the gradient goes into the opacity slot";
  EXPECT_FLOAT_EQ(grad->GetMidPoint(0), 0.8f);
  EXPECT_EQ(grad->GetGradType(), 3);
  const Color white(1.0f, 1.0f, 1.0f), black(0.0f, 0.0f, 0.0f);
  EXPECT_TRUE(grad->GetColor(0) == white);
  EXPECT_TRUE(grad->GetColor(1) == black);
  EXPECT_TRUE(grad->GetColor(2) == black);
  EXPECT_EQ(mtl->GetActiveTexmap(), grad) << "the last effect applied is the active map";

  EXPECT_EQ(Questions(agent), 0);
  ASSERT_EQ(agent.boxes.size(), 1u);
  EXPECT_EQ(Successes(agent), 1);
  EXPECT_EQ(agent.boxes[0].owner, Rollout(map_effects));
}

TEST_F(ApplyEffects, ASecondApplyAsksBeforeOverwritingOurOpacityMapAndHonoursEachAnswer) {
  ChooseTexture("C:\\maps\\wake.png");
  ChooseFade();
  {
    PanelAgent agent;
    ASSERT_EQ(Apply(), 1);
  }
  Texmap* firstTex = Slot(ID_DI);
  Texmap* firstGrad = Slot(ID_OP);

  // Cancel at the first question: nothing changes, no second question, no redraw, no success.
  {
    PanelAgent agent;
    agent.answers = {IDCANCEL};
    const long redraws = HostRedrawCount();
    EXPECT_EQ(Apply(), 0);
    EXPECT_EQ(Questions(agent), 1);
    EXPECT_EQ(agent.boxes.size(), 1u);
    EXPECT_EQ(HostRedrawCount(), redraws);
    EXPECT_EQ(Slot(ID_DI), firstTex);
    EXPECT_EQ(Slot(ID_OP), firstGrad);
  }
  // No for the texture, Yes for the fade: only the gradient is new.
  {
    PanelAgent agent;
    agent.answers = {IDNO, IDYES};
    EXPECT_EQ(Apply(), 1);
    EXPECT_EQ(Questions(agent), 2) << "both effects ask about the opacity map";
    EXPECT_EQ(Successes(agent), 1);
    EXPECT_EQ(Slot(ID_DI), firstTex);
    EXPECT_NE(Slot(ID_OP), nullptr);
    EXPECT_NE(Slot(ID_OP), firstGrad);
  }
  // Yes for the texture, Cancel for the fade: the texture stays applied, without the success message.
  {
    PanelAgent agent;
    agent.answers = {IDYES, IDCANCEL};
    EXPECT_EQ(Apply(), 0);
    EXPECT_NE(Slot(ID_DI), firstTex);
    EXPECT_EQ(Successes(agent), 0);
  }
}

TEST_F(ApplyEffects, AForeignMaterialIsChangedWithoutAQuestion) {
  StdMat2* brick = NewDefaultStdMat();
  brick->SetName("Brick");
  brick->SetSubTexmap(ID_OP, NewDefaultGradTex());
  node->SetMtl(brick);
  ChooseFade();
  PanelAgent agent;
  EXPECT_EQ(Apply(), 1);
  EXPECT_EQ(Questions(agent), 0);
  EXPECT_EQ(Material(), brick) << "the node keeps its material";
  EXPECT_EQ(std::string(brick->GetName()), "Brick");
  EXPECT_FLOAT_EQ(dynamic_cast<GradTex*>(Slot(ID_OP))->GetMidPoint(0), 0.8f);
}

TEST_F(ApplyEffects, ATextureThatCannotBeMadeStopsBeforeTheFadeAndLeavesTheNodeAlone) {
  ChooseTexture("C:\\maps\\wake.png");
  ChooseFade();
  PanelAgent agent;
  SetNextNewDefaultBitmapTexFails(TRUE);
  EXPECT_EQ(Apply(), 0);
  ASSERT_EQ(agent.boxes.size(), 1u);
  EXPECT_EQ(agent.boxes[0].text, "Failed to create texture of bitmap");
  EXPECT_EQ(agent.boxes[0].caption, "Failed");
  EXPECT_EQ(agent.boxes[0].type & MB_TYPEMASK, UINT(MB_OK));
  EXPECT_EQ(Material(), nullptr) << "the material made for the texture is not assigned";
}

TEST_F(ApplyEffects, AModifierThatIsNotTheFirstOfItsKindOnItsNodeAppliesNothingAndSaysWhy) {
  // A second modifier of the same class on the same node: its node cannot be told from the first's.
  Wakeweave* second = NewModifier();
  auto* stack = static_cast<IDerivedObject*>(node->GetObjectRef());
  ASSERT_EQ(stack->SuperClassID(), GEN_DERIVOB_CLASS_ID);
  stack->AddModifier(second, nullptr, stack->NumModifiers());  // below the first
  Close();
  mod = second;
  Open();
  ChooseFade();
  PanelAgent agent;
  EXPECT_EQ(Apply(), 0);
  EXPECT_EQ(Material(), nullptr);
  ASSERT_EQ(agent.boxes.size(), 1u);
  EXPECT_EQ(agent.boxes[0].caption, "Failed");
  EXPECT_EQ(findModifierNode(second), nullptr);
}
