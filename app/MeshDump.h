#pragma once
// The exact JSON dump of a mesh that `wakeweave eval ... -o OUT.json` writes (see scene-format.md).
#include <max.h>

#include <string>

// The dump text, ending with a newline. Floats are the mesh's single-precision values with 9 significant
// digits, so they read back exactly. Throws RunError when the mesh holds a value JSON can't carry
// (a non-finite coordinate).
std::string MeshDumpJson(const Mesh& mesh);
