#pragma once
// Helpers of the export tests: a scratch folder, meshes made by hand, and reading exported files back.
#include <gtest/gtest.h>
#include <tiny_gltf.h>
#include <sys/wait.h>
#include <unistd.h>

#include <max.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Exporters.h"

namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = fs::temp_directory_path() /
            ("wakeweave-export-" + std::to_string(::getpid()) + "-" + (info ? info->name() : "x"));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

// A frame as the demo names its files by it (<scene>-f<frame>.*): printf's %g.
inline std::string DemoFrameLabel(double frame) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", frame);
  return buf;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Five vertices, three faces: faces 0 and 2 use material 0, face 1 material 2. Channel 1 has a seam: vertex 1
// is used with two different texture vertices. Channel 2 has its own vertices and faces.
inline Mesh SampleMesh() {
  Mesh m;
  m.setNumVerts(5);
  const Point3 v[5] = {{0.1f, 0.2f, 0.3f},
                       {1.0f / 3.0f, -2.5f, 0.0f},
                       {4.0f, 5.0f, -6.0f},
                       {1e-7f, 123456.789f, -0.0625f},
                       {7.0f, 8.0f, 9.0f}};
  for (int i = 0; i < 5; ++i) m.setVert(i, v[i]);
  m.setNumFaces(3);
  for (int f = 0; f < 3; ++f) m.faces[f] = Face();  // sizing leaves the faces to be written whole
  m.faces[0].setVerts(0, 1, 2);
  m.faces[1].setVerts(1, 3, 2);
  m.faces[2].setVerts(2, 3, 4);
  m.faces[0].setMatID(0);
  m.faces[1].setMatID(2);
  m.faces[2].setMatID(0);

  m.setNumTVerts(6);
  const UVVert t[6] = {{0.0f, 0.0f, 0.0f}, {0.25f, 0.1f, 0.0f}, {0.5f, 0.75f, 0.0f},
                       {0.9f, 0.2f, 0.0f}, {0.3f, 0.6f, 0.0f},  {1.0f, 1.0f, 0.0f}};
  for (int i = 0; i < 6; ++i) m.setTVert(i, t[i]);
  m.setNumTVFaces(3);
  m.tvFace[0].setTVerts(0, 1, 2);
  m.tvFace[1].setTVerts(3, 4, 2);  // vertex 1 here has texture vertex 3, in face 0 texture vertex 1
  m.tvFace[2].setTVerts(2, 4, 5);

  m.setMapSupport(2);
  m.setNumMapVerts(2, 3);
  m.setMapVert(2, 0, UVVert(0.0f, 0.0f, 0.0f));
  m.setMapVert(2, 1, UVVert(0.5f, 0.25f, 0.0f));
  m.setMapVert(2, 2, UVVert(1.0f, 0.99f, 0.0f));
  m.mapFaces(2)[0].setTVerts(0, 1, 2);
  m.mapFaces(2)[1].setTVerts(1, 1, 2);
  m.mapFaces(2)[2].setTVerts(2, 1, 0);
  return m;
}

// A node turned 30 degrees about a tilted axis and moved, as a row-vector transform.
inline Matrix3 TurnedAndMoved() {
  Matrix3 tm = RotAngleAxisMatrix(Point3(1.0f, 2.0f, 3.0f), 0.5235988f);
  tm.Translate(Point3(10.0f, -20.0f, 5.5f));
  return tm;
}

inline tinygltf::Model LoadGltf(const std::string& path, bool binary) {
  tinygltf::TinyGLTF loader;
  tinygltf::Model model;
  std::string err, warn;
  const bool ok = binary ? loader.LoadBinaryFromFile(&model, &err, &warn, path)
                         : loader.LoadASCIIFromFile(&model, &err, &warn, path);
  EXPECT_TRUE(ok) << path << ": " << err;
  EXPECT_TRUE(err.empty()) << err;
  return model;
}

