#include "plugin_fixture.h"

class PipelineSmoke : public SceneTest {};

TEST_F(PipelineSmoke, MovingCircleMakesATrail) {
  Wakeweave* mod = NewModifier();
  INode* node = AddNode("Circle001", Circle(10.0f), mod);
  KeyPosition(node, 0, Point3(0.0f, 0.0f, 0.0f));
  KeyPosition(node, 100 * kTpf, Point3(1000.0f, 0.0f, 0.0f));
  Mesh& m = EvalMesh(node, 10 * kTpf);
  EXPECT_FALSE(IsFallbackTriangle(m));
  // 4 knots x 7 points, 4 samples (lag 3 at one per frame).
  EXPECT_EQ(m.getNumVerts(), 28 * 4);
  EXPECT_EQ(m.getNumFaces(), 2 * 28 * 3);
}
