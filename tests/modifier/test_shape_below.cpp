// The shape below the trail over the sample times: taken once while the stack below keeps it, at every
// sample time while it changes; and the direction search of legacy particle trails, which must find the
// same directions as a search from every sample while asking each trail's position once per sample.
#include <algorithm>
#include <cstring>
#include <memory>

#include "particles/TrailSource.h"
#include "trail_scene.h"

namespace {

// A spline shape that counts how often it is turned into polylines.
class CountingShape : public SplineShape {
 public:
  void MakePolyShape(TimeValue t, PolyShape& pshape, int steps = PSHAPE_BUILTIN_STEPS, BOOL optimize = FALSE) override {
    ++polyShapes;
    SplineShape::MakePolyShape(t, pshape, steps, optimize);
  }
  // The polyline points at g as the trail takes them, without counting the look.
  std::vector<Point3> PointsAt(TimeValue g);
  int polyShapes = 0;
};

// Moves every knot along +Y by `rate` per frame: a modifier whose effect changes with time.
class RisingModifier : public Modifier {
 public:
  ChannelMask ChannelsUsed() override { return GEOM_CHANNEL; }
  ChannelMask ChannelsChanged() override { return GEOM_CHANNEL; }
  Class_ID InputType() override { return genericShapeClassID; }
  Interval LocalValidity(TimeValue t) override { return Interval(t, t); }
  void ModifyObject(TimeValue t, ModContext&, ObjectState* os, INode*) override {
    auto* s = dynamic_cast<SplineShape*>(os->obj);
    if (!s) return;
    const Point3 d(0.0f, 0.25f * float(t) / 160.0f, 0.0f);
    for (int i = 0; i < s->shape.SplineCount(); ++i) {
      Spline3D* sp = s->shape.GetSpline(i);
      for (int k = 0; k < sp->KnotCount(); ++k) {
        sp->SetKnotPoint(k, sp->GetKnotPoint(k) + d);
        sp->SetInVec(k, sp->GetInVec(k) + d);
        sp->SetOutVec(k, sp->GetOutVec(k) + d);
      }
    }
  }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }
};

// Counts the change messages a node sends its dependents.
class ChangeWatcher : public ReferenceMaker {
 public:
  SClass_ID SuperClassID() override { return SClass_ID(0x100); }
  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int) override { return target_; }
  void SetReference(int, RefTargetHandle t) override { target_ = t; }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage message) override {
    changes += message == REFMSG_CHANGE;
    return REF_SUCCEED;
  }
  int changes = 0;

 private:
  RefTargetHandle target_ = nullptr;
};

// Passes everything on to the modifier's own source and counts the transforms asked of it.
class CountingSource : public ITrailSource {
 public:
  CountingSource(ITrailSource* inner, int* calls) : inner_(inner), calls_(calls) {}
  int numTrails() override { return inner_->numTrails(); }
  Matrix3 trailTM(int trail, TimeValue t, TimeList& times) override {
    ++*calls_;
    return inner_->trailTM(trail, t, times);
  }
  int trailAge(int trail, TimeValue t) override { return inner_->trailAge(trail, t); }
  int trailLifeSpan(int trail) override { return inner_->trailLifeSpan(trail); }
  BOOL isTrailStationary(int trail, TimeValue from, TimeValue to, int step, TimeList& times) override {
    return inner_->isTrailStationary(trail, from, to, step, times);
  }
  int countStillSamples(int trail, TimeList& times) override { return inner_->countStillSamples(trail, times); }

 private:
  std::unique_ptr<ITrailSource> inner_;
  int* calls_;
};

class CountingWakeweave : public Wakeweave {
 public:
  int trailTMs = 0;

 protected:
  ITrailSource* NewTrailSource(INode* node) override {
    return new CountingSource(Wakeweave::NewTrailSource(node), &trailTMs);
  }
};

bool SameBits(const Point3& a, const Point3& b) { return std::memcmp(&a, &b, sizeof(Point3)) == 0; }

// The points of a shape's polylines at g, as the trail takes them (no points interpolated).
std::vector<Point3> PolyPoints(ShapeObject* shape, TimeValue g) {
  PolyShape ps;
  shape->MakePolyShape(g, ps, 0, FALSE);
  std::vector<Point3> out;
  for (int l = 0; l < ps.numLines; ++l)
    for (int i = 0; i < ps.lines[l].numPts; ++i) out.push_back(ps.lines[l].pts[i].p);
  return out;
}

