// Matrix3: row-vector affine transforms with honest identity flags.
#include "matrix3.h"
#include "quat.h"

#include <cmath>

void Matrix3::IdentityMatrix() {
  m_[0] = Point3(1.0f, 0.0f, 0.0f);
  m_[1] = Point3(0.0f, 1.0f, 0.0f);
  m_[2] = Point3(0.0f, 0.0f, 1.0f);
  m_[3] = Point3(0.0f, 0.0f, 0.0f);
  flags_ = (flags_ & ~DWORD(MAT_IDENT)) | MAT_IDENT;
}

void Matrix3::Zero() {
  for (Point3& r : m_) r = Point3(0.0f, 0.0f, 0.0f);
  flags_ &= ~DWORD(MAT_IDENT);
}

void Matrix3::ValidateFlags() {
  DWORD f = 0;
  if (m_[3].x == 0.0f && m_[3].y == 0.0f && m_[3].z == 0.0f) f |= POS_IDENT;
  if (m_[0].y == 0.0f && m_[0].z == 0.0f && m_[1].x == 0.0f && m_[1].z == 0.0f && m_[2].x == 0.0f && m_[2].y == 0.0f) {
    f |= ROT_IDENT;
    if (m_[0].x == 1.0f && m_[1].y == 1.0f && m_[2].z == 1.0f) f |= SCL_IDENT;
  }
  flags_ = (flags_ & ~DWORD(MAT_IDENT)) | f;
}

void Matrix3::SetTranslate(const Point3& p) {
  IdentityMatrix();
  m_[3] = p;
  flags_ &= ~DWORD(POS_IDENT);
}

void Matrix3::SetScale(const Point3& s) {
  IdentityMatrix();
  m_[0].x = s.x;
  m_[1].y = s.y;
  m_[2].z = s.z;
  flags_ &= ~DWORD(SCL_IDENT);
}

void Matrix3::SetRotate(const Quat& q) { q.MakeMatrix(*this, false); }

void Matrix3::SetRotate(const AngAxis& aa) { QFromAngAxis(aa.angle, aa.axis).MakeMatrix(*this, false); }

// The three axis rotations share one shape: two axes turn in their plane, counter-clockwise
// seen from the tip of the third (row a goes towards row b).
static void SetPlaneRotation(Matrix3& M, int a, int b, float angle) {
  M.IdentityMatrix();
  const float c = std::cos(angle), s = std::sin(angle);
  MRow* r = M.GetAddr();
  r[a][a] = c;
  r[a][b] = s;
  r[b][a] = -s;
  r[b][b] = c;
  M.ClearIdentFlag(ROT_IDENT);
}

void Matrix3::SetRotateX(float angle) { SetPlaneRotation(*this, 1, 2, angle); }
void Matrix3::SetRotateY(float angle) { SetPlaneRotation(*this, 2, 0, angle); }
void Matrix3::SetRotateZ(float angle) { SetPlaneRotation(*this, 0, 1, angle); }

void Matrix3::Translate(const Point3& p) {
  m_[3] += p;
  flags_ &= ~DWORD(POS_IDENT);
}

void Matrix3::PreTranslate(const Point3& p) {
  m_[3] += ::VectorTransform(*this, p);
  flags_ &= ~DWORD(POS_IDENT);
}

void Matrix3::RotateX(float angle) { *this *= RotateXMatrix(angle); }
void Matrix3::RotateY(float angle) { *this *= RotateYMatrix(angle); }
void Matrix3::RotateZ(float angle) { *this *= RotateZMatrix(angle); }

void Matrix3::Scale(const Point3& s, BOOL trans) {
  for (int i = 0; i < 3; ++i) m_[i] = m_[i] * s;
  if (trans) m_[3] = m_[3] * s;  // scaling keeps a zero translation zero, so POS_IDENT stays
  // A diagonal axis part stays diagonal; only the promise of unit scale is lost.
  flags_ &= ~DWORD(SCL_IDENT);
}

void Matrix3::NoScale() {
  // Unit rows of a diagonal part stay diagonal, and rows that were unit stay as they were.
  for (int i = 0; i < 3; ++i) m_[i] = m_[i].Normalize();
}

