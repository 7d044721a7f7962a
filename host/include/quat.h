#pragma once
// Rotations as unit quaternions (x, y, z vector part, w scalar part) and angle-axis pairs.
//
// Handedness: QFromAngAxis(a, axis) turns counter-clockwise by a, seen from the tip of the axis,
// exactly as RotateXMatrix/RotateYMatrix/RotateZMatrix do; MakeMatrix of it equals
// RotAngleAxisMatrix(axis, a).
//
// Composition follows the matrices: q1 * q2 is the rotation q1 followed by q2, so that
// MakeMatrix(q1 * q2) == MakeMatrix(q1) * MakeMatrix(q2) (row vectors, A * B = A first).
#include "maxtypes.h"
#include "point3.h"
#include "gfloat.h"

class Matrix3;
class Quat;

class HOSTAPI AngAxis {
 public:
  Point3 axis;
  float angle;  // radians, counter-clockwise about axis
  AngAxis() : axis(0.0f, 0.0f, 1.0f), angle(0.0f) {}
  AngAxis(const Point3& ax, float ang) : axis(ax), angle(ang) {}
  AngAxis(float x, float y, float z, float ang) : axis(x, y, z), angle(ang) {}
  explicit AngAxis(const Quat& q);
  AngAxis& Set(const Point3& ax, float ang) {
    axis = ax;
    angle = ang;
    return *this;
  }
};

class HOSTAPI Quat {
 public:
  float x, y, z, w;

  // Identity.
  Quat() : x(0.0f), y(0.0f), z(0.0f), w(1.0f) {}
  Quat(float X, float Y, float Z, float W) : x(X), y(Y), z(Z), w(W) {}
  Quat(const Point3& v, float W) : x(v.x), y(v.y), z(v.z), w(W) {}
  Quat(const AngAxis& aa);
  // From the rotation part of a matrix whose axis rows are perpendicular: their lengths (a scale)
  // are divided out first, and a mirroring matrix is taken negated, as decomp_affine does.
  explicit Quat(const Matrix3& m);

  Quat& Set(float X, float Y, float Z, float W) {
    x = X;
    y = Y;
    z = Z;
    w = W;
    return *this;
  }
  float& operator[](int i) { return (&x)[i]; }
  const float& operator[](int i) const { return (&x)[i]; }
  Point3 Vector() const { return Point3(x, y, z); }
  float Scalar() const { return w; }

  Quat operator-() const { return Quat(-x, -y, -z, -w); }
  Quat operator+(const Quat& q) const { return Quat(x + q.x, y + q.y, z + q.z, w + q.w); }
  Quat operator-(const Quat& q) const { return Quat(x - q.x, y - q.y, z - q.z, w - q.w); }
  Quat operator*(float f) const { return Quat(x * f, y * f, z * f, w * f); }
  Quat operator/(float f) const { return Quat(x / f, y / f, z / f, w / f); }
  // Composition: this rotation first, then q.
  Quat operator*(const Quat& q) const;
  Quat& operator*=(const Quat& q) { return *this = *this * q; }

  bool operator==(const Quat& q) const { return x == q.x && y == q.y && z == q.z && w == q.w; }
  bool operator!=(const Quat& q) const { return !(*this == q); }
  // Componentwise within epsilon (q and -q, the same rotation, are not Equal).
  bool Equals(const Quat& q, float epsilon = 1e-6f) const;

  Quat& Identity() {
    x = y = z = 0.0f;
    w = 1.0f;
    return *this;
  }
  // No rotation: the vector part is zero and w is 1 or -1.
  bool IsIdentity() const { return x == 0.0f && y == 0.0f && z == 0.0f && (w == 1.0f || w == -1.0f); }
  float Length() const;
  // Unit length; a zero quaternion becomes the identity.
  Quat& Normalize();
  Quat Conjugate() const { return Quat(-x, -y, -z, w); }
  // Conjugate over squared length; the inverse of the zero quaternion is taken as the identity.
  Quat Inverse() const;
  Quat& Invert() { return *this = Inverse(); }
  // Negates this quaternion when it lies on the other hemisphere from qto (negative dot product),
  // so that interpolating between the two takes the short way.
  Quat& MakeClosest(const Quat& qto);
  // Writes the rotation into mat's axis rows; the translation becomes zero unless keepTrans.
  void MakeMatrix(Matrix3& mat, bool keepTrans = false) const;
};

inline Quat operator*(float f, const Quat& q) { return q * f; }
inline float DotProd(const Quat& a, const Quat& b) { return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w; }
inline float QDot(const Quat& a, const Quat& b) { return DotProd(a, b); }
inline Quat Conjugate(const Quat& q) { return q.Conjugate(); }
inline Quat Inverse(const Quat& q) { return q.Inverse(); }

// Counter-clockwise rotation by angle (radians) about axis (need not be unit; zero gives identity).
HOSTAPI Quat QFromAngAxis(float angle, const Point3& axis);
// Angle in [0, 2*PI] and unit axis; no rotation gives angle 0 about the X axis.
HOSTAPI void AngAxisFromQ(const Quat& q, float* angle, Point3& axis);
HOSTAPI void AngAxisFromQ(const Quat& q, float* angle, Point3* axis);

// Spherical linear interpolation from p (t = 0) to q (t = 1) along the arc the two span, without
// flipping q onto p's hemisphere (call MakeClosest first for the short way). Nearly equal inputs
// are interpolated linearly and normalised; nearly opposite ones follow a half circle through a
// quaternion perpendicular to p.
HOSTAPI Quat Slerp(const Quat& p, const Quat& q, float t);
