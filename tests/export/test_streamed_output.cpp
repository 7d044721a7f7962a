// The writers' numbers and files: printf's text without printf, files handed on in bounded chunks, the
// same bytes as before, and failures that leave the target as it was.
#include <sys/resource.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <functional>
#include <limits>
#include <random>

#include "Errors.h"
#include "GltfSupport.h"
#include "MeshDump.h"
#include "OutputFile.h"
#include "export_util.h"

namespace {

std::string Printf9(double v) {
  char b[64];
  std::snprintf(b, sizeof b, "%.9g", v);
  return b;
}

std::string Formatted(double v) {
  char b[kFloatChars];
  return std::string(b, FormatFloat9(b, v));
}

void ExpectLikePrintf(double v) {
  ASSERT_EQ(Formatted(v), Printf9(v)) << std::hexfloat << v;
  ASSERT_EQ(Formatted(-v), Printf9(-v)) << std::hexfloat << -v;
}

TEST(FloatText, MatchesPrintfAtTheEdges) {
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> values = {0.0,          1.0,           0.1,        0.85,         1.0 / 3.0,
                                1e-4,         9.99999999e-5, 1e-5,       99999.9995,   999999999.0,
                                999999999.5,  1e9,           1e9 + 1,    9999999995.,  123456789.0,
                                1234567890.0, 16777216.0,    16777217.0, FLT_TRUE_MIN, FLT_MIN,
                                FLT_MAX,      DBL_TRUE_MIN,  DBL_MIN,    DBL_MAX,      inf,
                                0.5,          2.5,           1e16,       1e-300,       4.9406564584124654e-324};
  // Powers of ten and their neighbours: where the exponent form starts and digits carry over.
  for (int e = -45; e <= 45; ++e) {
    const double p = std::pow(10.0, e);
    for (double x : {p, double(float(p))}) {
      values.push_back(x);
      values.push_back(std::nextafter(x, 0.0));
      values.push_back(std::nextafter(x, inf));
      values.push_back(double(std::nextafter(float(x), 0.0f)));
      values.push_back(double(std::nextafter(float(x), inf)));
    }
  }
  for (double v : values) ExpectLikePrintf(v);
  EXPECT_EQ(Formatted(-0.0), "-0");
  EXPECT_EQ(Formatted(std::nan("")), Printf9(std::nan("")));
}

TEST(FloatText, MatchesPrintfOnRandomFloatsAndDoubles) {
  std::mt19937_64 rng(20261209);
  for (int i = 0; i < 1000000; ++i) {
    const auto bits = uint32_t(rng());
    float f;
    std::memcpy(&f, &bits, 4);
    if (std::isfinite(f)) ExpectLikePrintf(f);
  }
  for (int i = 0; i < 200000; ++i) {
    const uint64_t bits = rng();
    double d;
    std::memcpy(&d, &bits, 8);
    if (std::isfinite(d)) ExpectLikePrintf(d);
  }
  // Floats of a mesh's size: most of an export's numbers.
  std::uniform_real_distribution<float> coord(-1000.0f, 1000.0f);
  for (int i = 0; i < 300000; ++i) ExpectLikePrintf(coord(rng));
}

TEST(FloatText, MatchesPrintfNextToHalfwayAtTheNinthDigit) {
  // Ten significant digits ending in 5 lie halfway between two nine-digit texts; the doubles and floats
  // nearest them and their neighbours must round as printf rounds their exact values.
  std::mt19937_64 rng(7);
  std::uniform_int_distribution<long> digits(100000000, 999999999);
  std::uniform_int_distribution<int> exponent(-40, 40);
  for (int i = 0; i < 100000; ++i) {
    const std::string text = std::to_string(digits(rng)) + "5e" + std::to_string(exponent(rng));
    const double d = std::strtod(text.c_str(), nullptr);
    const float f = std::strtof(text.c_str(), nullptr);
    for (double v : {d, std::nextafter(d, 0.0), std::nextafter(d, DBL_MAX), double(f), double(std::nextafter(f, 0.0f)),
                     double(std::nextafter(f, FLT_MAX))})
      ExpectLikePrintf(v);
  }
}

TEST(FloatText, FloatsExactlyHalfwayRoundToEvenAsPrintfDoes) {
  // An odd m over 2^j has j decimal places and ends in 5; with 10 - j whole digits its exact value has ten
  // significant digits and lies halfway between two nine-digit texts: an estimate must not decide it.
  std::mt19937_64 rng(11);
  int drawn = 0;
  for (int j = 3; j <= 9; ++j) {
    const double scale = std::ldexp(1.0, -j);
    const double lo = std::pow(10.0, 9 - j), hi = std::min(10 * lo, std::ldexp(1.0, 24 - j));
    std::uniform_int_distribution<uint32_t> m(uint32_t(lo / scale), uint32_t(hi / scale) - 2);
    for (int i = 0; i < 20000; ++i, ++drawn) {
      const double v = double(m(rng) | 1u) * scale;
      const std::string ten = std::to_string(uint64_t(v * std::pow(10.0, j)));
      ASSERT_TRUE(double(float(v)) == v && ten.size() == 10 && ten.back() == '5') << ten;
      ExpectLikePrintf(v);
    }
  }
  EXPECT_EQ(drawn, 7 * 20000);
}

TEST(FloatText, UnsignedAsDecimal) {
  char b[20];
  std::vector<uint64_t> values = {0, 4294967295u, 4294967296u, std::numeric_limits<uint64_t>::max()};
  // Every length of number, at both of its ends, and values between.
  std::mt19937_64 rng(5);
  for (uint64_t p = 1, k = 0; k < 20; ++k, p *= 10) {
    values.insert(values.end(), {p, p - 1, p + 1, 2 * p - 1, p + rng() % (p * 9)});
    for (int i = 0; i < 1000; ++i) values.push_back(rng() % (p * 10));
  }
  for (uint64_t v : values) ASSERT_EQ(std::string(b, FormatUnsigned(b, v)), std::to_string(v));
}

// A sink that records its chunks.
class RecordingSink : public ChunkSink {
 public:
  std::vector<size_t> sizes;
  std::string text;
  using ChunkSink::Drain;

