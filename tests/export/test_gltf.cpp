// glTF export, read back with tinygltf's loader: corners, texture coordinates, primitives, materials and
// the node's placement.
#include "export_util.h"

namespace {

class GltfExport : public ::testing::TestWithParam<bool> {
 protected:
  bool Binary() const { return GetParam(); }
  std::string Name(const std::string& stem) const { return dir.File(stem + (Binary() ? ".glb" : ".gltf")); }
  ScratchDir dir;
};

// The sample mesh with every face in smoothing group 1.
Mesh SmoothSampleMesh() {
  Mesh m = SampleMesh();
  for (int f = 0; f < m.getNumFaces(); ++f) m.faces[f].setSmGroup(1);
  return m;
}

// Faces of the sample mesh per material id, in mesh order.
std::map<int, std::vector<int>> FacesByMaterial(const Mesh& m) {
  std::map<int, std::vector<int>> out;
  for (int f = 0; f < m.getNumFaces(); ++f) out[m.faces[f].getMatID()].push_back(f);
  return out;
}

TEST_P(GltfExport, EveryCornerKeepsItsPositionAndTextureCoordinatesPerMaterialPrimitive) {
  Mesh mesh = SampleMesh();
  const std::string path = Name("mesh");
  // In the node's own space with the host's axes, the positions are the mesh's, exactly.
  WriteGltf({&mesh, TurnedAndMoved(), "Trail001"}, path, Binary(), ExportSpaceOptions{true, true});
  const tinygltf::Model model = LoadGltf(path, Binary());

  EXPECT_EQ(model.asset.version, "2.0");
  EXPECT_EQ(model.asset.generator, "Wakeweave");
  ASSERT_EQ(model.meshes.size(), 1u);
  const auto groups = FacesByMaterial(mesh);
  const tinygltf::Mesh& gm = model.meshes[0];
  ASSERT_EQ(gm.primitives.size(), groups.size());

  size_t p = 0;
  for (const auto& [id, faces] : groups) {
    const tinygltf::Primitive& prim = gm.primitives[p++];
    EXPECT_EQ(prim.mode, TINYGLTF_MODE_TRIANGLES);
    ASSERT_GE(prim.material, 0);
    EXPECT_EQ(model.materials[size_t(prim.material)].name, "mtl" + std::to_string(id));
    EXPECT_EQ(model.accessors[size_t(prim.indices)].componentType, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT);

    const auto tris = PrimitiveTriangles(model, prim);
    ASSERT_EQ(tris.size(), faces.size()) << "material " << id;
    for (size_t i = 0; i < faces.size(); ++i) {
      const int f = faces[i];
      for (int k = 0; k < 3; ++k) {
        const Corner& c = tris[i][size_t(k)];
        EXPECT_EQ(c.p, mesh.verts[mesh.faces[f].v[k]]) << "face " << f << " corner " << k;
        const UVVert t0 = mesh.tVerts[mesh.tvFace[f].t[k]];
        EXPECT_EQ(c.u0, t0.x);
        EXPECT_EQ(c.v0, 1.0f - t0.y) << "V flipped for glTF";
        const UVVert t1 = mesh.mapVerts(2)[mesh.mapFaces(2)[f].t[k]];
        EXPECT_EQ(c.u1, t1.x);
        EXPECT_EQ(c.v1, 1.0f - t1.y);
      }
    }
  }
}

TEST_P(GltfExport, CornersAreSplitOnlyWhereTheirTextureVerticesDiffer) {
  // Material 0 holds faces 0 and 2. They share vertex 2 with the same texture vertices on both channels and,
  // smoothed together, the same normal: one glTF vertex for it, 5 in all.
  Mesh mesh = SmoothSampleMesh();
  WriteGltf({&mesh, Matrix3(), "n"}, Name("shared"), Binary());
  tinygltf::Model model = LoadGltf(Name("shared"), Binary());
  EXPECT_EQ(model.accessors[size_t(model.meshes.at(0).primitives.at(0).attributes.at("POSITION"))].count, 5u);
  EXPECT_EQ(model.accessors[size_t(model.meshes.at(0).primitives.at(1).attributes.at("POSITION"))].count, 3u);

  // Now face 2 gives vertex 2 another channel-1 vertex (a seam): it splits into two glTF vertices.
  mesh.tvFace[2].t[0] = 5;
  WriteGltf({&mesh, Matrix3(), "n"}, Name("seam"), Binary());
  model = LoadGltf(Name("seam"), Binary());
  EXPECT_EQ(model.accessors[size_t(model.meshes.at(0).primitives.at(0).attributes.at("POSITION"))].count, 6u);

  // Likewise for a different channel-2 vertex alone.
  mesh = SmoothSampleMesh();
  mesh.mapFaces(2)[2].t[0] = 0;
  WriteGltf({&mesh, Matrix3(), "n"}, Name("seam2"), Binary());
  model = LoadGltf(Name("seam2"), Binary());
  EXPECT_EQ(model.accessors[size_t(model.meshes.at(0).primitives.at(0).attributes.at("POSITION"))].count, 6u);

  // And for a different normal alone: faces 0 and 2 in different smoothing groups.
  mesh = SmoothSampleMesh();
  mesh.faces[2].setSmGroup(2);
  WriteGltf({&mesh, Matrix3(), "n"}, Name("split"), Binary());
  model = LoadGltf(Name("split"), Binary());
  EXPECT_EQ(model.accessors[size_t(model.meshes.at(0).primitives.at(0).attributes.at("POSITION"))].count, 6u);
}

TEST_P(GltfExport, PositionBoundsAreTheExactExtremes) {
  Mesh mesh = SampleMesh();
  WriteGltf({&mesh, Matrix3(), "n"}, Name("bounds"), Binary());
  const tinygltf::Model model = LoadGltf(Name("bounds"), Binary());
  for (const tinygltf::Primitive& prim : model.meshes.at(0).primitives) {
    const tinygltf::Accessor& acc = model.accessors[size_t(prim.attributes.at("POSITION"))];
    const auto pos = AccessorData<float>(model, prim.attributes.at("POSITION"));
    ASSERT_EQ(acc.minValues.size(), 3u);
    ASSERT_EQ(acc.maxValues.size(), 3u);
    for (size_t c = 0; c < 3; ++c) {
      float mn = pos[c], mx = pos[c];
      for (size_t i = c; i < pos.size(); i += 3) mn = std::min(mn, pos[i]), mx = std::max(mx, pos[i]);
      EXPECT_EQ(float(acc.minValues[c]), mn);
      EXPECT_EQ(float(acc.maxValues[c]), mx);
    }
  }
}

TEST_P(GltfExport, PositionsArePlacedInWorldSpaceYUpAndTheNodeHasNoTransform) {
  Mesh mesh = SampleMesh();
  const Matrix3 tm = TurnedAndMoved();
  WriteGltf({&mesh, tm, "Turned"}, Name("placed"), Binary());
  const tinygltf::Model model = LoadGltf(Name("placed"), Binary());
  ASSERT_EQ(model.nodes.size(), 1u);
  const tinygltf::Node& node = model.nodes[0];
  EXPECT_EQ(node.name, "Turned");
  EXPECT_EQ(node.mesh, 0);
  EXPECT_TRUE(node.matrix.empty() && node.translation.empty() && node.rotation.empty() && node.scale.empty());
  ASSERT_EQ(model.scenes.size(), 1u);
  EXPECT_EQ(model.scenes[0].nodes, std::vector<int>{0});
  const auto groups = FacesByMaterial(mesh);
  size_t p = 0;
  for (const auto& [id, faces] : groups) {
    const auto tris = PrimitiveTriangles(model, model.meshes[0].primitives.at(p++));
    ASSERT_EQ(tris.size(), faces.size());
    for (size_t i = 0; i < faces.size(); ++i)
      for (int k = 0; k < 3; ++k) {
        const Point3 w = mesh.verts[mesh.faces[faces[i]].v[k]] * tm;
        // World (x, y, z) is (x, z, -y) in a Y-up file.
        const Point3 want(w.x, w.z, -w.y);
        const float tol = 1e-4f + 4e-7f * std::max({std::fabs(w.x), std::fabs(w.y), std::fabs(w.z)});
        EXPECT_TRUE(tris[i][size_t(k)].p.Equals(want, tol)) << "face " << faces[i] << " corner " << k;
      }
  }
}

TEST_P(GltfExport, NodeNamesThatAreNotUtf8AreMadeValid) {
  Mesh mesh = SampleMesh();
  WriteGltf({&mesh, Matrix3(), "Tr\xE4il \xC3\xA9\xF0\x9F\x98"}, Name("names"), Binary());
  const tinygltf::Model model = LoadGltf(Name("names"), Binary());
  // The stray Latin-1 byte and the cut-off four-byte sequence are replaced; the valid e-acute stays.
  EXPECT_EQ(model.nodes.at(0).name, "Tr?il \xC3\xA9???");
}

TEST_P(GltfExport, ShearedPlacementIsAppliedToThePositions) {
  Mesh mesh = SampleMesh();
  Matrix3 shear(Point3(1.0f, 0.5f, 0.0f), Point3(0.0f, 1.0f, 0.0f), Point3(0.0f, 0.0f, 2.0f), Point3(3.0f, 0.0f, 0.0f));
  WriteGltf({&mesh, shear, "n"}, Name("shear"), Binary(), ExportSpaceOptions{false, true});
  const tinygltf::Model model = LoadGltf(Name("shear"), Binary());
  EXPECT_TRUE(model.nodes.at(0).matrix.empty());
  const auto tris = PrimitiveTriangles(model, model.meshes.at(0).primitives.at(0));
  ASSERT_FALSE(tris.empty());
  EXPECT_EQ(tris[0][1].p, mesh.verts[mesh.faces[0].v[1]] * shear);
}

TEST_P(GltfExport, MeshWithoutFacesGivesANodeWithoutMesh) {
  Mesh mesh;
  mesh.setNumVerts(2);
  mesh.setVert(0, Point3(1, 2, 3));
  mesh.setVert(1, Point3(4, 5, 6));
  WriteGltf({&mesh, TurnedAndMoved(), "Empty"}, Name("empty"), Binary());
  const tinygltf::Model model = LoadGltf(Name("empty"), Binary());
  EXPECT_TRUE(model.meshes.empty());
  ASSERT_EQ(model.nodes.size(), 1u);
  EXPECT_EQ(model.nodes[0].mesh, -1);
  EXPECT_EQ(model.nodes[0].name, "Empty");
}

TEST_P(GltfExport, MeshWithoutTextureChannelsHasOnlyPositionsAndNormals) {
  Mesh mesh = SampleMesh();
  mesh.setMapSupport(1, FALSE);
  mesh.setMapSupport(2, FALSE);
  WriteGltf({&mesh, Matrix3(), "n"}, Name("plain"), Binary());
  const tinygltf::Model model = LoadGltf(Name("plain"), Binary());
  for (const auto& prim : model.meshes.at(0).primitives) {
    EXPECT_EQ(prim.attributes.size(), 2u);
    EXPECT_EQ(prim.attributes.count("POSITION"), 1u);
    EXPECT_EQ(prim.attributes.count("NORMAL"), 1u);
  }
  // Without texture channels, each material's corners are its distinct (vertex, normal) pairs: faces 0 and 2
  // are flat, so vertex 2 is in it twice, 6 in all; face 1 has 3.
  EXPECT_EQ(model.accessors[size_t(model.meshes[0].primitives[0].attributes.at("POSITION"))].count, 6u);
  EXPECT_EQ(model.accessors[size_t(model.meshes[0].primitives[1].attributes.at("POSITION"))].count, 3u);
}

INSTANTIATE_TEST_SUITE_P(Formats, GltfExport, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? std::string("Glb") : std::string("Gltf"); });

