#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "control.h"

namespace {

constexpr float kDeg = 3.14159265358979f / 180.0f;

bool SameRotation(const Quat& a, const Quat& b, float eps = 1e-5f) { return a.Equals(b, eps) || a.Equals(-b, eps); }

// Deletes a controller the way the host does, through DeleteMe.
struct ControlDeleter {
  void operator()(Control* c) const { c->DeleteMe(); }
};
using ControlPtr = std::unique_ptr<Control, ControlDeleter>;

float FloatAt(Control* c, TimeValue t, Interval* validOut = nullptr) {
  float v = -999.0f;
  Interval valid = FOREVER;
  c->GetValue(t, &v, valid);
  if (validOut) *validOut = valid;
  return v;
}

// ---- Float ------------------------------------------------------------------

TEST(LinearFloatControl, InterpolatesAndHoldsOutsideKeys) {
  LinearFloatControl* c = new LinearFloatControl(3.0f);
  ControlPtr own(c);
  c->AddKey(100, 10.0f);
  c->AddKey(0, 0.0f);  // added out of order: kept sorted
  ASSERT_EQ(c->NumKeys(), 2);
  EXPECT_EQ(c->GetKeyTime(0), 0);
  EXPECT_EQ(c->GetKeyTime(1), 100);
  EXPECT_TRUE(c->IsAnimated());

  Interval valid;
  EXPECT_FLOAT_EQ(FloatAt(c, 50, &valid), 5.0f);
  EXPECT_EQ(valid, Interval(50, 50));
  EXPECT_FLOAT_EQ(FloatAt(c, 25), 2.5f);
  EXPECT_FLOAT_EQ(FloatAt(c, 100), 10.0f);
  EXPECT_FLOAT_EQ(FloatAt(c, -40, &valid), 0.0f);
  EXPECT_EQ(valid, Interval(TIME_NegInfinity, 0));
  EXPECT_FLOAT_EQ(FloatAt(c, 4000, &valid), 10.0f);
  EXPECT_EQ(valid, Interval(100, TIME_PosInfinity));

  // A key at an existing time replaces it.
  c->AddKey(100, 20.0f);
  EXPECT_EQ(c->NumKeys(), 2);
  EXPECT_FLOAT_EQ(FloatAt(c, 50), 10.0f);
}

// Many keys at uneven times: every time between keys blends its own two neighbours, found as a walk from the
// first key would find them, and is valid only at that instant (a flat pair for its whole span).
TEST(LinearFloatControl, ManyKeysEachTimeBlendsItsOwnNeighbours) {
  LinearFloatControl* c = new LinearFloatControl();
  ControlPtr own(c);
  std::vector<std::pair<TimeValue, float>> keys;
  TimeValue t = -500;
  for (int i = 0; i < 300; ++i) {
    t += 1 + (i * 37) % 23;
    const float v = (i % 7 == 3) ? keys.back().second : float((i * 53) % 101) - 50.0f;
    keys.emplace_back(t, v);
    c->AddKey(t, v);
  }
  for (TimeValue at = keys.front().first; at <= keys.back().first; ++at) {
    size_t hi = 1;
    while (keys[hi].first <= at && hi + 1 < keys.size()) ++hi;
    if (keys[hi].first <= at) hi = keys.size() - 1;
    const auto& a = keys[hi - 1];
    const auto& b = keys[hi];
    Interval valid;
    const float got = FloatAt(c, at, &valid);
    if (at == keys.front().first || at == keys.back().first) {  // held from there outwards
      EXPECT_EQ(got, at == keys.front().first ? a.second : b.second);
      continue;
    }
    const float u = float((double(at) - a.first) / (double(b.first) - a.first));
    const float want =
        a.second == b.second ? a.second : (at == a.first ? a.second : a.second + (b.second - a.second) * u);
    ASSERT_FLOAT_EQ(got, want) << "at " << at;
    if (a.second == b.second)
      EXPECT_TRUE(valid.Start() == a.first && valid.End() == b.first) << "at " << at;
    else
      EXPECT_TRUE(valid.Start() == at && valid.End() == at) << "at " << at;
  }
}

TEST(LinearFloatControl, ConstantAndSingleKeyAreValidForever) {
  ControlPtr c(NewDefaultFloatController());
  EXPECT_EQ(c->SuperClassID(), SClass_ID(CTRL_FLOAT_CLASS_ID));
  EXPECT_FALSE(c->IsAnimated());
  float v = 2.5f;
  c->SetValue(0, &v);
  EXPECT_EQ(c->NumKeys(), 0) << "without keys SetValue changes the constant";
  Interval valid(10, 20);
  float out = 0.0f;
  c->GetValue(500, &out, valid);
  EXPECT_FLOAT_EQ(out, 2.5f);
  EXPECT_EQ(valid, Interval(10, 20)) << "the caller's interval is only narrowed";

  auto* lc = static_cast<LinearFloatControl*>(c.get());
  lc->AddKey(160, 7.0f);
  EXPECT_FLOAT_EQ(FloatAt(lc, -1000, &valid), 7.0f);
  EXPECT_EQ(valid, FOREVER);
  EXPECT_FLOAT_EQ(FloatAt(lc, 1000), 7.0f);
}

TEST(LinearFloatControl, SetValueWithKeysSetsOrCreatesKey) {
  LinearFloatControl* c = new LinearFloatControl();
  ControlPtr own(c);
  c->AddKey(0, 0.0f);
  c->AddKey(100, 10.0f);
  float v = 4.0f;
  c->SetValue(100, &v);
  EXPECT_EQ(c->NumKeys(), 2);
  EXPECT_FLOAT_EQ(c->GetKeyValue(1), 4.0f);
  c->SetValue(200, &v);
  ASSERT_EQ(c->NumKeys(), 3);
  EXPECT_EQ(c->GetKeyTime(2), 200);
  // Relative set adds to the value at t (2 at t = 50).
  float d = 1.0f;
  c->SetValue(50, &d, 1, CTRL_RELATIVE);
  ASSERT_EQ(c->NumKeys(), 4);
  EXPECT_FLOAT_EQ(c->ValueAt(50), 3.0f);
  // Relative get adds the value to what the caller passes.
  float acc = 10.0f;
  Interval valid = FOREVER;
  c->GetValue(50, &acc, valid, CTRL_RELATIVE);
  EXPECT_FLOAT_EQ(acc, 13.0f);
}

TEST(LinearFloatControl, FlatSegmentIsValidBetweenItsKeys) {
  LinearFloatControl* c = new LinearFloatControl();
  ControlPtr own(c);
  c->AddKey(0, 5.0f);
  c->AddKey(100, 5.0f);
  c->AddKey(200, 10.0f);
  Interval valid;
  EXPECT_FLOAT_EQ(FloatAt(c, 50, &valid), 5.0f);
  EXPECT_EQ(valid, Interval(0, 100));
  EXPECT_FLOAT_EQ(FloatAt(c, 150, &valid), 7.5f);
  EXPECT_EQ(valid, Interval(150, 150));
}

TEST(LinearFloatControl, KeyEditing) {
  LinearFloatControl* c = new LinearFloatControl();
  ControlPtr own(c);
  c->AddKey(0, 0.0f);
  c->AddKey(100, 10.0f);
  c->AddNewKey(30, 0);
  ASSERT_EQ(c->NumKeys(), 3);
  EXPECT_FLOAT_EQ(c->GetKeyValue(1), 3.0f) << "a new key holds the value already there";
  EXPECT_FLOAT_EQ(c->ValueAt(60), 6.0f);
  c->DeleteKeyAtTime(0);
  EXPECT_EQ(c->NumKeys(), 2);
  EXPECT_FLOAT_EQ(c->ValueAt(-5), 3.0f);
  c->DeleteKeyByIndex(1);
  c->DeleteKeyByIndex(5);  // out of range: ignored
  ASSERT_EQ(c->NumKeys(), 1);
  c->DeleteKeyByIndex(0);
  EXPECT_EQ(c->NumKeys(), 0);
  EXPECT_FALSE(c->IsAnimated());
  EXPECT_FLOAT_EQ(c->ValueAt(999), 3.0f) << "the last key's value stays";
}

// ---- Position and scale -----------------------------------------------------

TEST(LinearPositionControl, InterpolatesPerComponent) {
  ControlPtr c(NewDefaultPositionController());
  EXPECT_EQ(c->SuperClassID(), SClass_ID(CTRL_POSITION_CLASS_ID));
  auto* pc = static_cast<LinearPositionControl*>(c.get());
  EXPECT_EQ(pc->ValueAt(0), Point3(0.0f, 0.0f, 0.0f));
  pc->AddKey(0, Point3(0.0f, 10.0f, -4.0f));
  pc->AddKey(160, Point3(8.0f, 10.0f, 4.0f));
  Point3 p;
  Interval valid = FOREVER;
  c->GetValue(40, &p, valid);
  EXPECT_TRUE(p.Equals(Point3(2.0f, 10.0f, -2.0f), 1e-5f));
  EXPECT_EQ(valid, Interval(40, 40));
  c->GetValue(500, &p, valid = FOREVER);
  EXPECT_EQ(p, Point3(8.0f, 10.0f, 4.0f));
  // Relative get offsets the caller's point.
  Point3 base(1.0f, 1.0f, 1.0f);
  c->GetValue(0, &base, valid = FOREVER, CTRL_RELATIVE);
  EXPECT_EQ(base, Point3(1.0f, 11.0f, -3.0f));
}

TEST(LinearScaleControl, DefaultsToUnitAndCombinesByMultiplying) {
  ControlPtr c(NewDefaultScaleController());
  EXPECT_EQ(c->SuperClassID(), SClass_ID(CTRL_SCALE_CLASS_ID));
  Point3 s;
  Interval valid = FOREVER;
  c->GetValue(0, &s, valid);
  EXPECT_EQ(s, Point3(1.0f, 1.0f, 1.0f));
  auto* sc = static_cast<LinearScaleControl*>(c.get());
  sc->AddKey(0, Point3(1.0f, 1.0f, 1.0f));
  sc->AddKey(100, Point3(3.0f, 1.0f, 0.5f));
  EXPECT_TRUE(sc->ValueAt(50).Equals(Point3(2.0f, 1.0f, 0.75f), 1e-6f));
  Point3 acc(2.0f, 2.0f, 2.0f);
  c->GetValue(100, &acc, valid = FOREVER, CTRL_RELATIVE);
  EXPECT_EQ(acc, Point3(6.0f, 2.0f, 1.0f));
}

// ---- Rotation ---------------------------------------------------------------

TEST(LinearRotationControl, TakesTheShortWay) {
  ControlPtr c(NewDefaultRotationController());
  EXPECT_EQ(c->SuperClassID(), SClass_ID(CTRL_ROTATION_CLASS_ID));
  auto* rc = static_cast<LinearRotationControl*>(c.get());
  EXPECT_TRUE(SameRotation(rc->ValueAt(0), Quat()));
  rc->AddKey(0, QFromAngAxis(10.0f * kDeg, Point3::ZAxis));
  rc->AddKey(100, QFromAngAxis(350.0f * kDeg, Point3::ZAxis));
  // From 10 degrees to 350 the short way passes 0 (not 180).
  Quat q;
  Interval valid = FOREVER;
  c->GetValue(50, &q, valid);
  EXPECT_TRUE(SameRotation(q, Quat())) << q.x << " " << q.y << " " << q.z << " " << q.w;
  EXPECT_EQ(valid, Interval(50, 50));
  EXPECT_TRUE(SameRotation(rc->ValueAt(25), QFromAngAxis(5.0f * kDeg, Point3::ZAxis)));
  EXPECT_TRUE(SameRotation(rc->ValueAt(75), QFromAngAxis(-5.0f * kDeg, Point3::ZAxis)));
  EXPECT_TRUE(SameRotation(rc->ValueAt(-100), QFromAngAxis(10.0f * kDeg, Point3::ZAxis)));
  EXPECT_TRUE(SameRotation(rc->ValueAt(900), QFromAngAxis(-10.0f * kDeg, Point3::ZAxis)));
}

TEST(LinearRotationControl, KeysAreNormalised) {
  LinearRotationControl* c = new LinearRotationControl();
  ControlPtr own(c);
  Quat big = QFromAngAxis(90.0f * kDeg, Point3::XAxis) * 3.0f;
  c->SetValue(0, &big);
  EXPECT_NEAR(c->ValueAt(0).Length(), 1.0f, 1e-6f);
  c->AddKey(0, Quat());
  c->AddKey(100, big);
  EXPECT_NEAR(c->GetKeyValue(1).Length(), 1.0f, 1e-6f);
  EXPECT_TRUE(SameRotation(c->ValueAt(50), QFromAngAxis(45.0f * kDeg, Point3::XAxis)));
}

// ---- As reference targets ---------------------------------------------------

class Watcher : public ReferenceMaker {
 public:
  SClass_ID SuperClassID() override { return 0x77; }
  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int) override { return ref; }
  void SetReference(int, RefTargetHandle t) override { ref = t; }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle h, PartID&, RefMessage m) override {
    if (m == REFMSG_CHANGE && h == ref) ++changes;
    return REF_SUCCEED;
  }
  RefTargetHandle ref = nullptr;
  int changes = 0;
};

