// Quaternions, angle-axis pairs and spherical interpolation.
#include "quat.h"
#include "matrix3.h"

#include <cmath>

AngAxis::AngAxis(const Quat& q) { AngAxisFromQ(q, &angle, axis); }

Quat::Quat(const AngAxis& aa) { *this = QFromAngAxis(aa.angle, aa.axis); }

Quat::Quat(const Matrix3& m) {
  // Column-vector rotation R is the transpose of the row-vector matrix: R[i][j] = m[j][i].
  double r[3][3];
  for (int i = 0; i < 3; ++i) {
    const Point3 row = m[i];
    double len = std::sqrt(double(row.x) * row.x + double(row.y) * row.y + double(row.z) * row.z);
    if (len == 0.0) len = 1.0;
    for (int j = 0; j < 3; ++j) r[j][i] = row[j] / len;
  }
  const double det = r[0][0] * (r[1][1] * r[2][2] - r[1][2] * r[2][1]) -
                     r[0][1] * (r[1][0] * r[2][2] - r[1][2] * r[2][0]) +
                     r[0][2] * (r[1][0] * r[2][1] - r[1][1] * r[2][0]);
  if (det < 0.0)
    for (auto& rr : r)
      for (double& v : rr) v = -v;

  // Take the square root of the largest of the four candidates, so that no division is by a
  // small number (rotations near 180 degrees have a small w).
  double qx, qy, qz, qw;
  const double tr = r[0][0] + r[1][1] + r[2][2];
  if (tr > 0.0) {
    const double s = 2.0 * std::sqrt(tr + 1.0);
    qw = 0.25 * s;
    qx = (r[2][1] - r[1][2]) / s;
    qy = (r[0][2] - r[2][0]) / s;
    qz = (r[1][0] - r[0][1]) / s;
  } else if (r[0][0] >= r[1][1] && r[0][0] >= r[2][2]) {
    const double s = 2.0 * std::sqrt(std::fmax(0.0, 1.0 + r[0][0] - r[1][1] - r[2][2]));
    qw = (r[2][1] - r[1][2]) / s;
    qx = 0.25 * s;
    qy = (r[0][1] + r[1][0]) / s;
    qz = (r[0][2] + r[2][0]) / s;
  } else if (r[1][1] >= r[2][2]) {
    const double s = 2.0 * std::sqrt(std::fmax(0.0, 1.0 + r[1][1] - r[0][0] - r[2][2]));
    qw = (r[0][2] - r[2][0]) / s;
    qx = (r[0][1] + r[1][0]) / s;
    qy = 0.25 * s;
    qz = (r[1][2] + r[2][1]) / s;
  } else {
    const double s = 2.0 * std::sqrt(std::fmax(0.0, 1.0 + r[2][2] - r[0][0] - r[1][1]));
    qw = (r[1][0] - r[0][1]) / s;
    qx = (r[0][2] + r[2][0]) / s;
    qy = (r[1][2] + r[2][1]) / s;
    qz = 0.25 * s;
  }
  const double n = std::sqrt(qx * qx + qy * qy + qz * qz + qw * qw);
  if (!(n > 0.0) || !std::isfinite(n)) {  // zero or broken matrix
    x = y = z = 0.0f;
    w = 1.0f;
    return;
  }
  x = float(qx / n);
  y = float(qy / n);
  z = float(qz / n);
  w = float(qw / n);
}

Quat Quat::operator*(const Quat& q) const {
  // Hamilton product q (x) this: with row vectors the left factor of a matrix product acts first,
  // which makes the quaternion on the right of the Hamilton product act first.
  const Quat& a = q;
  const Quat& b = *this;
  return Quat(a.w * b.x + b.w * a.x + (a.y * b.z - a.z * b.y), a.w * b.y + b.w * a.y + (a.z * b.x - a.x * b.z),
              a.w * b.z + b.w * a.z + (a.x * b.y - a.y * b.x), a.w * b.w - (a.x * b.x + a.y * b.y + a.z * b.z));
}

bool Quat::Equals(const Quat& q, float epsilon) const {
  return std::fabs(x - q.x) <= epsilon && std::fabs(y - q.y) <= epsilon && std::fabs(z - q.z) <= epsilon &&
         std::fabs(w - q.w) <= epsilon;
}

float Quat::Length() const { return float(std::sqrt(double(x) * x + double(y) * y + double(z) * z + double(w) * w)); }

Quat& Quat::Normalize() {
  const double n = std::sqrt(double(x) * x + double(y) * y + double(z) * z + double(w) * w);
  if (n == 0.0 || !std::isfinite(n)) return Identity();
  x = float(x / n);
  y = float(y / n);
  z = float(z / n);
  w = float(w / n);
  return *this;
}

