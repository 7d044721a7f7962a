// The exports as other programs read them: assimp (`assimp info`), the reference glTF validator and a small
// Node.js decoder of the glTF accessors, none of which shares code with the writers.
#include <nlohmann/json.hpp>

#include <cmath>
#include <regex>
#include <set>

#include "export_util.h"
#include "plugin_fixture.h"
#include "SceneLoader.h"

namespace {

int RunCommand(const std::string& cmd, std::string* out) {
  FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out->append(buf, n);
  const int status = ::pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

nlohmann::json Decode(const std::string& path) {
  std::string out;
  const int code = RunCommand(
      "node '" + std::string(WAKEWEAVE_SOURCE_DIR) + "/tests/export/gltf_accessors.js' '" + path + "'", &out);
  EXPECT_EQ(code, 0) << out;
  return code == 0 ? nlohmann::json::parse(out) : nlohmann::json::object();
}

std::string AssimpInfo(const std::string& path) {
  std::string out;
  EXPECT_EQ(RunCommand("assimp info '" + path + "' -l", &out), 0)
      << "assimp (Debian package assimp-utils) must be installed (make deps)\n"
      << out;
  return out;
}

using Key = std::array<float, 3>;
Key K(const Point3& p) { return {p.x, p.y, p.z}; }

struct Obj {
  std::vector<Point3> v, vn;
  std::vector<std::array<int, 2>> corners;  // (vertex, normal), 0-based
};
Obj ReadObj(const std::string& path) {
  Obj o;
  std::istringstream in(ReadFile(path));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string tag;
    ls >> tag;
    Point3 p;
    if (tag == "v" && (ls >> p.x >> p.y >> p.z)) o.v.push_back(p);
    if (tag == "vn" && (ls >> p.x >> p.y >> p.z)) o.vn.push_back(p);
    if (tag == "f")
      for (std::string c; ls >> c;) o.corners.push_back({std::stoi(c) - 1, std::stoi(c.substr(c.rfind('/') + 1)) - 1});
  }
  return o;
}

// The triangle corners of every decoded primitive: positions and normals.
std::vector<std::pair<Point3, Point3>> Corners(const nlohmann::json& prim) {
  std::vector<std::pair<Point3, Point3>> out;
  const auto& pos = prim["positions"];
  const auto& nor = prim["normals"];
  for (const auto& i : prim["indices"]) {
    const size_t c = i.get<size_t>() * 3;
    out.push_back({Point3(pos[c].get<float>(), pos[c + 1].get<float>(), pos[c + 2].get<float>()),
                   nor.size() > c + 2 ? Point3(nor[c].get<float>(), nor[c + 1].get<float>(), nor[c + 2].get<float>())
                                      : Point3()});
  }
  return out;
}

class Readers : public ::testing::Test {
 protected:
  void SetUp() override { AttachPlugin(); }
  void TearDown() override { GetCOREInterface()->ResetScene(); }

