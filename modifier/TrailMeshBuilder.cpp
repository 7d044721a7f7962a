// Vertices and faces of the trail mesh: a copy of the input shape at every sample time, placed where its
// object was then and brought into the node's object space at t, joined by strips of triangles.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "modifier/TrailBuildContext.h"
#include "modifier/Wakeweave.h"
#include "particles/TrailSource.h"

namespace {

// A frame with local Z along the direction of travel and local Y horizontal, at pos.
Matrix3 TravelFrame(const Point3& direction, const Point3& pos) {
  Point3 r0 = Normalize(direction);
  Point3 r1 = Normalize(Point3(0.0f, 0.0f, 1.0f) ^ r0);
  Point3 r2 = r0 ^ r1;
  return Matrix3(-r2, r1, r0, pos);
}

bool SameBits(const Point3& a, const Point3& b) { return std::memcmp(&a, &b, sizeof(Point3)) == 0; }

// For each sample l of one trail's positions p: the first position after l (step +1) or before it (step -1)
// more than 0.01 away from p[l], or the last one that way when there is none. Linear over still
// stretches: a sample equal to its neighbour that way has the neighbour's answer (the same reference
// point meets the same positions), and a search passes a run of equal positions in one step (runEnd: the
// run's last index that way).
void DistinctPositions(const std::vector<Point3>& p, int step, std::vector<int>& runEnd, std::vector<Point3>& out) {
  const int n = int(p.size());
  runEnd.resize(size_t(n));
  out.resize(size_t(n));
  const int last = step > 0 ? n - 1 : 0;
  for (int l = last; l >= 0 && l < n; l -= step) {
    const int next = l + step;
    if (l != last && SameBits(p[size_t(next)], p[size_t(l)])) {
      runEnd[size_t(l)] = runEnd[size_t(next)];
      out[size_t(l)] = out[size_t(next)];
      continue;
    }
    runEnd[size_t(l)] = l;
    out[size_t(l)] = p[size_t(last)];
    for (int i = next; i >= 0 && i < n; i = runEnd[size_t(i)] + step)
      if (double((p[size_t(i)] - p[size_t(l)]).Length()) > 0.01) {
        out[size_t(l)] = p[size_t(i)];
        break;
      }
  }
}

// Buffers for the directions of travel of one trail at a time.
struct TravelScratch {
  std::vector<Point3> pos, ahead, behind;
  std::vector<int> runs;
};

// The frame of each sample of a trail whose recording holds positions only: the direction runs from
// the distinct position behind the sample to the one ahead of it (from the sample itself at either end).
void TravelFrames(ITrailSource& source, int trail, TimeList& times, TravelScratch& s, std::vector<Matrix3>& frames) {
  const int n = times.GetSize();
  s.pos.resize(size_t(n));
  for (int l = 0; l < n; ++l) s.pos[size_t(l)] = source.trailTM(trail, times[l], times).GetTrans();
  DistinctPositions(s.pos, +1, s.runs, s.ahead);
  DistinctPositions(s.pos, -1, s.runs, s.behind);
  frames.resize(size_t(n));
  for (int l = 0; l < n; ++l) {
    const Point3& pos = s.pos[size_t(l)];
    Point3 d;
    if (l == 0)
      d = s.ahead[size_t(l)] - pos;
    else if (l == n - 1)
      d = pos - s.behind[size_t(l)];
    else
      d = s.ahead[size_t(l)] - s.behind[size_t(l)];
    frames[size_t(l)] = TravelFrame(d, pos);
  }
}

// Appends the points of one sample's shape that the layout holds: of each polyline of the shape at t,
// as many points as it has there.
void AppendRow(const PolyShape& atT, const PolyShape& shape, std::vector<Point3>& rows) {
  for (int k = 0; k < atT.numLines; ++k) {
    const int n = atT.lines[k].numPts;
    if (n <= 0) continue;
    // The shape must have at least as many points at g as at t, or the rows would not line up.
    if (k >= shape.numLines || shape.lines[k].numPts < n) FailEvaluation("shape lost points over the trail");
    for (int m = 0; m < n; ++m) rows.push_back(shape.lines[k].pts[m].p);
  }
}

// Whether m's axes are exactly the identity's and its translation is zero (the inverse of the identity has
// a translation of -0).
bool IsIdentity(const Matrix3& m) {
  static const float kAxes[9] = {1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f};
  const MRow* r = m.GetAddr();
  return std::memcmp(r, kAxes, sizeof kAxes) == 0 && r[3][0] == 0.0f && r[3][1] == 0.0f && r[3][2] == 0.0f;
}

// Whether m * identity has m's own floats: each is the one nonzero term of its sum, or +0 among the
// identity's zero terms, unless it is -0 (it may become +0) or a term is not finite (0 * inf).
bool KeptByIdentity(const Matrix3& m) {
  const float* f = m.GetAddr()[0];
  for (int i = 0; i < 12; ++i)
    if (!std::isfinite(f[i]) || (f[i] == 0.0f && std::signbit(f[i]))) return false;
  return true;
}

}  // namespace

