// Saved scenes that load back: every kind of object and controller the same bit for bit, shared objects
// shared again, plug-in objects made by their class with their references in place before they read their
// data, the old scene replaced whole.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "saved_scene_util.h"

namespace {

// The scene with everything, saved, the scene reset, and loaded back.
::testing::AssertionResult EverythingLoadedBack(Interface* ip, const std::string& path) {
  BuildEverything(ip);
  std::string error;
  if (SaveScene(path, &error) != IO_OK) return ::testing::AssertionFailure() << "save: " << error;
  ip->ResetScene();
  if (LoadScene(path, &error) != IO_OK) return ::testing::AssertionFailure() << "load: " << error;
  return ::testing::AssertionSuccess();
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(SavedSceneTest, EveryKindOfObjectAndControllerComesBackBitForBit) {
  BuildEverything(ip);
  const std::string before = Fingerprint::Of(ip);
  std::string error;
  ASSERT_EQ(SaveScene(File("all.wws"), &error), IO_OK) << error;

  ip->ResetScene();
  ASSERT_NE(Fingerprint::Of(ip), before);
  const int creates = TheNudgeClass().loadingCreates;
  ASSERT_EQ(LoadScene(File("all.wws"), &error), IO_OK) << error;
  EXPECT_EQ(Fingerprint::Of(ip), before);
  // The modifiers were made by their class for loading, one each.
  EXPECT_EQ(TheNudgeClass().loadingCreates, creates + 2);
}

TEST_F(SavedSceneTest, SharedObjectsAndEventsAreOneObjectAgain) {
  ASSERT_TRUE(EverythingLoadedBack(ip, File("all.wws")));

  INode* a = ip->GetINodeByName("Shared A");
  INode* b = ip->GetINodeByName("Shared B");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->GetObjectRef(), b->GetObjectRef());
  EXPECT_EQ(b->GetParentNode(), ip->GetINodeByName("Animated"));

  // The events are the system's again, in their places, and depend on it.
  auto* flow = dynamic_cast<FlowParticleSystem*>(ip->GetINodeByName("PF Source")->GetObjectRef());
  ASSERT_NE(flow, nullptr);
  ASSERT_EQ(flow->NumEvents(), 2);
  EXPECT_EQ(flow->GetEvent(0), ip->GetINodeByName("Event A"));
  EXPECT_EQ(flow->GetEvent(1), ip->GetINodeByName("Event B"));
  auto* group = static_cast<IParticleGroup*>(flow->GetEvent(1)->GetObjectRef()->GetInterface(PARTICLEGROUP_INTERFACE));
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->GetParticleSystem(), flow);
  // Deleting an event node takes it off the loaded system's list, as for one made by AddEvent.
  ip->DeleteNode(flow->GetEvent(0));
  EXPECT_EQ(flow->GetEvent(0), nullptr);
}

TEST_F(SavedSceneTest, PlugInObjectsHaveTheirReferencesBeforeTheyReadTheirData) {
  ASSERT_TRUE(EverythingLoadedBack(ip, File("all.wws")));
  auto* d = dynamic_cast<IDerivedObject*>(ip->GetINodeByName("Stack")->GetObjectRef());
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d->NumModifiers(), 2);
  auto* top = dynamic_cast<NudgeModifier*>(d->GetModifier(0));
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->loads, 1);
  EXPECT_TRUE(top->refsAtLoad) << "the keyed controller was in place when Load ran";
  // The node it follows is the loaded node of that name, set once every node existed.
  EXPECT_EQ(top->GetReference(1), ip->GetINodeByName("Animated"));
  EXPECT_FALSE(d->GetModifier(1)->IsEnabled());
}

TEST_F(SavedSceneTest, ALoadedSceneSavesToTheSameBytes) {
  BuildEverything(ip);
  std::string error;
  ASSERT_EQ(SaveScene(File("one.wws"), &error), IO_OK) << error;
  ip->ResetScene();
  ASSERT_EQ(LoadScene(File("one.wws"), &error), IO_OK) << error;
  ASSERT_EQ(SaveScene(File("two.wws"), &error), IO_OK) << error;
  EXPECT_EQ(Bytes(File("one.wws")), Bytes(File("two.wws")));
}

TEST_F(SavedSceneTest, LoadReplacesTheWholeSceneAndItsSettings) {
  ip->CreateObjectNode(new SplineShape())->SetName("Old");
  SetTicksPerFrame(80);
  ip->SetTime(-40);
  ip->SetAnimRange(Interval(0, 100 * 80));
  std::string error;
  ASSERT_EQ(SaveScene(File("small.wws"), &error), IO_OK) << error;
  // A different scene, with the old node's name given out by the host again afterwards.
  ip->ResetScene();
  BuildEverything(ip);
  ASSERT_EQ(LoadScene(File("small.wws"), &error), IO_OK) << error;
  EXPECT_EQ(ip->GetRootNode()->NumberOfChildren(), 1);
  EXPECT_NE(ip->GetINodeByName("Old"), nullptr);
  EXPECT_EQ(ip->GetINodeByName("Animated"), nullptr);
  EXPECT_EQ(GetTicksPerFrame(), 80);
  EXPECT_EQ(ip->GetTime(), -40);
  EXPECT_EQ(ip->GetAnimRange(), Interval(0, 100 * 80));
  // Names the loaded scene holds are taken: a new node gets the next free one.
  EXPECT_STREQ(ip->CreateObjectNode(new SplineShape())->GetName(), "Line001");
}

