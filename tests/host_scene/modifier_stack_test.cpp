// The modifier stack: evaluation from any index at any time, ownership of what flows through it,
// re-entrant evaluation from inside a modifier, change notification up to the node.
#include "test_modifiers.h"

namespace {

const Point3 kKnots[] = {Point3(0, 0, 0), Point3(10, 0, 0), Point3(10, 10, 0)};

class StackTest : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    base = new SplineShape();
    AddCornerSpline(base->shape, {kKnots[0], kKnots[1], kKnots[2]});
    derived = CreateDerivedObject(base);
    node = ip->CreateObjectNode(derived);
  }

  // Knot points of the first spline of a SplineShape result.
  static std::vector<Point3> Knots(Object* obj, int spline = 0) {
    std::vector<Point3> out;
    if (!obj || obj->ClassID() != splineShapeClassID) return out;
    const Spline3D* s = static_cast<SplineShape*>(obj)->shape.GetSpline(spline);
    for (int k = 0; s && k < s->KnotCount(); ++k) out.push_back(s->GetKnotPoint(k));
    return out;
  }
  static std::vector<Point3> Shifted(const Point3& d) { return {kKnots[0] + d, kKnots[1] + d, kKnots[2] + d}; }
  static ::testing::AssertionResult SamePoints(const std::vector<Point3>& a, const std::vector<Point3>& b) {
    if (a.size() != b.size()) return ::testing::AssertionFailure() << a.size() << " points vs " << b.size();
    for (size_t i = 0; i < a.size(); ++i)
      if (!a[i].Equals(b[i], 1e-4f))
        return ::testing::AssertionFailure() << "point " << i << ": " << Near(a[i], b[i]).message();
    return ::testing::AssertionSuccess();
  }
  static std::vector<Point3> MeshVerts(Object* obj) {
    std::vector<Point3> out;
    if (!obj || obj->ClassID() != triObjectClassID) return out;
    Mesh& m = static_cast<TriObject*>(obj)->mesh;
    for (int i = 0; i < m.getNumVerts(); ++i) out.push_back(m.getVert(i));
    return out;
  }

  // Top: a mesh builder; below it: a time-dependent shift.
  void BuildShiftThenMesh() {
    shift = new ShiftModifier();
    toMesh = new ToMeshModifier();
    derived->AddModifier(shift);
    derived->AddModifier(toMesh);  // before 0: goes on top
  }

  SplineShape* base = nullptr;
  IDerivedObject* derived = nullptr;
  INode* node = nullptr;
  ShiftModifier* shift = nullptr;
  ToMeshModifier* toMesh = nullptr;
};

TEST_F(StackTest, AddModifierPutsNewModifiersOnTopOrBeforeAnIndex) {
  BuildShiftThenMesh();
  ASSERT_EQ(derived->NumModifiers(), 2);
  EXPECT_EQ(derived->GetModifier(0), toMesh);
  EXPECT_EQ(derived->GetModifier(1), shift);
  auto* bottom = new ShiftModifier();
  derived->AddModifier(bottom, nullptr, 99);  // past the end: the bottom
  EXPECT_EQ(derived->GetModifier(2), bottom);
  EXPECT_NE(derived->GetModContext(2), nullptr);
  EXPECT_EQ(derived->GetModifier(3), nullptr);
  EXPECT_EQ(derived->GetObjRef(), base);
  EXPECT_EQ(derived->SuperClassID(), GEN_DERIVOB_CLASS_ID);
  EXPECT_EQ(derived->ClassID(), derivObjClassID);
  EXPECT_EQ(shift->SuperClassID(), OSM_CLASS_ID);
}

TEST_F(StackTest, EvaluatesFromEveryIndexAtSeveralTimes) {
  BuildShiftThenMesh();
  for (TimeValue t : {0, 160, 800, -320, 800}) {
    ObjectState below = derived->Eval(t, 2);  // nothing applied: the object itself
    EXPECT_EQ(below.obj, base);

    ObjectState shifted = derived->Eval(t, 1);
    ASSERT_NE(shifted.obj, nullptr);
    EXPECT_NE(shifted.obj, base);
    EXPECT_TRUE(SamePoints(Knots(shifted.obj), Shifted(shift->OffsetAt(t)))) << "t=" << t;

    ObjectState top = derived->Eval(t, 0);
    ASSERT_NE(top.obj, nullptr);
    EXPECT_EQ(top.obj->ClassID(), triObjectClassID);
    EXPECT_TRUE(SamePoints(MeshVerts(top.obj), Shifted(shift->OffsetAt(t)))) << "t=" << t;
    EXPECT_EQ(top.Validity(t), Interval(t, t));
  }
  // The object under the stack was never touched.
  EXPECT_TRUE(SamePoints(Knots(base), {kKnots[0], kKnots[1], kKnots[2]}));
  EXPECT_EQ(base->ObjectValidity(0), FOREVER);
}