 private:
  void Deliver(const char* p, size_t n) override {
    sizes.push_back(n);
    text.append(p, n);
  }
};

TEST(ChunkSink, HandsOnFullChunksInOrderUntilDrained) {
  RecordingSink sink;
  std::string expected;
  std::mt19937 rng(3);
  while (expected.size() < 4 * ChunkSink::kChunkBytes) {
    switch (rng() % 4) {
      case 0: {
        const char c = char('a' + rng() % 26);
        sink << c;
        expected += c;
        break;
      }
      case 1: {
        // Runs shorter and longer than a chunk, some crossing a chunk's end.
        const std::string run(rng() % 3 ? rng() % 300 : rng() % (ChunkSink::kChunkBytes * 3 / 2),
                              char('A' + rng() % 26));
        sink << run;
        expected += run;
        break;
      }
      case 2: {
        float f;
        const uint32_t bits = rng();
        std::memcpy(&f, &bits, 4);
        if (!std::isfinite(f)) f = 1.5f;
        sink.Float(f);
        expected += Printf9(f);
        break;
      }
      default: {
        const uint64_t v = uint64_t(rng()) * rng();
        sink.Unsigned(v);
        expected += std::to_string(v);
      }
    }
    ASSERT_EQ(sink.Count(), expected.size());
  }
  // Nothing but full chunks goes out before the end.
  ASSERT_FALSE(sink.sizes.empty());
  for (size_t n : sink.sizes) EXPECT_EQ(n, ChunkSink::kChunkBytes);
  EXPECT_EQ(sink.text, expected.substr(0, sink.text.size()));
  sink.Drain();
  EXPECT_LE(sink.sizes.back(), ChunkSink::kChunkBytes);
  EXPECT_EQ(sink.text, expected);
  sink.Drain();  // nothing left: no empty chunk
  EXPECT_NE(sink.sizes.back(), 0u);
}

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::vector<std::string> FolderEntries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(AtomicFile, ReplacesTheTargetOnlyWhenCommitted) {
  ScratchDir dir;
  const std::string path = dir.File("out.txt");
  WriteFile(path, "old");
  {
    AtomicFile f(path);
    f << std::string(ChunkSink::kChunkBytes * 2 + 5, 'x');  // chunks already in the temporary
    EXPECT_EQ(ReadFile(path), "old");
    EXPECT_EQ(FolderEntries(dir.Path()).size(), 2u);
  }  // dropped: the temporary goes
  EXPECT_EQ(ReadFile(path), "old");
  EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"out.txt"});
  {
    AtomicFile f(path);
    f << "new";
    f.Commit();
  }
  EXPECT_EQ(ReadFile(path), "new");
  EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"out.txt"});
  EXPECT_THROW(AtomicFile(dir.File("missing/out.txt")), std::runtime_error);
}