  // examples/circle-trail.json at frame 30: a circle moving and turning in the host's XY plane, every face in
  // smoothing group 1.
  void WriteCircleTrail(const std::string& stem, const ExportSpaceOptions& opt = {}) {
    const LoadedScene scene =
        LoadSceneFile(std::string(WAKEWEAVE_SOURCE_DIR) + "/examples/circle-trail.json", GetWakeweaveDesc());
    INode* node = scene.nodesWithWakeweave.at(0);
    const TimeValue t = 30 * GetTicksPerFrame();
    GetCOREInterface()->SetTime(t, FALSE);
    auto* tri = dynamic_cast<TriObject*>(node->EvalWorldState(t).obj);
    ASSERT_NE(tri, nullptr);
    ASSERT_GT(tri->GetMesh().getNumFaces(), 100);
    const ExportMesh em{&tri->GetMesh(), node->GetObjectTM(t), node->GetName()};
    WriteObj(em, dir.File(stem + ".obj"), opt);
    WriteGltf(em, dir.File(stem + ".glb"), true, opt);
    WriteGltf(em, dir.File(stem + ".gltf"), false, opt);
  }
  ScratchDir dir;
};

TEST_F(Readers, CircleTrailNormalsAreUnitAndSmoothAcrossRowsInBothFormats) {
  WriteCircleTrail("circle");
  if (HasFatalFailure()) return;
  const Obj obj = ReadObj(dir.File("circle.obj"));
  ASSERT_FALSE(obj.vn.empty());
  for (const Point3& n : obj.vn) EXPECT_NEAR(n.Length(), 1.0f, 1e-6f);
  // One smoothing group: wherever faces meet at a vertex, they share its normal.
  std::map<int, std::set<int>> normalsAt;
  for (const auto& c : obj.corners) normalsAt[c[0]].insert(c[1]);
  size_t sharedByMany = 0;
  for (const auto& [v, ns] : normalsAt) EXPECT_EQ(ns.size(), 1u) << "vertex " << v + 1;
  std::map<int, int> facesAt;
  for (const auto& c : obj.corners) sharedByMany += ++facesAt[c[0]] == 4;
  EXPECT_GT(sharedByMany, 10u) << "the rows of the trail share vertices";

  // The glTF carries the same normal at the same place.
  std::map<Key, std::set<Key>> objNormal;
  for (const auto& c : obj.corners) objNormal[K(obj.v[size_t(c[0])])].insert(K(obj.vn[size_t(c[1])]));
  for (const std::string ext : {".glb", ".gltf"}) {
    const nlohmann::json g = Decode(dir.File("circle" + ext));
    ASSERT_EQ(g["primitives"].size(), 1u) << ext;
    const auto& prim = g["primitives"][0];
    EXPECT_EQ(prim["material"], "mtl0");
    EXPECT_TRUE(prim["doubleSided"].get<bool>());
    ASSERT_EQ(prim["normals"].size(), prim["positions"].size());
    for (const auto& [p, n] : Corners(prim)) {
      EXPECT_NEAR(n.Length(), 1.0f, 1e-6f);
      ASSERT_EQ(objNormal.count(K(p)), 1u) << ext << ": a position the OBJ does not have";
      EXPECT_EQ(objNormal[K(p)].count(K(n)), 1u) << ext << ": another normal than the OBJ's";
    }
  }
}

TEST_F(Readers, ATrailInTheHostsXYPlaneIsLevelInYUpFilesAndKeepsZWithUpZ) {
  WriteCircleTrail("yup");
  WriteCircleTrail("zup", ExportSpaceOptions{false, true});
  if (HasFatalFailure()) return;
  for (const auto& [stem, level, other] : {std::tuple{"yup", 1, 2}, std::tuple{"zup", 2, 1}}) {
    for (const std::string ext : {".glb", ".gltf"}) {
      const auto corners = Corners(Decode(dir.File(stem + ext))["primitives"].at(0));
      ASSERT_FALSE(corners.empty());
      float lo = corners[0].first[other], hi = lo;
      for (const auto& [p, n] : corners) {
        EXPECT_EQ(p[level], corners[0].first[level]) << stem << ext;
        EXPECT_EQ(std::fabs(n[level]), 1.0f) << stem << ext << ": a level trail's normal is the up axis";
        lo = std::min(lo, p[other]), hi = std::max(hi, p[other]);
      }
      EXPECT_GT(hi - lo, 10.0f) << stem << ext << ": the trail spreads across the other axis";
    }
    for (const Point3& v : ReadObj(dir.File(std::string(stem) + ".obj")).v) EXPECT_EQ(v[level], 0.0f) << stem;
  }
}

TEST_F(Readers, AssimpFindsTheMaterialsAndTheSameWorldBoundsInObjAndGltf) {
  WriteCircleTrail("agree");
  if (HasFatalFailure()) return;
  const std::string obj = AssimpInfo(dir.File("agree.obj")), glb = AssimpInfo(dir.File("agree.glb"));
  EXPECT_EQ(obj.find("failed to locate material"), std::string::npos) << obj;
  EXPECT_EQ(obj.find("Error"), std::string::npos) << obj;
  EXPECT_EQ(glb.find("Error"), std::string::npos) << glb;
  const std::regex bound("(Minimum|Maximum) point *\\(([^)]*)\\)");
  auto bounds = [&](const std::string& text) {
    std::vector<std::string> out;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), bound); it != std::sregex_iterator(); ++it)
      out.push_back((*it)[1].str() + " " + (*it)[2].str());
    return out;
  };
  EXPECT_EQ(bounds(obj).size(), 2u) << obj;
  EXPECT_EQ(bounds(obj), bounds(glb));
  // The bounds are the world's, turned Y-up: the node has moved 200 units along the host's X by frame 30.
  EXPECT_NE(obj.find("Maximum point      (129.97"), std::string::npos) << obj;
}

