#pragma once
// 3D affine transform as the host keeps it: four rows of three floats and a flags word.
//
// Row-vector convention: a point p transforms as p * M, the fourth row is the translation, and
// A * B applies A first, then B.
//
// The flags say which parts are known to be identity. A set flag is a promise about the contents;
// a clear flag promises nothing. Every operation keeps the promise: pure constructions set the
// flags that hold, products keep the flags both factors share, and writes that could break a
// promise clear it. The flags word is plain data (the plug-in saves it bit for bit), so no
// operation takes a shortcut on the strength of a flag.
#include "maxtypes.h"
#include "point3.h"
#include "gfloat.h"

#define POS_IDENT 1
#define ROT_IDENT 2
#define SCL_IDENT 4
#define MAT_IDENT (POS_IDENT | ROT_IDENT | SCL_IDENT)

class Quat;
class AngAxis;

typedef float MRow[3];

class HOSTAPI Matrix3 {
 public:
  // Identity.
  Matrix3() { IdentityMatrix(); }
  // TRUE: identity. FALSE: all zero, no flags.
  explicit Matrix3(BOOL init) {
    if (init)
      IdentityMatrix();
    else
      Zero();
  }
  // From the three axis rows and the translation row; the flags are computed from the contents.
  Matrix3(const Point3& U, const Point3& V, const Point3& N, const Point3& T) {
    m_[0] = U;
    m_[1] = V;
    m_[2] = N;
    m_[3] = T;
    ValidateFlags();
  }

  // Row access. The writable form may change anything, so it drops the identity flags.
  Point3& operator[](int i) {
    flags_ &= ~DWORD(MAT_IDENT);
    return m_[i];
  }
  const Point3& operator[](int i) const { return m_[i]; }
  Point3 GetRow(int i) const { return m_[i]; }
  void SetRow(int i, const Point3& p) {
    m_[i] = p;
    flags_ &= ~DWORD(MAT_IDENT);
  }
  // Raw rows; writing through them is the caller's business (use ValidateFlags afterwards).
  MRow* GetAddr() { return reinterpret_cast<MRow*>(&m_[0].x); }
  const MRow* GetAddr() const { return reinterpret_cast<const MRow*>(&m_[0].x); }

  Point3 GetTrans() const { return m_[3]; }
  void SetTrans(const Point3& p) {
    m_[3] = p;
    flags_ &= ~DWORD(POS_IDENT);
  }
  void NoTrans() {
    m_[3] = Point3(0.0f, 0.0f, 0.0f);
    flags_ |= POS_IDENT;
  }

  // Flags.
  DWORD GetIdentFlags() const { return flags_; }
  void SetIdentFlags(DWORD f) { flags_ = (flags_ & ~DWORD(MAT_IDENT)) | f; }
  void ClearIdentFlag(DWORD f) { flags_ &= ~f; }
  // Reads the flags only: a matrix whose flags were dropped is not identity until ValidateFlags.
  bool IsIdentity() const { return (flags_ & MAT_IDENT) == MAT_IDENT; }
  // Recomputes the flags from the contents: POS_IDENT when the translation is exactly zero,
  // ROT_IDENT when the axis part is diagonal, SCL_IDENT when it is moreover the identity.
  void ValidateFlags();

  // Whole-matrix setters.
  void IdentityMatrix();
  void Zero();                         // all elements zero, flags cleared
  void SetTranslate(const Point3& p);  // pure translation
  void SetScale(const Point3& s);      // pure scale
  void SetRotate(const Quat& q);       // pure rotation
  void SetRotate(const AngAxis& aa);   // pure rotation
  void SetRotateX(float angle);
  void SetRotateY(float angle);
  void SetRotateZ(float angle);

  // Incremental transforms. Post-: *this = *this * X. Pre-: *this = X * *this.
  void Translate(const Point3& p);
  void PreTranslate(const Point3& p);
  void RotateX(float angle);
  void RotateY(float angle);
  void RotateZ(float angle);
  // Scales the axis rows' components; the translation too only when trans is TRUE.
  void Scale(const Point3& s, BOOL trans = FALSE);

  // Makes the three axis rows unit length (the translation stays).
  void NoScale();
  // Makes the axis rows mutually perpendicular, keeping their lengths (Gram-Schmidt from row 0).
  void Orthogonalize();

  Matrix3& Invert();
  Matrix3& operator*=(const Matrix3& B);
  Matrix3 operator*(const Matrix3& B) const;

  Point3 PointTransform(const Point3& p) const;
  Point3 VectorTransform(const Point3& v) const;

  // True when no element differs by more than epsilon; the flags do not take part.
  bool Equals(const Matrix3& M, float epsilon = 1e-6f) const;
  // Exact element comparison; the flags do not take part.
  bool operator==(const Matrix3& M) const;
  bool operator!=(const Matrix3& M) const { return !(*this == M); }

 private:
  Point3 m_[4];
  DWORD flags_ = 0;
};

static_assert(sizeof(Point3) == 3 * sizeof(float), "Point3 must be three packed floats");
static_assert(sizeof(Matrix3) == 12 * sizeof(float) + sizeof(DWORD), "Matrix3 layout is saved as is");

// p * M, with the translation. Inline: builders transform every vertex of a mesh through it.
inline Point3 operator*(const Point3& p, const Matrix3& M) {
  return Point3(p.x * M[0].x + p.y * M[1].x + p.z * M[2].x + M[3].x,
                p.x * M[0].y + p.y * M[1].y + p.z * M[2].y + M[3].y,
                p.x * M[0].z + p.y * M[1].z + p.z * M[2].z + M[3].z);
}
// Direction transform: the axis part only.
HOSTAPI Point3 VectorTransform(const Matrix3& M, const Point3& v);
HOSTAPI Point3 VectorTransform(const Point3& v, const Matrix3& M);
// General affine inverse. A singular matrix has no inverse; it yields the identity.
HOSTAPI Matrix3 Inverse(const Matrix3& M);

HOSTAPI Matrix3 TransMatrix(const Point3& p);
HOSTAPI Matrix3 ScaleMatrix(const Point3& s);
// Counter-clockwise seen from the tip of the axis: RotateZMatrix(PI/2) takes X to Y.
HOSTAPI Matrix3 RotateXMatrix(float angle);
HOSTAPI Matrix3 RotateYMatrix(float angle);
HOSTAPI Matrix3 RotateZMatrix(float angle);
// Counter-clockwise about any axis (need not be unit length; a zero axis gives the identity).
HOSTAPI Matrix3 RotAngleAxisMatrix(const Point3& axis, float angle);
