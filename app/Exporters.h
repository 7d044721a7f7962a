#pragma once
// Mesh exporters of the host program: Wavefront OBJ and glTF 2.0 (.gltf with an embedded buffer, .glb).
//
// Both take the mesh as the node's stack outputs it, in the node's object space, and write it where
// ExportSpaceOptions says: world space and Y-up unless asked otherwise, the same positions in both formats.
// Both carry the normals of the mesh's smoothing groups (Normals.h), turned with the positions. Each file is
// written to a temporary file beside the target and renamed over it, so a failed export never leaves half a
// file.
#include <max.h>

#include <string>
#include <utility>
#include <vector>

#include "ExportSpace.h"

class ChunkSink;

struct ExportMesh {
  const Mesh* mesh;
  // The transform that takes the mesh's points to world space: pass the node's object transform
  // (GetObjectTM, object offset included) so that the file reproduces the node's world placement.
  Matrix3 nodeTM;
  std::string nodeName;
};

// OBJ: `mtllib <name>.mtl`, `v` lines (in the output space), `vt` lines (channel 1, u v) when the mesh has
// texture faces, `vn` lines (the distinct normals), faces grouped by material id (`g mtl<id>` /
// `usemtl mtl<id>`, ids ascending, faces in mesh order within a group), `s <bits>` (the host's smoothing
// group bits as a number, `s off` for none) wherever it changes, 1-based `f a/ta/na ...` (or `f a//na ...`).
// Floats with 9 significant digits. Beside it, `<name>.mtl` (the .obj's file name with blanks made '_')
// holds a plain diffuse material `mtl<id>` per id used. Both files are written to temporaries first and
// renamed only when both are complete. Throws std::runtime_error on bad mesh data or I/O failure.
void WriteObj(const ExportMesh& m, const std::string& path, const ExportSpaceOptions& opt = {});
// The .mtl file name WriteObj writes beside an .obj path (a full path, in the same folder).
std::string MtlPathFor(const std::string& objPath);

// glTF 2.0, one node (without a transform: the positions are already in the output space, as in the OBJ)
// and one mesh with a primitive (triangles, UNSIGNED_INT indices) per material id, double-sided material
// "mtl<id>" each. glTF attributes are per vertex while the mesh keeps separate texture faces and normals, so
// each primitive's vertices are the distinct (vertex, channel-1 vertex, channel-2 vertex, normal) corners of
// its faces. NORMAL holds the normals; TEXCOORD_0 is channel 1 and TEXCOORD_1 channel 2, each with V
// flipped (v' = 1 - v), because glTF puts the texture origin at the top left where the host puts it at the
// bottom left. A mesh without faces gives a node without a mesh. `binary` writes GLB; otherwise the buffer
// is embedded as a data URI. Throws std::runtime_error on bad mesh data (an index out of range, a
// non-finite value) or I/O failure.
void WriteGltf(const ExportMesh& m, const std::string& path, bool binary, const ExportSpaceOptions& opt = {});

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
// Png is a preview picture of a mesh (see Preview.h), not an export of splines.
enum class ExportFormat { Json, Obj, Gltf, Glb, Png };
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
// The .json text, ending with a newline, as a string or to a sink.
std::string SplineDumpJson(const BezierShape& shape, const std::string& name);
void WriteSplineDump(const BezierShape& shape, const std::string& name, ChunkSink& out);

// Shared by the exporters and the demo.
namespace exportdetail {
// ::OutputTransform (ExportSpace.h) by its two flags.
Matrix3 OutputTransform(const Matrix3& objectTM, bool objectSpace, bool zUp);
// Writes bytes to a temporary file in the target's folder, then renames it over path (see AtomicFile in
// OutputFile.h for files written as they are made).
void WriteFileAtomically(const std::string& path, const std::string& bytes);
// The same for several files that belong together: every temporary is written before any is renamed, so a
// file that cannot be written leaves all of them as they were.
void WriteFilesAtomically(const std::vector<std::pair<std::string, std::string>>& files);
// The colour (linear red, green, blue) of material mtl<id> in the exports: a small palette, so that
// neighbouring ids are told apart in a viewer.
const double* MaterialColor(unsigned id);
// Channel ch (1 or 2) has per-face texture vertices for every face and at least one vertex.
bool HasTextureFaces(const Mesh& mesh, int ch);
// A name as OBJ can carry it: OBJ names end at white space, so blanks and '#' become '_'; "mesh" for none.
std::string ObjName(const std::string& name);
// Throws std::runtime_error naming the first face whose vertex or texture vertex index is out of range,
// or the first non-finite coordinate.
void CheckMesh(const Mesh& mesh);
// Throws std::runtime_error when the transform holds a value that is not finite.
void CheckTransform(const Matrix3& tm);
// Throws std::runtime_error saying that `what` is not finite when p is not: a finite point can still
// overflow on its way to the output space.
void CheckFinite(const Point3& p, const std::string& what);
}  // namespace exportdetail
