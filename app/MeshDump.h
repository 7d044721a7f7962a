#pragma once
// The exact JSON dump of a mesh that `wakeweave eval ... -o OUT.json` writes (see scene-format.md).
#include <max.h>

#include <string>

// The dump text, ending with a newline. Floats are the mesh's single-precision values with 9 significant
// digits, so they read back exactly. Throws RunError when the mesh holds a value JSON can't carry
// (a non-finite coordinate).
std::string MeshDumpJson(const Mesh& mesh);

// The dump's point lists, shared with the spline dump: `[[x, y, z], ...]` with the floats as above; a
// non-finite value throws RunError "<subject> holds a non-finite value in <what>[<index>]; ...".
void AppendJsonPoints(std::string& out, const Point3* pts, int count, const char* subject, const char* what);
