// The modifier's evaluation: lock, node lookup, parameters, sample times, trail filter, element counts,
// the building steps in order, and the one failure handler.
#include <membudget.h>

#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

#include "modifier/TrailBuildContext.h"
#include "modifier/TrailLayout.h"
#include "modifier/Wakeweave.h"
#include "modifier/WakeweaveLocalModData.h"
#include "particles/TrailSource.h"
#include "plugin/Globals.h"
#include "plugin/ParamIds.h"
#include "recalc/ScopeLock.h"

namespace {

// More samples than this cannot make a mesh the host can hold; such settings fail the evaluation
// instead of exhausting memory.
const int64_t kMaxSamples = 1 << 22;

// Validity channels set on the output object.
const int kNumValidityChannels = 7;

int readInt(IParamBlock2* pb, ParamID id, TimeValue t, int fallback) {
  int v = fallback;
  Interval valid = FOREVER;
  if (!pb || !pb->GetValue(id, t, v, valid)) return fallback;
  return v;
}

float readFloat(IParamBlock2* pb, ParamID id, TimeValue t, float fallback) {
  float v = fallback;
  Interval valid = FOREVER;
  if (!pb || !pb->GetValue(id, t, v, valid)) return fallback;
  return v;
}

void finishOutput(TriObject* obj, TimeValue t, ObjectState* os) {
  obj->GetMesh().InvalidateGeomCache();
  obj->GetMesh().InvalidateTopologyCache();
  for (int chan = 0; chan < kNumValidityChannels; ++chan) obj->UpdateValidity(chan, Interval(t, t));
  os->obj = obj;
  obj->UnlockObject();
}

// A time computed in wider arithmetic, truncated toward zero as the host's conversions do; a value that
// does not fit a TimeValue ends the evaluation (converting it would be undefined).
TimeValue TimeFromTicks(double ticks) {
  if (!(ticks > -2147483649.0 && ticks < 2147483648.0)) FailEvaluation("sample times out of range");
  return TimeValue(ticks);
}

// Fails the evaluation when `needs` bytes do not fit the host's evaluation memory budget.
void CheckMemoryBudget(uint64_t needs) {
  const uint64_t budget = GetEvalMemoryBudget();
  if (needs <= budget) return;
  char reason[128];
  std::snprintf(reason, sizeof reason, "out of memory budget (needs %" PRIu64 " bytes, budget %" PRIu64 " bytes)",
                needs, budget);
  FailEvaluation(reason);
}

// The unit triangle shown when an evaluation fails.
void outputFallback(TimeValue t, ObjectState* os) {
  TriObject* obj = CreateNewTriObject();
  if (!obj) return;
  Mesh& mesh = obj->GetMesh();
  // Without memory even for this, the pipeline keeps the object it had.
  if (!mesh.setNumVerts(3) || !mesh.setNumFaces(1)) {
    obj->DeleteThis();
    return;
  }
  mesh.setVert(0, Point3(0.0f, 0.0f, 0.0f));
  mesh.setVert(1, Point3(1.0f, 0.0f, 0.0f));
  mesh.setVert(2, Point3(0.0f, 1.0f, 0.0f));
  // New faces are unspecified: the face is written whole (smoothing group 0, edges hidden, material 0).
  Face face;
  face.setVerts(0, 1, 2);
  mesh.faces[0] = face;
  finishOutput(obj, t, os);
}

// Frees the half-built output and shows the unit triangle instead.
void discardAndFallBack(TrailBuildContext& ctx, TimeValue t, ObjectState* os) {
  if (ctx.mesh) {
    ctx.mesh->DeleteThis();
    ctx.mesh = nullptr;
  }
  outputFallback(t, os);
}

// Depth-first search of a target's dependents for the node whose derived object holds mc.
INode* findNode(ReferenceTarget* target, ModContext* mc, int depth) {
  if (!target || depth > 64) return nullptr;
  DependentIterator it(target);
  for (ReferenceMaker* dep = it.Next(); dep; dep = it.Next()) {
    if (dep->SuperClassID() == BASENODE_CLASS_ID) {
      INode* node = static_cast<INode*>(dep);
      Object* obj = node->GetObjectRef();
      while (obj && obj->SuperClassID() == GEN_DERIVOB_CLASS_ID) {
        IDerivedObject* dobj = static_cast<IDerivedObject*>(obj);
        for (int i = 0; i < dobj->NumModifiers(); ++i)
          if (dobj->GetModContext(i) == mc) return node;
        obj = dobj->GetObjRef();
      }
    }
    if (dep->IsRefTarget()) {
      INode* found = findNode(static_cast<ReferenceTarget*>(dep), mc, depth + 1);
      if (found) return found;
    }
  }
  return nullptr;
}

}  // namespace