TEST(ReaderFiles, TheMtlNamesEveryMaterialUsedAndAssimpResolvesThem) {
  ScratchDir dir;
  Mesh mesh = SampleMesh();
  const std::string path = dir.File("two materials.obj");
  WriteObj({&mesh, TurnedAndMoved(), "n"}, path);
  EXPECT_EQ(MtlPathFor(path), dir.File("two_materials.mtl"));
  const std::string mtl = ReadFile(dir.File("two_materials.mtl"));
  EXPECT_NE(mtl.find("newmtl mtl0\n"), std::string::npos) << mtl;
  EXPECT_NE(mtl.find("newmtl mtl2\n"), std::string::npos) << mtl;
  EXPECT_EQ(mtl.find("newmtl mtl1"), std::string::npos) << mtl;
  const std::string info = AssimpInfo(path);
  EXPECT_EQ(info.find("Error"), std::string::npos) << info;
  EXPECT_NE(info.find("'mtl2'"), std::string::npos) << info;
  // Without the .mtl, assimp says so: the check above can fail.
  fs::remove(dir.File("two_materials.mtl"));
  EXPECT_NE(AssimpInfo(path).find("failed to locate material"), std::string::npos);
}

TEST(ReaderFiles, SmoothingGroupsSplitNormalsAndMirroredNodesKeepFacesFacingTheirNormals) {
  RequireValidator();
  if (HasFatalFailure()) return;
  ScratchDir dir;
  // Faces 0 and 2 (material 0) meet at vertex 2: one normal there when they share a group, two when not.
  Mesh mesh = SampleMesh();
  for (int f = 0; f < 3; ++f) mesh.faces[f].setSmGroup(1);
  const Point3 at = mesh.verts[2] * ZUpToYUp();
  auto normalsAtVertex2 = [&](const std::string& path) {
    std::set<Key> ns;
    for (const auto& [p, n] : Corners(Decode(path)["primitives"].at(0)))
      if (p.Equals(at, 1e-5f)) ns.insert(K(n));
    return ns.size();
  };
  WriteGltf({&mesh, Matrix3(), "n"}, dir.File("smooth.glb"), true);
  EXPECT_EQ(normalsAtVertex2(dir.File("smooth.glb")), 1u);
  mesh.faces[2].setSmGroup(2);
  WriteGltf({&mesh, Matrix3(), "n"}, dir.File("split.glb"), true);
  EXPECT_EQ(normalsAtVertex2(dir.File("split.glb")), 2u);

  // Flat faces, placed plainly and mirrored: each triangle as wound faces the way its normals point.
  Mesh flat = SampleMesh();
  const Matrix3 mirrored = ScaleMatrix(Point3(-1.0f, 2.0f, 0.5f)) * RotateZMatrix(1.0f) * TransMatrix(Point3(1, 2, 3));
  std::vector<std::string> files;
  for (const auto& [name, tm] : {std::pair{"plain", TurnedAndMoved()}, std::pair{"mirrored", mirrored}}) {
    files.push_back(dir.File(std::string(name) + ".gltf"));
    WriteGltf({&flat, tm, name}, files.back(), false);
    const nlohmann::json decoded = Decode(files.back());
    for (const auto& prim : decoded["primitives"]) {
      const auto c = Corners(prim);
      for (size_t i = 0; i + 2 < c.size(); i += 3) {
        const Point3 wound = ((c[i + 1].first - c[i].first) ^ (c[i + 2].first - c[i].first)).Normalize();
        for (size_t k = 0; k < 3; ++k) EXPECT_GT(wound % c[i + k].second, 0.999f) << name << " triangle " << i / 3;
      }
    }
  }
  files.push_back(dir.File("smooth.glb"));
  files.push_back(dir.File("split.glb"));
  std::string out;
  EXPECT_EQ(RunValidator(files, &out), 0) << out;
  for (const std::string& f : files)
    EXPECT_NE(out.find(fs::path(f).filename().string() + ": 0 errors, 0 warnings"), std::string::npos) << out;
}

TEST_F(Readers, TheValidatorFindsNoErrorOrWarningInTheCircleTrail) {
  RequireValidator();
  if (HasFatalFailure()) return;
  WriteCircleTrail("valid");
  WriteCircleTrail("valid-object-zup", ExportSpaceOptions{true, true});
  if (HasFatalFailure()) return;
  std::vector<std::string> files;
  for (const char* f : {"valid.glb", "valid.gltf", "valid-object-zup.glb"}) files.push_back(dir.File(f));
  std::string out;
  EXPECT_EQ(RunValidator(files, &out), 0) << out;
  for (const char* f : {"valid.glb", "valid.gltf", "valid-object-zup.glb"})
    EXPECT_NE(out.find(std::string(f) + ": 0 errors, 0 warnings"), std::string::npos) << out;
}

}  // namespace
