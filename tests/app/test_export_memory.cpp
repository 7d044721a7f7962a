// Peak memory of an export: writing a trail of about a million vertices costs less than twice its mesh
// arrays above what the program takes for a tiny trail, whatever the format.
#include <cstdio>

#include "app_runner.h"
#include "sanitized_build.h"

namespace {

// A straight trail of a 1000-point line, 1000 samples long: a million vertices, two million faces.
std::string LongTrail(int oldFrames) {
  std::string knots;
  for (int k = 0; k < 1000; ++k) knots += (k ? ", [" : "[") + std::to_string(k) + ", 0, 0]";
  return R"({"animationRange": [0, 1000], "frame": 999, "nodes": [{"name": "Row",
      "position": {"keys": [[0, [0, 0, 0]], [1000, [0, 1000, 0]]]},
      "object": {"type": "spline", "splines": [{"knots": [)" +
         knots + R"(]}]},
      "modifiers": [{"class": "Wakeweave", "params": {"old_frames": )" +
         std::to_string(oldFrames) + R"(, "spline steps": 0}}]}]})";
}

// Counts of the list that follows `key` in a mesh dump: the entries at the list's top level.
size_t ListLength(const std::string& dump, const std::string& key) {
  size_t at = dump.find("\"" + key + "\":");
  if (at == std::string::npos) return 0;
  at = dump.find('[', at);
  size_t n = 0;
  int depth = 0;
  for (size_t i = at; i < dump.size(); ++i) {
    const char c = dump[i];
    if (c == '[' && ++depth == 2) ++n;
    if (c == ']' && --depth == 0) break;
  }
  return n;
}

class ExportMemory : public AppTest {};

TEST_F(ExportMemory, AMillionVertexTrailPeaksUnderTwiceItsMeshArrays) {
  if (WAKEWEAVE_SANITIZED) GTEST_SKIP() << "a sanitizer's shadow memory has its own peaks";
  const std::string tiny = Scene("tiny-scene.json", LongTrail(1)), big = Scene("big-scene.json", LongTrail(999));

  size_t meshKiB = 0, verts = 0;
  for (const char* ext : {".json", ".obj", ".glb", ".gltf"}) {
    const RunResult base = RunApp({"eval", tiny, "-o", Path(std::string("tiny") + ext).string()});
    ASSERT_EQ(base.exitCode, 0) << base.err;
    const std::string out = Path(std::string("big") + ext).string();
    const RunResult r = RunApp({"eval", big, "-o", out});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    if (!meshKiB) {
      // The mesh's arrays, from its dump: vertices 12 bytes, faces 20, texture vertices 12, texture faces 12.
      const std::string dump = ReadFile(out);
      verts = ListLength(dump, "verts");
      const size_t faces = ListLength(dump, "faces"), tverts = ListLength(dump, "tverts");
      const size_t tvFaces = ListLength(dump, "tvFaces");
      ASSERT_GE(verts, 1000000u);
      ASSERT_GE(faces, 1900000u);
      meshKiB = (verts * 12 + faces * 20 + tverts * 12 + tvFaces * 12) / 1024;
    }
    ASSERT_NE(r.out.find(std::to_string(verts) + " vertices"), std::string::npos) << r.out;
    const long above = r.maxRssKiB - base.maxRssKiB;
    std::printf(
        "[ memory ] %s: peak %ld KiB, tiny trail %ld KiB, above it %ld KiB = %.2f x the mesh arrays (%zu KiB)\n", ext,
        r.maxRssKiB, base.maxRssKiB, above, double(above) / double(meshKiB), meshKiB);
    EXPECT_LT(above, long(2 * meshKiB)) << ext;
    std::filesystem::remove(out);
  }
}

}  // namespace