void FailEvaluation(const char* reason) {
  DebugPrint("Wakeweave::ModifyObject failed: %s\n", reason);
  throw CModifyException();
}

INode* Wakeweave::FindNodeOf(ModContext& mc) { return findNode(this, &mc, 0); }

Interval Wakeweave::AnimationRange() {
  Interface* ip = s_ip ? static_cast<Interface*>(s_ip) : GetCOREInterface();
  return ip->GetAnimRange();
}

BOOL Wakeweave::IsParticleMode() {
  if (!pblock) return FALSE;
  int on = 0;
  Interval valid = FOREVER;
  if (!pblock->GetValue(pb_particle_trails_b, 0, on, valid)) return FALSE;
  return on ? TRUE : FALSE;
}

BOOL Wakeweave::ComputeFrameRange(IParamBlock2* pb, Interval range, int* pStart, int* pEnd, double* pNumSteps,
                                  double* pTicksPerStep) {
  if (!pb) return FALSE;
  int start = range.Start(), end = range.End();
  if (readInt(pb, pb_userange, 0, 0)) {
    start = readInt(pb, pb_start_frame, 0, start);
    end = readInt(pb, pb_end_frame, 0, end);
  }
  if (start > end) return FALSE;
  float spf = readFloat(pb, pb_segments_per_frame, 0, 1.0f);
  // The block keeps the value positive; a step backwards in time would never reach the end.
  if (!(spf > 0.0f)) return FALSE;
  double ticksPerStep = (1.0 / spf) * GetTicksPerFrame();
  if (range.End() < start) return FALSE;
  if (range.End() < end) end = range.End();
  if (ticksPerStep == 0.0) return FALSE;
  // Ends far apart differ by more than an int holds.
  double numSteps = double(int64_t(end) - start) / ticksPerStep;
  if (pStart) *pStart = start;
  if (pEnd) *pEnd = end;
  if (pNumSteps) *pNumSteps = numSteps;
  if (pTicksPerStep) *pTicksPerStep = ticksPerStep;
  return TRUE;
}

