// `wakeweave demo`: every scene and frame is written, and each file holds that frame's trail in its place.
#include "plugin_fixture.h"

#include "export_util.h"
#include "Demo.h"
#include "DemoScenes.h"
#include "ProgressAgent.h"
#include "Regenerate.h"
#include "SceneLoader.h"

namespace {

class Demo : public ::testing::Test {
 protected:
  void SetUp() override { AttachPlugin(); }
  void TearDown() override { GetCOREInterface()->ResetScene(); }

  static int Run(const std::string& out, std::string* stdoutText = nullptr) {
    ::testing::internal::CaptureStdout();
    std::ostringstream progress;
    ProgressAgent agent(progress, false);
    const int code = RunDemo(DemoContext{out, GetWakeweaveDesc(), &agent});
    const std::string text = ::testing::internal::GetCapturedStdout();
    if (stdoutText) *stdoutText = text;
    return code;
  }
  ScratchDir dir;
};

// A demo scene as the demo evaluates it: loaded, its particle trails recorded through the dialog.
LoadedScene LoadRecorded(const DemoScene& scene) {
  LoadedScene loaded = LoadSceneText(scene.json, GetWakeweaveDesc());
  std::ostringstream progress;
  ProgressAgent agent(progress, false);
  RegenerateParticleTrails(WakeweaveModifiers(loaded.nodesWithWakeweave, GetWakeweaveDesc()), GetWakeweaveDesc(), true,
                           agent);
  return loaded;
}

TEST_F(Demo, WritesEveryFrameOfEverySceneAsTheStackOutputsItAtThatFrame) {
  const std::string out = dir.File("out/nested");  // created with its parent
  std::string text;
  ASSERT_EQ(Run(out, &text), 0) << text;
  EXPECT_NE(text.find(fs::absolute(out).lexically_normal().string()), std::string::npos) << text;
  EXPECT_EQ(ReadFile(out + "/summary.txt"), text);

  for (const DemoScene& scene : DemoScenes()) {
    for (double frame : scene.frames) {
      const std::string stem = out + "/" + scene.name + "-f" + DemoFrameLabel(frame);
      ASSERT_TRUE(fs::exists(stem + ".glb")) << stem;
      ASSERT_TRUE(fs::exists(stem + ".obj")) << stem;

      // The same scene evaluated here, at the same frame, must give the file's triangles, placed by the
      // node's object transform and turned Y-up.
      const LoadedScene loaded = LoadRecorded(scene);
      INode* node = loaded.nodesWithWakeweave.at(0);
      const TimeValue t = TimeValue(frame * GetTicksPerFrame());
      const Mesh& mesh = static_cast<TriObject*>(node->EvalWorldState(t).obj)->GetMesh();
      const Matrix3 tm = node->GetObjectTM(t) * ZUpToYUp();

      const tinygltf::Model model = LoadGltf(stem + ".glb", true);
      ASSERT_EQ(model.meshes.size(), 1u) << stem;
      size_t triangles = 0;
      for (const auto& prim : model.meshes[0].primitives) triangles += PrimitiveTriangles(model, prim).size();
      EXPECT_EQ(triangles, size_t(mesh.getNumFaces())) << stem;
      // The first face of material 0 is the mesh's first face of that material.
      int first = -1;
      for (int f = 0; f < mesh.getNumFaces() && first < 0; ++f)
        if (mesh.faces[f].getMatID() == 0) first = f;
      ASSERT_GE(first, 0) << stem;
      const auto tris = PrimitiveTriangles(model, model.meshes[0].primitives[0]);
      ASSERT_FALSE(tris.empty());
      for (int k = 0; k < 3; ++k) {
        const Point3 want = mesh.verts[mesh.faces[first].v[k]] * tm;
        EXPECT_TRUE(model.nodes.at(0).matrix.empty());
        const Point3 got = tris[0][size_t(k)].p;
        EXPECT_LT(Length(got - want), 1e-3f * (1.0f + Length(want))) << stem << " corner " << k;
      }

      // The OBJ has the same vertex count.
      const std::string obj = ReadFile(stem + ".obj");
      int vLines = 0;
      for (size_t at = obj.find("\nv "); at != std::string::npos; at = obj.find("\nv ", at + 1)) ++vLines;
      EXPECT_EQ(vLines, mesh.getNumVerts()) << stem;
    }
  }
}

TEST_F(Demo, SummaryListsEachSceneFrameWithItsCounts) {
  std::string text;
  ASSERT_EQ(Run(dir.File("o"), &text), 0);
  for (const DemoScene& scene : DemoScenes()) {
    const LoadedScene loaded = LoadRecorded(scene);
    INode* node = loaded.nodesWithWakeweave.at(0);
    const double frame = scene.frames.back();
    const Mesh& mesh =
        static_cast<TriObject*>(node->EvalWorldState(TimeValue(frame * GetTicksPerFrame())).obj)->GetMesh();
    // A table row: scene, frame, vertices, faces.
    std::istringstream in(text);
    std::string line;
    bool found = false;
    while (std::getline(in, line)) {
      std::istringstream ls(line);
      std::string name, f;
      int verts = -1, faces = -1;
      ls >> name >> f >> verts >> faces;
      if (name == scene.name && f == DemoFrameLabel(frame)) {
        found = true;
        EXPECT_EQ(verts, mesh.getNumVerts()) << line;
        EXPECT_EQ(faces, mesh.getNumFaces()) << line;
      }
    }
    EXPECT_TRUE(found) << scene.name << " frame " << frame << " missing from:\n" << text;
  }
}

TEST_F(Demo, FailsWhenTheOutputFolderCannotBeMade) {
  const std::string file = dir.File("plain-file");
  std::ofstream(file) << "x";
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Run(file + "/sub"), 1);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("cannot create"), std::string::npos);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunDemo(DemoContext{dir.File("x"), nullptr, nullptr}), 1);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("not loaded"), std::string::npos);
}

TEST_F(Demo, ScenesHaveMovingTrailsWithTextureCoordinates) {
  // Each demo scene shows a trail that changes over its frames and carries texture coordinates; the third
  // also the age map on channel 2.
  for (const DemoScene& scene : DemoScenes()) {
    const LoadedScene loaded = LoadRecorded(scene);
    INode* node = loaded.nodesWithWakeweave.at(0);
    std::vector<Point3> firstVerts;
    bool changed = false;
    for (double frame : scene.frames) {
      const Mesh& m =
          static_cast<TriObject*>(node->EvalWorldState(TimeValue(frame * GetTicksPerFrame())).obj)->GetMesh();
      ASSERT_GT(m.getNumFaces(), 0) << scene.name << " " << frame;
      EXPECT_TRUE(exportdetail::HasTextureFaces(m, 1)) << scene.name;
      if (scene.name == "materials" || scene.name == "flow" || scene.name == "legacy") {
        EXPECT_TRUE(exportdetail::HasTextureFaces(m, 2)) << scene.name;
      }
      std::vector<Point3> v(m.verts, m.verts + m.getNumVerts());
      if (firstVerts.empty())
        firstVerts = v;
      else
        changed = changed || v != firstVerts;
    }
    EXPECT_TRUE(changed) << scene.name;
  }
}

}  // namespace
