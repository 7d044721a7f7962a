// The exported glTF files pass the reference validator (Node.js and the npm package gltf-validator, which
// `make test` installs into the build folder). A missing validator fails the test: it never passes unchecked.
#include "export_util.h"

#include <regex>

namespace {

TEST(GltfValidator, AcceptsEveryKindOfExportedFile) {
  RequireValidator();
  if (HasFatalFailure()) return;
  ScratchDir dir;
  std::vector<std::string> files;
  auto both = [&](const std::string& stem, const Mesh& m, const Matrix3& tm) {
    for (bool bin : {false, true}) {
      files.push_back(dir.File(stem + (bin ? ".glb" : ".gltf")));
      WriteGltf({&m, tm, stem}, files.back(), bin);
    }
  };
  Mesh sample = SampleMesh();
  both("sample", sample, TurnedAndMoved());
  Mesh empty;
  both("empty", empty, TurnedAndMoved());
  Matrix3 shear(Point3(1.0f, 0.5f, 0.0f), Point3(0.0f, 1.0f, 0.0f), Point3(0.0f, 0.0f, 2.0f), Point3(3, 0, 0));
  both("sheared", sample, shear);
  Matrix3 mirrored = ScaleMatrix(Point3(-1.0f, 2.0f, 0.5f)) * RotateZMatrix(1.0f) * TransMatrix(Point3(1, 2, 3));
  both("mirrored", sample, mirrored);
  // Degenerate triangles (a trail that has not moved yet) are allowed.
  Mesh flat = SampleMesh();
  flat.faces[0].setVerts(0, 0, 1);
  flat.faces[2].setVerts(4, 4, 4);
  both("degenerate", flat, Matrix3());
  Mesh plain = SampleMesh();
  plain.setMapSupport(1, FALSE);
  plain.setMapSupport(2, FALSE);
  both("plain", plain, Matrix3());

  std::string out;
  const int code = RunValidator(files, &out);
  EXPECT_EQ(code, 0) << out;
  EXPECT_NE(out.find(std::to_string(files.size()) + " passed, 0 failed"), std::string::npos) << out;
}

TEST(GltfValidator, ReportsABrokenFile) {
  // The runner itself must fail on errors, or the test above proves nothing.
  RequireValidator();
  if (HasFatalFailure()) return;
  ScratchDir dir;
  Mesh sample = SampleMesh();
  const std::string path = dir.File("broken.gltf");
  WriteGltf({&sample, Matrix3(), "n"}, path, false);
  std::string text = ReadFile(path);
  // An accessor reaching past its buffer view.
  const std::string broken = std::regex_replace(text, std::regex("\"count\": *[0-9]+"), "\"count\": 100000",
                                                std::regex_constants::format_first_only);
  ASSERT_NE(broken, text);
  text = broken;
  std::ofstream(path, std::ios::binary) << text;

  std::string out;
  EXPECT_EQ(RunValidator({path}, &out), 1) << out;
  EXPECT_NE(out.find("error"), std::string::npos) << out;
}

}  // namespace