TEST_F(StackTest, KeyedObjectIsTakenAtTheEvaluationTime) {
  BuildShiftThenMesh();
  BezierShape later;
  AddCornerSpline(later, {kKnots[0] + Point3(0, 10, 0), kKnots[1] + Point3(0, 10, 0), kKnots[2] + Point3(0, 10, 0)});
  base->AddShapeKey(0, base->shape);
  base->AddShapeKey(1600, later);
  ObjectState os = derived->Eval(800, 1);
  EXPECT_TRUE(SamePoints(Knots(os.obj), Shifted(Point3(0, 5, 0) + shift->OffsetAt(800))));
  EXPECT_EQ(os.Validity(800), Interval(800, 800));
  EXPECT_TRUE(SamePoints(MeshVerts(derived->Eval(3200, 0).obj), Shifted(Point3(0, 10, 0) + shift->OffsetAt(3200))));
}

TEST_F(StackTest, ResultOfOneStartIndexOutlivesEvaluationsOfOthers) {
  BuildShiftThenMesh();
  Object* mid = derived->Eval(160, 1).obj;
  derived->Eval(320, 0);
  derived->Eval(480, 0);
  EXPECT_TRUE(SamePoints(Knots(mid), Shifted(shift->OffsetAt(160))));  // still alive and unchanged
  // A still-valid result is handed out again without evaluating.
  int calls = shift->calls;
  EXPECT_EQ(derived->Eval(160, 1).obj, mid);
  EXPECT_EQ(shift->calls, calls);
  Object* top = derived->Eval(480, 0).obj;
  EXPECT_EQ(derived->Eval(480, 0).obj, top);
  EXPECT_EQ(toMesh->calls, 2);
}

TEST_F(StackTest, ModifiersAreAppliedInOrderAndGetTheNodeAndTheirContext) {
  BuildShiftThenMesh();
  for (TimeValue t : {0, 160, 320}) derived->Eval(t, 0);
  EXPECT_EQ(shift->lastNode, node);
  EXPECT_EQ(toMesh->lastNode, node);
  EXPECT_EQ(toMesh->lastInputSuper, SHAPE_CLASS_ID);
  auto* data = dynamic_cast<TestLocalData*>(derived->GetModContext(1)->localData);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->applications, 3);
}

TEST_F(StackTest, InputOfTheWrongTypeIsPassedOnForTheModifierToCheck) {
  BuildShiftThenMesh();
  auto* onTop = new ShiftModifier();
  derived->AddModifier(onTop);  // expects a shape, gets the mesh
  ObjectState os = derived->Eval(160, 0);
  EXPECT_EQ(onTop->calls, 1);
  EXPECT_EQ(onTop->lastInputSuper, GEOMOBJECT_CLASS_ID);
  EXPECT_TRUE(SamePoints(MeshVerts(os.obj), Shifted(shift->OffsetAt(160))));
}

TEST_F(StackTest, DependentsLeadFromModifierToDerivedObjectToNode) {
  BuildShiftThenMesh();
  DependentIterator fromMod(shift);
  ReferenceMaker* first = fromMod.Next();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, derived);
  EXPECT_EQ(first->SuperClassID(), GEN_DERIVOB_CLASS_ID);
  EXPECT_EQ(fromMod.Next(), nullptr);
  DependentIterator fromDerived(static_cast<ReferenceTarget*>(first));
  ReferenceMaker* second = fromDerived.Next();
  EXPECT_EQ(second, node);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->SuperClassID(), BASENODE_CLASS_ID);
  EXPECT_EQ(static_cast<INode*>(second)->GetObjectRef(), derived);
  StackPlace place = FindPlace(shift);
  EXPECT_EQ(place.derived, derived);
  EXPECT_EQ(place.index, 1);
}