Quat Quat::Inverse() const {
  const float n2 = x * x + y * y + z * z + w * w;
  if (n2 == 0.0f) return Quat();
  return Quat(-x / n2, -y / n2, -z / n2, w / n2);
}

Quat& Quat::MakeClosest(const Quat& qto) {
  if (DotProd(*this, qto) < 0.0f) *this = -*this;
  return *this;
}

void Quat::MakeMatrix(Matrix3& mat, bool keepTrans) const {
  // s = 2 / |q|^2 makes a non-unit quaternion give the rotation of its normalised form.
  const double n2 = double(x) * x + double(y) * y + double(z) * z + double(w) * w;
  const double s = n2 > 0.0 ? 2.0 / n2 : 0.0;
  const double xs = x * s, ys = y * s, zs = z * s;
  const double wx = w * xs, wy = w * ys, wz = w * zs;
  const double xx = x * xs, xy = x * ys, xz = x * zs;
  const double yy = y * ys, yz = y * zs, zz = z * zs;
  const Point3 trans = mat.GetTrans();
  const DWORD posFlag = mat.GetIdentFlags() & POS_IDENT;
  mat.SetRow(0, Point3(1.0 - (yy + zz), xy + wz, xz - wy));
  mat.SetRow(1, Point3(xy - wz, 1.0 - (xx + zz), yz + wx));
  mat.SetRow(2, Point3(xz + wy, yz - wx, 1.0 - (xx + yy)));
  if (keepTrans) {
    mat.SetRow(3, trans);
    mat.SetIdentFlags(SCL_IDENT | posFlag);
  } else {
    mat.SetRow(3, Point3(0.0f, 0.0f, 0.0f));
    mat.SetIdentFlags(SCL_IDENT | POS_IDENT);
  }
}

Quat QFromAngAxis(float angle, const Point3& axis) {
  const double len = std::sqrt(double(axis.x) * axis.x + double(axis.y) * axis.y + double(axis.z) * axis.z);
  if (len == 0.0 || !std::isfinite(len)) return Quat();
  const double half = 0.5 * double(angle);
  const double s = std::sin(half) / len;
  return Quat(float(axis.x * s), float(axis.y * s), float(axis.z * s), float(std::cos(half)));
}

void AngAxisFromQ(const Quat& q, float* angle, Point3& axis) {
  Quat n = q;
  n.Normalize();
  const double vlen = std::sqrt(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z);
  if (vlen == 0.0) {
    *angle = 0.0f;
    axis = Point3(1.0f, 0.0f, 0.0f);
    return;
  }
  // atan2 keeps small angles accurate where acos(w) would not.
  *angle = float(2.0 * std::atan2(vlen, double(n.w)));
  axis = Point3(float(n.x / vlen), float(n.y / vlen), float(n.z / vlen));
}

void AngAxisFromQ(const Quat& q, float* angle, Point3* axis) { AngAxisFromQ(q, angle, *axis); }

Quat Slerp(const Quat& p, const Quat& q, float t) {
  const double eps = 1e-6;
  const double cosom = double(p.x) * q.x + double(p.y) * q.y + double(p.z) * q.z + double(p.w) * q.w;
  if (1.0 + cosom > eps) {
    double sp, sq;
    if (1.0 - cosom > eps) {
      const double omega = std::acos(cosom < 1.0 ? cosom : 1.0);
      const double sinom = std::sin(omega);
      sp = std::sin((1.0 - t) * omega) / sinom;
      sq = std::sin(t * omega) / sinom;
      return Quat(float(sp * p.x + sq * q.x), float(sp * p.y + sq * q.y), float(sp * p.z + sq * q.z),
                  float(sp * p.w + sq * q.w));
    }
    // Nearly the same: the arc is a straight line to float precision.
    sp = 1.0 - t;
    sq = t;
    Quat r(float(sp * p.x + sq * q.x), float(sp * p.y + sq * q.y), float(sp * p.z + sq * q.z),
           float(sp * p.w + sq * q.w));
    return r.Normalize();
  }
  // Nearly opposite: the half circle from p to -p is not unique; take the one through a quaternion
  // perpendicular to p, so the path is still a great circle and ends at q to float precision.
  const Quat perp(-p.y, p.x, -p.w, p.z);
  const double sp = std::cos(t * double(PI));
  const double sq = std::sin(t * double(PI));
  return Quat(float(sp * p.x + sq * perp.x), float(sp * p.y + sq * perp.y), float(sp * p.z + sq * perp.z),
              float(sp * p.w + sq * perp.w));
}
