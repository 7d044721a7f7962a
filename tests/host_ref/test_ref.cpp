#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ref.h"

namespace {

int g_destroyed = 0;

struct Received {
  RefTargetHandle from;
  RefMessage msg;
  PartID part;
};

// A target that also holds references (like a modifier holding a parameter block).
class TestTarget : public ReferenceTarget {
 public:
  explicit TestTarget(std::string name, int nrefs = 0, SClass_ID sc = REF_TARGET_CLASS_ID)
      : name(std::move(name)), refs(size_t(nrefs), nullptr), sclass(sc) {}
  ~TestTarget() override { ++g_destroyed; }

  SClass_ID SuperClassID() override { return sclass; }
  int NumRefs() override { return int(refs.size()); }
  RefTargetHandle GetReference(int i) override { return refs[size_t(i)]; }
  void SetReference(int i, RefTargetHandle t) override { refs[size_t(i)] = t; }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle h, PartID& part, RefMessage m) override {
    got.push_back({h, m, part});
    return answer;
  }
  RefTargetHandle Clone(RemapDir& remap) override {
    auto* c = new TestTarget(name + "'", NumRefs(), sclass);
    for (int i = 0; i < NumRefs(); ++i) c->ReplaceReference(i, remap.CloneRef(refs[size_t(i)]));
    return c;
  }

  std::string name;
  std::vector<RefTargetHandle> refs;
  SClass_ID sclass;
  RefResult answer = REF_SUCCEED;
  std::vector<Received> got;
};

class TestMaker : public ReferenceMaker {
 public:
  explicit TestMaker(int nrefs) : refs(size_t(nrefs), nullptr) {}
  ~TestMaker() override { ++g_destroyed; }
  SClass_ID SuperClassID() override { return 0x1234; }
  int NumRefs() override { return int(refs.size()); }
  RefTargetHandle GetReference(int i) override { return refs[size_t(i)]; }
  void SetReference(int i, RefTargetHandle t) override { refs[size_t(i)] = t; }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle h, PartID& part, RefMessage m) override {
    got.push_back({h, m, part});
    if (m == REFMSG_TARGET_DELETED && refs.size() > 0 && refs[0] != h) sawWrongSlot = true;
    return REF_SUCCEED;
  }
  std::vector<RefTargetHandle> refs;
  std::vector<Received> got;
  bool sawWrongSlot = false;
};

class RefTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_destroyed = 0;
    live_ = MAX_heapLiveCount();
  }
  // Every object a test creates is released through references or DeleteMe: nothing may be left over.
  void TearDown() override { EXPECT_EQ(MAX_heapLiveCount(), live_); }
  long live_ = 0;
};

int countMsg(const std::vector<Received>& v, RefMessage m) {
  int n = 0;
  for (const auto& r : v) n += r.msg == m;
  return n;
}

// ---- References and auto-delete --------------------------------------------

TEST_F(RefTest, ReplaceReferenceMovesDependencyAndDeletesOrphan) {
  auto* maker = new TestMaker(1);
  auto* a = new TestTarget("a");
  auto* b = new TestTarget("b");
  ASSERT_EQ(maker->ReplaceReference(0, a), REF_SUCCEED);
  EXPECT_EQ(maker->refs[0], a);
  EXPECT_EQ(a->NumDependents(), 1);
  EXPECT_EQ(a->Dependent(0), maker);

  maker->ReplaceReference(0, b);
  EXPECT_EQ(maker->refs[0], b);
  EXPECT_EQ(b->NumDependents(), 1);
  EXPECT_EQ(g_destroyed, 1) << "a lost its only dependent and must delete itself";

  // Without delOld the old target survives.
  auto* c = new TestTarget("c");
  maker->ReplaceReference(0, c, FALSE);
  EXPECT_EQ(g_destroyed, 1);
  EXPECT_EQ(b->NumDependents(), 0);
  delete b;

  EXPECT_EQ(maker->ReplaceReference(1, c), REF_FAIL) << "slot out of range";
  maker->DeleteMe();
  EXPECT_EQ(g_destroyed, 4) << "b, then maker and c";
}

TEST_F(RefTest, ReplacingWithTargetHeldOnlyByOldKeepsIt) {
  auto* maker = new TestMaker(1);
  auto* parent = new TestTarget("parent", 1);
  auto* child = new TestTarget("child");
  parent->ReplaceReference(0, child);
  maker->ReplaceReference(0, parent);
  // The parent is orphaned and deleted, but the child is taken over by the maker first.
  maker->ReplaceReference(0, child);
  EXPECT_EQ(g_destroyed, 1);
  EXPECT_EQ(child->NumDependents(), 1);
  EXPECT_EQ(child->Dependent(0), maker);
  maker->DeleteMe();
  EXPECT_EQ(g_destroyed, 3);
}

