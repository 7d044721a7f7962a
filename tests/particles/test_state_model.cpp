// The recording's data model: keys and lives, the longest life, and its snapshot as a spline node.
#include <gtest/gtest.h>

#include <max.h>

#include <string>
#include <vector>

#include "particle_test_util.h"
#include "particles/ParticleStateBuilder.h"
#include "plugin_fixture.h"

TEST(ParticleKeys, ConstructorsAndStartEndFollowTheKeys) {
  ParticlePositionKey plain;
  EXPECT_TRUE(plain.tm == Matrix3());
  EXPECT_EQ(plain.time, 0);
  EXPECT_EQ(plain.age, 0);
  ParticlePositionKey atPos(320, Point3(1, -2, 3), 160);
  EXPECT_TRUE(atPos.tm == TransMatrix(Point3(1, -2, 3)));
  EXPECT_EQ(atPos.tm.GetIdentFlags(), TransMatrix(Point3(1, -2, 3)).GetIdentFlags());
  EXPECT_EQ(atPos.time, 320);
  EXPECT_EQ(atPos.age, 160);

  // A single key sets both ends, whatever they were before.
  ParticleState single;
  single.setStart(-50);
  single.setEnd(9999);
  single.addKey(ParticlePositionKey(300, Point3(0, 0, 0), 0));
  EXPECT_EQ(single.getStart(), 300);
  EXPECT_EQ(single.getEnd(), 300);

  ParticleState life;
  for (TimeValue t : {160, 320, 480}) life.addKey(ParticlePositionKey(t, Point3(float(t), 0.0f, 0.0f), t - 160));
  EXPECT_EQ(life.getStart(), 160);
  EXPECT_EQ(life.getEnd(), 480);
  ASSERT_EQ(life.numKeys(), 3);
  EXPECT_EQ(life.key(1).time, 320);
  EXPECT_EQ(life.key(2).tm.GetTrans(), Point3(480, 0, 0));

  // Clearing the keys keeps the ends; the next key starts them afresh.
  life.clearKeys();
  EXPECT_EQ(life.numKeys(), 0);
  EXPECT_EQ(life.getStart(), 160);
  EXPECT_EQ(life.getEnd(), 480);
  life.addKey(ParticlePositionKey(800, Point3(0, 0, 0), 0));
  EXPECT_EQ(life.getStart(), 800);
  EXPECT_EQ(life.getEnd(), 800);
}

TEST(ParticleKeys, CopiesOfALifeAndOfAStateAreIndependent) {
  ParticleState life = LifeAt({{0, Point3(1, 1, 1)}, {160, Point3(2, 2, 2)}});
  ParticleState copy = life;
  copy.key(0).tm.SetTrans(Point3(9, 9, 9));
  copy.addKey(ParticlePositionKey(320, Point3(3, 3, 3), 320));
  EXPECT_EQ(life.numKeys(), 2);
  EXPECT_EQ(life.key(0).tm.GetTrans(), Point3(1, 1, 1));

  ParticleSystemState state;
  state.addParticle(life);
  life.key(1).time = 7;  // the state holds its own copy
  EXPECT_EQ(state.particle(0).key(1).time, 160);
}

TEST(ParticleSystemStateModel, NewStateLongestLifeResizeAndClear) {
  ParticleStateBuilder state;
  EXPECT_EQ(state.numParticles(), 0);
  EXPECT_EQ(state.getMaxLifeSpan(), -1);
  EXPECT_EQ(state.isParticleFlow(), 0);
  state.computeMaxLifeSpan();
  EXPECT_EQ(state.getMaxLifeSpan(), -1);

  state.addParticle(LifeAt({{160, Point3(0, 0, 0)}}));                          // 0 ticks
  state.addParticle(LifeAt({{0, Point3(0, 0, 0)}, {480, Point3(1, 0, 0)}}));    // 480 ticks
  state.addParticle(LifeAt({{100, Point3(0, 0, 0)}, {260, Point3(1, 0, 0)}}));  // 160 ticks
  state.computeMaxLifeSpan();
  EXPECT_EQ(state.getMaxLifeSpan(), 480);

  // Computing starts again from -1: a shorter recording gives a shorter span.
  state.resize(1);
  state.computeMaxLifeSpan();
  EXPECT_EQ(state.getMaxLifeSpan(), 0);

  // Growing keeps the existing lives and adds empty ones.
  state.particle(0).key(0).age = 42;
  state.resize(4);
  ASSERT_EQ(state.numParticles(), 4);
  EXPECT_EQ(state.particle(0).numKeys(), 1);
  EXPECT_EQ(state.particle(0).key(0).age, 42);
  for (int i = 1; i < 4; ++i) {
    EXPECT_EQ(state.particle(i).numKeys(), 0);
    EXPECT_EQ(state.particle(i).getStart(), 0);
    EXPECT_EQ(state.particle(i).getEnd(), 0);
  }

  state.setParticleFlow(1);
  EXPECT_EQ(state.isParticleFlow(), 1);
  state.computeMaxLifeSpan();
  state.clear();
  EXPECT_EQ(state.numParticles(), 0);
  EXPECT_EQ(state.getMaxLifeSpan(), -1);
}