void Wakeweave::BuildSampleTimes(TrailBuildContext& ctx) {
  const int tpf = GetTicksPerFrame();
  const TimeValue t = ctx.t;
  ctx.lastSampleAppended = 0;
  // The sample times (and the path-length cache beside them) are bounded before they are filled.
  TrailLayout bound;
  bound.pathLengths = !IsParticleMode();
  if (!ctx.anchored) {
    if (!ComputeFrameRange(pblock, AnimationRange(), &ctx.rangeStart, &ctx.rangeEnd, nullptr, nullptr))
      FailEvaluation("frame range invalid");
    float spf = readFloat(pblock, pb_segments_per_frame, 0, 1.0f);
    // An animated lag varies smoothly: read the controller's value, not the rounded integer.
    float lag;
    Control* c = pblock->GetController(pb_old_frames);
    if (c) {
      Interval valid = FOREVER;
      c->GetValue(t, &lag, valid);
    } else {
      lag = float(readInt(pblock, pb_old_frames, t, 3));
    }
    if (!(lag > 0.0f)) {
      ctx.times.Add(t);
      ctx.times.Add(t);
      ctx.earliest = t;
      ctx.numSteps = 2.0;
      ctx.fraction = 0;
    } else {
      float h = lag * spf;
      if (!(double(h) < double(kMaxSamples))) FailEvaluation("too many samples");
      bound.samples = SampleCountBound(h);
      CheckMemoryBudget(bound.sampleBytes());
      // Each time in single precision as the trail has always been sampled, checked before it is converted.
      for (int i = 0; float(i) <= h; ++i) ctx.times.Add(TimeFromTicks(float(t) - (float(i) / spf) * float(tpf)));
      int wholeSamples = ctx.times.GetSize();
      ctx.earliest = TimeFromTicks(double(t) - std::trunc(double(lag * float(tpf))));
      if (ctx.earliest != ctx.times[ctx.times.GetSize() - 1]) ctx.times.Add(ctx.earliest);
      ctx.lastSampleAppended = ctx.times.GetSize() > wholeSamples;
      ctx.numSteps = h;
      ctx.fraction = h - int(h);
    }
  } else {
    double n = 0, ticksPerStep = 0;
    if (!ComputeFrameRange(pblock, AnimationRange(), &ctx.rangeStart, nullptr, &ctx.numSteps, nullptr))
      FailEvaluation("frame range invalid");
    if (!ComputeFrameRange(pblock, Interval(ctx.rangeStart, t), &ctx.rangeStart, &ctx.rangeEnd, &n, &ticksPerStep))
      FailEvaluation("frame range invalid");
    if (!(n < double(kMaxSamples))) FailEvaluation("too many samples");
    bound.samples = SampleCountBound(n);
    CheckMemoryBudget(bound.sampleBytes());
    for (int i = 0; double(i) <= n; ++i)
      ctx.times.Add(TimeFromTicks(std::trunc(i * ticksPerStep) + double(ctx.rangeStart)));
    // The present closes the trail, even when it repeats the last whole step.
    ctx.times.Add(ctx.rangeEnd);
    ctx.lastSampleAppended = 1;
    ctx.earliest = ctx.rangeStart;
    ctx.fraction = n - int(n);
  }
  if (ctx.times.GetSize() < 2) FailEvaluation("fewer than 2 sample times");
  if (IsParticleMode()) {
    ctx.usePathLengths = 0;
  } else {
    BuildPathLengths(ctx);
    ctx.usePathLengths = (ctx.anchored && m_pathLengths.GetSize() >= ctx.times.GetSize()) ? 1 : 0;
  }
}

BOOL Wakeweave::IsTrailDrawn(TrailBuildContext& ctx, int trail) {
  if (trail < ctx.startPart - 1) return FALSE;
  if ((trail - ctx.startPart + 1) % ctx.skipPart != 0) return FALSE;
  return ctx.source->isTrailStationary(trail, ctx.earliest, ctx.t, GetTicksPerFrame(), ctx.times) ? FALSE : TRUE;
}

BOOL Wakeweave::EvaluateShapeBelow(INode* node, PolyShape& shape, TimeValue time, int steps, Interval* valid) {
  if (!node) return FALSE;
  Object* obj = node->GetObjectRef();
  if (!obj || obj->SuperClassID() != GEN_DERIVOB_CLASS_ID) return FALSE;
  IDerivedObject* dobj = static_cast<IDerivedObject*>(obj);
  int index = -1;
  for (;;) {
    for (int i = 0; i < dobj->NumModifiers(); ++i)
      if (dobj->GetModifier(i) == this) {
        index = i;
        break;
      }
    if (index >= 0) break;
    Object* ref = dobj->GetObjRef();
    if (!ref || ref->SuperClassID() != GEN_DERIVOB_CLASS_ID) return FALSE;
    dobj = static_cast<IDerivedObject*>(ref);
  }
  ObjectState below;
  if (dobj->NumModifiers() <= 1 || index == dobj->NumModifiers() - 1) {
    Object* base = dobj->GetObjRef();
    if (!base) return FALSE;
    below = base->Eval(time);
  } else {
    below = dobj->Eval(time, index + 1);
  }
  // Only a shape can be turned into polylines.
  if (!below.obj || below.obj->SuperClassID() != SHAPE_CLASS_ID) return FALSE;
  if (valid) *valid = below.Validity(time);
  static_cast<ShapeObject*>(below.obj)->MakePolyShape(time, shape, steps, FALSE);
  ShapeHierarchy hierarchy;
  shape.OrganizeCurves(time, &hierarchy);
  shape.Reverse(hierarchy.reverse, FALSE);
  return TRUE;
}

