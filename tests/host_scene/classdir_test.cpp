// The class directory: the host's own classes are there from the start; registrations are counted per
// descriptor, and a second descriptor for the same ids is turned away.
#include "saved_scene_util.h"

namespace {

class OtherNudgeDesc : public NudgeClassDesc {};

TEST_F(SceneTest, TheHostsOwnClassesAreFoundAndCreateTheirObjects) {
  struct Want {
    SClass_ID super;
    Class_ID id;
  };
  const Want classes[] = {{SHAPE_CLASS_ID, splineShapeClassID},
                          {GEOMOBJECT_CLASS_ID, triObjectClassID},
                          {GEN_DERIVOB_CLASS_ID, derivObjClassID},
                          {CTRL_FLOAT_CLASS_ID, Class_ID(LININTERP_FLOAT_CLASS_ID, 0)},
                          {CTRL_POSITION_CLASS_ID, Class_ID(LININTERP_POSITION_CLASS_ID, 0)},
                          {CTRL_ROTATION_CLASS_ID, Class_ID(LININTERP_ROTATION_CLASS_ID, 0)},
                          {CTRL_SCALE_CLASS_ID, Class_ID(LININTERP_SCALE_CLASS_ID, 0)},
                          {GEOMOBJECT_CLASS_ID, FLOW_PARTICLES_CLASS_ID},
                          {GEOMOBJECT_CLASS_ID, LEGACY_PARTICLES_CLASS_ID}};
  for (const Want& w : classes) {
    ClassDesc* cd = FindClassDesc(w.super, w.id);
    ASSERT_NE(cd, nullptr) << w.id.PartA();
    EXPECT_EQ(cd->SuperClassID(), w.super);
    EXPECT_EQ(cd->ClassID(), w.id);
    auto* made = static_cast<ReferenceTarget*>(cd->Create(TRUE));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->SuperClassID(), w.super);
    EXPECT_EQ(made->ClassID(), w.id);
    made->DeleteThis();
  }
  // Ids of another super class are another class.
  EXPECT_EQ(FindClassDesc(GEOMOBJECT_CLASS_ID, splineShapeClassID), nullptr);
  EXPECT_EQ(FindClassDesc(OSM_CLASS_ID, Class_ID(0x12345, 0x678)), nullptr);
}

TEST_F(SceneTest, RegistrationsAreCountedAndAClashIsRefused) {
  NudgeClassDesc& nudge = TheNudgeClass();
  OtherNudgeDesc other;
  EXPECT_FALSE(RegisterClassDesc(nullptr));
  ASSERT_TRUE(RegisterClassDesc(&nudge));
  EXPECT_EQ(FindClassDesc(OSM_CLASS_ID, NudgeModifier::kClassID), &nudge);
  // Another descriptor for the same class is refused, and unregistering it does not touch the first.
  EXPECT_FALSE(RegisterClassDesc(&other));
  UnregisterClassDesc(&other);
  EXPECT_EQ(FindClassDesc(OSM_CLASS_ID, NudgeModifier::kClassID), &nudge);
  // The same descriptor twice stays until it has gone twice.
  EXPECT_TRUE(RegisterClassDesc(&nudge));
  UnregisterClassDesc(&nudge);
  EXPECT_EQ(FindClassDesc(OSM_CLASS_ID, NudgeModifier::kClassID), &nudge);
  UnregisterClassDesc(&nudge);
  EXPECT_EQ(FindClassDesc(OSM_CLASS_ID, NudgeModifier::kClassID), nullptr);
  UnregisterClassDesc(&nudge);  // not registered: nothing happens
  // Now the other may come in.
  EXPECT_TRUE(RegisterClassDesc(&other));
  EXPECT_EQ(FindClassDesc(OSM_CLASS_ID, NudgeModifier::kClassID), &other);
  UnregisterClassDesc(&other);
}

}  // namespace