std::vector<Point3> CountingShape::PointsAt(TimeValue g) {
  const int counted = polyShapes;
  std::vector<Point3> points = PolyPoints(this, g);
  polyShapes = counted;
  return points;
}

BezierShape Bar(float length, float lift) {
  BezierShape shape;
  Spline3D* sp = shape.NewSpline();
  for (int i = 0; i < 3; ++i) {
    const Point3 p(0.0f, length * float(i) / 2.0f, lift);
    sp->AddKnot(SplineKnot(KTYPE_CORNER, LTYPE_LINE, p, p, p));
  }
  return shape;
}

}  // namespace

class ShapeBelow : public TrailTest {
 protected:
  void TearDown() override {
    watcher.DeleteAllRefsFromMe();
    TrailTest::TearDown();
  }
  // A moving node carrying shape under a trail of `frames` frames, watched for the changes it announces.
  INode* TrailOf(CountingShape* shape, int frames) {
    Wakeweave* mod;
    INode* node = MovingNode(shape, &mod);
    Configure(mod, frames);
    EXPECT_EQ(watcher.ReplaceReference(0, node), REF_SUCCEED);
    watcher.changes = 0;
    return node;
  }

  // A moving trail reaching `frames` back with one sample per frame and only the knots in each row.
  static void Configure(Wakeweave* mod, int frames) {
    Set(mod, pb_spline_steps, 0);
    Set(mod, pb_old_frames, frames);
    Set(mod, pb_segments_per_frame, 1.0f);
  }
  // Every row of the trail at t, one per sample, is `rowAt(g)` placed where the node was at g, bit for bit:
  // the same arithmetic the trail uses (the node's transform then, into its object space now).
  template <class RowAt>
  static ::testing::AssertionResult RowsAre(const Mesh& m, INode* node, TimeValue t, int frames, RowAt rowAt) {
    const int n = int(rowAt(t).size());
    if (m.getNumVerts() != n * (frames + 1))
      return ::testing::AssertionFailure() << m.getNumVerts() << " vertices, not " << n * (frames + 1);
    const Matrix3 toObject = Inverse(node->GetObjectTM(t));
    for (int l = 0; l <= frames; ++l) {
      const TimeValue g = t - l * kTpf;
      const std::vector<Point3> row = rowAt(g);
      const Matrix3 place = node->GetObjectTM(g) * toObject;
      for (int i = 0; i < n; ++i)
        if (!SameBits(m.verts[l * n + i], row[size_t(i)] * place))
          return ::testing::AssertionFailure() << "row " << l << " (time " << g << "), point " << i;
    }
    return ::testing::AssertionSuccess();
  }

  ChangeWatcher watcher;
};

TEST_F(ShapeBelow, StaticShapeIsTakenOnceAndTheNodeIsToldNothing) {
  auto* shape = new CountingShape();
  shape->shape = Bar(4.0f, 0.0f);
  INode* node = TrailOf(shape, 20);
  const Mesh& m = EvalMesh(node, 30 * kTpf);
  EXPECT_EQ(shape->polyShapes, 1) << "one shape serves all 21 samples";
  EXPECT_EQ(watcher.changes, 0) << "the stack below was only evaluated at the present";
  EXPECT_TRUE(RowsAre(m, node, 30 * kTpf, 20, [&](TimeValue g) { return shape->PointsAt(g); }));

  // The same again at another time: once more, not once per sample.
  EvalMesh(node, 50 * kTpf);
  EXPECT_EQ(shape->polyShapes, 2);
}

TEST_F(ShapeBelow, KeyedShapeChangesItsCrossSectionAtEverySample) {
  auto* shape = new CountingShape();
  shape->AddShapeKey(0, Bar(2.0f, 0.0f));
  shape->AddShapeKey(100 * kTpf, Bar(40.0f, 3.0f));
  INode* node = TrailOf(shape, 12);
  const Mesh& m = EvalMesh(node, 40 * kTpf);
  EXPECT_GE(shape->polyShapes, 13) << "the shape moves between its keys: it is taken at each sample time";
  EXPECT_GT(watcher.changes, 0) << "the node learns that its stack was evaluated at other times";
  EXPECT_TRUE(RowsAre(m, node, 40 * kTpf, 12, [&](TimeValue g) { return shape->PointsAt(g); }));
}