TEST_F(SavedSceneTest, AnEmptySceneRoundTrips) {
  std::string error;
  ASSERT_EQ(SaveScene(File("empty.wws"), &error), IO_OK) << error;
  const std::string before = Fingerprint::Of(ip);
  ip->CreateObjectNode(nullptr);
  ASSERT_EQ(LoadScene(File("empty.wws"), &error), IO_OK) << error;
  EXPECT_EQ(Fingerprint::Of(ip), before);
  EXPECT_EQ(ip->GetRootNode()->NumberOfChildren(), 0);
}

TEST_F(SavedSceneTest, SaveRefusesWhatCouldNotBeLoadedAndWritesNothing) {
  BuildEverything(ip);
  const std::string path = File("kept.wws");
  std::ofstream(path, std::ios::binary) << "what was there";
  UnregisterClassDesc(&TheNudgeClass());
  std::string error;
  EXPECT_EQ(SaveScene(path, &error), IO_ERROR);
  EXPECT_NE(error.find("class directory"), std::string::npos) << error;
  EXPECT_NE(error.find("Nudge"), std::string::npos) << error;
  EXPECT_EQ(Bytes(path), "what was there");
  EXPECT_EQ(dir.EntryCount(), 1u);
  ASSERT_TRUE(RegisterClassDesc(&TheNudgeClass()));
}

TEST_F(SavedSceneTest, SaveToAPlaceThatCannotBeWrittenFails) {
  ip->CreateObjectNode(new SplineShape());
  std::string error;
  EXPECT_EQ(SaveScene(File("no/such/dir/x.wws"), &error), IO_ERROR);
  EXPECT_FALSE(error.empty());
}

TEST_F(SavedSceneTest, LoadWithoutTheClassesItNeedsLeavesTheSceneAsItWas) {
  BuildEverything(ip);
  std::string error;
  ASSERT_EQ(SaveScene(File("all.wws"), &error), IO_OK) << error;
  ip->ResetScene();
  ip->CreateObjectNode(new SplineShape())->SetName("Keep");
  const std::string keep = Fingerprint::Of(ip);
  const long live = MAX_heapLiveCount();
  UnregisterClassDesc(&TheNudgeClass());
  EXPECT_EQ(LoadScene(File("all.wws"), &error), IO_ERROR);
  EXPECT_NE(error.find("not known"), std::string::npos) << error;
  EXPECT_EQ(Fingerprint::Of(ip), keep);
  EXPECT_EQ(MAX_heapLiveCount(), live) << "what was built before the failure was not freed";
  ASSERT_TRUE(RegisterClassDesc(&TheNudgeClass()));
}

TEST_F(SavedSceneTest, NodesHangWhereTheyHungInTheirOrder) {
  INode* a = ip->CreateObjectNode(nullptr);
  INode* b = ip->CreateObjectNode(nullptr);
  INode* c = ip->CreateObjectNode(nullptr);
  INode* d = ip->CreateObjectNode(nullptr);
  b->AttachChild(d);
  b->AttachChild(a);
  d->AttachChild(c);
  // Attaching an ancestor or the root is refused.
  c->AttachChild(b);
  c->AttachChild(ip->GetRootNode());
  EXPECT_EQ(b->GetParentNode(), ip->GetRootNode());
  const std::string before = Fingerprint::Of(ip);
  std::string error;
  ASSERT_EQ(SaveScene(File("tree.wws"), &error), IO_OK) << error;
  ip->ResetScene();
  ASSERT_EQ(LoadScene(File("tree.wws"), &error), IO_OK) << error;
  EXPECT_EQ(Fingerprint::Of(ip), before);
  INode* lb = ip->GetINodeByName("Object002");
  ASSERT_NE(lb, nullptr);
  ASSERT_EQ(lb->NumberOfChildren(), 2);
  EXPECT_STREQ(lb->GetChildNode(0)->GetName(), "Object004");
  EXPECT_STREQ(lb->GetChildNode(1)->GetName(), "Object001");
  // Deleting a parent leaves its children in the scene, under the root.
  ip->DeleteNode(lb);
  EXPECT_EQ(ip->GetRootNode()->NumberOfChildren(), 2);
  EXPECT_EQ(ip->GetINodeByName("Object003")->GetParentNode()->GetName(), std::string("Object004"));
}

}  // namespace
