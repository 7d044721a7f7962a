// Texture coordinates of the trail: channel 1 (U across the shape, V along the trail by path length,
// "Stretch" or "String") and the particle-age map on channel 2; the path-length cache.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "modifier/TrailBuildContext.h"
#include "modifier/Wakeweave.h"
#include "particles/TrailSource.h"
#include "plugin/ParamIds.h"

namespace {

// The most sub-steps that measuring the path over the whole animation range may take.
const int64_t kMaxPathSubSteps = 65536;

// U of each texture column of one polyline: the running length along it, the last column exactly
// uRepeat (for a closed line the doubled first point closes the loop).
std::vector<float> ColumnUs(const PolyLine& line, float uRepeat) {
  const int P = line.numPts;
  const int Q = P + (line.IsClosed() ? 1 : 0);
  std::vector<float> us(size_t(Q), 0.0f);
  const float L = line.CurveLength();
  float acc = 0.0f;
  Point3 prev = line.pts[0].p;
  for (int c = 0; c < Q; ++c) {
    if (c == Q - 1) {
      us[size_t(c)] = 1.0f * uRepeat;
      continue;
    }
    Point3 p = line.pts[c % P].p;
    acc += (p - prev).Length();
    prev = p;
    // A line of no length has no distances to follow: spread its columns evenly instead of dividing by 0.
    us[size_t(c)] = L > 0.0f ? acc * uRepeat / L : float(c) * uRepeat / float(Q - 1);
  }
  return us;
}

// Where the node is at a time: the translation row of its transform, which is exactly the translation
// decomp_affine would give.
Point3 PositionAt(INode* node, TimeValue time) {
  if (!node) return Point3(0.0f, 0.0f, 0.0f);
  return node->GetNodeTM(time).GetTrans();
}

// The position where the last measured path ended, so that the next piece of the path, starting there,
// does not evaluate the node again.
struct PathEnd {
  bool known = false;
  TimeValue time = 0;
  Point3 position;
};

// The length of the node's path from t0 to t1, summed over straight pieces of `step` ticks (the last one
// shorter): each point in time evaluated once.
double MeasurePath(INode* node, TimeValue t0, TimeValue t1, int64_t step, PathEnd& end) {
  if (t0 >= t1) return 0.0;
  const int64_t diff = int64_t(t1) - t0;
  const int tpf = GetTicksPerFrame();
  if (step <= 0) step = diff < tpf ? tpf : diff;
  Point3 p = end.known && end.time == t0 ? end.position : PositionAt(node, t0);
  // The start's distance to itself: 0, or NaN for a position that is not finite, which then stays NaN.
  double sum = 0;
  sum += double((p - p).Length());
  int64_t cur = t0;
  int64_t d = diff < step ? diff : step;
  while (cur < t1) {
    if (cur + d > t1) d = t1 - cur;
    cur += d;
    const Point3 q = PositionAt(node, TimeValue(cur));
    sum += double((q - p).Length());
    p = q;
  }
  end.known = true;
  end.time = t1;
  end.position = p;
  return sum;
}

}  // namespace

void Wakeweave::BuildTrailMapping(TrailBuildContext& ctx) {
  if (!ctx.generateMap) return;
  if (!ctx.mesh) FailEvaluation("no output object");
  Mesh& mesh = ctx.mesh->GetMesh();
  const int N = ctx.times.GetSize();
  const int numTrails = ctx.source->numTrails();
  int index = 0;
  // V of the present along the path: the same for every trail and line, so measured once.
  bool presentMeasured = false;
  double presentV = 0;
  for (int j = 0; j < numTrails; ++j) {
    if (!ctx.drawn[size_t(j)]) continue;
    const int still = ctx.mapType == 1 ? ctx.source->countStillSamples(j, ctx.times) : 0;
    for (int k = 0; k < ctx.numLines; ++k) {
      const PolyLine& line = ctx.shape.lines[k];
      if (line.numPts <= 0) continue;
      const std::vector<float> us = ColumnUs(line, ctx.uRepeat);
      for (int s = 0; s < N; ++s) {
        double v;
        if (ctx.usePathLengths && s == N - 1) {
          if (!presentMeasured) {
            // The present may fall between two path samples: interpolate by the distance covered. When
            // the last sample is the present itself, both distances are the same measurement.
            const int64_t sub = std::abs((int64_t(ctx.times[s - 1]) - ctx.times[s]) / 5);
            const double A = PathLength(ctx.node, ctx.times[s - 1], ctx.t, sub);
            const double B = ctx.times[s] == ctx.t ? A : PathLength(ctx.node, ctx.times[s - 1], ctx.times[s], sub);
            if (std::fabs(B) < 1e-6)
              presentV = m_pathLengths[s - 1];
            else
              presentV = m_pathLengths[s - 1] + (A / B) * (m_pathLengths[s] - m_pathLengths[s - 1]);
            presentMeasured = true;
          }
          v = presentV;
        } else if (ctx.usePathLengths) {
          v = m_pathLengths[s];
        } else if (ctx.mapType == 1) {
          v = (s >= N - 1 - still) ? 1.0 : s / (ctx.numSteps - still);
        } else if (s == N - 1 && ctx.lastSampleAppended) {
          // The last sample sits a fraction of a step beyond the last whole step: V is its true offset,
          // so the oldest point of a moving trail gets exactly 1.
          v = (s - 1 + ctx.fraction) / ctx.numSteps;
        } else {
          v = s / ctx.numSteps;
        }
        for (float u : us) mesh.setTVert(index++, UVVert(u, float(v), 0.0f));
      }
    }
  }
}

