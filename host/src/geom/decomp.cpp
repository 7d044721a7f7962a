// Affine decomposition: translation, then polar decomposition of the axis part into rotation and
// symmetric stretch, then spectral decomposition of the stretch. Done in double, in column-vector
// form (C = transpose of the row-vector axis part), where the polar form reads C = Q S.
#include "decomp.h"

#include <cmath>

namespace {

struct Mat3 {
  double a[3][3] = {};
  static Mat3 Identity() {
    Mat3 m;
    for (int i = 0; i < 3; ++i) m.a[i][i] = 1.0;
    return m;
  }
  double Det() const {
    return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
           a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  }
};

struct Vec3 {
  double v[3] = {};
  double Dot(const Vec3& o) const { return v[0] * o.v[0] + v[1] * o.v[1] + v[2] * o.v[2]; }
  double Length() const { return std::sqrt(Dot(*this)); }
  Vec3 Cross(const Vec3& o) const {
    Vec3 r;
    r.v[0] = v[1] * o.v[2] - v[2] * o.v[1];
    r.v[1] = v[2] * o.v[0] - v[0] * o.v[2];
    r.v[2] = v[0] * o.v[1] - v[1] * o.v[0];
    return r;
  }
  Vec3 Scaled(double s) const {
    Vec3 r;
    for (int i = 0; i < 3; ++i) r.v[i] = v[i] * s;
    return r;
  }
  Vec3 Minus(const Vec3& o) const {
    Vec3 r;
    for (int i = 0; i < 3; ++i) r.v[i] = v[i] - o.v[i];
    return r;
  }
};

Vec3 Column(const Mat3& m, int j) {
  Vec3 r;
  for (int i = 0; i < 3; ++i) r.v[i] = m.a[i][j];
  return r;
}

Vec3 Apply(const Mat3& m, const Vec3& x) {
  Vec3 r;
  for (int i = 0; i < 3; ++i) r.v[i] = m.a[i][0] * x.v[0] + m.a[i][1] * x.v[1] + m.a[i][2] * x.v[2];
  return r;
}

// Cyclic Jacobi: the symmetric s becomes V diag(d) V^T, the columns of V its unit eigenvectors.
void SymmetricEigen(Mat3 s, double d[3], Mat3& V) {
  V = Mat3::Identity();
  for (int sweep = 0; sweep < 64; ++sweep) {
    bool rotated = false;
    for (int p = 0; p < 2; ++p) {
      for (int q = p + 1; q < 3; ++q) {
        const double apq = s.a[p][q];
        if (apq == 0.0) continue;
        if (std::fabs(apq) <= 1e-18 * (std::fabs(s.a[p][p]) + std::fabs(s.a[q][q]))) {
          s.a[p][q] = s.a[q][p] = 0.0;  // negligible against the diagonal
          continue;
        }
        rotated = true;
        const double theta = (s.a[q][q] - s.a[p][p]) / (2.0 * apq);
        double t;
        if (std::fabs(theta) > 1e150)
          t = 0.5 / theta;
        else
          t = (theta >= 0.0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
        const double c = 1.0 / std::sqrt(t * t + 1.0), sn = t * c;
        // s <- J^T s J and V <- V J, J the plane rotation with J[p][p] = J[q][q] = c, J[p][q] = sn.
        for (int k = 0; k < 3; ++k) {
          const double skp = s.a[k][p], skq = s.a[k][q];
          s.a[k][p] = c * skp - sn * skq;
          s.a[k][q] = sn * skp + c * skq;
        }
        for (int k = 0; k < 3; ++k) {
          const double spk = s.a[p][k], sqk = s.a[q][k];
          s.a[p][k] = c * spk - sn * sqk;
          s.a[q][k] = sn * spk + c * sqk;
        }
        s.a[p][q] = s.a[q][p] = 0.0;
        for (int k = 0; k < 3; ++k) {
          const double vkp = V.a[k][p], vkq = V.a[k][q];
          V.a[k][p] = c * vkp - sn * vkq;
          V.a[k][q] = sn * vkp + c * vkq;
        }
      }
    }
    if (!rotated) break;
  }
  for (int i = 0; i < 3; ++i) d[i] = s.a[i][i];
}

// Some unit vector perpendicular to the unit vector a.
Vec3 AnyPerpendicular(const Vec3& a) {
  Vec3 e;
  int k = 0;  // the axis least aligned with a
  for (int i = 1; i < 3; ++i)
    if (std::fabs(a.v[i]) < std::fabs(a.v[k])) k = i;
  e.v[k] = 1.0;
  Vec3 p = e.Minus(a.Scaled(a.Dot(e)));
  return p.Scaled(1.0 / p.Length());
}

// The quaternion of a proper rotation Q given in column-vector form; the row-vector matrix of
// the same rotation is Q transposed, whose rows are Q's columns.
Quat QuatOfColumnRotation(const Mat3& Q) {
  Matrix3 m;
  for (int i = 0; i < 3; ++i) m.SetRow(i, Point3(Q.a[0][i], Q.a[1][i], Q.a[2][i]));
  return Quat(m);
}

}  // namespace

void decomp_affine(Matrix3 A, AffineParts* parts) {
  parts->t = A.GetTrans();

  Mat3 C;  // column form: C[i][j] = A[j][i]
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) C.a[i][j] = A[j][i];
  for (auto& row : C.a)
    for (double& x : row)
      if (!std::isfinite(x)) x = 0.0;  // a broken matrix decomposes as degenerate, not as NaN

