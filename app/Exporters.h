#pragma once
// Mesh exporters of the host program: Wavefront OBJ and glTF 2.0 (.gltf with an embedded buffer, .glb).
//
// Both take the mesh as the node's stack outputs it, in the node's object space. Each file is written to
// a temporary file beside the target and renamed over it, so a failed export never leaves half a file.
#include <max.h>

#include <string>

struct ExportMesh {
  const Mesh* mesh;
  // The transform that takes the mesh's points to world space: pass the node's object transform
  // (GetObjectTM, object offset included) so that the file reproduces the node's world placement.
  Matrix3 nodeTM;
  std::string nodeName;
};

// OBJ in object space: `v` lines, `vt` lines (channel 1, u v) when the mesh has texture faces, faces grouped
// by material id (`g mtl<id>` / `usemtl mtl<id>`, ids ascending, faces in mesh order within a group),
// 1-based `f a/ta b/tb c/tc` (or `f a b c`). Floats with 9 significant digits. The transform is only
// recorded in a comment; OBJ has no place for it. Throws std::runtime_error on bad mesh data or I/O failure.
void WriteObj(const ExportMesh& m, const std::string& path);

// glTF 2.0, one node carrying the transform and one mesh with a primitive (triangles, UNSIGNED_INT
// indices) per material id, material "mtl<id>" each. glTF attributes are per vertex while the mesh keeps
// separate texture faces, so each primitive's vertices are the distinct (vertex, channel-1 vertex,
// channel-2 vertex) corners of its faces: positions stay the mesh's positions and every corner keeps its
// own coordinates. TEXCOORD_0 is channel 1 and TEXCOORD_1 channel 2, each with V flipped (v' = 1 - v),
// because glTF puts the texture origin at the top left where the host puts it at the bottom left.
// The transform goes on the node as a matrix; one that is not a rotation and scale (a shear) cannot be
// stored there, so it is then applied to the positions and the node keeps the identity. A mesh without
// faces gives a node without a mesh. `binary` writes GLB; otherwise the buffer is embedded as a data URI.
// Throws std::runtime_error on bad mesh data (an index out of range, a non-finite value) or I/O failure.
void WriteGltf(const ExportMesh& m, const std::string& path, bool binary);

// Spline exporters, for the spline node that "Snapshot Path..." makes (one open spline per recorded particle
// life). Every spline is written as the line through its knot points, in knot order, closed back to its
// first knot when the spline is closed:
// - `.obj`: `o <node>`, the `v` lines of every knot of every spline, then one `l` line per spline (1-based);
// - `.gltf`/`.glb`: one node, one mesh with a LINE_STRIP primitive per spline (POSITION only, no indices);
// - `.json`: `{"name": "<node>", "splines": [[[x, y, z], ...], ...]}`, one list of knot points per spline,
//   in the shape's own (object) space, floats as the mesh dump writes them, so that they read back exactly.
// A spline without knots has no line in .obj and glTF (it is an empty list in .json); one with a single
// knot is a line of zero length.
struct SplineExportOptions {
  TimeValue t = 0;           // the time at which the shape and the node's transform are taken
  bool objectSpace = false;  // .obj and glTF: the node's object space (--space object) instead of world space
  bool zUp = false;          // .obj and glTF: keep the host's Z-up axes (--up z) instead of turning them Y-up
};

// The file formats of the exports, by the output path's extension (any case); UsageError for another one.
enum class ExportFormat { Json, Obj, Gltf, Glb };
ExportFormat ExportFormatOf(const std::string& path);

// Refuses (UsageError) a path whose extension is none of .obj, .gltf, .glb and .json, before any work.
void CheckSplineExportPath(const std::string& path);
// Writes the spline shape that node carries at opt.t to path, in the format its extension names. Throws
// UsageError for an unknown extension, RunError when the node carries no spline shape, std::runtime_error
// on bad shape data (a non-finite knot) or I/O failure. Nothing is written when it throws.
void WriteSplineExport(const std::string& path, INode* node, const SplineExportOptions& opt = {});

// The same for a shape given directly: toOutput takes its knot points to the file's space (.obj and glTF).
void WriteSplineObj(const BezierShape& shape, const Matrix3& toOutput, const std::string& name,
                    const std::string& path);
void WriteSplineGltf(const BezierShape& shape, const Matrix3& toOutput, const std::string& name,
                     const std::string& path, bool binary);
// The .json text, ending with a newline.
std::string SplineDumpJson(const BezierShape& shape, const std::string& name);

// Shared by the exporters and the demo.
namespace exportdetail {
// The transform from a node's object space to an export's space: objectTM (the node's object transform,
// GetObjectTM) for world space, followed by the turn from the host's Z-up to Y-up axes (-90 degrees about X:
// (x, y, z) becomes (x, z, -y)) unless zUp.
Matrix3 OutputTransform(const Matrix3& objectTM, bool objectSpace, bool zUp);
// Writes bytes to a temporary file in the target's folder, then renames it over path.
void WriteFileAtomically(const std::string& path, const std::string& bytes);
// Channel ch (1 or 2) has per-face texture vertices for every face and at least one vertex.
bool HasTextureFaces(const Mesh& mesh, int ch);
// Appends printf-formatted text (at most 255 bytes a call).
void AppendF(std::string& out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// A name as OBJ can carry it: OBJ names end at white space, so blanks and '#' become '_'; "mesh" for none.
std::string ObjName(const std::string& name);
// Throws std::runtime_error naming the first face whose vertex or texture vertex index is out of range,
// or the first non-finite coordinate.
void CheckMesh(const Mesh& mesh);
}  // namespace exportdetail
