#pragma once
// Where an export puts a node's mesh: the node's world placement or its own object space, turned from the
// host's Z-up axes to the Y-up axes most other programs expect, or not. The one place that decides it for
// the OBJ and glTF writers, the spline exports and the preview.
#include <max.h>

struct ExportSpaceOptions {
  bool objectSpace = false;  // --space object: the node's object space instead of world space
  bool zUp = false;          // --up z: keep the host's Z-up axes instead of turning them Y-up
};

// The turn from the host's Z-up axes to Y-up: -90 degrees about X, (x, y, z) becomes (x, z, -y).
Matrix3 ZUpToYUp();

// The transform from a node's object space to an export's space: objectTM (the node's object transform,
// GetObjectTM, object offset included) for world space or the identity for object space, followed by the
// turn to Y-up unless zUp.
Matrix3 OutputTransform(const Matrix3& objectTM, const ExportSpaceOptions& opt);

// Points and normals of a mesh taken to an export's space. Normals follow the cofactor of the transform (the
// inverse transpose, up to scale), so they stay at right angles to the faces under any scale or shear. A
// transform that mirrors would turn every face to face away from its normal as its corners run; such an
// export reverses the order of each face's corners (Mirrors) so that faces still face their normals.
class OutputSpace {
 public:
  OutputSpace(const Matrix3& objectTM, const ExportSpaceOptions& opt);
  Point3 Point(const Point3& p) const { return p * tm_; }
  // A unit normal in the output space; one that the transform flattens to nothing (a node scaled to zero)
  // becomes the output's up axis.
  Point3 Normal(const Point3& n) const;
  bool Mirrors() const { return mirrors_; }
  // The order in which to write corner k (0, 1, 2) of a face.
  int Corner(int k) const { return mirrors_ && k ? 3 - k : k; }
  const Matrix3& Transform() const { return tm_; }

 private:
  Matrix3 tm_;
  Point3 cof_[3];  // rows of the cofactor matrix, signed so that normals keep facing the faces
  Point3 up_;
  bool mirrors_;
};