// A rectangular grid of faces in two materials and two smoothing groups, wavy so that its normals differ,
// with channel-1 coordinates when asked: rows x columns quads.
Mesh Grid(int rows, int cols, bool tex) {
  Mesh m;
  const int nv = (rows + 1) * (cols + 1);
  m.setNumVerts(nv);
  for (int r = 0; r <= rows; ++r)
    for (int c = 0; c <= cols; ++c)
      m.setVert(r * (cols + 1) + c, Point3(float(c) * 0.37f, float(r) * 1.1f, std::sin(float(c * r) * 0.01f) * 3.3f));
  m.setNumFaces(rows * cols * 2);
  if (tex) {
    m.setNumTVerts(nv);
    for (int i = 0; i < nv; ++i)
      m.setTVert(i, UVVert(float(i % (cols + 1)) / float(cols), float(i / (cols + 1)) / 7.0f, 0.0f));
    m.setNumTVFaces(rows * cols * 2);
  }
  for (int r = 0, f = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      const DWORD a = DWORD(r * (cols + 1) + c), b = a + 1, d = a + DWORD(cols + 1), e = d + 1;
      for (const auto& tri : {std::array<DWORD, 3>{a, b, e}, std::array<DWORD, 3>{a, e, d}}) {
        m.faces[f].setVerts(tri[0], tri[1], tri[2]);
        m.faces[f].setMatID(MtlID(c * 2 < cols ? 0 : 3));
        m.faces[f].setSmGroup(r % 5 == 4 ? 0 : DWORD(1) << (r % 2));
        if (tex) m.tvFace[f].setTVerts(tri[0], tri[1], tri[2]);
        ++f;
      }
    }
  return m;
}

// What tinygltf's own writer makes of the model as the exporter builds it, with the buffer in memory.
std::string TinyGltfBytes(const Mesh& mesh, const Matrix3& tm, const std::string& name, bool binary) {
  tinygltf::Model model = gltfsupport::NewModel();
  tinygltf::Node node;
  node.name = gltfsupport::Utf8Name(name);
  node.mesh = gltfsupport::AddTrailMesh(model, mesh, OutputSpace(tm, {}), name);
  model.nodes.push_back(node);
  tinygltf::Scene scene;
  scene.nodes.push_back(0);
  model.scenes.push_back(scene);
  model.defaultScene = 0;
  std::ostringstream os(std::ios::out | std::ios::binary);
  EXPECT_TRUE(tinygltf::TinyGLTF().WriteGltfSceneToStream(&model, os, !binary, binary));
  return os.str();
}

