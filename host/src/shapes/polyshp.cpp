#include "polyshp.h"

#include <algorithm>
#include <new>

// ---- PolyLine ----

PolyLine::PolyLine(const PolyLine& o) : pts_(o.pts_), closed_(o.closed_) { Sync(); }

PolyLine::PolyLine(PolyLine&& o) noexcept : pts_(std::move(o.pts_)), closed_(o.closed_) {
  Sync();
  o.pts_.clear();
  o.Sync();
}

PolyLine& PolyLine::operator=(const PolyLine& o) {
  if (this != &o) {
    pts_ = o.pts_;
    closed_ = o.closed_;
    Sync();
  }
  return *this;
}

PolyLine& PolyLine::operator=(PolyLine&& o) noexcept {
  if (this != &o) {
    pts_ = std::move(o.pts_);
    closed_ = o.closed_;
    Sync();
    o.pts_.clear();
    o.Sync();
  }
  return *this;
}

void PolyLine::Init() {
  pts_.clear();
  closed_ = false;
  Sync();
}

BOOL PolyLine::SetNumPts(int count, BOOL keep) {
  if (count < 0) count = 0;
  try {
    if (keep) {
      pts_.resize(size_t(count));
    } else {
      std::vector<PolyPt> fresh(static_cast<size_t>(count));
      pts_.swap(fresh);
    }
  } catch (const std::bad_alloc&) {
    return FALSE;
  }
  Sync();
  return TRUE;
}

void PolyLine::Append(const PolyPt& p) {
  pts_.push_back(p);
  Sync();
}

void PolyLine::Insert(int where, const PolyPt& p) {
  if (where < 0 || where >= numPts)
    pts_.push_back(p);
  else
    pts_.insert(pts_.begin() + where, p);
  Sync();
}

void PolyLine::Delete(int where) {
  if (where < 0 || where >= numPts) return;
  pts_.erase(pts_.begin() + where);
  Sync();
}

int PolyLine::Segments() const {
  if (numPts == 0) return 0;
  return closed_ ? numPts : numPts - 1;
}

float PolyLine::CurveLength() const {
  double len = 0.0;
  int segs = Segments();
  for (int i = 0; i < segs; ++i) len += (pts_[size_t((i + 1) % numPts)].p - pts_[size_t(i)].p).Length();
  return float(len);
}

void PolyLine::Reverse(BOOL keepZero) {
  if (numPts < 2) return;
  if (keepZero)
    std::reverse(pts_.begin() + 1, pts_.end());
  else
    std::reverse(pts_.begin(), pts_.end());
}

double PolyLine::SignedAreaXY() const {
  // Shoelace formula in double so that nearly flat curves still get the right sign.
  double a = 0.0;
  for (int i = 0; i < numPts; ++i) {
    const Point3& p = pts_[size_t(i)].p;
    const Point3& q = pts_[size_t((i + 1) % numPts)].p;
    a += double(p.x) * double(q.y) - double(q.x) * double(p.y);
  }
  return a * 0.5;
}

BOOL PolyLine::SurroundsPoint(const Point3& pt) const {
  // Crossings of a ray towards +x; the half-open test on y counts a vertex on the ray once.
  bool inside = false;
  double px = pt.x, py = pt.y;
  for (int i = 0, j = numPts - 1; i < numPts; j = i++) {
    double xi = pts_[size_t(i)].p.x, yi = pts_[size_t(i)].p.y;
    double xj = pts_[size_t(j)].p.x, yj = pts_[size_t(j)].p.y;
    if ((yi > py) != (yj > py)) {
      double xCross = xj + (py - yj) * (xi - xj) / (yi - yj);
      if (px < xCross) inside = !inside;
    }
  }
  return inside ? TRUE : FALSE;
}

// ---- ShapeHierarchy ----

void ShapeHierarchy::Alloc(int count) {
  if (count < 0) count = 0;
  parent_.assign(size_t(count), -1);
  depth_.assign(size_t(count), 0);
  reverse.SetSize(count);
  hole.SetSize(count);
}

int ShapeHierarchy::Parent(int line) const { return line >= 0 && line < Count() ? parent_[size_t(line)] : -1; }

int ShapeHierarchy::Depth(int line) const { return line >= 0 && line < Count() ? depth_[size_t(line)] : 0; }

// ---- PolyShape ----

PolyShape::PolyShape(const PolyShape& o) : lines_(o.lines_) { Sync(); }

PolyShape& PolyShape::operator=(const PolyShape& o) {
  if (this != &o) {
    lines_ = o.lines_;
    Sync();
  }
  return *this;
}

void PolyShape::NewShape() {
  lines_.clear();
  Sync();
}

PolyLine& PolyShape::NewLine() {
  lines_.emplace_back();
  Sync();
  return lines_.back();
}

BOOL PolyShape::SetNumLines(int count, BOOL keep) {
  if (count < 0) count = 0;
  try {
    if (keep) {
      lines_.resize(size_t(count));
    } else {
      std::vector<PolyLine> fresh(static_cast<size_t>(count));
      lines_.swap(fresh);
    }
  } catch (const std::bad_alloc&) {
    return FALSE;
  }
  Sync();
  return TRUE;
}

void PolyShape::Append(const PolyLine& l) {
  lines_.push_back(l);
  Sync();
}

void PolyShape::Delete(int line) {
  if (line < 0 || line >= numLines) return;
  lines_.erase(lines_.begin() + line);
  Sync();
}

void PolyShape::OrganizeCurves(TimeValue, ShapeHierarchy* hier) {
  if (!hier) return;  // the analysis changes nothing in the shape, so without a receiver there is no work
  hier->Alloc(numLines);
  std::vector<std::vector<int>> containers(static_cast<size_t>(numLines));
  for (int i = 0; i < numLines; ++i) {
    const PolyLine& li = lines_[size_t(i)];
    if (!li.IsClosed() || li.numPts == 0) continue;
    for (int j = 0; j < numLines; ++j) {
      const PolyLine& lj = lines_[size_t(j)];
      if (j != i && lj.IsClosed() && lj.SurroundsPoint(li.pts[0].p)) containers[size_t(i)].push_back(j);
    }
    hier->depth_[size_t(i)] = int(containers[size_t(i)].size());
  }
  for (int i = 0; i < numLines; ++i) {
    const PolyLine& li = lines_[size_t(i)];
    if (!li.IsClosed()) continue;
    // The innermost container is the one that itself lies in the most others (first on ties).
    int best = -1;
    for (int j : containers[size_t(i)])
      if (best < 0 || hier->depth_[size_t(j)] > hier->depth_[size_t(best)]) best = j;
    hier->parent_[size_t(i)] = best;
    bool isHole = hier->depth_[size_t(i)] % 2 == 1;
    hier->hole.Set(i, isHole);
    double area = li.SignedAreaXY();
    if ((!isHole && area < 0.0) || (isHole && area > 0.0)) hier->reverse.Set(i);
  }
}

void PolyShape::Reverse(BitArray& reverse, BOOL keepZero) {
  int n = std::min(numLines, reverse.GetSize());
  for (int i = 0; i < n; ++i)
    if (reverse[i]) lines_[size_t(i)].Reverse(keepZero);
}

void PolyShape::Reverse(int line, BOOL keepZero) {
  if (line >= 0 && line < numLines) lines_[size_t(line)].Reverse(keepZero);
}
