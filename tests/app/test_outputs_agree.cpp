// The .obj and .gltf/.glb files that `eval` writes hold the same mesh as its exact JSON dump.
#include <nlohmann/json.hpp>
#include <tiny_gltf.h>

#include <array>
#include <cstring>
#include <sstream>

#include "app_runner.h"

namespace {

const char* kScene = R"({
  "animationRange": [0, 40],
  "nodes": [ {
    "name": "Ring",
    "position": { "keys": [[0, [0, 0, 0]], [20, [60, 30, 0]], [40, [120, 0, 10]]] },
    "rotation": { "keys": [[0, [0, 0, 1, 0]], [40, [1, 1, 0, 120]]] },
    "object": { "type": "circle", "radius": 4 },
    "modifiers": [ { "class": "Wakeweave",
      "params": { "old_frames": 5, "spline steps": 2, "generateAgeMap": true, "pb_urepeat": 3 } } ]
  } ]
})";

using Vec3 = std::array<float, 3>;

struct Dump {
  std::vector<Vec3> verts, tverts, map2verts;
  std::vector<std::array<int, 3>> faces, tvFaces, map2faces;
  std::vector<int> matIds;
};

Dump ReadDump(const std::string& text) {
  nlohmann::json j = nlohmann::json::parse(text);
  Dump d;
  for (auto& v : j["verts"]) d.verts.push_back({v[0].get<float>(), v[1].get<float>(), v[2].get<float>()});
  for (auto& v : j["tverts"]) d.tverts.push_back({v[0].get<float>(), v[1].get<float>(), v[2].get<float>()});
  for (auto& f : j["faces"]) d.faces.push_back({f[0].get<int>(), f[1].get<int>(), f[2].get<int>()});
  for (auto& f : j["tvFaces"]) d.tvFaces.push_back({f[0].get<int>(), f[1].get<int>(), f[2].get<int>()});
  for (auto& m : j["matIds"]) d.matIds.push_back(m.get<int>());
  if (!j["map2"].is_null()) {
    for (auto& v : j["map2"]["verts"]) d.map2verts.push_back({v[0].get<float>(), v[1].get<float>(), v[2].get<float>()});
    for (auto& f : j["map2"]["faces"]) d.map2faces.push_back({f[0].get<int>(), f[1].get<int>(), f[2].get<int>()});
  }
  return d;
}

// Floats of an accessor, tightly packed or strided.
std::vector<float> Floats(const tinygltf::Model& m, int accessor) {
  const tinygltf::Accessor& a = m.accessors[size_t(accessor)];
  const tinygltf::BufferView& bv = m.bufferViews[size_t(a.bufferView)];
  const int n = tinygltf::GetNumComponentsInType(uint32_t(a.type));
  const size_t stride = bv.byteStride ? bv.byteStride : sizeof(float) * size_t(n);
  const unsigned char* base = m.buffers[size_t(bv.buffer)].data.data() + bv.byteOffset + a.byteOffset;
  std::vector<float> out;
  for (size_t i = 0; i < a.count; ++i)
    for (int c = 0; c < n; ++c) {
      float f;
      std::memcpy(&f, base + i * stride + sizeof(float) * size_t(c), sizeof f);
      out.push_back(f);
    }
  return out;
}

std::vector<uint32_t> Indices(const tinygltf::Model& m, int accessor) {
  const tinygltf::Accessor& a = m.accessors[size_t(accessor)];
  const tinygltf::BufferView& bv = m.bufferViews[size_t(a.bufferView)];
  EXPECT_EQ(a.componentType, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT);
  const unsigned char* base = m.buffers[size_t(bv.buffer)].data.data() + bv.byteOffset + a.byteOffset;
  std::vector<uint32_t> out(a.count);
  std::memcpy(out.data(), base, a.count * sizeof(uint32_t));
  return out;
}