TEST_F(RefTest, DependentsCountEveryReference) {
  auto* m1 = new TestMaker(2);
  auto* m2 = new TestMaker(1);
  auto* t = new TestTarget("t");
  m1->ReplaceReference(0, t);
  m1->ReplaceReference(1, t);
  m2->ReplaceReference(0, t);
  EXPECT_EQ(t->NumDependents(), 3);

  // Dropping one of m1's two references removes one entry only.
  m1->DeleteReference(1);
  EXPECT_EQ(t->NumDependents(), 2);
  EXPECT_EQ(m1->refs[1], nullptr);

  DependentIterator it(t);
  std::vector<ReferenceMaker*> seen;
  while (ReferenceMaker* m = it.Next()) seen.push_back(m);
  EXPECT_EQ(seen, (std::vector<ReferenceMaker*>{m1, m2}));

  m1->ReplaceReference(1, t);
  it.Reset();
  seen.clear();
  while (ReferenceMaker* m = it.Next()) seen.push_back(m);
  EXPECT_EQ(seen.size(), 2u) << "a maker holding two references is visited once";

  m1->DeleteAllRefsFromMe();
  EXPECT_EQ(t->NumDependents(), 1);
  EXPECT_EQ(g_destroyed, 0);
  m2->DeleteReference(0);
  EXPECT_EQ(g_destroyed, 1) << "t auto-deleted when the last reference went";
  m1->DeleteMe();
  m2->DeleteMe();
}

TEST_F(RefTest, DeletingReferencedTargetClearsSlotsAndNotifies) {
  auto* maker = new TestMaker(2);
  auto* other = new TestMaker(1);
  auto* t = new TestTarget("t");
  maker->ReplaceReference(0, t);
  maker->ReplaceReference(1, t);
  other->ReplaceReference(0, t);

  t->DeleteMe();
  EXPECT_EQ(g_destroyed, 1);
  EXPECT_EQ(maker->refs[0], nullptr);
  EXPECT_EQ(maker->refs[1], nullptr);
  EXPECT_EQ(other->refs[0], nullptr);
  EXPECT_EQ(countMsg(maker->got, REFMSG_TARGET_DELETED), 1);
  EXPECT_EQ(countMsg(other->got, REFMSG_TARGET_DELETED), 1);
  EXPECT_FALSE(maker->sawWrongSlot) << "the message arrives while the slot still names the target";

  // The makers no longer think they hold t: a new reference and its release work cleanly.
  auto* u = new TestTarget("u");
  maker->ReplaceReference(0, u);
  delete maker;  // destroyed without DeleteMe: u must be released and auto-deleted
  EXPECT_EQ(g_destroyed, 3);
  other->DeleteMe();
}

TEST_F(RefTest, DestroyingReferencedTargetLeavesNoDanglingSlot) {
  auto* maker = new TestMaker(1);
  auto* t = new TestTarget("t");
  maker->ReplaceReference(0, t);
  delete t;
  EXPECT_EQ(maker->refs[0], nullptr);
  auto* u = new TestTarget("u");
  maker->ReplaceReference(0, u);
  EXPECT_EQ(u->NumDependents(), 1);
  maker->DeleteMe();
  EXPECT_EQ(g_destroyed, 3);
}

TEST_F(RefTest, DeletingMakerReleasesItsTargets) {
  auto* keep = new TestMaker(1);
  auto* m = new TestTarget("m", 2);
  auto* shared = new TestTarget("shared");
  auto* own = new TestTarget("own");
  keep->ReplaceReference(0, shared);
  m->ReplaceReference(0, shared);
  m->ReplaceReference(1, own);
  EXPECT_EQ(shared->NumDependents(), 2);

  delete m;  // plain destruction: the base must release both references itself
  EXPECT_EQ(shared->NumDependents(), 1);
  EXPECT_EQ(shared->Dependent(0), keep);
  EXPECT_EQ(g_destroyed, 2) << "m and the orphaned 'own'";

  auto* m2 = new TestMaker(1);
  m2->ReplaceReference(0, shared);
  m2->DeleteMe();
  EXPECT_EQ(shared->NumDependents(), 1);
  keep->DeleteMe();
  EXPECT_EQ(g_destroyed, 5);
}