// An accessor's elements as floats (FLOAT) or as integers widened to float (UNSIGNED_INT), tightly packed.
template <typename T>
std::vector<T> AccessorData(const tinygltf::Model& model, int index) {
  std::vector<T> out;
  if (index < 0 || size_t(index) >= model.accessors.size()) {
    ADD_FAILURE() << "no accessor " << index;
    return out;
  }
  const tinygltf::Accessor& acc = model.accessors[size_t(index)];
  const tinygltf::BufferView& view = model.bufferViews[size_t(acc.bufferView)];
  const tinygltf::Buffer& buf = model.buffers[size_t(view.buffer)];
  const size_t comps = size_t(tinygltf::GetNumComponentsInType(uint32_t(acc.type)));
  const size_t n = acc.count * comps;
  EXPECT_LE(view.byteOffset + acc.byteOffset + n * sizeof(T), buf.data.size());
  if (view.byteOffset + acc.byteOffset + n * sizeof(T) > buf.data.size()) return out;
  out.resize(n);
  std::memcpy(out.data(), buf.data.data() + view.byteOffset + acc.byteOffset, n * sizeof(T));
  return out;
}

// A triangle corner as the exported file has it.
struct Corner {
  Point3 p;
  float u0 = 0, v0 = 0, u1 = 0, v1 = 0;
};

// Every triangle of a primitive, three corners each.
inline std::vector<std::array<Corner, 3>> PrimitiveTriangles(const tinygltf::Model& model,
                                                             const tinygltf::Primitive& prim) {
  std::vector<std::array<Corner, 3>> tris;
  const auto idx = AccessorData<uint32_t>(model, prim.indices);
  const auto pos = AccessorData<float>(model, prim.attributes.at("POSITION"));
  std::vector<float> t0, t1;
  if (prim.attributes.count("TEXCOORD_0")) t0 = AccessorData<float>(model, prim.attributes.at("TEXCOORD_0"));
  if (prim.attributes.count("TEXCOORD_1")) t1 = AccessorData<float>(model, prim.attributes.at("TEXCOORD_1"));
  for (size_t i = 0; i + 2 < idx.size(); i += 3) {
    std::array<Corner, 3> tri;
    for (size_t k = 0; k < 3; ++k) {
      const size_t c = idx[i + k];
      if (c * 3 + 2 >= pos.size()) {
        ADD_FAILURE() << "index " << c << " past the vertices";
        return {};
      }
      tri[k].p = Point3(pos[c * 3], pos[c * 3 + 1], pos[c * 3 + 2]);
      if (!t0.empty()) tri[k].u0 = t0[c * 2], tri[k].v0 = t0[c * 2 + 1];
      if (!t1.empty()) tri[k].u1 = t1[c * 2], tri[k].v1 = t1[c * 2 + 1];
    }
    tris.push_back(tri);
  }
  return tris;
}

// The glTF node matrix (column-major, column vectors) applied to a point.
inline Point3 ApplyGltfMatrix(const std::vector<double>& g, const Point3& p) {
  if (g.empty()) return p;
  return Point3(float(g[0] * p.x + g[4] * p.y + g[8] * p.z + g[12]),
                float(g[1] * p.x + g[5] * p.y + g[9] * p.z + g[13]),
                float(g[2] * p.x + g[6] * p.y + g[10] * p.z + g[14]));
}

// Where the validator runner and its npm package live.
inline std::string ValidatorScript() { return std::string(WAKEWEAVE_SOURCE_DIR) + "/tools/validate-gltf.js"; }
inline std::string ValidatorModules() {
  const char* env = std::getenv("GLTF_VALIDATOR_MODULES");
  return env ? env : std::string(WAKEWEAVE_BINARY_DIR) + "/tools/node_modules";
}

// Runs the validator on the files; returns its exit code and output.
inline int RunValidator(const std::vector<std::string>& files, std::string* output) {
  std::string cmd = "node '" + ValidatorScript() + "' --modules '" + ValidatorModules() + "'";
  for (const auto& f : files) cmd += " '" + f + "'";
  cmd += " 2>&1";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) output->append(buf, n);
  const int status = ::pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline void RequireValidator() {
  ASSERT_EQ(std::system("node --version >/dev/null 2>&1"), 0)
      << "Node.js (the `node` command) is missing: the glTF validator cannot run. Install nodejs (make deps).";
  ASSERT_TRUE(fs::exists(ValidatorModules() + "/gltf-validator/package.json"))
      << "the npm package gltf-validator is missing from " << ValidatorModules()
      << ": run `make validator` (npm install --prefix <build>/tools gltf-validator)";
}
