// Spline exports: the snapshot's spline node written as OBJ lines, glTF line strips and the exact JSON list
// of knot points, each read back.
#include "export_util.h"

#include <nlohmann/json.hpp>

#include "Errors.h"
#include "particles/ParticleSystemState.h"

namespace {

const std::vector<Point3> kOpenKnots = {{0.1f, 0.2f, 0.3f}, {1.0f / 3.0f, -2.5f, 0.0f}, {4.0f, 5.0f, -6.0f}};
const std::vector<Point3> kClosedKnots = {{1e-7f, 123456.789f, -0.0625f}, {7.0f, 8.0f, 9.0f}, {-1.0f, 0.0f, 2.5f}};

void AddSpline(BezierShape& shape, const std::vector<Point3>& knots, bool closed) {
  Spline3D* sp = shape.NewSpline();
  for (const Point3& p : knots) sp->AddKnot(SplineKnot(KTYPE_AUTO, LTYPE_CURVE, p, p, p));
  sp->SetClosed(closed ? 1 : 0);
}

// Two splines, the first open, the second closed.
BezierShape TwoSplines() {
  BezierShape shape;
  AddSpline(shape, kOpenKnots, false);
  AddSpline(shape, kClosedKnots, true);
  shape.UpdateSels();
  return shape;
}

// The lines a file should hold for TwoSplines under tm: the closed one ends where it began.
std::vector<std::vector<Point3>> ExpectedLines(const Matrix3& tm) {
  std::vector<std::vector<Point3>> lines(2);
  for (const Point3& p : kOpenKnots) lines[0].push_back(p * tm);
  for (const Point3& p : kClosedKnots) lines[1].push_back(p * tm);
  lines[1].push_back(lines[1].front());
  return lines;
}

// The `l` elements of an OBJ file as point lists, resolved through its `v` lines (1-based).
std::vector<std::vector<Point3>> ReadObjLines(const std::string& path, std::string* objectName = nullptr) {
  std::vector<Point3> verts;
  std::vector<std::vector<Point3>> lines;
  std::istringstream in(ReadFile(path));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string tag;
    ls >> tag;
    if (tag == "v") {
      Point3 p;
      ls >> p.x >> p.y >> p.z;
      EXPECT_FALSE(ls.fail()) << line;
      verts.push_back(p);
    } else if (tag == "l") {
      std::vector<Point3>& l = lines.emplace_back();
      size_t i;
      while (ls >> i) {
        if (i < 1 || i > verts.size()) {
          ADD_FAILURE() << "index " << i << " of " << verts.size() << " vertices in: " << line;
          return {};
        }
        l.push_back(verts[i - 1]);
      }
      EXPECT_GE(l.size(), 2u) << "a line element needs two vertices: " << line;
    } else if (tag == "o" && objectName) {
      ls >> *objectName;
    } else if (!tag.empty() && tag[0] != '#' && tag != "o") {
      ADD_FAILURE() << "unexpected element: " << line;
    }
  }
  return lines;
}

// Every primitive of the file's one mesh as a point list, after checking that it is a line strip.
std::vector<std::vector<Point3>> ReadGltfLines(const std::string& path, bool binary, tinygltf::Model* out = nullptr) {
  const tinygltf::Model model = LoadGltf(path, binary);
  std::vector<std::vector<Point3>> lines;
  if (out) *out = model;
  if (model.meshes.empty()) return lines;
  EXPECT_EQ(model.meshes.size(), 1u);
  for (const tinygltf::Primitive& prim : model.meshes[0].primitives) {
    EXPECT_EQ(prim.mode, TINYGLTF_MODE_LINE_STRIP);
    EXPECT_EQ(prim.indices, -1);
    const auto pos = AccessorData<float>(model, prim.attributes.at("POSITION"));
    std::vector<Point3>& l = lines.emplace_back();
    for (size_t i = 0; i + 2 < pos.size(); i += 3) l.push_back(Point3(pos[i], pos[i + 1], pos[i + 2]));
  }
  return lines;
}