TEST_F(RefTest, MutualReferencesDeleteCleanly) {
  auto* holder = new TestMaker(1);
  auto* a = new TestTarget("a", 1);
  auto* b = new TestTarget("b", 1);
  holder->ReplaceReference(0, a);
  a->ReplaceReference(0, b);
  b->ReplaceReference(0, a);
  holder->DeleteMe();
  // a still has b as dependent (cycle) so it survives; breaking the cycle releases both.
  EXPECT_EQ(g_destroyed, 1);
  a->DeleteMe();
  EXPECT_EQ(g_destroyed, 3);
}

// ---- Notification -----------------------------------------------------------

// A <- B <- C: B references A, C references B.
struct Chain {
  TestTarget* a = new TestTarget("a");
  TestTarget* b = new TestTarget("b", 1);
  TestTarget* c = new TestTarget("c", 1);
  TestMaker* root = new TestMaker(1);
  Chain() {
    b->ReplaceReference(0, a);
    c->ReplaceReference(0, b);
    root->ReplaceReference(0, c);
  }
  ~Chain() { root->DeleteMe(); }
};

TEST_F(RefTest, NotificationPropagatesAlongChain) {
  Chain ch;
  ch.a->NotifyDependents(FOREVER, PART_GEOM, REFMSG_CHANGE);
  ASSERT_EQ(ch.b->got.size(), 1u);
  EXPECT_EQ(ch.b->got[0].from, ch.a);
  EXPECT_EQ(ch.b->got[0].part, PartID(PART_GEOM));
  ASSERT_EQ(ch.c->got.size(), 1u);
  EXPECT_EQ(ch.c->got[0].from, ch.b) << "each level names itself as the changed target";
  ASSERT_EQ(ch.root->got.size(), 1u);
  EXPECT_EQ(ch.root->got[0].from, ch.c);

  ch.a->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE, NOTIFY_ALL, FALSE);
  EXPECT_EQ(ch.b->got.size(), 2u);
  EXPECT_EQ(ch.c->got.size(), 1u) << "no propagation when asked not to";

  ch.a->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE, NOTIFY_ALL, TRUE, ch.c);
  EXPECT_EQ(ch.b->got.back().from, ch.c) << "explicit hTarg is passed on";
}

TEST_F(RefTest, RefStopEndsPropagation) {
  Chain ch;
  ch.b->answer = REF_STOP;
  ch.a->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  EXPECT_EQ(ch.b->got.size(), 1u);
  EXPECT_TRUE(ch.c->got.empty());
  EXPECT_TRUE(ch.root->got.empty());
}

TEST_F(RefTest, SuperClassFilterSelectsDependents) {
  auto* a = new TestTarget("a");
  auto* osm = new TestTarget("osm", 1, OSM_CLASS_ID);
  auto* other = new TestTarget("other", 1, GEOMOBJECT_CLASS_ID);
  auto* root = new TestMaker(2);
  osm->ReplaceReference(0, a);
  other->ReplaceReference(0, a);
  root->ReplaceReference(0, osm);
  root->ReplaceReference(1, other);
  a->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE, OSM_CLASS_ID);
  EXPECT_EQ(osm->got.size(), 1u);
  EXPECT_TRUE(other->got.empty());
  EXPECT_TRUE(root->got.empty()) << "the root is not of the requested super class";
  root->DeleteMe();
  EXPECT_EQ(g_destroyed, 4);
}

TEST_F(RefTest, CyclesAndDuplicatesDoNotRepeatMessages) {
  auto* a = new TestTarget("a", 1);
  auto* b = new TestTarget("b", 2);
  auto* holder = new TestMaker(1);
  holder->ReplaceReference(0, a);
  b->ReplaceReference(0, a);
  b->ReplaceReference(1, a);
  a->ReplaceReference(0, b);
  b->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  EXPECT_EQ(a->got.size(), 1u);
  EXPECT_EQ(b->got.size(), 1u) << "b hears it once though it references a twice";
  EXPECT_EQ(holder->got.size(), 1u);
  a->DeleteMe();
  holder->DeleteMe();
  EXPECT_EQ(g_destroyed, 3);
}

// A dependent that drops its reference when told of a change.
class LeavingMaker : public TestMaker {
 public:
  LeavingMaker() : TestMaker(1) {}
  RefResult NotifyRefChanged(const Interval& i, RefTargetHandle h, PartID& p, RefMessage m) override {
    TestMaker::NotifyRefChanged(i, h, p, m);
    if (m == REFMSG_CHANGE) ReplaceReference(0, nullptr, FALSE);
    return REF_SUCCEED;
  }
};