TEST(Controllers, ChangesReachDependents) {
  auto* w = new Watcher();
  auto* c = new LinearFloatControl();
  w->ReplaceReference(0, c);
  float v = 1.0f;
  c->SetValue(0, &v);
  EXPECT_EQ(w->changes, 1);
  c->AddKey(10, 2.0f);
  EXPECT_EQ(w->changes, 2);
  c->AddNewKey(20, 0);
  EXPECT_EQ(w->changes, 3);
  c->AddNewKey(20, 0);  // key already there: nothing changes
  EXPECT_EQ(w->changes, 3);
  c->DeleteKeyByIndex(0);
  EXPECT_EQ(w->changes, 4);
  w->DeleteMe();  // releases and auto-deletes the controller
}

TEST(Controllers, CloneCopiesKeysIndependently) {
  LinearPositionControl* c = new LinearPositionControl(Point3(1.0f, 2.0f, 3.0f));
  ControlPtr own(c);
  c->AddKey(0, Point3(0.0f, 0.0f, 0.0f));
  c->AddKey(100, Point3(10.0f, 0.0f, 0.0f));
  auto* copy = static_cast<LinearPositionControl*>(CloneRefHierarchy(c));
  ASSERT_NE(copy, nullptr);
  ControlPtr ownCopy(copy);
  EXPECT_EQ(copy->ClassID(), c->ClassID());
  ASSERT_EQ(copy->NumKeys(), 2);
  EXPECT_EQ(copy->ValueAt(50), Point3(5.0f, 0.0f, 0.0f));
  copy->AddKey(100, Point3(20.0f, 0.0f, 0.0f));
  EXPECT_EQ(c->ValueAt(100), Point3(10.0f, 0.0f, 0.0f));
  copy->DeleteKeyByIndex(0);
  copy->DeleteKeyByIndex(0);
  EXPECT_EQ(copy->ValueAt(0), Point3(20.0f, 0.0f, 0.0f));
}

}  // namespace
