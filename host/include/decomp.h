#pragma once
// Decomposition of an affine transform into translation, rotation and stretch.
#include "matrix3.h"
#include "quat.h"

// With row vectors the parts rebuild the matrix as
//   M = MakeMatrix(u.Inverse()) * ScaleMatrix(k) * MakeMatrix(u) * ScaleMatrix(f,f,f)
//       * MakeMatrix(q) * TransMatrix(t)
// so a matrix built as ScaleMatrix(k) * MakeMatrix(q) * TransMatrix(t) with positive k gives back
// k, q (or -q) and t, with u the identity.
struct AffineParts {
  Point3 t;  // translation
  Quat q;    // essential rotation
  Quat u;    // stretch rotation
  Point3 k;  // stretch factors, never negative
  float f;   // sign of the determinant: 1 or -1
};

// Polar decomposition of the axis part into a rotation and a symmetric stretch, then a spectral
// decomposition of the stretch into its axes (u) and factors (k). Degenerate matrices (a zero scale,
// the zero matrix) decompose without fail: the missing directions are completed to a rotation.
HOSTAPI void decomp_affine(Matrix3 A, AffineParts* parts);
