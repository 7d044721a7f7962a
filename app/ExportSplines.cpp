// Spline exports: the lines through the knots of a spline shape, as OBJ line elements, glTF line strips or
// the exact JSON list of knot points.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

#include "Cli.h"
#include "Errors.h"
#include "Exporters.h"
#include "GltfSupport.h"
#include "MeshDump.h"
#include "OutputFile.h"

ExportFormat ExportFormatOf(const std::string& path) {
  const std::string ext = LowerExtension(path);
  if (ext == ".json") return ExportFormat::Json;
  if (ext == ".obj") return ExportFormat::Obj;
  if (ext == ".gltf") return ExportFormat::Gltf;
  if (ext == ".glb") return ExportFormat::Glb;
  if (ext == ".png") return ExportFormat::Png;
  throw UsageError(path + ": unknown output type \"" + ext + "\" (use .json, .obj, .gltf, .glb or .png)");
}

namespace {

bool Finite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// The line of each spline in the file's space: its knots in order, the first again at the end of a closed
// one. Throws on a non-finite knot or transform, so that no file holds a value its readers refuse.
std::vector<std::vector<Point3>> OutputLines(const BezierShape& shape, const Matrix3& toOutput) {
  for (int r = 0; r < 4; ++r)
    if (!Finite(toOutput.GetRow(r))) throw std::runtime_error("the node transform is not finite");
  std::vector<std::vector<Point3>> lines;
  lines.reserve(size_t(std::max(shape.SplineCount(), 0)));
  for (int s = 0; s < shape.SplineCount(); ++s) {
    const Spline3D* sp = shape.GetSpline(s);
    std::vector<Point3>& line = lines.emplace_back();
    const int n = sp ? sp->KnotCount() : 0;
    for (int k = 0; k < n; ++k) {
      const Point3 p = sp->GetKnotPoint(k) * toOutput;  // finite knots can still overflow on the way
      if (!Finite(p))
        throw std::runtime_error("spline " + std::to_string(s) + " knot " + std::to_string(k) + " is not finite");
      line.push_back(p);
    }
    if (n > 1 && sp->Closed()) line.push_back(line.front());
  }
  return lines;
}

std::string JsonString(const std::string& s) {
  // A name that is not UTF-8 (from an older saved scene) keeps its other characters.
  return nlohmann::json(s).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

void WriteSplineObj(const BezierShape& shape, const Matrix3& toOutput, const std::string& name,
                    const std::string& path) {
  const auto lines = OutputLines(shape, toOutput);
  AtomicFile out(path);
  out << "# Wakeweave splines: one line through the knots of each spline\no " << exportdetail::ObjName(name) << '\n';
  for (const auto& line : lines)
    for (const Point3& p : line) {
      out << "v ";
      out.Float(p.x) << ' ';
      out.Float(p.y) << ' ';
      out.Float(p.z) << '\n';
    }
  size_t first = 1;  // OBJ indices are 1-based and count every earlier `v`
  for (const auto& line : lines) {
    if (line.empty()) continue;
    out << 'l';
    for (size_t i = 0; i < line.size(); ++i) (out << ' ').Unsigned(first + i);
    if (line.size() == 1) (out << ' ').Unsigned(first);  // a line needs two ends
    out << '\n';
    first += line.size();
  }
  out.Commit();
}

void WriteSplineGltf(const BezierShape& shape, const Matrix3& toOutput, const std::string& name,
                     const std::string& path, bool binary) {
  const auto lines = OutputLines(shape, toOutput);
  tinygltf::Model model = gltfsupport::NewModel();
  tinygltf::Node node;
  node.name = gltfsupport::Utf8Name(name);

  tinygltf::Mesh gm;
  gm.name = node.name;
  gltfsupport::BufferBuilder bb(model);
  for (const auto& line : lines) {
    if (line.empty()) continue;
    std::vector<float> pos;
    pos.reserve(line.size() * 3 + 3);
    std::vector<double> mn(3, std::numeric_limits<double>::infinity()), mx(3, -std::numeric_limits<double>::infinity());
    auto add = [&](const Point3& p) {
      const float c[3] = {p.x, p.y, p.z};
      for (size_t i = 0; i < 3; ++i) {
        pos.push_back(c[i]);
        mn[i] = std::min(mn[i], double(c[i]));
        mx[i] = std::max(mx[i], double(c[i]));
      }
    };
    for (const Point3& p : line) add(p);
    if (line.size() == 1) add(line.front());  // a strip needs two vertices
    tinygltf::Primitive prim;
    prim.mode = TINYGLTF_MODE_LINE_STRIP;
    prim.attributes["POSITION"] = bb.Add(pos.data(), pos.size() * 4, gltfsupport::kArrayBuffer,
                                         TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, pos.size() / 3, mn, mx);
    gm.primitives.push_back(prim);
  }
  if (!gm.primitives.empty()) {
    model.meshes.push_back(gm);
    node.mesh = 0;
  }
  gltfsupport::WriteSingleNodeModel(model, node, path, binary);
}

void WriteSplineDump(const BezierShape& shape, const std::string& name, ChunkSink& out) {
  out << "{\"name\": " << JsonString(name) << ", \"splines\": [";
  std::vector<Point3> knots;
  for (int s = 0; s < shape.SplineCount(); ++s) {
    const Spline3D* sp = shape.GetSpline(s);
    knots.clear();
    for (int k = 0; sp && k < sp->KnotCount(); ++k) knots.push_back(sp->GetKnotPoint(k));
    if (s) out << ", ";
    const std::string what = "splines[" + std::to_string(s) + "]";
    WriteJsonPoints(out, knots.data(), int(knots.size()), "the shape", what.c_str());
  }
  out << "]}\n";
}

std::string SplineDumpJson(const BezierShape& shape, const std::string& name) {
  StringSink out;
  WriteSplineDump(shape, name, out);
  return out.Take();
}

void CheckSplineExportPath(const std::string& path) {
  // A preview picture is of a mesh: for splines .png is as unknown as any other type.
  try {
    if (ExportFormatOf(path) != ExportFormat::Png) return;
  } catch (const UsageError&) {
  }
  throw UsageError(path + ": unknown output type \"" + LowerExtension(path) + "\" (use .json, .obj, .gltf or .glb)");
}

void WriteSplineExport(const std::string& path, INode* node, const SplineExportOptions& opt) {
  CheckSplineExportPath(path);
  const ExportFormat format = ExportFormatOf(path);
  if (!node) throw RunError(path + ": no node to write");
  const std::string name = node->GetName() ? node->GetName() : "";
  const ObjectState& os = node->EvalWorldState(opt.t);
  auto* spline = dynamic_cast<SplineShape*>(os.obj);
  if (!spline) throw RunError(path + ": node \"" + name + "\" carries no spline shape");
  BezierShape shape;
  spline->GetShapeAt(opt.t, shape);
  const Matrix3 toOutput = exportdetail::OutputTransform(node->GetObjectTM(opt.t), opt.objectSpace, opt.zUp);
  switch (format) {
    case ExportFormat::Obj:
      WriteSplineObj(shape, toOutput, name, path);
      break;
    case ExportFormat::Gltf:
    case ExportFormat::Glb:
      WriteSplineGltf(shape, toOutput, name, path, format == ExportFormat::Glb);
      break;
    case ExportFormat::Json: {
      AtomicFile out(path);
      WriteSplineDump(shape, name, out);
      out.Commit();
      break;
    }
    case ExportFormat::Png:  // refused above
      break;
  }
}