std::vector<Point3> Wakeweave::SampleRows(TrailBuildContext& ctx, const Interval& shapeValid) {
  const int N = ctx.times.GetSize();
  std::vector<Point3> rows;
  TimeValue first = ctx.times[0], last = first;
  for (int l = 1; l < N; ++l) {
    first = std::min(first, ctx.times[l]);
    last = std::max(last, ctx.times[l]);
  }
  // While the stack below keeps its shape over every sample time, the shape at t is the shape at each.
  if (shapeValid.InInterval(first) && shapeValid.InInterval(last)) {
    rows.reserve(size_t(ctx.pointsPerSample));
    AppendRow(ctx.shape, ctx.shape, rows);
    return rows;
  }
  // Without trails to draw the rows are not needed, but the shape is still asked for at every time.
  const bool keep = ctx.numDrawnTrails > 0;
  if (keep) rows.reserve(size_t(N) * size_t(ctx.pointsPerSample));
  PolyShape atG;
  for (int l = 0; l < N; ++l) {
    if (!EvaluateShapeBelow(ctx.node, atG, ctx.times[l], ctx.splineSteps, nullptr))
      FailEvaluation("shape below not obtainable");
    if (keep) AppendRow(ctx.shape, atG, rows);
  }
  // Leave the stack below evaluated at t; GetShapeBelow tells the node that it was evaluated elsewhere.
  GetShapeBelow(ctx.node, atG, ctx.t, ctx.splineSteps);
  return rows;
}

void Wakeweave::BuildTrailVertices(TrailBuildContext& ctx, const Interval& shapeValid) {
  if (!ctx.mesh) return;
  Mesh& mesh = ctx.mesh->GetMesh();
  const int N = ctx.times.GetSize();
  const int P = ctx.pointsPerSample;
  const Matrix3 toObject = Inverse(ctx.node->GetObjectTM(ctx.t));
  const bool identityToObject = IsIdentity(toObject);
  // Legacy particle recordings hold positions only: the cross-section follows the direction of travel.
  const bool reorient = IsParticleMode() && m_particleState.isParticleFlow() != 1 && N > 0;
  const int numTrails = ctx.source->numTrails();

  // Each vertex goes to its place in the layout: trail rank, polyline, sample, point.
  std::vector<int> lineBase(size_t(ctx.numLines), 0);  // (P_0 + ... + P_(k-1)) * N
  {
    int acc = 0;
    for (int k = 0; k < ctx.numLines; ++k) {
      lineBase[size_t(k)] = acc * N;
      if (ctx.shape.lines[k].numPts > 0) acc += ctx.shape.lines[k].numPts;
    }
  }
  // One row of P points per sample time, or a single row that serves them all.
  const std::vector<Point3> rows = SampleRows(ctx, shapeValid);
  const size_t rowStride = rows.size() > size_t(P) ? size_t(P) : 0;

  // Trail by trail, so that the directions of one trail live in one small buffer.
  TravelScratch scratch;
  std::vector<Matrix3> frames;
  int written = 0, rank = 0;
  for (int j = 0; j < numTrails; ++j) {
    if (!ctx.drawn[size_t(j)]) continue;
    if (reorient) TravelFrames(*ctx.source, j, ctx.times, scratch, frames);
    const int trailBase = rank * P * N;
    for (int l = 0; l < N; ++l) {
      const Matrix3 M = reorient ? frames[size_t(l)] : ctx.source->trailTM(j, ctx.times[l], ctx.times);
      // Only the floats of place are used: a node at the origin needs no product for most samples.
      const Matrix3 place = identityToObject && KeptByIdentity(M) ? M : M * toObject;
      const Point3* row = rows.data() + size_t(l) * rowStride;
      for (int k = 0; k < ctx.numLines; ++k) {
        const int n = ctx.shape.lines[k].numPts;
        if (n <= 0) continue;
        const int base = trailBase + lineBase[size_t(k)] + l * n;
        for (int m = 0; m < n; ++m) mesh.setVert(base + m, row[m] * place);
        row += n;
        written += n;
      }
    }
    ++rank;
  }
  if (written != ctx.numVerts) FailEvaluation("vertex count mismatch");
}

