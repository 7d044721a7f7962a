// `wakeweave demo`: the built-in scenes evaluated and exported, with a summary table.
#include "Demo.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <vector>

#include "DemoScenes.h"
#include "Regenerate.h"
#include "Exporters.h"
#include "Preview.h"
#include "SceneLoader.h"

namespace {

struct Row {
  std::string scene;
  double frame = 0;
  int verts = 0, faces = 0, materials = 0;
  bool mapped = false, ageMapped = false;
  double ms = 0;
};

std::string FrameText(double frame) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", frame);
  return buf;
}

// The host's fallback when an evaluation fails: the unit triangle.
bool IsFallback(const Mesh& m) {
  return m.getNumVerts() == 3 && m.getNumFaces() == 1 && m.verts[0] == Point3(0.0f, 0.0f, 0.0f) &&
         m.verts[1] == Point3(1.0f, 0.0f, 0.0f) && m.verts[2] == Point3(0.0f, 1.0f, 0.0f);
}

int CountMaterials(const Mesh& m) {
  std::vector<bool> seen;
  int n = 0;
  for (int f = 0; f < m.getNumFaces(); ++f) {
    const MtlID id = m.faces[f].getMatID();
    if (id >= seen.size()) seen.resize(size_t(id) + 1, false);
    if (!seen[id]) seen[id] = true, ++n;
  }
  return n;
}

std::string Table(const std::vector<Row>& rows) {
  std::string out;
  char buf[256];
  std::snprintf(buf, sizeof buf, "%-10s %6s %7s %7s %5s %-8s %9s\n", "scene", "frame", "verts", "faces", "mtls", "maps",
                "eval ms");
  out += buf;
  for (const Row& r : rows) {
    const std::string maps = r.mapped ? (r.ageMapped ? "uv+age" : "uv") : (r.ageMapped ? "age" : "-");
    std::snprintf(buf, sizeof buf, "%-10s %6s %7d %7d %5d %-8s %9.2f\n", r.scene.c_str(), FrameText(r.frame).c_str(),
                  r.verts, r.faces, r.materials, maps.c_str(), r.ms);
    out += buf;
  }
  return out;
}

}  // namespace

int RunDemo(const DemoContext& ctx) {
  namespace fs = std::filesystem;
  if (!ctx.wakeweave) {
    std::cerr << "wakeweave: error: demo: the Wakeweave plug-in is not loaded" << std::endl;
    return 1;
  }
  const fs::path dir = ctx.outDir.empty() ? fs::path("wakeweave-demo") : fs::path(ctx.outDir);
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec || !fs::is_directory(dir)) {
    std::cerr << "wakeweave: error: demo: cannot create " << dir.string() << ": "
              << (ec ? ec.message() : "not a folder") << std::endl;
    return 1;
  }

  std::vector<Row> rows;
  std::string scenesText;
  int files = 0;
  for (const DemoScene& scene : DemoScenes()) {
    try {
      const LoadedScene loaded = LoadSceneText(scene.json, ctx.wakeweave);
      if (loaded.nodesWithWakeweave.empty()) throw std::runtime_error("no node carries a Wakeweave modifier");
      INode* node = loaded.nodesWithWakeweave.front();
      RegenerateParticleTrails(WakeweaveModifiers(loaded.nodesWithWakeweave, ctx.wakeweave), ctx.wakeweave, true,
                               *ctx.agent);
      scenesText += "  " + scene.name + ": " + scene.description + "\n";
      for (double frame : scene.frames) {
        const TimeValue t = FramesToTicks(frame, GetTicksPerFrame(), "frame");
        GetCOREInterface()->SetTime(t, FALSE);
        const auto start = std::chrono::steady_clock::now();
        const ObjectState& os = node->EvalWorldState(t);
        const auto stop = std::chrono::steady_clock::now();
        TriObject* tri = dynamic_cast<TriObject*>(os.obj);
        if (!tri) throw std::runtime_error("the stack did not output a mesh at frame " + FrameText(frame));
        const Mesh& mesh = tri->GetMesh();
        if (IsFallback(mesh)) throw std::runtime_error("the evaluation failed at frame " + FrameText(frame));

        Row r;
        r.scene = scene.name;
        r.frame = frame;
        r.verts = mesh.getNumVerts();
        r.faces = mesh.getNumFaces();
        r.materials = CountMaterials(mesh);
        r.mapped = exportdetail::HasTextureFaces(mesh, 1);
        r.ageMapped = exportdetail::HasTextureFaces(mesh, 2);
        r.ms = std::chrono::duration<double, std::milli>(stop - start).count();

        const ExportMesh em{&mesh, node->GetObjectTM(t), node->GetName()};
        const std::string stem = (dir / (scene.name + "-f" + FrameText(frame))).string();
        WriteGltf(em, stem + ".glb", true);
        WriteObj(em, stem + ".obj");
        WritePreview(em, stem + ".png");
        files += 3;
        rows.push_back(r);
      }
    } catch (const CancelledError&) {
      throw;
    } catch (const std::exception& e) {
      std::cerr << "wakeweave: error: demo scene " << scene.name << ": " << e.what() << std::endl;
      return 1;
    }
  }

  const std::string summary = "Wakeweave demo: " + std::to_string(DemoScenes().size()) + " scenes\n" + scenesText +
                              "\n" + Table(rows) + "\n" + std::to_string(files) + " files (.glb, .obj, .png) in " +
                              fs::absolute(dir).lexically_normal().string() + "\n";
  try {
    exportdetail::WriteFileAtomically((dir / "summary.txt").string(), summary);
  } catch (const std::exception& e) {
    std::cerr << "wakeweave: error: demo: " << e.what() << std::endl;
    return 1;
  }
  std::cout << summary << std::flush;
  return 0;
}