  // Polar decomposition through the eigenvectors of C^T C = V diag(sigma^2) V^T: the images
  // C v_i are perpendicular with lengths sigma_i, so W = [C v_i / sigma_i] and Q = W V^T.
  Mat3 CtC;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) CtC.a[i][j] += C.a[k][i] * C.a[k][j];
  double lambda[3];
  Mat3 V;
  SymmetricEigen(CtC, lambda, V);

  // Order by decreasing stretch, so the directions that may be missing come last.
  int order[3] = {0, 1, 2};
  for (int i = 0; i < 3; ++i)
    for (int j = i + 1; j < 3; ++j)
      if (lambda[order[j]] > lambda[order[i]]) {
        const int tmp = order[i];
        order[i] = order[j];
        order[j] = tmp;
      }
  Vec3 v[3];
  for (int i = 0; i < 3; ++i) v[i] = Column(V, order[i]);
  v[2] = v[0].Cross(v[1]);  // a right-handed eigenbasis: V becomes a rotation

  const double det = C.Det();
  const double f = det < 0.0 ? -1.0 : 1.0;

  // W: the normalised images, completed to an orthonormal basis of determinant f where the
  // matrix has no image (zero scale). The third column is fixed by the first two and the sign.
  Vec3 w[3];
  Vec3 cv0 = Apply(C, v[0]);
  const double len0 = cv0.Length();
  if (len0 > 0.0)
    w[0] = cv0.Scaled(1.0 / len0);
  else
    w[0] = v[0];  // the zero matrix: no rotation at all
  Vec3 cv1 = Apply(C, v[1]);
  Vec3 w1 = cv1.Minus(w[0].Scaled(w[0].Dot(cv1)));
  double len1 = w1.Length();
  if (!(len1 > 1e-9 * len0)) {
    // At most one direction has an image: choose the second axis to turn as little as possible.
    w1 = v[1].Minus(w[0].Scaled(w[0].Dot(v[1])));
    len1 = w1.Length();
    w[1] = len1 > 1e-6 ? w1.Scaled(1.0 / len1) : AnyPerpendicular(w[0]);
  } else {
    w[1] = w1.Scaled(1.0 / len1);
  }
  w[2] = w[0].Cross(w[1]).Scaled(f);

  // Q = f * W V^T is a proper rotation; S = V diag(sigma) V^T with sigma_i = w_i . C v_i.
  Mat3 Q;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double s = 0.0;
      for (int k = 0; k < 3; ++k) s += w[k].v[i] * v[k].v[j];
      Q.a[i][j] = f * s;
    }
  double sigma[3];
  for (int i = 0; i < 3; ++i) {
    const double s = w[i].Dot(Apply(C, v[i]));
    sigma[i] = s > 0.0 ? s : 0.0;
  }

  // The stretch axes are V's columns in any order and with any signs, as long as V stays a
  // rotation. Pick the signed permutation that leaves U = V P closest to the identity (largest
  // trace), so that a plain axis scale comes out as u = identity and k in axis order.
  static const int perms[6][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {0, 2, 1}, {2, 1, 0}, {1, 0, 2}};
  double best = -1e300;
  Mat3 U;
  double k[3] = {0, 0, 0};
  for (const auto& pm : perms) {
    for (int signs = 0; signs < 8; ++signs) {
      // Column j of U is sign_j * v[pm[j]]; factor j of k goes with it. The trace needs only the
      // diagonal: the whole candidate and its determinant are worked out only for one that would win.
      double sg[3];
      for (int j = 0; j < 3; ++j) sg[j] = (signs >> j) & 1 ? -1.0 : 1.0;
      const double tr = sg[0] * v[pm[0]].v[0] + sg[1] * v[pm[1]].v[1] + sg[2] * v[pm[2]].v[2];
      if (!(tr > best + 1e-12)) continue;
      Mat3 cand;
      for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) cand.a[i][j] = sg[j] * v[pm[j]].v[i];
      if (cand.Det() <= 0.0) continue;
      best = tr;
      U = cand;
      for (int j = 0; j < 3; ++j) k[j] = sigma[pm[j]];
    }
  }

  parts->q = QuatOfColumnRotation(Q);
  parts->u = QuatOfColumnRotation(U);
  if (parts->u.w < 0.0f) parts->u = -parts->u;
  parts->k = Point3(k[0], k[1], k[2]);
  parts->f = float(f);
}