TEST_F(StackTest, ModifierChangeReachesTheNodesWorldState) {
  BuildShiftThenMesh();
  const ObjectState& ws = node->EvalWorldState(160);
  EXPECT_TRUE(SamePoints(MeshVerts(ws.obj), Shifted(Point3(1, 0, 0))));
  node->EvalWorldState(160);
  EXPECT_EQ(toMesh->calls, 1);  // cached

  shift->SetRate(3.0f);
  EXPECT_EQ(toMesh->inputChanges, 1);  // the modifier above the change hears of it
  EXPECT_EQ(shift->inputChanges, 0);
  const ObjectState& again = node->EvalWorldState(160);
  EXPECT_EQ(toMesh->calls, 2);
  EXPECT_TRUE(SamePoints(MeshVerts(again.obj), Shifted(Point3(3, 0, 0))));
}

TEST_F(StackTest, ObjectChangeReachesEveryModifierAndTheNode) {
  BuildShiftThenMesh();
  node->EvalWorldState(0);
  base->shape.GetSpline(0)->SetKnotPoint(0, Point3(-5, 0, 0));
  base->NotifyDependents(FOREVER, PART_GEOM, REFMSG_CHANGE);
  EXPECT_EQ(shift->inputChanges, 1);
  EXPECT_EQ(toMesh->inputChanges, 1);
  std::vector<Point3> verts = MeshVerts(node->EvalWorldState(0).obj);
  ASSERT_EQ(verts.size(), 3u);
  EXPECT_TRUE(Near(verts[0], Point3(-5, 0, 0)));
}

TEST_F(StackTest, MovingTheNodeReevaluatesItsStack) {
  BuildShiftThenMesh();
  node->EvalWorldState(160);
  Point3 p(1, 2, 3);
  node->GetPositionController()->SetValue(0, &p);
  node->EvalWorldState(160);
  EXPECT_EQ(toMesh->calls, 2);
}

TEST_F(StackTest, DisabledModifierIsSkipped) {
  BuildShiftThenMesh();
  shift->DisableMod();
  EXPECT_TRUE(SamePoints(MeshVerts(node->EvalWorldState(160).obj), Shifted(Point3(0, 0, 0))));
  EXPECT_EQ(shift->calls, 0);
  shift->EnableMod();
  EXPECT_TRUE(SamePoints(MeshVerts(node->EvalWorldState(160).obj), Shifted(shift->OffsetAt(160))));
}

TEST_F(StackTest, DeletingAModifierRemovesItAndFreesIt) {
  BuildShiftThenMesh();
  bool destroyed = false;
  shift->destroyed = &destroyed;
  node->EvalWorldState(160);
  derived->DeleteModifier(1);
  EXPECT_TRUE(destroyed);
  ASSERT_EQ(derived->NumModifiers(), 1);
  EXPECT_EQ(derived->GetModifier(0), toMesh);
  EXPECT_TRUE(SamePoints(MeshVerts(node->EvalWorldState(160).obj), Shifted(Point3(0, 0, 0))));
}

TEST_F(StackTest, SharedModifierLivesWhileAnyStackHoldsIt) {
  BuildShiftThenMesh();
  bool destroyed = false;
  shift->destroyed = &destroyed;
  auto* base2 = new SplineShape();
  AddCornerSpline(base2->shape, {Point3(0, 0, 0), Point3(1, 1, 1)});
  IDerivedObject* derived2 = CreateDerivedObject(base2);
  derived2->AddModifier(shift);
  INode* node2 = ip->CreateObjectNode(derived2);
  ip->DeleteNode(node);
  EXPECT_FALSE(destroyed);
  EXPECT_TRUE(Near(Knots(node2->EvalWorldState(320).obj)[1], Point3(1, 1, 1) + shift->OffsetAt(320)));
  EXPECT_EQ(shift->lastNode, node2);
  ip->DeleteNode(node2);
  EXPECT_TRUE(destroyed);
}

TEST_F(StackTest, FailingModifierLeavesNothingBehind) {
  BuildShiftThenMesh();
  derived->AddModifier(new ThrowingModifier(), nullptr, 1);  // between the two
  EXPECT_THROW(derived->Eval(160, 0), std::runtime_error);
  EXPECT_THROW(derived->Eval(160, 1), std::runtime_error);
  EXPECT_TRUE(SamePoints(Knots(derived->Eval(160, 2).obj), Shifted(shift->OffsetAt(160))));
  // Leaks are checked when the case ends.
}

