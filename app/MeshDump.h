#pragma once
// The exact JSON dump of a mesh that `wakeweave eval ... -o OUT.json` writes (see scene-format.md).
#include <max.h>

#include <string>

class ChunkSink;

// Writes the dump to path through a temporary file renamed over it once complete, in bounded chunks. Floats
// are the mesh's single-precision values with 9 significant digits, so they read back exactly. Throws
// RunError when the mesh holds a value JSON can't carry (a non-finite coordinate) and std::runtime_error
// when the file cannot be written; either way the target is left as it was.
void WriteMeshDump(const Mesh& mesh, const std::string& path);
// The same text, ending with a newline, to a sink or as a string.
void WriteMeshDump(const Mesh& mesh, ChunkSink& out);
std::string MeshDumpJson(const Mesh& mesh);

// The dump's point lists, shared with the spline dump: `[[x, y, z], ...]` with the floats as above; a
// non-finite value throws RunError "<subject> holds a non-finite value in <what>[<index>]; ...".
void WriteJsonPoints(ChunkSink& out, const Point3* pts, int count, const char* subject, const char* what);