TEST_F(RefTest, DependentsMayLeaveDuringNotification) {
  auto* t = new TestTarget("t");
  auto* leaving = new LeavingMaker();
  auto* staying = new TestMaker(1);
  leaving->ReplaceReference(0, t);
  staying->ReplaceReference(0, t);
  t->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  EXPECT_EQ(leaving->got.size(), 1u);
  EXPECT_EQ(staying->got.size(), 1u);
  EXPECT_EQ(t->NumDependents(), 1);
  leaving->DeleteMe();
  staying->DeleteMe();
  EXPECT_EQ(g_destroyed, 3);
}

// ---- Enumeration ------------------------------------------------------------

class Collect : public DependentEnumProc {
 public:
  int proc(ReferenceMaker* m) override {
    order.push_back(m);
    if (m == skip) return DEP_ENUM_SKIP;
    if (m == halt) return DEP_ENUM_HALT;
    return DEP_ENUM_CONTINUE;
  }
  std::vector<ReferenceMaker*> order;
  ReferenceMaker* skip = nullptr;
  ReferenceMaker* halt = nullptr;
};

TEST_F(RefTest, EnumDependentsDepthFirstWithSkipAndHalt) {
  // a <- b <- d, a <- c <- d (diamond), d <- root
  auto* a = new TestTarget("a");
  auto* b = new TestTarget("b", 1);
  auto* c = new TestTarget("c", 1);
  auto* d = new TestTarget("d", 2);
  auto* root = new TestMaker(1);
  b->ReplaceReference(0, a);
  c->ReplaceReference(0, a);
  d->ReplaceReference(0, b);
  d->ReplaceReference(1, c);
  root->ReplaceReference(0, d);

  Collect all;
  EXPECT_EQ(a->DoEnumDependents(&all), 0);
  EXPECT_EQ(all.order, (std::vector<ReferenceMaker*>{b, d, root, c})) << "depth first, d visited once";

  Collect skipping;
  skipping.skip = b;
  EXPECT_EQ(a->DoEnumDependents(&skipping), 0);
  EXPECT_EQ(skipping.order, (std::vector<ReferenceMaker*>{b, c, d, root}));

  Collect halting;
  halting.halt = d;
  EXPECT_EQ(a->DoEnumDependents(&halting), 1);
  EXPECT_EQ(halting.order, (std::vector<ReferenceMaker*>{b, d}));

  root->DeleteMe();
  EXPECT_EQ(g_destroyed, 5);
}

// ---- Cloning ----------------------------------------------------------------

TEST_F(RefTest, CloneKeepsSharedTargetsShared) {
  auto* leaf = new TestTarget("leaf");
  auto* left = new TestTarget("left", 1);
  auto* right = new TestTarget("right", 1);
  auto* top = new TestTarget("top", 2);
  left->ReplaceReference(0, leaf);
  right->ReplaceReference(0, leaf);
  top->ReplaceReference(0, left);
  top->ReplaceReference(1, right);

  auto* copy = static_cast<TestTarget*>(CloneRefHierarchy(top));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->name, "top'");
  auto* cl = static_cast<TestTarget*>(copy->refs[0]);
  auto* cr = static_cast<TestTarget*>(copy->refs[1]);
  ASSERT_NE(cl, left);
  ASSERT_NE(cr, right);
  ASSERT_NE(cl->refs[0], leaf);
  EXPECT_EQ(cl->refs[0], cr->refs[0]) << "the shared leaf is cloned once";
  EXPECT_EQ(static_cast<TestTarget*>(cl->refs[0])->NumDependents(), 2);

  // Through an explicit RemapDir the mapping is reused across calls.
  RemapDir* remap = NewRemapDir();
  RefTargetHandle l1 = remap->CloneRef(left);
  RefTargetHandle r1 = remap->CloneRef(right);
  EXPECT_EQ(remap->FindMapping(left), l1);
  EXPECT_EQ(remap->CloneRef(left), l1);
  EXPECT_EQ(static_cast<TestTarget*>(l1)->refs[0], static_cast<TestTarget*>(r1)->refs[0]);
  EXPECT_EQ(remap->CloneRef(nullptr), nullptr);
  remap->DeleteThis();

  copy->DeleteMe();
  top->DeleteMe();
  EXPECT_EQ(g_destroyed, 8);
  static_cast<TestTarget*>(l1)->DeleteMe();
  static_cast<TestTarget*>(r1)->DeleteMe();
  EXPECT_EQ(g_destroyed, 11);
}

class Plain : public ReferenceTarget {
 public:
  SClass_ID SuperClassID() override { return REF_TARGET_CLASS_ID; }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }
};

TEST_F(RefTest, DefaultCloneGivesNothing) {
  auto* p = new Plain();
  EXPECT_EQ(CloneRefHierarchy(p), nullptr);
  p->DeleteMe();
}

}  // namespace