TEST_F(StackTest, ModifierEvaluatesItsOwnStackBelowItselfDuringItsEvaluation) {
  auto* echo = new EchoModifier();
  shift = new ShiftModifier();
  derived->AddModifier(shift);
  derived->AddModifier(echo);
  for (TimeValue t : {480, 800, 0}) {
    const ObjectState& ws = node->EvalWorldState(t);
    ASSERT_NE(ws.obj, nullptr);
    ASSERT_EQ(ws.obj->ClassID(), splineShapeClassID);
    ASSERT_EQ(static_cast<SplineShape*>(ws.obj)->shape.SplineCount(), 2);
    EXPECT_TRUE(SamePoints(Knots(ws.obj, 0), Shifted(shift->OffsetAt(t)))) << "t=" << t;
    EXPECT_TRUE(SamePoints(Knots(ws.obj, 1), Shifted(shift->OffsetAt(t - echo->lag)))) << "t=" << t;
  }
  EXPECT_EQ(echo->echoesSeen, 9);
  EXPECT_EQ(shift->calls, 3 * 4);  // once for each evaluation and once for each look-back
  EXPECT_TRUE(SamePoints(Knots(base), {kKnots[0], kKnots[1], kKnots[2]}));
}

TEST_F(StackTest, NestedLookBacksFromTwoLevelsOfTheStack) {
  auto* upper = new EchoModifier();
  auto* lower = new EchoModifier();
  shift = new ShiftModifier();
  derived->AddModifier(shift);
  derived->AddModifier(lower);
  derived->AddModifier(upper);
  const TimeValue t = 1600, lag = 160;
  const ObjectState& ws = node->EvalWorldState(t);
  ASSERT_EQ(ws.obj->ClassID(), splineShapeClassID);
  ASSERT_EQ(static_cast<SplineShape*>(ws.obj)->shape.SplineCount(), 4);
  // upper(t) = lower(t) + lower(t - lag); lower(g) = shifted(g) + shifted(g - lag).
  const TimeValue expected[] = {t, t - lag, t - lag, t - 2 * lag};
  for (int s = 0; s < 4; ++s)
    EXPECT_TRUE(SamePoints(Knots(ws.obj, s), Shifted(shift->OffsetAt(expected[s])))) << "spline " << s;
  // Evaluating the middle again must not disturb the result the node holds.
  derived->Eval(t + 160, 1);
  derived->Eval(t + 320, 1);
  EXPECT_TRUE(SamePoints(Knots(ws.obj, 3), Shifted(shift->OffsetAt(t - 2 * lag))));
}

TEST_F(StackTest, StackOnAStackFindsTheNodeThroughBoth) {
  shift = new ShiftModifier();
  toMesh = new ToMeshModifier();
  // Put the object under a stack of its own, and that stack under the node's.
  IDerivedObject* inner = CreateDerivedObject(base);
  inner->AddModifier(shift);
  derived->ReferenceObject(inner);
  derived->AddModifier(toMesh);
  const ObjectState& ws = node->EvalWorldState(320);
  EXPECT_TRUE(SamePoints(MeshVerts(ws.obj), Shifted(shift->OffsetAt(320))));
  EXPECT_EQ(shift->lastNode, node);
  EXPECT_EQ(toMesh->lastNode, node);
}

TEST_F(StackTest, NodeWithoutModifiersEvaluatesToItsObject) {
  auto* plain = new SplineShape();
  INode* n = ip->CreateObjectNode(plain);
  EXPECT_EQ(n->EvalWorldState(0).obj, plain);
  EXPECT_EQ(derived->Eval(0, 0).obj, base);  // a stack without modifiers
}

TEST_F(StackTest, ResetSceneFreesNodesObjectsModifiersAndResults) {
  long before = MAX_heapLiveCount();
  BuildShiftThenMesh();
  auto* echo = new EchoModifier();
  derived->AddModifier(echo, nullptr, 1);
  for (TimeValue t : {0, 160, 320}) {
    node->EvalWorldState(t);
    derived->Eval(t, 1);
  }
  EXPECT_GT(MAX_heapLiveCount(), before);
  ip->ResetScene();
  EXPECT_EQ(ip->GetRootNode()->NumberOfChildren(), 0);
  EXPECT_EQ(MAX_heapLiveCount(), liveAtStart);
}

}  // namespace
