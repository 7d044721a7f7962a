// The core interface: nodes in the scene, lookup, deletion, time settings, host object creation.
#include "scene_fixture.h"

namespace {

TEST_F(SceneTest, NodesGetUniqueNamesAndAreFoundByName) {
  INode* a = ip->CreateObjectNode(new SplineShape());
  INode* b = ip->CreateObjectNode(new SplineShape());
  EXPECT_STREQ(a->GetName(), "Line001");
  EXPECT_STREQ(b->GetName(), "Line002");
  b->SetName("Circle001");
  INode* c = ip->CreateObjectNode(CreateNewTriObject());
  EXPECT_STREQ(c->GetName(), "Mesh001");
  EXPECT_EQ(ip->GetINodeByName("Circle001"), b);
  EXPECT_EQ(ip->GetINodeByName("Line001"), a);
  EXPECT_EQ(ip->GetINodeByName("circle001"), nullptr);
  EXPECT_EQ(ip->GetINodeByName("Line002"), nullptr);
  EXPECT_EQ(ip->GetINodeByName(nullptr), nullptr);
}

TEST_F(SceneTest, NodesHangUnderTheRoot) {
  INode* root = ip->GetRootNode();
  ASSERT_NE(root, nullptr);
  EXPECT_TRUE(root->IsRootNode());
  EXPECT_EQ(root->GetParentNode(), nullptr);
  EXPECT_EQ(root->GetObjectRef(), nullptr);
  INode* a = ip->CreateObjectNode(new SplineShape());
  INode* b = ip->CreateObjectNode(nullptr);
  EXPECT_FALSE(a->IsRootNode());
  EXPECT_EQ(a->GetParentNode(), root);
  ASSERT_EQ(root->NumberOfChildren(), 2);
  EXPECT_EQ(root->GetChildNode(0), a);
  EXPECT_EQ(root->GetChildNode(1), b);
  EXPECT_EQ(root->GetChildNode(2), nullptr);
  EXPECT_EQ(b->EvalWorldState(0).obj, nullptr);
  EXPECT_EQ(a->SuperClassID(), BASENODE_CLASS_ID);
}

TEST_F(SceneTest, DeletedNodeLeavesTheSceneWithItsObject) {
  long before = MAX_heapLiveCount();
  INode* a = ip->CreateObjectNode(new SplineShape());
  INode* b = ip->CreateObjectNode(new SplineShape());
  ip->DeleteNode(a);
  EXPECT_EQ(ip->GetRootNode()->NumberOfChildren(), 1);
  EXPECT_EQ(ip->GetINodeByName("Line001"), nullptr);
  EXPECT_EQ(ip->GetINodeByName("Line002"), b);
  ip->DeleteNode(b);
  EXPECT_EQ(MAX_heapLiveCount(), before);
}

// A reference holder standing in for a parameter that points at a node.
class NodeHolder : public ReferenceMaker {
 public:
  INode* node = nullptr;
  bool told = false;
  SClass_ID SuperClassID() override { return REF_TARGET_CLASS_ID; }
  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int) override { return node; }
  void SetReference(int, RefTargetHandle t) override { node = static_cast<INode*>(t); }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage m) override {
    if (m == REFMSG_TARGET_DELETED) told = true;
    return REF_SUCCEED;
  }
};

TEST_F(SceneTest, NodesBelongToTheSceneNotToTheirReferences) {
  INode* a = ip->CreateObjectNode(new SplineShape());
  auto* holder = new NodeHolder();
  holder->ReplaceReference(0, a);
  holder->DeleteReference(0);  // the last reference goes, the node stays in the scene
  EXPECT_EQ(ip->GetINodeByName("Line001"), a);
  holder->ReplaceReference(0, a);
  ip->DeleteNode(a);
  EXPECT_TRUE(holder->told);
  EXPECT_EQ(holder->node, nullptr);
  delete holder;
}

TEST_F(SceneTest, TimeSettingsAndTheirReset) {
  EXPECT_EQ(GetTicksPerFrame(), 160);
  EXPECT_EQ(GetFrameRate(), 30);
  EXPECT_EQ(ip->GetAnimRange(), Interval(0, 16000));
  EXPECT_EQ(ip->GetTime(), 0);
  ip->SetTime(4321);
  ip->SetAnimRange(Interval(-160, 3200));
  SetTicksPerFrame(200);
  SetTicksPerFrame(0);  // ignored
  EXPECT_EQ(GetTicksPerFrame(), 200);
  EXPECT_EQ(GetFrameRate(), 24);
  EXPECT_EQ(ip->GetTime(), 4321);
  EXPECT_EQ(ip->GetAnimRange(), Interval(-160, 3200));
  ip->ResetScene();
  EXPECT_EQ(GetTicksPerFrame(), 160);
  EXPECT_EQ(ip->GetTime(), 0);
  EXPECT_EQ(ip->GetAnimRange(), Interval(0, 16000));
}

TEST_F(SceneTest, CreateInstanceMakesHostObjects) {
  Object* shape = ip->CreateInstance(SHAPE_CLASS_ID, splineShapeClassID);
  ASSERT_NE(shape, nullptr);
  EXPECT_EQ(shape->ClassID(), splineShapeClassID);
  Object* tri = ip->CreateInstance(GEOMOBJECT_CLASS_ID, triObjectClassID);
  ASSERT_NE(tri, nullptr);
  EXPECT_EQ(tri->ClassID(), triObjectClassID);
  EXPECT_EQ(ip->CreateInstance(GEOMOBJECT_CLASS_ID, splineShapeClassID), nullptr);
  EXPECT_EQ(ip->CreateInstance(OSM_CLASS_ID, Class_ID(1, 2)), nullptr);
  shape->DeleteThis();
  tri->DeleteThis();
}

TEST_F(SceneTest, SameCoreInterfaceEverywhere) {
  EXPECT_EQ(GetCOREInterface(), ip);
  EXPECT_NE(dynamic_cast<IObjParam*>(ip), nullptr);
}

}  // namespace