void Wakeweave::BuildAgeMapping(TrailBuildContext& ctx) {
  if (!ctx.generateAgeMap || !ctx.mesh) return;
  Mesh& mesh = ctx.mesh->GetMesh();
  const int N = ctx.times.GetSize();
  const int W = ctx.texColumnsPerSample;
  // The channel's map faces come with its support, one per mesh face; both must have been allocated.
  mesh.setMapSupport(2, TRUE);
  if (!mesh.mapSupport(2) || mesh.getNumMapFaces(2) != mesh.getNumFaces() ||
      !mesh.setNumMapVerts(2, ctx.numTVerts, FALSE))
    FailEvaluation("not enough memory to size the mesh");
  const int numTrails = ctx.source->numTrails();
  int n = 0;
  for (int j = 0; j < numTrails; ++j) {
    if (!ctx.drawn[size_t(j)]) continue;
    const int life = ctx.source->trailLifeSpan(j);
    for (int i = 0; i < N; ++i) {
      float v = 0.0f;
      if (N >= 2) {
        const int age = ctx.source->trailAge(j, ctx.times[i]);
        if (age < 0)
          v = 1.0f;
        else
          v = life != 0 ? float(age) / float(life) : 0.0f;
        if (v < 0.0f) v = 0.0f;
        if (v > 0.99f) v = 0.99f;
      }
      for (int c = 0; c < W; ++c) {
        const float u = W >= 2 ? (float(c) * ctx.uRepeat) / float(W - 1) : 0.0f;
        mesh.setMapVert(2, n++, UVVert(u, v, 0.0f));
      }
    }
  }
}

void Wakeweave::BuildPathLengths(TrailBuildContext& ctx) {
  if (!ctx.node) return;
  int movingOrStill = 0;
  Interval valid = FOREVER;
  if (!pblock || !pblock->GetValue(pb_moving_or_still, 0, movingOrStill, valid) || movingOrStill == 0) return;
  int start = 0, end = 0;
  double steps = 0, ticksPerStep = 0;
  if (!ComputeFrameRange(pblock, AnimationRange(), &start, &end, &steps, &ticksPerStep)) return;
  // Half a step, at least a frame; and never so small that the whole range takes more than
  // kMaxPathSubSteps sub-steps, so that the cost follows the number of samples, not the range's length
  // in ticks. The per-sample sums use the same sub-step, so the values stay consistent with the total.
  const int64_t span = int64_t(end) - start;
  const double half = ticksPerStep / 2.0;
  int64_t sub = half < double(span) ? int64_t(half) : std::max<int64_t>(span, 1);
  if (sub < GetTicksPerFrame()) sub = GetTicksPerFrame();
  const int64_t widest = (span + kMaxPathSubSteps - 1) / kMaxPathSubSteps;
  if (sub < widest) sub = widest;
  // V is the share of the whole range's path covered at each sample, so a point keeps its V as the
  // anchored trail grows.
  PathEnd last;
  const double total = MeasurePath(ctx.node, start, end, sub, last);
  m_pathLengths.RemoveAll();
  double acc = 0;
  const int N = ctx.times.GetSize();
  if (!(std::fabs(steps) < 1e-6)) {
    for (int i = 0; i < N; ++i) {
      const int cur = ctx.times[i];
      const int prev = i > 0 ? ctx.times[i - 1] : cur;
      double value = double(i) / double(N);
      if (!(std::fabs(total) < 1e-6)) {
        acc += MeasurePath(ctx.node, prev, cur, sub, last);
        value = acc / total;
      }
      m_pathLengths.Add(value);
    }
  }
  m_pathLengths.Add(1.0);
}

double Wakeweave::PathLength(INode* node, TimeValue t0, TimeValue t1, int64_t step) {
  PathEnd none;
  return MeasurePath(node, t0, t1, step, none);
}

Point3 Wakeweave::NodePosition(INode* node, TimeValue time) { return PositionAt(node, time); }