void Matrix3::Orthogonalize() {
  // Gram-Schmidt in double; a diagonal or already orthonormal part comes out unchanged, so the
  // flags stay valid.
  double r[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[i][j] = m_[i][j];
  for (int i = 1; i < 3; ++i) {
    const double len = std::sqrt(r[i][0] * r[i][0] + r[i][1] * r[i][1] + r[i][2] * r[i][2]);
    for (int k = 0; k < i; ++k) {
      const double kk = r[k][0] * r[k][0] + r[k][1] * r[k][1] + r[k][2] * r[k][2];
      if (kk == 0.0) continue;
      const double d = (r[i][0] * r[k][0] + r[i][1] * r[k][1] + r[i][2] * r[k][2]) / kk;
      for (int j = 0; j < 3; ++j) r[i][j] -= d * r[k][j];
    }
    const double nl = std::sqrt(r[i][0] * r[i][0] + r[i][1] * r[i][1] + r[i][2] * r[i][2]);
    if (nl > 0.0)
      for (int j = 0; j < 3; ++j) r[i][j] *= len / nl;
  }
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m_[i][j] = float(r[i][j]);
}

Matrix3 Matrix3::operator*(const Matrix3& B) const {
  Matrix3 C(FALSE);
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 3; ++j) {
      float v = m_[i][0] * B.m_[0][j] + m_[i][1] * B.m_[1][j] + m_[i][2] * B.m_[2][j];
      if (i == 3) v += B.m_[3][j];
      C.m_[i][j] = v;
    }
  }
  // Rotations compose into rotations, diagonals into diagonals, and a zero translation carried
  // through a product with no translation stays zero.
  C.flags_ = (flags_ & B.flags_ & MAT_IDENT) | ((flags_ | B.flags_) & ~DWORD(MAT_IDENT));
  return C;
}

Matrix3& Matrix3::operator*=(const Matrix3& B) { return *this = *this * B; }

Matrix3& Matrix3::Invert() { return *this = Inverse(*this); }

Point3 Matrix3::PointTransform(const Point3& p) const { return p * *this; }
Point3 Matrix3::VectorTransform(const Point3& v) const { return ::VectorTransform(*this, v); }

bool Matrix3::Equals(const Matrix3& M, float epsilon) const {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 3; ++j)
      if (!(std::fabs(m_[i][j] - M.m_[i][j]) <= epsilon)) return false;
  return true;
}

bool Matrix3::operator==(const Matrix3& M) const {
  for (int i = 0; i < 4; ++i)
    if (m_[i] != M.m_[i]) return false;
  return true;
}

Point3 VectorTransform(const Matrix3& M, const Point3& v) {
  return Point3(v.x * M[0].x + v.y * M[1].x + v.z * M[2].x, v.x * M[0].y + v.y * M[1].y + v.z * M[2].y,
                v.x * M[0].z + v.y * M[1].z + v.z * M[2].z);
}

Point3 VectorTransform(const Point3& v, const Matrix3& M) { return VectorTransform(M, v); }

Matrix3 Inverse(const Matrix3& M) {
  double a[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) a[i][j] = M[i][j];
  // Cofactors, computed in double so that badly scaled but regular matrices invert cleanly.
  double c[3][3];
  c[0][0] = a[1][1] * a[2][2] - a[1][2] * a[2][1];
  c[0][1] = a[1][2] * a[2][0] - a[1][0] * a[2][2];
  c[0][2] = a[1][0] * a[2][1] - a[1][1] * a[2][0];
  c[1][0] = a[0][2] * a[2][1] - a[0][1] * a[2][2];
  c[1][1] = a[0][0] * a[2][2] - a[0][2] * a[2][0];
  c[1][2] = a[0][1] * a[2][0] - a[0][0] * a[2][1];
  c[2][0] = a[0][1] * a[1][2] - a[0][2] * a[1][1];
  c[2][1] = a[0][2] * a[1][0] - a[0][0] * a[1][2];
  c[2][2] = a[0][0] * a[1][1] - a[0][1] * a[1][0];
  const double det = a[0][0] * c[0][0] + a[0][1] * c[0][1] + a[0][2] * c[0][2];
  if (det == 0.0 || !std::isfinite(det)) return Matrix3();

  double inv[3][3];  // inverse = transposed cofactors / det
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) inv[i][j] = c[j][i] / det;
  double t[3];
  for (int j = 0; j < 3; ++j) t[j] = -(M[3].x * inv[0][j] + M[3].y * inv[1][j] + M[3].z * inv[2][j]);

  Matrix3 R(FALSE);
  MRow* r = R.GetAddr();
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[i][j] = float(inv[i][j]);
  for (int j = 0; j < 3; ++j) r[3][j] = float(t[j]);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 3; ++j)
      if (!std::isfinite(r[i][j])) return Matrix3();  // too close to singular for floats
  // The inverse of a rotation is a rotation, of a diagonal a diagonal, and a zero translation
  // stays zero.
  R.SetIdentFlags(M.GetIdentFlags() & MAT_IDENT);
  return R;
}

Matrix3 TransMatrix(const Point3& p) {
  Matrix3 M;
  M.SetTranslate(p);
  return M;
}

Matrix3 ScaleMatrix(const Point3& s) {
  Matrix3 M;
  M.SetScale(s);
  return M;
}

Matrix3 RotateXMatrix(float angle) {
  Matrix3 M;
  M.SetRotateX(angle);
  return M;
}

Matrix3 RotateYMatrix(float angle) {
  Matrix3 M;
  M.SetRotateY(angle);
  return M;
}

Matrix3 RotateZMatrix(float angle) {
  Matrix3 M;
  M.SetRotateZ(angle);
  return M;
}

Matrix3 RotAngleAxisMatrix(const Point3& axis, float angle) {
  Matrix3 M;
  M.SetRotate(QFromAngAxis(angle, axis));
  return M;
}