// Bad mesh data is refused with a message, and whatever file was there stays as it was.
TEST(ExportErrors, BadIndicesAreRefusedAndTheOldFileStays) {
  ScratchDir dir;
  Mesh good = SampleMesh();
  for (const std::string ext : {".obj", ".gltf", ".glb"}) {
    const std::string path = dir.File("keep" + ext);
    auto write = [&](const Mesh& m) {
      if (ext == ".obj")
        WriteObj({&m, Matrix3(), "n"}, path);
      else
        WriteGltf({&m, Matrix3(), "n"}, path, ext == ".glb");
    };
    write(good);
    const std::string before = ReadFile(path);
    const std::string mtlBefore = ext == ".obj" ? ReadFile(MtlPathFor(path)) : "";
    if (ext == ".obj") {
      ASSERT_NE(mtlBefore.find("newmtl mtl2"), std::string::npos) << mtlBefore;
    }

    Mesh badVertex = SampleMesh();
    badVertex.faces[1].v[2] = 5;
    EXPECT_THROW(write(badVertex), std::runtime_error) << ext;
    Mesh badTexture = SampleMesh();
    badTexture.tvFace[2].t[0] = 6;
    EXPECT_THROW(write(badTexture), std::runtime_error) << ext;
    Mesh notFinite = SampleMesh();
    notFinite.verts[3].y = std::numeric_limits<float>::quiet_NaN();
    EXPECT_THROW(write(notFinite), std::runtime_error) << ext;

    EXPECT_EQ(ReadFile(path), before) << ext;
    if (ext == ".obj") {
      EXPECT_EQ(ReadFile(MtlPathFor(path)), mtlBefore);
    }
  }
  // No temporary file is left behind: the three files and the .obj's materials.
  int files = 0;
  for (const auto& e : fs::directory_iterator(dir.Path())) files += e.is_regular_file();
  EXPECT_EQ(files, 4);
}

TEST(ExportErrors, UnwritableFolderIsReported) {
  Mesh mesh = SampleMesh();
  EXPECT_THROW(WriteObj({&mesh, Matrix3(), "n"}, "/nonexistent-folder/x.obj"), std::runtime_error);
  EXPECT_THROW(WriteGltf({&mesh, Matrix3(), "n"}, "/nonexistent-folder/x.glb", true), std::runtime_error);
}

}  // namespace
