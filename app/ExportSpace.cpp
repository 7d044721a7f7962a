#include "ExportSpace.h"

#include <cmath>

#include "Exporters.h"

Matrix3 ZUpToYUp() {
  // Rows are the images of the axes: x stays, y goes to -z, z goes to y.
  return Matrix3(Point3(1.0f, 0.0f, 0.0f), Point3(0.0f, 0.0f, -1.0f), Point3(0.0f, 1.0f, 0.0f),
                 Point3(0.0f, 0.0f, 0.0f));
}

Matrix3 OutputTransform(const Matrix3& objectTM, const ExportSpaceOptions& opt) {
  Matrix3 tm = opt.objectSpace ? Matrix3() : objectTM;
  if (!opt.zUp) tm = tm * ZUpToYUp();
  return tm;
}

OutputSpace::OutputSpace(const Matrix3& objectTM, const ExportSpaceOptions& opt)
    : tm_(OutputTransform(objectTM, opt)), up_(opt.zUp ? Point3(0.0f, 0.0f, 1.0f) : Point3(0.0f, 1.0f, 0.0f)) {
  const Point3 r0 = tm_.GetRow(0), r1 = tm_.GetRow(1), r2 = tm_.GetRow(2);
  // With rows as the images of the axes, a face's cross product (b - a) x (c - a) is carried by the matrix
  // whose rows are r1 x r2, r2 x r0, r0 x r1; in double so that a large scale does not lose the direction.
  auto cross = [](const Point3& a, const Point3& b) {
    return Point3(double(a.y) * b.z - double(a.z) * b.y, double(a.z) * b.x - double(a.x) * b.z,
                  double(a.x) * b.y - double(a.y) * b.x);
  };
  cof_[0] = cross(r1, r2);
  cof_[1] = cross(r2, r0);
  cof_[2] = cross(r0, r1);
  const double det = double(r0.x) * cof_[0].x + double(r0.y) * cof_[0].y + double(r0.z) * cof_[0].z;
  mirrors_ = det < 0.0;
  if (mirrors_)
    for (Point3& c : cof_) c = -c;
}

Point3 OutputSpace::Normal(const Point3& n) const {
  const double x = double(n.x) * cof_[0].x + double(n.y) * cof_[1].x + double(n.z) * cof_[2].x;
  const double y = double(n.x) * cof_[0].y + double(n.y) * cof_[1].y + double(n.z) * cof_[2].y;
  const double z = double(n.x) * cof_[0].z + double(n.y) * cof_[1].z + double(n.z) * cof_[2].z;
  const double l = std::sqrt(x * x + y * y + z * z);
  if (!(l > 0.0) || !std::isfinite(l)) return up_;
  return Point3(x / l + 0.0, y / l + 0.0, z / l + 0.0);  // no -0 in the files
}

Matrix3 exportdetail::OutputTransform(const Matrix3& objectTM, bool objectSpace, bool zUp) {
  return ::OutputTransform(objectTM, ExportSpaceOptions{objectSpace, zUp});
}