void Wakeweave::BuildTrailFaces(TrailBuildContext& ctx) {
  if (!ctx.mesh) return;
  Mesh& mesh = ctx.mesh->GetMesh();
  const int N = ctx.times.GetSize();
  const int W = ctx.texColumnsPerSample;
  const int numTVerts = mesh.getNumTVerts();
  const bool ageFaces = ctx.generateAgeMap && mesh.mapSupport(2);
  const int numAgeVerts = ageFaces ? mesh.getNumMapVerts(2) : 0;
  const int numTrails = ctx.source->numTrails();
  // Read once: the face stores below are of integers, which the compiler must otherwise assume may change
  // the context's and the mesh's fields, and read them again for every face.
  const int numFaces = ctx.numFaces;
  const bool flip = ctx.flipNormals, generateMap = ctx.generateMap;
  Face* const faces = mesh.faces;
  TVFace* const tvFaces = mesh.tvFace;
  TVFace* const ageMap = ageFaces ? mesh.mapFaces(2) : nullptr;
  int fi = 0, vb = 0, r = 0;
  for (int j = 0; j < numTrails; ++j) {
    if (!ctx.drawn[size_t(j)]) continue;
    const MtlID mat = MtlID(j % ctx.numMtls);
    int O = 0;  // texture columns of the polylines before this one
    for (int k = 0; k < ctx.numLines; ++k) {
      PolyLine& line = ctx.shape.lines[k];
      if (line.numPts <= 0) continue;
      const int S = line.Segments();
      const bool closed = line.IsClosed() != 0;
      const int R = S + (closed ? 0 : 1);
      const int T = S + 1;
      for (int s = 0; float(s) < float(N) - 1.0f; ++s) {
        if (fi + 2 * S > numFaces) FailEvaluation("face count mismatch");
        for (int m = 0; m < S; ++m) {
          // The strip's next point; a closed line's last segment returns to its first (R == S).
          const int a = vb + m, b = vb + (m + 1 == R ? 0 : m + 1), c = a + R, d = b + R;
          // New faces are unspecified: each is built whole (flags start clear) and stored once.
          Face f0, f1;
          f0.setSmGroup(1);
          f1.setSmGroup(1);
          f0.setMatID(mat);
          f1.setMatID(mat);
          if (!flip) {
            f0.setVerts(a, b, d);
            f0.setEdgeVisFlags(1, 1, 0);
            f1.setVerts(a, d, c);
            f1.setEdgeVisFlags(0, 1, 1);
          } else {
            f0.setVerts(a, d, b);
            f0.setEdgeVisFlags(0, 1, 1);
            f1.setVerts(a, c, d);
            f1.setEdgeVisFlags(1, 1, 0);
          }
          faces[fi] = f0;
          faces[fi + 1] = f1;
          if (generateMap) {
            int ta = r * N * W + N * O + T * s + m, tb = ta + 1, tc = ta + T, td = tb + T;
            if (td >= numTVerts) {
              DebugPrint("Bzzzt! - gone over the UV verts\n");
              ta = tb = tc = td = 0;
            }
            if (!flip) {
              tvFaces[fi].setTVerts(ta, tb, td);
              tvFaces[fi + 1].setTVerts(ta, td, tc);
            } else {
              tvFaces[fi].setTVerts(ta, td, tb);
              tvFaces[fi + 1].setTVerts(ta, tc, td);
            }
          }
          if (ageFaces) {
            int ta = r * N * W + W * s + O + m, tb = ta + 1, tc = ta + W, td = tb + W;
            if (td >= numAgeVerts) {
              DebugPrint("Bzzzt! - gone over the AGE verts\n");
              ta = tb = tc = td = 0;
            }
            if (!flip) {
              ageMap[fi].setTVerts(ta, tb, td);
              ageMap[fi + 1].setTVerts(ta, td, tc);
            } else {
              ageMap[fi].setTVerts(ta, td, tb);
              ageMap[fi + 1].setTVerts(ta, tc, td);
            }
          }
          fi += 2;
        }
        vb += R;
      }
      vb += R;  // the last row starts no strip
      O += T;
    }
    ++r;
  }
  if (fi != ctx.numFaces) FailEvaluation("face count mismatch");
}
