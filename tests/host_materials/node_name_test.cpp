// The node-name message: a modifier asks its dependents, and the node at the end of the chain answers.
#include "materials_fixture.h"

namespace {

class NamedModifier : public Modifier {
 public:
  ChannelMask ChannelsUsed() override { return GEOM_CHANNEL; }
  ChannelMask ChannelsChanged() override { return GEOM_CHANNEL; }
  Class_ID InputType() override { return genericShapeClassID; }
  void ModifyObject(TimeValue, ModContext&, ObjectState*, INode*) override {}
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }

  // As the plug-in finds its node: the name its dependents give back.
  TSTR AskNodeName() {
    TSTR name;
    NotifyDependents(FOREVER, reinterpret_cast<PartID>(&name), REFMSG_GET_NODE_NAME);
    return name;
  }
};

}  // namespace

using NodeNameTest = MaterialsTest;

TEST_F(NodeNameTest, TheNodeCarryingTheModifiersStackAnswersWithItsName) {
  IDerivedObject* derived = nullptr;
  INode* node = NewNode(&derived);
  node->SetName("Trail carrier");
  auto* below = new NamedModifier();
  auto* mod = new NamedModifier();
  derived->AddModifier(below);
  derived->AddModifier(mod);
  EXPECT_EQ(mod->AskNodeName(), "Trail carrier");
  EXPECT_EQ(below->AskNodeName(), "Trail carrier");
  EXPECT_EQ(ip->GetINodeByName(mod->AskNodeName()), node);

  node->SetName("Renamed");
  EXPECT_EQ(mod->AskNodeName(), "Renamed") << "asked afresh each time";
}

TEST_F(NodeNameTest, TheMessageTravelsThroughStackedDerivedObjects) {
  IDerivedObject* inner = CreateDerivedObject(new SplineShape());
  IDerivedObject* outer = CreateDerivedObject(inner);
  INode* node = ip->CreateObjectNode(outer);
  node->SetName("Outer node");
  auto* mod = new NamedModifier();
  inner->AddModifier(mod);
  EXPECT_EQ(mod->AskNodeName(), "Outer node");
}

TEST_F(NodeNameTest, AModifierOnNoNodeGetsNoName) {
  auto* loose = new NamedModifier();
  EXPECT_EQ(loose->AskNodeName().Length(), 0);
  loose->DeleteMe();

  // On a stack, but the stack is on no node.
  IDerivedObject* derived = CreateDerivedObject(new SplineShape());
  auto* mod = new NamedModifier();
  derived->AddModifier(mod);
  EXPECT_EQ(mod->AskNodeName().Length(), 0);
  derived->DeleteMe();

  // Taken off its node's stack.
  IDerivedObject* d = nullptr;
  NewNode(&d)->SetName("Had it");
  auto* removed = new NamedModifier();
  d->AddModifier(removed);
  Listener keep(removed);  // keeps it alive once off the stack
  d->DeleteModifier(0);
  EXPECT_EQ(removed->AskNodeName().Length(), 0);
}

TEST_F(NodeNameTest, TheNodeEndsTheChainAndLeavesOtherMessagesAlone) {
  INode* node = NewNode();
  node->SetName("End");
  Listener onNode(node);  // something that references the node itself
  TSTR name;
  node->NotifyDependents(FOREVER, reinterpret_cast<PartID>(&name), REFMSG_GET_NODE_NAME);
  EXPECT_EQ(name.Length(), 0) << "a node does not answer its own question";
  ASSERT_EQ(onNode.Count(REFMSG_GET_NODE_NAME), 1);

  IDerivedObject* d = nullptr;
  INode* n2 = NewNode(&d);
  n2->SetName("Second");
  auto* mod = new NamedModifier();
  d->AddModifier(mod);
  Listener onN2(n2);
  EXPECT_EQ(mod->AskNodeName(), "Second");
  EXPECT_EQ(onN2.Count(REFMSG_GET_NODE_NAME), 0) << "the node answered: the message stops there";
}