TEST(StreamedGltf, TheSameBytesAsTinygltfWritesWholeInMemory) {
  ScratchDir dir;
  const Matrix3 mirrored = ScaleMatrix(Point3(-1.0f, 1.0f, 2.0f)) * TurnedAndMoved();
  const Mesh sample = SampleMesh();
  // Buffers of each length modulo 3 (the base64 text's tail) and of several chunks, carried across pieces.
  const Mesh grids[] = {Grid(1, 1, false), Grid(2, 3, true), Grid(3, 5, false), Grid(120, 250, true),
                        Grid(7, 11, true)};
  const Mesh empty;
  std::vector<const Mesh*> meshes = {&sample, &empty};
  for (const Mesh& g : grids) meshes.push_back(&g);
  for (const Mesh* mesh : meshes)
    for (bool binary : {false, true})
      for (const Matrix3& tm : {TurnedAndMoved(), mirrored}) {
        // A name that looks like the writer's own placeholder is still only a name.
        const std::string name = "Trail \"\xC3\xA9\" @@wakeweave buffer data@@";
        const std::string path = dir.File(binary ? "t.glb" : "t.gltf");
        WriteGltf(ExportMesh{mesh, tm, name}, path, binary);
        const std::string got = ReadFile(path), want = TinyGltfBytes(*mesh, tm, name, binary);
        ASSERT_EQ(got.size(), want.size()) << mesh->getNumFaces() << " faces, binary " << binary;
        ASSERT_TRUE(got == want) << mesh->getNumFaces() << " faces, binary " << binary;
      }
  EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string>{"t.glb", "t.gltf"}));
}

TEST(StreamedGltf, AModelWithItsBufferInMemoryIsWrittenAsTinygltfWritesIt) {
  // The animation of frames and the spline export keep their bytes in the model's buffer.
  ScratchDir dir;
  const Mesh grid = Grid(9, 13, true);
  for (bool binary : {false, true}) {
    tinygltf::Model model = gltfsupport::NewModel();
    tinygltf::Node node;
    node.mesh = gltfsupport::AddTrailMesh(model, grid, OutputSpace(TurnedAndMoved(), {}), "g");
    const float extra[] = {1.0f, 2.0f, 3.0f};  // more bytes after the mesh's, as the animation adds keys
    gltfsupport::BufferBuilder(model).Add(extra, 12, 0, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, 1);
    model.nodes.push_back(node);
    std::ostringstream os(std::ios::out | std::ios::binary);
    ASSERT_TRUE(tinygltf::TinyGLTF().WriteGltfSceneToStream(&model, os, !binary, binary));
    const std::string path = dir.File(binary ? "m.glb" : "m.gltf");
    gltfsupport::WriteModel(model, path, binary);
    EXPECT_TRUE(ReadFile(path) == os.str()) << "binary " << binary;
    EXPECT_FALSE(model.buffers.at(0).data.empty()) << "the model keeps its buffer";
  }
}

TEST(StreamedDump, TheStringAndTheFileAgreeAndKeepPrintfsNumbers) {
  ScratchDir dir;
  const Mesh grid = Grid(60, 80, true);
  const std::string path = dir.File("dump.json");
  WriteMeshDump(grid, path);
  const std::string text = ReadFile(path);
  EXPECT_GT(text.size(), 2 * ChunkSink::kChunkBytes);
  EXPECT_TRUE(text == MeshDumpJson(grid));
  // The vertex list is printf's, point for point.
  std::string verts = "{\n  \"verts\":   [";
  for (int i = 0; i < grid.getNumVerts(); ++i) {
    const Point3& p = grid.verts[i];
    verts += (i ? ", [" : "[") + Printf9(p.x) + ", " + Printf9(p.y) + ", " + Printf9(p.z) + "]";
  }
  verts += "],\n  \"faces\":   [[0, 1, 82], [0, 82, 81], [1, 2, 83]";
  EXPECT_EQ(text.substr(0, verts.size()), verts);
  EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"dump.json"});
}

TEST(StreamedDump, ANonFiniteValueLeavesTheTargetAsItWas) {
  ScratchDir dir;
  Mesh grid = Grid(60, 80, false);
  grid.verts[grid.getNumVerts() - 1].y = std::numeric_limits<float>::quiet_NaN();  // found after chunks went out
  const std::string path = dir.File("dump.json");
  WriteFile(path, "old");
  try {
    WriteMeshDump(grid, path);
    ADD_FAILURE() << "no error";
  } catch (const RunError& e) {
    EXPECT_NE(std::string(e.what()).find("non-finite value in verts[" + std::to_string(grid.getNumVerts() - 1) + "]"),
              std::string::npos)
        << e.what();
  }
  EXPECT_EQ(ReadFile(path), "old");
  EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"dump.json"});
}