void ExpectSameLines(const std::vector<std::vector<Point3>>& got, const std::vector<std::vector<Point3>>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t s = 0; s < want.size(); ++s) {
    ASSERT_EQ(got[s].size(), want[s].size()) << "spline " << s;
    for (size_t k = 0; k < want[s].size(); ++k) EXPECT_EQ(got[s][k], want[s][k]) << "spline " << s << " point " << k;
  }
}

TEST(SplineExport, ObjHasOneLineElementPerSplineThroughItsKnots) {
  ScratchDir dir;
  const BezierShape shape = TwoSplines();
  const Matrix3 tm = TurnedAndMoved();
  const std::string path = dir.File("splines.obj");
  WriteSplineObj(shape, tm, "DOVerazi", path);
  std::string name;
  const auto lines = ReadObjLines(path, &name);
  EXPECT_EQ(name, "DOVerazi");
  // Nine significant digits carry every float exactly.
  ExpectSameLines(lines, ExpectedLines(tm));
}

TEST(SplineExport, GltfHasOneLineStripPerSpline) {
  ScratchDir dir;
  const BezierShape shape = TwoSplines();
  const Matrix3 tm = TurnedAndMoved();
  for (bool binary : {false, true}) {
    SCOPED_TRACE(binary ? "glb" : "gltf");
    const std::string path = dir.File(binary ? "splines.glb" : "splines.gltf");
    WriteSplineGltf(shape, tm, "DOVerazi", path, binary);
    tinygltf::Model model;
    ExpectSameLines(ReadGltfLines(path, binary, &model), ExpectedLines(tm));
    ASSERT_EQ(model.nodes.size(), 1u);
    EXPECT_EQ(model.nodes[0].name, "DOVerazi");
    EXPECT_EQ(model.nodes[0].mesh, 0);
    EXPECT_TRUE(model.nodes[0].matrix.empty()) << "the points are placed already";
    // Bounds are required on positions; they must be the points' own.
    const tinygltf::Accessor& acc = model.accessors[size_t(model.meshes[0].primitives[1].attributes.at("POSITION"))];
    ASSERT_EQ(acc.minValues.size(), 3u);
    float lowY = kClosedKnots[0].y;
    const auto want = ExpectedLines(tm);
    for (const Point3& p : want[1]) lowY = std::min(lowY, p.y);
    EXPECT_EQ(acc.minValues[1], double(lowY));
  }
}

TEST(SplineExport, JsonListsTheKnotsExactly) {
  BezierShape small;
  AddSpline(small, {{0.0f, 0.0f, 0.0f}, {1.0f, 2.0f, 3.0f}}, false);
  AddSpline(small, {{0.5f, -1.0f, 2.0f}}, false);
  small.NewSpline();  // a life without keys
  EXPECT_EQ(SplineDumpJson(small, "DOVerazi"),
            "{\"name\": \"DOVerazi\", \"splines\": [[[0, 0, 0], [1, 2, 3]], [[0.5, -1, 2]], []]}\n");

  // Read back, every float is the knot's own; a closed spline is not repeated, and names are escaped.
  const auto doc = nlohmann::json::parse(SplineDumpJson(TwoSplines(), "a \"quoted\" name"));
  EXPECT_EQ(doc.at("name"), "a \"quoted\" name");
  const auto& splines = doc.at("splines");
  ASSERT_EQ(splines.size(), 2u);
  const std::vector<Point3>* knots[2] = {&kOpenKnots, &kClosedKnots};
  for (size_t s = 0; s < 2; ++s) {
    ASSERT_EQ(splines[s].size(), knots[s]->size());
    for (size_t k = 0; k < knots[s]->size(); ++k) {
      const Point3& p = (*knots[s])[k];
      EXPECT_EQ(splines[s][k].get<std::vector<float>>(), (std::vector<float>{p.x, p.y, p.z})) << s << " " << k;
    }
  }
}