BOOL Wakeweave::GetShapeBelow(INode* node, PolyShape& shape, TimeValue time, int steps) {
  if (!EvaluateShapeBelow(node, shape, time, steps, nullptr)) return FALSE;
  // Evaluating the stack at another time disturbs the node's cached state.
  node->NotifyDependents(FOREVER, PartID(ALL_CHANNELS), REFMSG_CHANGE, NOTIFY_ALL, TRUE, nullptr);
  node->InvalidateWS();
  return TRUE;
}

ITrailSource* Wakeweave::NewTrailSource(INode* node) {
  if (IsParticleMode()) return new ParticleTrailSource(&m_particleState);
  return new SplineTrailSource(node);
}

void Wakeweave::ModifyObject(TimeValue t, ModContext& mc, ObjectState* os, INode* /*node*/) {
  ScopeLock lock(&m_lock);
  TrailBuildContext ctx;
  std::unique_ptr<ITrailSource> source;
  try {
    if (m_bTrailRebuild) {
      DebugPrint("Wakeweave::ModifyObject called during trail rebuild\n");
      FailEvaluation("trail rebuild in progress");
    }
    if (!mc.localData) mc.localData = new WakeweaveLocalModData();
    WakeweaveLocalModData* local = static_cast<WakeweaveLocalModData*>(mc.localData);
    if (!local->node) local->node = FindNodeOf(mc);
    if (!local->node) FailEvaluation("no node found for this modifier");
    ctx.node = local->node;
    ctx.t = t;

    if (!os || !os->obj || os->obj->SuperClassID() != SHAPE_CLASS_ID) FailEvaluation("input is not a shape");
    if (!pblock) FailEvaluation("no parameter block");

    ctx.generateMap = readInt(pblock, pb_generate_map, t, 1);
    ctx.generateAgeMap = readInt(pblock, pb_generate_age_map, t, 0);
    ctx.mapType = readInt(pblock, pb_maptype, t, 0) == 1 ? 1 : 0;
    ctx.anchored = readInt(pblock, pb_moving_or_still, t, 0);
    ctx.flipNormals = readInt(pblock, pb_flip_normals, t, 0);
    ctx.splineSteps = readInt(pblock, pb_spline_steps, t, 6);
    ctx.uRepeat = readFloat(pblock, pb_urepeat, t, 1.0f);
    ctx.numMtls = readInt(pblock, pb_nummtls, t, 1);
    ctx.skipPart = readInt(pblock, pb_skippart, t, 1);
    ctx.startPart = readInt(pblock, pb_startpart, t, 1);
    // The block's ranges keep these at 1 or more; the filter and the material rule divide by them.
    if (ctx.numMtls < 1) ctx.numMtls = 1;
    if (ctx.skipPart < 1) ctx.skipPart = 1;
    ctx.times.RemoveAll();
    ctx.fraction = ctx.numSteps = 0;
    ctx.rangeStart = ctx.rangeEnd = 0;

    ctx.mesh = CreateNewTriObject();
    if (!ctx.mesh) FailEvaluation("mesh object not created");
    // Evaluated at t, the stack below disturbs nothing: the node is being evaluated at t.
    Interval shapeValid = NEVER;
    if (!EvaluateShapeBelow(ctx.node, ctx.shape, t, ctx.splineSteps, &shapeValid))
      FailEvaluation("shape below not obtainable");
    ctx.numLines = ctx.shape.numLines;

    source.reset(NewTrailSource(ctx.node));
    ctx.source = source.get();

    BuildSampleTimes(ctx);

    for (int k = 0; k < ctx.numLines; ++k) {
      PolyLine& line = ctx.shape.lines[k];
      if (line.numPts <= 0) continue;
      ctx.pointsPerSample += line.numPts;
      ctx.texColumnsPerSample += line.numPts + (line.IsClosed() ? 1 : 0);
      ctx.facesPerInterval += 2 * line.Segments();
    }

    const int numTrails = ctx.source->numTrails();
    ctx.drawn.assign(size_t(numTrails > 0 ? numTrails : 0), 0);
    for (int i = 0; i < numTrails; ++i)
      if (IsTrailDrawn(ctx, i)) {
        ctx.drawn[size_t(i)] = 1;
        ++ctx.numDrawnTrails;
      }

    TrailLayout layout;
    layout.samples = ctx.times.GetSize();
    layout.drawnTrails = ctx.numDrawnTrails;
    layout.pointsPerSample = ctx.pointsPerSample;
    layout.columnsPerSample = ctx.texColumnsPerSample;
    layout.facesPerInterval = ctx.facesPerInterval;
    layout.textureMap = ctx.generateMap != 0;
    layout.ageMap = ctx.generateAgeMap != 0;
    layout.pathLengths = !IsParticleMode();
    const int64_t verts = layout.verts(), tverts = layout.texVerts(), faces = layout.faces();
    // A mesh this large cannot be indexed; fail instead of wrapping around.
    if (verts > INT32_MAX || tverts > INT32_MAX || faces > INT32_MAX) FailEvaluation("mesh too large to index");
    CheckMemoryBudget(layout.meshBytes());
    ctx.numVerts = int(verts);
    ctx.numTVerts = int(tverts);
    ctx.numFaces = int(faces);

    // Nothing is written through an array that could not be sized.
    Mesh& mesh = ctx.mesh->GetMesh();
    if (!mesh.setNumVerts(ctx.numVerts, FALSE, TRUE) || !mesh.setNumFaces(ctx.numFaces, FALSE, TRUE))
      FailEvaluation("not enough memory to size the mesh");
    if (ctx.generateMap) {
      // Turning channel 1 on gives it one face per mesh face: its faces are sized there, once. (It stays
      // off for a mesh with neither texture vertices nor faces.)
      if (ctx.numTVerts > 0 || ctx.numFaces > 0) mesh.setMapSupport(1, TRUE);
      if ((mesh.getNumTVFaces() != ctx.numFaces && !mesh.setNumTVFaces(ctx.numFaces, FALSE, 0)) ||
          !mesh.setNumTVerts(ctx.numTVerts, FALSE))
        FailEvaluation("not enough memory to size the mesh");
    }

    BuildTrailMapping(ctx);
    BuildAgeMapping(ctx);
    BuildTrailVertices(ctx, shapeValid);
    BuildTrailFaces(ctx);

    TriObject* out = ctx.mesh;
    ctx.mesh = nullptr;
    finishOutput(out, t, os);
  } catch (const CModifyException&) {
    // FailEvaluation has said why.
    discardAndFallBack(ctx, t, os);
  } catch (const std::bad_alloc&) {
    DebugPrint("Wakeweave::ModifyObject failed: not enough memory\n");
    discardAndFallBack(ctx, t, os);
  } catch (...) {
    DebugPrint("Wakeweave::ModifyObject failed: unexpected exception\n");
    discardAndFallBack(ctx, t, os);
  }
}
