#pragma once
// Vertex normals from smoothing groups, as the host shades a mesh: the one computation behind the normals of
// every export and of the preview picture.
#include <max.h>

#include <array>
#include <cstdint>
#include <vector>

struct MeshNormals {
  std::vector<Point3> normals;                        // distinct unit normals, in the mesh's space
  std::vector<std::array<uint32_t, 3>> cornerNormal;  // per face, per corner: an index into normals
};

// Per face corner, the normal the host gives it. Faces that share a smoothing group bit and a vertex share a
// normal there: the faces around a vertex fall into sets joined by shared bits (transitively, so the result
// does not depend on face order), and each set's normal is the area-weighted sum of its faces' normals. A face
// with smoothing group 0 is flat (its own normal at every corner); faces without a shared bit are split.
// A set whose normals cancel out (a ribbon folded flat onto itself) gives each face its own normal.
// Zero-area faces add nothing and join nothing: their corners take the normal of a set at that vertex they
// share a bit with, else the normalised sum of the faces around the vertex, else +Z. Every normal is unit
// length and finite. The mesh's indices must be in range (see exportdetail::CheckMesh).
MeshNormals ComputeNormals(const Mesh& mesh);

// Whether a face counts as having no area: its cross product is negligible beside its longest edge.
bool IsZeroAreaFace(const Point3& a, const Point3& b, const Point3& c);