TEST_F(ShapeBelow, KeyedShapeIsTakenOnceWhenEverySampleLiesPastItsLastKey) {
  auto* shape = new CountingShape();
  shape->AddShapeKey(0, Bar(2.0f, 0.0f));
  shape->AddShapeKey(10 * kTpf, Bar(6.0f, 1.0f));
  INode* node = TrailOf(shape, 8);
  auto rowAt = [&](TimeValue g) { return shape->PointsAt(g); };

  // Samples 12 .. 20: all after the last key.
  const Mesh& past = EvalMesh(node, 20 * kTpf);
  EXPECT_EQ(shape->polyShapes, 1);
  EXPECT_TRUE(RowsAre(past, node, 20 * kTpf, 8, rowAt));

  // Samples 6 .. 14 straddle the last key: the older rows are narrower.
  shape->polyShapes = 0;
  const Mesh& straddling = EvalMesh(node, 14 * kTpf);
  EXPECT_GE(shape->polyShapes, 9);
  EXPECT_TRUE(RowsAre(straddling, node, 14 * kTpf, 8, rowAt));
  EXPECT_FALSE(SameBits(rowAt(6 * kTpf)[2], rowAt(14 * kTpf)[2])) << "the rows really differ";
}

TEST_F(ShapeBelow, AnimatedModifierBelowIsAppliedAtEverySampleTime) {
  auto* base = new CountingShape();
  base->shape = Bar(4.0f, 0.0f);
  Wakeweave* mod = NewModifier();
  IDerivedObject* d = CreateDerivedObject(base);
  auto* rising = new RisingModifier();
  d->AddModifier(rising);
  d->AddModifier(mod);  // on top of it
  INode* node = ip()->CreateObjectNode(d);
  KeyPosition(node, 0, Point3(0, 0, 0));
  KeyPosition(node, 100 * kTpf, Point3(float(100 * kTpf), 0.0f, 0.0f));
  Configure(mod, 6);
  const Mesh& m = EvalMesh(node, 30 * kTpf);
  const std::vector<Point3> bar = PolyPoints(base, 0);
  EXPECT_TRUE(RowsAre(m, node, 30 * kTpf, 6, [&](TimeValue g) {
    std::vector<Point3> row = bar;
    for (Point3& p : row) p = p + Point3(0.0f, 0.25f * float(g) / 160.0f, 0.0f);
    return row;
  }));

  // Switched off, the modifier below no longer moves the shape: every row is the static bar.
  rising->DisableMod();
  const Mesh& still = EvalMesh(node, 30 * kTpf);
  EXPECT_TRUE(RowsAre(still, node, 30 * kTpf, 6, [&](TimeValue) { return bar; }));
}

class LegacyDirections : public TrailTest {
 protected:
  // A static node with a two-point shape (one point on local Z, one on local Y: each row shows the whole
  // frame) whose modifier draws legacy particle trails.
  template <class Mod>
  Mod* Scene(INode** nodeOut) {
    auto* mod = new Mod();
    *nodeOut = AddNode("Spray", Polyline({Point3(0, 0, 1), Point3(0, 1, 0)}, false), mod);
    mod->pblock->SetValue(pb_particle_trails_b, 0, 1);
    mod->pblock->SetValue(pb_spline_steps, 0, 0);
    mod->pblock->SetValue(pb_segments_per_frame, 0, 1.0f);
    recording.setParticleFlow(0);
    return mod;
  }
  void Load(Wakeweave* mod) { ASSERT_EQ(LoadRecording(mod, recording), IO_OK); }

  // A life with a key at every frame from `birth`, at the given positions.
  static ParticleState LifeFrom(int birth, const std::vector<Point3>& path) {
    ParticleState life;
    for (size_t i = 0; i < path.size(); ++i) life.addKey(ParticlePositionKey((birth + int(i)) * kTpf, path[i], 0));
    return life;
  }

  ParticleSystemState recording;
};

namespace {

// The direction search as it was specified: from sample l, step by step, the first position more than
// 0.01 away, else the last one reached.
Point3 DistinctFrom(ITrailSource& src, int trail, TimeList& times, int l, int step) {
  const Point3 p0 = src.trailTM(trail, times[l], times).GetTrans();
  Point3 result = p0;
  for (int i = l + step; i >= 0 && i < times.GetSize(); i += step) {
    result = src.trailTM(trail, times[i], times).GetTrans();
    if (double((result - p0).Length()) > 0.01) break;
  }
  return result;
}

Matrix3 Facing(const Point3& direction, const Point3& pos) {
  Point3 r0 = Normalize(direction);
  Point3 r1 = Normalize(Point3(0.0f, 0.0f, 1.0f) ^ r0);
  Point3 r2 = r0 ^ r1;
  return Matrix3(-r2, r1, r0, pos);
}

}  // namespace

