#pragma once
// Single-precision 3D vector, as the host's geometry library has it.
#include <cmath>

class Point3 {
 public:
  float x, y, z;
  Point3() : x(0), y(0), z(0) {}
  Point3(float X, float Y, float Z) : x(X), y(Y), z(Z) {}
  Point3(double X, double Y, double Z) : x(float(X)), y(float(Y)), z(float(Z)) {}
  Point3(int X, int Y, int Z) : x(float(X)), y(float(Y)), z(float(Z)) {}
  explicit Point3(const float* a) : x(a[0]), y(a[1]), z(a[2]) {}

  float& operator[](int i) { return (&x)[i]; }
  const float& operator[](int i) const { return (&x)[i]; }
  Point3 operator-() const { return Point3(-x, -y, -z); }
  Point3 operator+(const Point3& p) const { return Point3(x + p.x, y + p.y, z + p.z); }
  Point3 operator-(const Point3& p) const { return Point3(x - p.x, y - p.y, z - p.z); }
  Point3 operator*(float f) const { return Point3(x * f, y * f, z * f); }
  Point3 operator/(float f) const { return Point3(x / f, y / f, z / f); }
  Point3 operator*(const Point3& p) const { return Point3(x * p.x, y * p.y, z * p.z); }  // component-wise
  Point3& operator+=(const Point3& p) {
    x += p.x;
    y += p.y;
    z += p.z;
    return *this;
  }
  Point3& operator-=(const Point3& p) {
    x -= p.x;
    y -= p.y;
    z -= p.z;
    return *this;
  }
  Point3& operator*=(float f) {
    x *= f;
    y *= f;
    z *= f;
    return *this;
  }
  Point3& operator/=(float f) {
    x /= f;
    y /= f;
    z /= f;
    return *this;
  }
  bool operator==(const Point3& p) const { return x == p.x && y == p.y && z == p.z; }
  bool operator!=(const Point3& p) const { return !(*this == p); }
  // Cross product, as the host's operator^.
  Point3 operator^(const Point3& p) const { return Point3(y * p.z - z * p.y, z * p.x - x * p.z, x * p.y - y * p.x); }
  float operator%(const Point3& p) const { return x * p.x + y * p.y + z * p.z; }  // dot product
  float Length() const { return std::sqrt(x * x + y * y + z * z); }
  float LengthSquared() const { return x * x + y * y + z * z; }
  // A zero vector normalises to the zero vector.
  Point3 Normalize() const {
    float l = Length();
    return l == 0.0f ? Point3(0.0f, 0.0f, 0.0f) : Point3(x / l, y / l, z / l);
  }
  Point3& Unify() { return *this = Normalize(); }
  bool Equals(const Point3& p, float eps = 1e-6f) const {
    return std::fabs(x - p.x) <= eps && std::fabs(y - p.y) <= eps && std::fabs(z - p.z) <= eps;
  }
  static const Point3 Origin, XAxis, YAxis, ZAxis;
};
inline Point3 operator*(float f, const Point3& p) { return p * f; }
inline float Length(const Point3& p) { return p.Length(); }
inline Point3 Normalize(const Point3& p) { return p.Normalize(); }
inline Point3 CrossProd(const Point3& a, const Point3& b) { return a ^ b; }
inline float DotProd(const Point3& a, const Point3& b) { return a % b; }
inline const Point3 Point3::Origin(0.0f, 0.0f, 0.0f);
inline const Point3 Point3::XAxis(1.0f, 0.0f, 0.0f);
inline const Point3 Point3::YAxis(0.0f, 1.0f, 0.0f);
inline const Point3 Point3::ZAxis(0.0f, 0.0f, 1.0f);
