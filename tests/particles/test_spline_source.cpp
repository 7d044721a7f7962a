// Trails of the shape's own node: its object transform, standing still, and misuse.
#include <gtest/gtest.h>

#include <max.h>

#include <initializer_list>
#include <string>

#include "particles/TrailSource.h"
#include "plugin_fixture.h"

namespace {

TimeList List(std::initializer_list<int> ts) {
  TimeList l;
  for (int t : ts) l.Add(t);
  return l;
}

class SplineSourceTest : public SceneTest {
 protected:
  INode* Shape() { return AddNode("Path", Polyline({Point3(0, 0, 0), Point3(10, 0, 0)}, false), nullptr); }
};

}  // namespace

TEST_F(SplineSourceTest, TransformIsTheNodesObjectTransform) {
  INode* node = Shape();
  KeyPosition(node, 0, Point3(0, 0, 0));
  KeyPosition(node, 1600, Point3(100, 50, 0));
  KeyRotation(node, 1600, QFromAngAxis(1.0f, Point3(0, 0, 1)));
  node->SetObjOffsetPos(Point3(0, 0, 5));  // the object transform, not the node's

  SplineTrailSource source(node);
  EXPECT_EQ(source.numTrails(), 1);
  EXPECT_EQ(source.trailAge(0, 800), -1);
  EXPECT_EQ(source.trailLifeSpan(0), -1);

  TimeList times = List({800, 0});
  for (TimeValue t : {0, 400, 800, 1600, 3200}) {
    SCOPED_TRACE(t);
    EXPECT_TRUE(source.trailTM(0, t, times) == node->GetObjectTM(t));
    EXPECT_TRUE(source.trailTM(3, t, times) == node->GetObjectTM(t)) << "the trail index does not matter";
  }
  EXPECT_FALSE(node->GetObjectTM(800) == node->GetNodeTM(800));

  TimeList empty;
  EXPECT_TRUE(source.trailTM(0, 800, empty) == Matrix3());
  EXPECT_TRUE(source.trailTM(0, 800, empty).IsIdentity());
}

TEST_F(SplineSourceTest, StationaryMeansNoSampleFurtherThanAThousandthFromTheStart) {
  TimeList times;
  {
    INode* still = Shape();
    SplineTrailSource source(still);
    EXPECT_TRUE(source.isTrailStationary(0, 0, 1600, 160, times));
  }
  {
    INode* node = Shape();
    KeyPosition(node, 0, Point3(0, 0, 0));
    KeyPosition(node, 160, Point3(0.001f, 0.0f, 0.0f));
    SplineTrailSource source(node);
    EXPECT_TRUE(source.isTrailStationary(0, 0, 480, 160, times)) << "exactly 0.001 away still counts as still";
  }
  {
    INode* node = Shape();
    KeyPosition(node, 0, Point3(0, 0, 0));
    KeyPosition(node, 160, Point3(0.0f, 0.0011f, 0.0f));
    SplineTrailSource source(node);
    EXPECT_FALSE(source.isTrailStationary(0, 0, 480, 160, times));
  }
  {
    // Creeping: each step is below the threshold, the distance from the start is not.
    INode* node = Shape();
    KeyPosition(node, 0, Point3(0, 0, 0));
    KeyPosition(node, 160, Point3(0.0008f, 0.0f, 0.0f));
    KeyPosition(node, 320, Point3(0.0016f, 0.0f, 0.0f));
    SplineTrailSource source(node);
    EXPECT_FALSE(source.isTrailStationary(0, 0, 320, 160, times));
    // Started from 160 the end is 0.0008 away.
    EXPECT_TRUE(source.isTrailStationary(0, 160, 320, 160, times));
  }
  {
    // The samples run up to and including the first one past `to`.
    INode* node = Shape();
    KeyPosition(node, 0, Point3(0, 0, 0));
    KeyPosition(node, 320, Point3(0, 0, 0));
    KeyPosition(node, 480, Point3(1, 0, 0));
    SplineTrailSource source(node);
    EXPECT_TRUE(source.isTrailStationary(0, 0, 160, 160, times));
    EXPECT_FALSE(source.isTrailStationary(0, 0, 320, 160, times));
    // A rotation alone is not movement.
    KeyRotation(node, 160, QFromAngAxis(2.0f, Point3(1, 0, 0)));
    EXPECT_TRUE(source.isTrailStationary(0, 0, 160, 160, times));
  }
}

TEST_F(SplineSourceTest, StepThatCannotAdvanceIsOneTick) {
  INode* node = Shape();
  KeyPosition(node, 0, Point3(0, 0, 0));
  KeyPosition(node, 11, Point3(0, 0, 0));
  KeyPosition(node, 12, Point3(5, 0, 0));
  SplineTrailSource source(node);
  TimeList times;
  for (int step : {0, -5}) {
    SCOPED_TRACE(step);
    EXPECT_TRUE(source.isTrailStationary(0, 0, 10, step, times));   // samples 1 .. 11
    EXPECT_FALSE(source.isTrailStationary(0, 0, 11, step, times));  // samples 1 .. 12
  }
}

TEST_F(SplineSourceTest, CountStillSamplesOverTheNodesPath) {
  INode* node = Shape();
  KeyPosition(node, 0, Point3(0, 0, 0));
  KeyPosition(node, 320, Point3(0, 0, 0));
  KeyPosition(node, 480, Point3(10, 0, 0));
  SplineTrailSource source(node);

  TimeList newestFirst = List({640, 480, 320, 160, 0});
  EXPECT_EQ(source.countStillSamples(0, newestFirst), 2);
  TimeList allStill = List({320, 160, 0});
  EXPECT_EQ(source.countStillSamples(0, allStill), 0);
  TimeList two = List({480, 0});
  EXPECT_EQ(source.countStillSamples(0, two), 0);
  TimeList oldestFirst = List({0, 160, 320, 480, 640});
  EXPECT_EQ(source.countStillSamples(0, oldestFirst), 1);
}

TEST(SplineTrailSourceMisuse, NullNodeIsReportedAsAnAssertion) {
  AssertCapture asserts;
  SplineTrailSource source(nullptr);
  TimeList empty;
  EXPECT_TRUE(source.trailTM(0, 0, empty) == Matrix3());
  ASSERT_EQ(asserts.Count(), 1u);
  EXPECT_EQ(asserts.Entries()[0].expression, "pShapeNode != NULL");
  EXPECT_EQ(asserts.Entries()[0].file, "TrailSource");

  // The other questions report the same misuse and answer without touching the missing node.
  TimeList times = List({160, 0});
  EXPECT_TRUE(source.trailTM(0, 160, times) == Matrix3());
  EXPECT_TRUE(source.isTrailStationary(0, 0, 320, 160, times));
  EXPECT_EQ(source.countStillSamples(0, times), 0);
  EXPECT_GE(asserts.Count(), 3u);
  for (const auto& e : asserts.Entries()) {
    EXPECT_EQ(e.expression, "pShapeNode != NULL");
    EXPECT_EQ(e.file, "TrailSource");
  }
}
