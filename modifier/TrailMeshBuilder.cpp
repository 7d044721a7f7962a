// Vertices and faces of the trail mesh: a copy of the input shape at every sample time, placed where its
// object was then and brought into the node's object space at t, joined by strips of triangles.
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

}  // namespace

Point3 Wakeweave::FindDistinctPosition(TrailBuildContext& ctx, int trail, int l, int step) {
  if (!ctx.source) return Point3(0.0f, 0.0f, 0.0f);
  const int n = ctx.times.GetSize();
  Point3 p0 = ctx.source->trailTM(trail, ctx.times[l], ctx.times).GetTrans();
  Point3 result = p0;
  for (int i = l + step; i >= 0 && i < n; i += step) {
    result = ctx.source->trailTM(trail, ctx.times[i], ctx.times).GetTrans();
    if (double((result - p0).Length()) > 0.01) break;
  }
  return result;
}

void Wakeweave::BuildTrailVertices(TrailBuildContext& ctx) {
  if (!ctx.mesh) return;
  Mesh& mesh = ctx.mesh->GetMesh();
  const int N = ctx.times.GetSize();
  const Matrix3 toObject = Inverse(ctx.node->GetObjectTM(ctx.t));
  // Legacy particle recordings hold positions only: the cross-section follows the direction of travel.
  const bool reorient = IsParticleMode() && m_particleState.isParticleFlow() != 1 && N > 0;
  const int numTrails = ctx.source->numTrails();

  // The shape below is the same for every trail at one sample time, so it is evaluated once per time;
  // each vertex goes to its place in the layout: trail rank, polyline, sample, point.
  std::vector<int> lineBase(size_t(ctx.numLines), 0);  // (P_0 + ... + P_(k-1)) * N
  {
    int acc = 0;
    for (int k = 0; k < ctx.numLines; ++k) {
      lineBase[size_t(k)] = acc * N;
      if (ctx.shape.lines[k].numPts > 0) acc += ctx.shape.lines[k].numPts;
    }
  }
  int written = 0;
  for (int l = 0; l < N; ++l) {
    const TimeValue g = ctx.times[l];
    PolyShape shapeAtG;
    if (!GetShapeBelow(ctx.node, shapeAtG, g, ctx.splineSteps)) FailEvaluation("shape below not obtainable");
    int rank = 0;
    for (int j = 0; j < numTrails; ++j) {
      if (!ctx.drawn[size_t(j)]) continue;
      Matrix3 M = ctx.source->trailTM(j, g, ctx.times);
      if (reorient) {
        Point3 pos = M.GetTrans();
        Point3 d;
        if (l == 0)
          d = FindDistinctPosition(ctx, j, l, +1) - pos;
        else if (l == N - 1)
          d = pos - FindDistinctPosition(ctx, j, l, -1);
        else
          d = FindDistinctPosition(ctx, j, l, +1) - FindDistinctPosition(ctx, j, l, -1);
        M = TravelFrame(d, pos);
      }
      const Matrix3 place = M * toObject;
      const int trailBase = rank * ctx.pointsPerSample * N;
      for (int k = 0; k < ctx.numLines; ++k) {
        const int n = ctx.shape.lines[k].numPts;
        if (n <= 0) continue;
        // The shape must have at least as many points at g as at t, or the rows would not line up.
        if (k >= shapeAtG.numLines || shapeAtG.lines[k].numPts < n) FailEvaluation("shape lost points over the trail");
        const PolyLine& line = shapeAtG.lines[k];
        const int base = trailBase + lineBase[size_t(k)] + l * n;
        for (int m = 0; m < n; ++m) mesh.setVert(base + m, line.pts[m].p * place);
        written += n;
      }
      ++rank;
    }
  }
  if (written != ctx.numVerts) FailEvaluation("vertex count mismatch");
  // Leave the stack below evaluated at t.
  PolyShape atT;
  GetShapeBelow(ctx.node, atT, ctx.t, ctx.splineSteps);
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
        for (int m = 0; m < S; ++m) {
          const int a = vb + m, b = vb + (m + 1) % R, c = a + R, d = b + R;
          if (fi + 1 >= ctx.numFaces) FailEvaluation("face count mismatch");
          Face& f0 = mesh.faces[fi];
          Face& f1 = mesh.faces[fi + 1];
          f0.setSmGroup(1);
          f1.setSmGroup(1);
          f0.setMatID(mat);
          f1.setMatID(mat);
          if (!ctx.flipNormals) {
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
          if (ctx.generateMap) {
            int ta = r * N * W + N * O + T * s + m, tb = ta + 1, tc = ta + T, td = tb + T;
            if (td >= numTVerts) {
              DebugPrint("Bzzzt! - gone over the UV verts\n");
              ta = tb = tc = td = 0;
            }
            if (!ctx.flipNormals) {
              mesh.tvFace[fi].setTVerts(ta, tb, td);
              mesh.tvFace[fi + 1].setTVerts(ta, td, tc);
            } else {
              mesh.tvFace[fi].setTVerts(ta, td, tb);
              mesh.tvFace[fi + 1].setTVerts(ta, tc, td);
            }
          }
          if (ageFaces) {
            int ta = r * N * W + W * s + O + m, tb = ta + 1, tc = ta + W, td = tb + W;
            if (td >= numAgeVerts) {
              DebugPrint("Bzzzt! - gone over the AGE verts\n");
              ta = tb = tc = td = 0;
            }
            TVFace* ageMap = mesh.mapFaces(2);
            if (!ctx.flipNormals) {
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