TEST_F(LegacyDirections, ParticlesBornAndDyingInsideTheWindowFaceAsTheSearchFromEverySampleFinds) {
  INode* node;
  Wakeweave* mod = Scene<Wakeweave>(&node);
  // Born at frame 20, dying at 60; the window reaches from 80 back to 1, so each life stands still at
  // both ends. On the way: fast, stopped, creeping less than 0.01 a frame, climbing.
  std::vector<Point3> path;
  Point3 p(3.0f, -2.0f, 0.5f);
  for (int f = 20; f <= 60; ++f) {
    path.push_back(p);
    if (f < 30)
      p = p + Point3(5.0f, 1.0f, 0.0f);
    else if (f >= 36 && f < 48)
      p = p + Point3(0.004f, 0.0f, 0.0f);
    else if (f >= 48)
      p = p + Point3(-1.0f, 0.5f, 2.0f);
  }
  recording.addParticle(LifeFrom(20, path));
  std::vector<Point3> other;
  for (int f = 5; f <= 40; ++f) other.push_back(Point3(0.0f, f < 25 ? float(f) : 25.0f, 0.0f));
  recording.addParticle(LifeFrom(5, other));
  // Creeping at both ends of the window: no position there is 0.01 from its neighbours, so the search
  // from those samples runs out and takes the last one reached.
  std::vector<Point3> creeping;
  for (int f = 0; f <= 80; ++f) {
    const float fast = float(std::min(std::max(f - 4, 0), 72));
    creeping.push_back(Point3(0.002f * float(f), 2.0f * fast, 0.0f));
  }
  recording.addParticle(LifeFrom(0, creeping));
  Load(mod);
  mod->pblock->SetValue(pb_old_frames, 0, 79);

  const TimeValue t = 80 * kTpf;
  const Mesh& m = EvalMesh(node, t);
  const int N = 80;
  ASSERT_EQ(m.getNumVerts(), 3 * 2 * N);

  ParticleTrailSource source(&recording);
  TimeList times;
  for (int l = 0; l < N; ++l) times.Add(t - l * kTpf);
  const Matrix3 toObject = Inverse(node->GetObjectTM(t));
  const Point3 shape[2] = {Point3(0, 0, 1), Point3(0, 1, 0)};
  for (int trail = 0; trail < 3; ++trail)
    for (int l = 0; l < N; ++l) {
      const Point3 pos = source.trailTM(trail, times[l], times).GetTrans();
      Point3 d;
      if (l == 0)
        d = DistinctFrom(source, trail, times, l, +1) - pos;
      else if (l == N - 1)
        d = pos - DistinctFrom(source, trail, times, l, -1);
      else
        d = DistinctFrom(source, trail, times, l, +1) - DistinctFrom(source, trail, times, l, -1);
      const Matrix3 place = Facing(d, pos) * toObject;
      for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(SameBits(m.verts[trail * 2 * N + l * 2 + i], shape[i] * place))
            << "trail " << trail << ", sample " << l << ", point " << i;
    }
}

TEST_F(LegacyDirections, SearchAsksEachPositionOnceHoweverLongTheParticleStandsStill) {
  for (int frames : {240, 960}) {
    SCOPED_TRACE(frames);
    ip()->ResetScene();
    recording = ParticleSystemState();
    INode* node;
    auto* mod = Scene<CountingWakeweave>(&node);
    // Two frames of travel at the end of the window, still before that (the particle is born there).
    const int birth = frames - 3;
    recording.addParticle(LifeFrom(birth, {Point3(0, 0, 0), Point3(10, 0, 0), Point3(20, 0, 0)}));
    Load(mod);
    mod->pblock->SetValue(pb_old_frames, 0, frames - 1);
    const Mesh& m = EvalMesh(node, (frames - 1) * kTpf);
    ASSERT_EQ(m.getNumVerts(), 2 * frames);
    // A search from every sample over the still stretch would ask about frames * frames / 2 positions.
    EXPECT_LE(mod->trailTMs, 2 * frames);
    // Even the oldest sample, still for all but the two newest frames, finds the travel: its point on local
    // Z lies one unit towards the older positions (-X).
    EXPECT_NEAR(m.verts[2 * (frames - 1)].x, -1.0f, 1e-5f);
  }
}