TEST(StreamedObj, VertexLinesArePrintfsAndTheFileIsWhole) {
  ScratchDir dir;
  const Mesh grid = Grid(40, 50, true);
  const std::string path = dir.File("g.obj");
  WriteObj(ExportMesh{&grid, TurnedAndMoved(), "G"}, path);
  std::istringstream in(ReadFile(path));
  const OutputSpace space(TurnedAndMoved(), {});
  int v = 0, faces = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("v ", 0) == 0) {
      ASSERT_LT(v, grid.getNumVerts());
      const Point3 p = space.Point(grid.verts[v++]);
      ASSERT_EQ(line, "v " + Printf9(p.x) + " " + Printf9(p.y) + " " + Printf9(p.z));
    } else if (line.rfind("f ", 0) == 0) {
      ++faces;
    }
  }
  EXPECT_EQ(v, grid.getNumVerts());
  EXPECT_EQ(faces, grid.getNumFaces());
  EXPECT_EQ(ReadFile(dir.File("g.mtl")).substr(0, 66),
            "# Wakeweave materials: one plain diffuse material per material id\n");
}

// Runs write in a child whose files may grow to `limit` bytes (a full disk, as far as the writer can tell)
// and returns its exit code: 3 when write threw "cannot write <path>: File too large", 2 when it returned.
int UnderAFileSizeLimit(rlim_t limit, const std::string& path, const std::function<void()>& write) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of killing the process
    const rlimit lim{limit, limit};
    setrlimit(RLIMIT_FSIZE, &lim);
    try {
      write();
    } catch (const std::runtime_error& e) {
      _exit(std::string(e.what()) == "cannot write " + path + ": File too large" ? 3 : 4);
    }
    _exit(2);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(StreamedWriters, AFileThatCannotGrowIsAnErrorAndLeavesTheTargetsAsTheyWere) {
  ScratchDir dir;
  const Mesh grid = Grid(100, 120, true);  // every file several chunks long
  struct Case {
    std::string file;
    std::function<void(const std::string&)> write;
  };
  const ExportMesh em{&grid, TurnedAndMoved(), "G"};
  const std::vector<Case> cases = {
      {"d.json", [&](const std::string& p) { WriteMeshDump(grid, p); }},
      {"o.obj", [&](const std::string& p) { WriteObj(em, p); }},
      {"b.glb", [&](const std::string& p) { WriteGltf(em, p, true); }},
      {"t.gltf", [&](const std::string& p) { WriteGltf(em, p, false); }},
  };
  for (const Case& c : cases) {
    const std::string path = dir.File(c.file);
    WriteFile(path, "old");
    WriteFile(dir.File("o.mtl"), "old mtl");
    // Past a few chunks, and just short of the whole file.
    c.write(path);
    const rlim_t whole = rlim_t(fs::file_size(path));
    WriteFile(path, "old");
    WriteFile(dir.File("o.mtl"), "old mtl");
    for (rlim_t limit : {rlim_t(ChunkSink::kChunkBytes * 2 + 100), whole - 1}) {
      EXPECT_EQ(UnderAFileSizeLimit(limit, path, [&] { c.write(path); }), 3) << c.file << " limit " << limit;
      EXPECT_EQ(ReadFile(path), "old") << c.file;
      EXPECT_EQ(ReadFile(dir.File("o.mtl")), "old mtl") << c.file;
    }
    EXPECT_EQ(UnderAFileSizeLimit(whole, path, [&] { c.write(path); }), 2) << c.file;
    EXPECT_EQ(fs::file_size(path), whole) << c.file;
    fs::remove(path);
  }
  EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"o.mtl"});
}

}  // namespace