class SnapshotTest : public SceneTest {};

TEST_F(SnapshotTest, ThreeLivesBecomeOneNodeWithThreeOpenSplines) {
  ParticleSystemState state;
  // Keys carrying rotation and scale: the knots take the translation row only.
  Matrix3 turned = ScaleMatrix(Point3(2, 2, 2)) * RotateZMatrix(0.7f);
  turned.SetTrans(Point3(5, 6, 7));
  ParticleState first;
  first.addKey(ParticlePositionKey(0, Point3(1, 2, 3), 0));
  first.addKey(ParticlePositionKey(160, turned, 160));
  ParticleState second = LifeAt({{160, Point3(-1, 0, 0)}, {320, Point3(-2.0f, 0.5f, 0.0f)}, {480, Point3(-3, 1, 4)}});
  ParticleState third;
  state.addParticle(first);
  state.addParticle(second);
  state.addParticle(third);

  INode* root = ip()->GetRootNode();
  const int before = root->NumberOfChildren();
  state.makeTestSpline("Particle Path");
  ASSERT_EQ(root->NumberOfChildren(), before + 1);
  INode* node = root->GetChildNode(before);
  EXPECT_STREQ(node->GetName(), "Particle Path");
  EXPECT_EQ(ip()->GetINodeByName("Particle Path"), node);

  SplineShape* obj = dynamic_cast<SplineShape*>(node->GetObjectRef());
  ASSERT_NE(obj, nullptr);
  BezierShape& shape = obj->shape;
  ASSERT_EQ(shape.SplineCount(), 3);
  const std::vector<std::vector<Point3>> expected = {
      {Point3(1, 2, 3), Point3(5, 6, 7)}, {Point3(-1, 0, 0), Point3(-2.0f, 0.5f, 0.0f), Point3(-3, 1, 4)}, {}};
  for (int s = 0; s < 3; ++s) {
    SCOPED_TRACE(s);
    Spline3D* sp = shape.GetSpline(s);
    ASSERT_NE(sp, nullptr);
    EXPECT_EQ(sp->Closed(), 0);
    EXPECT_EQ(sp->InitialKnotType(), KTYPE_CORNER);
    EXPECT_EQ(sp->DragKnotType(), KTYPE_BEZIER);
    EXPECT_EQ(sp->ParmType(), PARM_UNIFORM);
    ASSERT_EQ(sp->KnotCount(), int(expected[s].size()));
    for (int k = 0; k < sp->KnotCount(); ++k) {
      EXPECT_EQ(sp->GetKnotPoint(k), expected[s][k]);
      EXPECT_EQ(sp->GetInVec(k), expected[s][k]);
      EXPECT_EQ(sp->GetOutVec(k), expected[s][k]);
      EXPECT_EQ(sp->GetKnotType(k), KTYPE_AUTO);
      EXPECT_EQ(sp->GetLineType(k), LTYPE_CURVE);
    }
  }

  // A second snapshot is a second node; the first stays as it was.
  state.particle(2).addKey(ParticlePositionKey(0, Point3(8, 8, 8), 0));
  state.makeTestSpline("Particle Path");
  ASSERT_EQ(root->NumberOfChildren(), before + 2);
  INode* again = root->GetChildNode(before + 1);
  EXPECT_NE(again, node);
  EXPECT_STREQ(again->GetName(), "Particle Path");
  SplineShape* obj2 = dynamic_cast<SplineShape*>(again->GetObjectRef());
  ASSERT_NE(obj2, nullptr);
  EXPECT_NE(obj2, obj);
  ASSERT_EQ(obj2->shape.SplineCount(), 3);
  EXPECT_EQ(obj2->shape.GetSpline(2)->KnotCount(), 1);
  EXPECT_EQ(obj->shape.GetSpline(2)->KnotCount(), 0);
}

TEST_F(SnapshotTest, AnEmptyRecordingGivesANodeWithAnEmptyShape) {
  ParticleSystemState state;
  INode* root = ip()->GetRootNode();
  const int before = root->NumberOfChildren();
  state.makeTestSpline("Nothing");
  ASSERT_EQ(root->NumberOfChildren(), before + 1);
  SplineShape* obj = dynamic_cast<SplineShape*>(root->GetChildNode(before)->GetObjectRef());
  ASSERT_NE(obj, nullptr);
  EXPECT_EQ(obj->shape.SplineCount(), 0);
}