class OutputsAgree : public AppTest {
 protected:
  Dump EvalDump() {
    const std::string scene = Scene("ring.json", kScene);
    RunResult r = RunApp({"eval", scene, "--frame", "25", "-o", Path("ring.json.out.json").string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return ReadDump(ReadFile(Path("ring.json.out.json")));
  }

  // Every triangle of the glTF file, per material, against the dump's faces of that material in order.
  void ExpectGltfMatches(const std::string& ext) {
    Dump d = EvalDump();
    ASSERT_FALSE(d.faces.empty());
    ASSERT_FALSE(d.map2verts.empty());
    const std::string out = Path("ring" + ext).string();
    // In the node's own space with the host's axes, the file holds the dump's numbers.
    RunResult r =
        RunApp({"eval", Path("ring.json").string(), "--frame", "25", "--space", "object", "--up", "z", "-o", out});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    tinygltf::TinyGLTF loader;
    tinygltf::Model model;
    std::string err, warn;
    const bool ok = ext == ".glb" ? loader.LoadBinaryFromFile(&model, &err, &warn, out)
                                  : loader.LoadASCIIFromFile(&model, &err, &warn, out);
    ASSERT_TRUE(ok) << err;
    ASSERT_EQ(model.meshes.size(), 1u);
    std::map<int, std::vector<size_t>> facesOfMaterial;
    for (size_t f = 0; f < d.faces.size(); ++f) facesOfMaterial[d.matIds[f]].push_back(f);
    ASSERT_EQ(model.meshes[0].primitives.size(), facesOfMaterial.size());
    size_t p = 0;
    for (const auto& [mat, faces] : facesOfMaterial) {
      const tinygltf::Primitive& prim = model.meshes[0].primitives[p++];
      const std::vector<float> pos = Floats(model, prim.attributes.at("POSITION"));
      const std::vector<float> uv0 = Floats(model, prim.attributes.at("TEXCOORD_0"));
      const std::vector<float> uv1 = Floats(model, prim.attributes.at("TEXCOORD_1"));
      const std::vector<uint32_t> idx = Indices(model, prim.indices);
      ASSERT_EQ(idx.size(), faces.size() * 3) << "material " << mat;
      for (size_t k = 0; k < faces.size(); ++k)
        for (int c = 0; c < 3; ++c) {
          const uint32_t g = idx[k * 3 + size_t(c)];
          const Vec3& v = d.verts[size_t(d.faces[faces[k]][size_t(c)])];
          const Vec3& t = d.tverts[size_t(d.tvFaces[faces[k]][size_t(c)])];
          const Vec3& a = d.map2verts[size_t(d.map2faces[faces[k]][size_t(c)])];
          EXPECT_EQ(pos[g * 3], v[0]);
          EXPECT_EQ(pos[g * 3 + 1], v[1]);
          EXPECT_EQ(pos[g * 3 + 2], v[2]);
          // glTF's V runs the other way.
          EXPECT_NEAR(uv0[g * 2], t[0], 1e-6);
          EXPECT_NEAR(uv0[g * 2 + 1], 1.0f - t[1], 1e-6);
          EXPECT_NEAR(uv1[g * 2], a[0], 1e-6);
          EXPECT_NEAR(uv1[g * 2 + 1], 1.0f - a[1], 1e-6);
        }
    }
  }
};

}  // namespace

TEST_F(OutputsAgree, ObjHoldsTheDumpsVerticesTextureCoordinatesAndTriangles) {
  Dump d = EvalDump();
  ASSERT_FALSE(d.faces.empty());
  RunResult r = RunApp({"eval", Path("ring.json").string(), "--frame", "25", "--space", "object", "--up", "z", "-o",
                        Path("ring.obj").string()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::vector<Vec3> v, vt;
  std::vector<std::array<int, 6>> f;  // vertex and texture index of each corner, 0-based
  std::istringstream in(ReadFile(Path("ring.obj")));
  for (std::string line; std::getline(in, line);) {
    std::istringstream ls(line);
    std::string tag;
    ls >> tag;
    if (tag == "v") {
      Vec3 p;
      ls >> p[0] >> p[1] >> p[2];
      v.push_back(p);
    } else if (tag == "vt") {
      Vec3 p{0, 0, 0};
      ls >> p[0] >> p[1];
      vt.push_back(p);
    } else if (tag == "f") {
      std::array<int, 6> face{};
      for (int c = 0; c < 3; ++c) {
        std::string corner;
        ls >> corner;
        ASSERT_EQ(std::sscanf(corner.c_str(), "%d/%d", &face[size_t(c)], &face[size_t(3 + c)]), 2) << line;
        face[size_t(c)] -= 1;
        face[size_t(3 + c)] -= 1;
      }
      f.push_back(face);
    }
  }
  EXPECT_EQ(v, d.verts);
  ASSERT_EQ(vt.size(), d.tverts.size());
  for (size_t i = 0; i < vt.size(); ++i) {
    EXPECT_EQ(vt[i][0], d.tverts[i][0]);
    EXPECT_EQ(vt[i][1], d.tverts[i][1]);
  }
  // Faces are grouped by material; with one material they keep the dump's order.
  ASSERT_EQ(f.size(), d.faces.size());
  for (size_t i = 0; i < f.size(); ++i)
    for (size_t c = 0; c < 3; ++c) {
      EXPECT_EQ(f[i][c], d.faces[i][c]);
      EXPECT_EQ(f[i][3 + c], d.tvFaces[i][c]);
    }
}

TEST_F(OutputsAgree, GltfHoldsTheDumpsCornersAndTextureCoordinates) { ExpectGltfMatches(".gltf"); }

TEST_F(OutputsAgree, GlbHoldsTheDumpsCornersAndTextureCoordinates) { ExpectGltfMatches(".glb"); }