// A spline of one knot still gives a line the readers accept; one without knots gives none in OBJ and glTF.
TEST(SplineExport, ShortSplinesGiveValidFiles) {
  ScratchDir dir;
  BezierShape shape;
  shape.NewSpline();
  AddSpline(shape, {{1.0f, 2.0f, 3.0f}}, true);
  shape.NewSpline();
  AddSpline(shape, kOpenKnots, false);
  const Matrix3 id;
  WriteSplineObj(shape, id, "short", dir.File("short.obj"));
  const std::vector<std::vector<Point3>> want = {{{1.0f, 2.0f, 3.0f}, {1.0f, 2.0f, 3.0f}}, kOpenKnots};
  ExpectSameLines(ReadObjLines(dir.File("short.obj")), want);
  WriteSplineGltf(shape, id, "short", dir.File("short.gltf"), false);
  ExpectSameLines(ReadGltfLines(dir.File("short.gltf"), false), want);

  // No line at all: a node without a mesh.
  BezierShape none;
  none.NewSpline();
  WriteSplineGltf(none, id, "none", dir.File("none.glb"), true);
  tinygltf::Model model;
  EXPECT_TRUE(ReadGltfLines(dir.File("none.glb"), true, &model).empty());
  ASSERT_EQ(model.nodes.size(), 1u);
  EXPECT_EQ(model.nodes[0].mesh, -1);
  WriteSplineObj(none, id, "none", dir.File("none.obj"));
  EXPECT_TRUE(ReadObjLines(dir.File("none.obj")).empty());
}

TEST(SplineExport, TheValidatorAcceptsTheLineStrips) {
  RequireValidator();
  if (HasFatalFailure()) return;
  ScratchDir dir;
  BezierShape shape = TwoSplines();
  AddSpline(shape, {{1.0f, 2.0f, 3.0f}}, false);
  BezierShape none;
  std::vector<std::string> files;
  for (bool binary : {false, true}) {
    files.push_back(dir.File(std::string("splines") + (binary ? ".glb" : ".gltf")));
    WriteSplineGltf(shape, TurnedAndMoved(), "DOVerazi", files.back(), binary);
    files.push_back(dir.File(std::string("none") + (binary ? ".glb" : ".gltf")));
    WriteSplineGltf(none, Matrix3(), "DOVerazi", files.back(), binary);
  }
  std::string out;
  EXPECT_EQ(RunValidator(files, &out), 0) << out;
  EXPECT_NE(out.find(std::to_string(files.size()) + " passed, 0 failed"), std::string::npos) << out;
}

TEST(SplineExport, ANonFiniteKnotWritesNothing) {
  ScratchDir dir;
  BezierShape shape = TwoSplines();
  AddSpline(shape, {{0.0f, std::numeric_limits<float>::infinity(), 0.0f}}, false);
  EXPECT_THROW(WriteSplineObj(shape, Matrix3(), "n", dir.File("bad.obj")), std::runtime_error);
  EXPECT_THROW(WriteSplineGltf(shape, Matrix3(), "n", dir.File("bad.glb"), true), std::runtime_error);
  EXPECT_THROW(SplineDumpJson(shape, "n"), RunError);
  // Finite knots that overflow in the file's space are refused too.
  BezierShape big;
  AddSpline(big, {{3e38f, 0.0f, 0.0f}}, false);
  EXPECT_THROW(WriteSplineObj(big, ScaleMatrix(Point3(10.0f, 1.0f, 1.0f)), "n", dir.File("big.obj")),
               std::runtime_error);
  EXPECT_TRUE(fs::is_empty(dir.Path()));
}

// Through the node, as the command writes the snapshot: the spline node that "Snapshot Path..." made.
class SnapshotNodeExport : public ::testing::Test {
 protected:
  void SetUp() override { GetCOREInterface()->ResetScene(); }
  void TearDown() override { GetCOREInterface()->ResetScene(); }

  // A recording of two lives, turned into the snapshot node.
  static INode* Snapshot() {
    ParticleSystemState state;
    for (const auto* knots : {&kOpenKnots, &kClosedKnots}) {
      ParticleState life;
      TimeValue t = 0;
      for (const Point3& p : *knots) life.addKey(ParticlePositionKey(t += 160, p, 0));
      state.addParticle(life);
    }
    state.makeTestSpline("DOVerazi");
    return GetCOREInterface()->GetINodeByName("DOVerazi");
  }

  ScratchDir dir;
};

TEST_F(SnapshotNodeExport, WritesEachFormatFromTheNode) {
  INode* node = Snapshot();
  ASSERT_NE(node, nullptr);
  node->SetObjOffsetPos(Point3(10.0f, -20.0f, 5.5f));
  node->SetObjOffsetScale(Point3(2.0f, 2.0f, 2.0f));
  const Matrix3 world = node->GetObjectTM(0);
  ASSERT_FALSE(world.Equals(Matrix3(), 1e-3f)) << "the test needs a node that is not at the origin";

  // Snapshot splines are open: no point is repeated.
  auto open = [](std::vector<std::vector<Point3>> lines) {
    lines[1].pop_back();
    return lines;
  };
  // World space, Y-up by default: (x, y, z) becomes (x, z, -y).
  const Matrix3 yUp(Point3(1, 0, 0), Point3(0, 0, -1), Point3(0, 1, 0), Point3(0, 0, 0));
  WriteSplineExport(dir.File("world.obj"), node);
  const auto wantWorld = open(ExpectedLines(world * yUp));
  ExpectSameLines(ReadObjLines(dir.File("world.obj")), wantWorld);
  WriteSplineExport(dir.File("world.glb"), node);
  ExpectSameLines(ReadGltfLines(dir.File("world.glb"), true), wantWorld);

  SplineExportOptions zUp;
  zUp.zUp = true;
  WriteSplineExport(dir.File("zup.gltf"), node, zUp);
  ExpectSameLines(ReadGltfLines(dir.File("zup.gltf"), false), open(ExpectedLines(world)));

  SplineExportOptions object;
  object.objectSpace = true;
  object.zUp = true;
  WriteSplineExport(dir.File("object.obj"), node, object);
  ExpectSameLines(ReadObjLines(dir.File("object.obj")), open(ExpectedLines(Matrix3())));

  // The dump is the shape's own knots, whatever the node's placement.
  WriteSplineExport(dir.File("snap.json"), node);
  EXPECT_EQ(ReadFile(dir.File("snap.json")), SplineDumpJson(TwoSplines(), "DOVerazi"));
}

TEST_F(SnapshotNodeExport, RefusesWhatItCannotWrite) {
  INode* node = Snapshot();
  ASSERT_NE(node, nullptr);
  EXPECT_THROW(CheckSplineExportPath(dir.File("x.png")), UsageError);
  EXPECT_NO_THROW(CheckSplineExportPath(dir.File("x.GLB")));
  EXPECT_THROW(WriteSplineExport(dir.File("x.stl"), node), UsageError);
  EXPECT_THROW(WriteSplineExport(dir.File("x.obj"), nullptr), RunError);
  // A node whose object is no spline shape.
  Mesh mesh = SampleMesh();
  auto* tri = CreateNewTriObject();
  tri->GetMesh() = mesh;
  INode* meshNode = GetCOREInterface()->CreateObjectNode(tri);
  ASSERT_NE(meshNode, nullptr);
  meshNode->SetName("Trail");
  try {
    WriteSplineExport(dir.File("x.json"), meshNode);
    ADD_FAILURE() << "a mesh node was written as splines";
  } catch (const RunError& e) {
    EXPECT_NE(std::string(e.what()).find("\"Trail\""), std::string::npos) << e.what();
  }
  // An unwritable place: the error names it, and nothing is left behind.
  EXPECT_THROW(WriteSplineExport(dir.File("missing/x.obj"), node), std::runtime_error);
  EXPECT_TRUE(fs::is_empty(dir.Path()));
}

}  // namespace
