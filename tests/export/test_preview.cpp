// Preview pictures: read back as other programs read them (pngcheck, libpng's own reader), and looked at:
// size, framing, up axis, the checker on channel 1, shading, empty meshes, failures, the command and the demo.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

#include "plugin_fixture.h"

#include "export_util.h"
#include "Demo.h"
#include "DemoScenes.h"
#include "Normals.h"
#include "Preview.h"
#include "ProgressAgent.h"
#include "Regenerate.h"
#include "SceneLoader.h"

namespace {

using previewdetail::kBackground;

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
  auto operator<=>(const Rgb&) const = default;
};

// A decoded picture with the questions the tests ask of it.
struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;

  Rgb At(int x, int y) const {
    const uint8_t* p = rgb.data() + (size_t(y) * size_t(width) + size_t(x)) * 3;
    return {p[0], p[1], p[2]};
  }
  bool IsTrail(int x, int y) const { return At(x, y) != Rgb{kBackground[0], kBackground[1], kBackground[2]}; }
  int TrailPixels() const {
    int n = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) n += IsTrail(x, y);
    return n;
  }
  double TrailShare() const { return double(TrailPixels()) / double(width * height); }
  // The rows and columns the trail reaches: {x0, y0, x1, y1}, inclusive; {-1, ...} when there is none.
  std::array<int, 4> TrailBox() const {
    std::array<int, 4> box{-1, -1, -1, -1};
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if (IsTrail(x, y)) {
          if (box[0] < 0) box = {x, y, x, y};
          box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x), std::max(box[3], y)};
        }
    return box;
  }
  std::set<Rgb> TrailColours() const {
    std::set<Rgb> out;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if (IsTrail(x, y)) out.insert(At(x, y));
    return out;
  }
};

Picture FromImage(const PreviewImage& im) { return Picture{im.width, im.height, im.rgb}; }

// libpng's simplified reader, a different path through the library than the writer's row calls.
Picture DecodePng(const std::string& path) {
  Picture pic;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) {
    ADD_FAILURE() << path << ": " << image.message;
    return pic;
  }
  image.format = PNG_FORMAT_RGB;
  pic.rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pic.rgb.data(), 0, nullptr)) {
    ADD_FAILURE() << path << ": " << image.message;
    png_image_free(&image);
    return Picture{};
  }
  pic.width = int(image.width);
  pic.height = int(image.height);
  return pic;
}

// pngcheck, a PNG reader of its own, checks every chunk and CRC and says the size and colour type.
std::string PngCheck(const std::string& path, int* code) {
  std::string out;
  FILE* p = ::popen(("pngcheck '" + path + "' 2>&1").c_str(), "r");
  if (!p) {
    *code = -1;
    return out;
  }
  char buf[1024];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int status = ::pclose(p);
  *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

// A strip along X, 12 quads long: each row is the cross-section's points (y, z) at x = 0 to 12, all faces in
// smoothing group `group`; with `mapped`, channel 1 has u = x / 12 (0 to 1 along) and v from 0 to 1 across.
Mesh Strip(const std::vector<std::pair<float, float>>& section, DWORD group, bool mapped) {
  constexpr int kQuads = 12;
  const int across = int(section.size());
  Mesh m;
  m.setNumVerts((kQuads + 1) * across);
  for (int i = 0; i <= kQuads; ++i)
    for (int s = 0; s < across; ++s)
      m.setVert(i * across + s, Point3(float(i), section[size_t(s)].first, section[size_t(s)].second));
  m.setNumFaces(kQuads * (across - 1) * 2);
  for (int k = 0; k < m.getNumFaces(); ++k) m.faces[k] = Face();
  int f = 0;
  for (int i = 0; i < kQuads; ++i)
    for (int s = 0; s + 1 < across; ++s) {
      const int a = i * across + s, b = a + across;  // this row and the next
      m.faces[f++].setVerts(a, b, b + 1);
      m.faces[f++].setVerts(a, b + 1, a + 1);
    }
  for (int k = 0; k < m.getNumFaces(); ++k) m.faces[k].setSmGroup(group);
  if (mapped) {
    m.setNumTVerts(m.getNumVerts());
    for (int v = 0; v < m.getNumVerts(); ++v)
      m.setTVert(v, UVVert(m.verts[v].x / float(kQuads), float(v % across) / float(across - 1), 0.0f));
    m.setNumTVFaces(m.getNumFaces());
    for (int k = 0; k < m.getNumFaces(); ++k) m.tvFace[k].setTVerts(m.faces[k].v[0], m.faces[k].v[1], m.faces[k].v[2]);
  }
  return m;
}

// A flat ribbon in the host's XY plane, 12 long and 2 wide.
Mesh FlatRibbon(bool mapped) { return Strip({{0.0f, 0.0f}, {2.0f, 0.0f}}, 1, mapped); }

class Preview : public ::testing::Test {
 protected:
  ScratchDir dir;
};

TEST_F(Preview, FileIsAPngOfTheStatedSizeThatOtherReadersOpen) {
  const Mesh ribbon = FlatRibbon(true);
  const std::string path = dir.File("trail.png");
  WritePreview(ExportMesh{&ribbon, Matrix3(), "Ribbon"}, path);

  int code = 0;
  const std::string check = PngCheck(path, &code);
  EXPECT_EQ(code, 0) << check;
  EXPECT_NE(check.find("OK:"), std::string::npos) << check;
  EXPECT_NE(check.find("(640x480, 24-bit RGB, non-interlaced"), std::string::npos) << check;

  const Picture pic = DecodePng(path);
  EXPECT_EQ(pic.width, kPreviewWidth);
  EXPECT_EQ(pic.height, kPreviewHeight);
  // The file holds exactly the rendered picture.
  const PreviewImage rendered = RenderPreview(ribbon, Matrix3());
  EXPECT_TRUE(pic.rgb == rendered.rgb);
  // Only the file is left in the folder: the temporary one was renamed.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST_F(Preview, CameraFramesTheTrailWithABorderOfBackground) {
  // A ribbon far from the origin and large, another tiny: each fills the picture the same way.
  for (const float size : {1.0f, 1e-3f, 5e4f}) {
    Matrix3 tm = ScaleMatrix(Point3(size, size, size));
    tm.Translate(Point3(1e5f, -3e4f, 250.0f));
    const Mesh ribbon = FlatRibbon(false);
    const Picture pic = FromImage(RenderPreview(ribbon, tm));
    ASSERT_EQ(pic.width, 640);
    ASSERT_EQ(pic.height, 480);
    const double share = pic.TrailShare();
    EXPECT_GT(share, 0.08) << "size " << size;
    const auto box = pic.TrailBox();
    ASSERT_GE(box[0], 0) << "size " << size;
    // Not cropped: a border of background all round.
    EXPECT_GT(box[0], 4);
    EXPECT_GT(box[1], 4);
    EXPECT_LT(box[2], pic.width - 5);
    EXPECT_LT(box[3], pic.height - 5);
    // Not lost in the distance: the trail spans most of the picture one way.
    EXPECT_GT(std::max(double(box[2] - box[0]) / pic.width, double(box[3] - box[1]) / pic.height), 0.6)
        << "size " << size;
  }
}

// A "T" standing on the host's ground: a post up the host's Z (1 wide, 10 tall) under a bar along X at the top
// (8 wide, 1 tall), both in the XZ plane.
Mesh StandingT() {
  Mesh m;
  const Point3 quads[2][4] = {{{-0.5, 0.0, 0.0}, {0.5, 0.0, 0.0}, {0.5, 0.0, 10.0}, {-0.5, 0.0, 10.0}},
                              {{-4.0, 0.0, 10.0}, {4.0, 0.0, 10.0}, {4.0, 0.0, 11.0}, {-4.0, 0.0, 11.0}}};
  m.setNumVerts(8);
  m.setNumFaces(4);
  for (int k = 0; k < 4; ++k) m.faces[k] = Face();
  for (int q = 0; q < 2; ++q) {
    for (int k = 0; k < 4; ++k) m.setVert(q * 4 + k, quads[q][k]);
    m.faces[q * 2].setVerts(q * 4, q * 4 + 1, q * 4 + 2);
    m.faces[q * 2 + 1].setVerts(q * 4, q * 4 + 2, q * 4 + 3);
  }
  return m;
}

TEST_F(Preview, TheHostsZIsUpInThePicture) {
  const Mesh t = StandingT();
  const Picture pic = FromImage(RenderPreview(t, Matrix3()));
  const auto box = pic.TrailBox();
  ASSERT_GE(box[0], 0);
  EXPECT_GT(box[3] - box[1], box[2] - box[0]) << "the T stands taller than it is wide";
  // The bar is at the top: the widest row lies in the upper fifth of the trail.
  int widestRow = -1, widest = 0;
  for (int y = box[1]; y <= box[3]; ++y) {
    int n = 0;
    for (int x = 0; x < pic.width; ++x) n += pic.IsTrail(x, y);
    if (n > widest) widest = n, widestRow = y;
  }
  EXPECT_LT(widestRow, box[1] + (box[3] - box[1]) / 5) << "rows " << box[1] << " to " << box[3];

  // The exports keep the host's axes with --up z; the camera then stands on Z, so the picture is the same.
  EXPECT_TRUE(FromImage(RenderPreview(t, Matrix3(), ExportSpaceOptions{false, true})).rgb == pic.rgb);
  // In world space the node's transform places it: a node lying on its back shows the T lying down; in the
  // node's object space it stands again.
  const Matrix3 onItsBack = RotateXMatrix(-1.5707964f);
  const Picture lying = FromImage(RenderPreview(t, onItsBack));
  const auto lyingBox = lying.TrailBox();
  EXPECT_LT(lyingBox[3] - lyingBox[1], lyingBox[2] - lyingBox[0]);
  EXPECT_TRUE(FromImage(RenderPreview(t, onItsBack, ExportSpaceOptions{true, false})).rgb == pic.rgb);
}

TEST_F(Preview, CheckerShowsOnChannelOne) {
  const Picture plain = FromImage(RenderPreview(FlatRibbon(false), Matrix3()));
  const Picture mapped = FromImage(RenderPreview(FlatRibbon(true), Matrix3()));
  // A flat ribbon in one light has one shade: without mapping, one colour.
  const std::set<Rgb> plainColours = plain.TrailColours();
  ASSERT_EQ(plainColours.size(), 1u);
  const Rgb shade = *plainColours.begin();

  // With mapping, the same pixels are the trail; the light squares keep that shade and the dark ones are darker,
  // each about half of the ribbon.
  int light = 0, dark = 0, moved = 0;
  for (int y = 0; y < plain.height; ++y)
    for (int x = 0; x < plain.width; ++x) {
      if (plain.IsTrail(x, y) != mapped.IsTrail(x, y)) ++moved;
      if (!mapped.IsTrail(x, y)) continue;
      const Rgb c = mapped.At(x, y);
      if (c == shade)
        ++light;
      else if (c.r < shade.r && c.g < shade.g && c.b < shade.b)
        ++dark;
    }
  EXPECT_EQ(moved, 0);
  EXPECT_EQ(light + dark, mapped.TrailPixels()) << "every pixel is a square of one of the two colours";
  EXPECT_GT(light, mapped.TrailPixels() / 3);
  EXPECT_GT(dark, mapped.TrailPixels() / 3);

  // 8 squares per unit: along the ribbon (u 0 to 1) the colour changes 7 times on a row through its middle.
  const auto box = mapped.TrailBox();
  int bestChanges = 0;
  for (int y = box[1]; y <= box[3]; ++y) {
    int changes = 0;
    bool inside = false;
    Rgb last{};
    for (int x = 0; x < mapped.width; ++x) {
      if (!mapped.IsTrail(x, y)) continue;
      if (inside && mapped.At(x, y) != last) ++changes;
      last = mapped.At(x, y), inside = true;
    }
    bestChanges = std::max(bestChanges, changes);
  }
  EXPECT_GE(bestChanges, 7);
}

// A roof along X: two slopes meeting at a ridge (y = 1, z = 1).
Mesh Roof(DWORD group) { return Strip({{0.0f, 0.0f}, {1.0f, 1.0f}, {2.0f, 0.0f}}, group, false); }

TEST_F(Preview, ShadingFollowsTheNormalsOfTheSmoothingGroups) {
  // Without a smoothing group each slope is flat: one shade each, different, as the slopes face the light
  // differently.
  const Picture faceted = FromImage(RenderPreview(Roof(0), Matrix3()));
  EXPECT_EQ(faceted.TrailColours().size(), 2u);
  // In one group the ridge's normal is shared: the shade runs across each slope, from its edge to the ridge.
  const Picture smooth = FromImage(RenderPreview(Roof(1), Matrix3()));
  EXPECT_GT(smooth.TrailColours().size(), 20u);
  // The same pixels are the roof either way: only the shading differs.
  int differ = 0;
  for (int y = 0; y < smooth.height; ++y)
    for (int x = 0; x < smooth.width; ++x) differ += smooth.IsTrail(x, y) != faceted.IsTrail(x, y);
  EXPECT_EQ(differ, 0);
  // A node that mirrors the roof: the picture is the mirror image, shaded as lit, not dark as if seen from behind.
  const Picture mirrored = FromImage(RenderPreview(Roof(0), ScaleMatrix(Point3(1.0f, -1.0f, 1.0f))));
  EXPECT_EQ(mirrored.TrailColours(), faceted.TrailColours());
}

TEST_F(Preview, EmptyAndFallbackMeshesStillGiveAPicture) {
  Mesh empty;
  const std::string path = dir.File("empty.png");
  WritePreview(ExportMesh{&empty, Matrix3(), "Nothing"}, path);
  const Picture none = DecodePng(path);
  EXPECT_EQ(none.width, 640);
  EXPECT_EQ(none.height, 480);
  EXPECT_EQ(none.TrailPixels(), 0);
  EXPECT_EQ(none.rgb.size(), size_t(640 * 480 * 3));

  // Vertices that no face uses are not drawn and do not move the camera.
  Mesh stray = FlatRibbon(false);
  const Picture alone = FromImage(RenderPreview(stray, Matrix3()));
  stray.setNumVerts(stray.getNumVerts() + 1, TRUE);
  stray.setVert(stray.getNumVerts() - 1, Point3(1000.0f, 1000.0f, 1000.0f));
  EXPECT_TRUE(FromImage(RenderPreview(stray, Matrix3())).rgb == alone.rgb);

  // The host's fallback, the unit triangle.
  Mesh tri;
  tri.setNumVerts(3);
  tri.setVert(0, Point3(0, 0, 0));
  tri.setVert(1, Point3(1, 0, 0));
  tri.setVert(2, Point3(0, 1, 0));
  tri.setNumFaces(1);
  tri.faces[0] = Face();
  tri.faces[0].setVerts(0, 1, 2);
  EXPECT_GT(FromImage(RenderPreview(tri, Matrix3())).TrailShare(), 0.05);

  // A trail whose rows have not moved apart yet has no area: its edges show, along the shape's line.
  Mesh collapsed = FlatRibbon(false);
  for (int v = 0; v < collapsed.getNumVerts(); ++v) collapsed.verts[v].x = 0.0f;
  const Picture line = FromImage(RenderPreview(collapsed, Matrix3()));
  EXPECT_GT(line.TrailPixels(), 100);
  const auto lineBox = line.TrailBox();
  EXPECT_GT(lineBox[2] - lineBox[0], 200) << "the line runs across the picture";
  // A mesh whose faces all sit on one point has no size: the picture is of what there is, the background.
  Mesh point = tri;
  for (int v = 0; v < 3; ++v) point.setVert(v, Point3(2, 2, 2));
  EXPECT_EQ(FromImage(RenderPreview(point, Matrix3())).TrailPixels(), 0);
}

TEST_F(Preview, BadDataAndUnwritablePathsAreErrorsThatWriteNothing) {
  Mesh bad = FlatRibbon(true);
  bad.verts[3].y = std::nanf("");
  const std::string path = dir.File("bad.png");
  EXPECT_THROW(WritePreview(ExportMesh{&bad, Matrix3(), "Bad"}, path), std::runtime_error);
  Mesh wrongIndex = FlatRibbon(true);
  wrongIndex.faces[2].v[1] = 9999;
  EXPECT_THROW(WritePreview(ExportMesh{&wrongIndex, Matrix3(), "Bad"}, path), std::runtime_error);
  Mesh wrongMap = FlatRibbon(true);
  wrongMap.tvFace[0].t[0] = 9999;
  EXPECT_THROW(WritePreview(ExportMesh{&wrongMap, Matrix3(), "Bad"}, path), std::runtime_error);
  // A transform that throws the points out of range.
  const Mesh ribbon = FlatRibbon(false);
  Matrix3 huge = ScaleMatrix(Point3(3e38f, 3e38f, 3e38f));
  EXPECT_THROW(RenderPreview(ribbon, huge * huge), std::runtime_error);
  EXPECT_THROW(RenderPreview(ribbon, Matrix3(), {}, 0, 480), std::runtime_error);
  EXPECT_TRUE(fs::is_empty(dir.Path()));

  try {
    WritePreview(ExportMesh{&ribbon, Matrix3(), "R"}, dir.File("missing/sub/x.png"));
    ADD_FAILURE() << "wrote into a missing folder";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("cannot write"), std::string::npos) << e.what();
  }
  // An existing picture is kept when a new one fails.
  WritePreview(ExportMesh{&ribbon, Matrix3(), "R"}, path);
  const std::string before = ReadFile(path);
  EXPECT_THROW(WritePreview(ExportMesh{&bad, Matrix3(), "Bad"}, path), std::runtime_error);
  EXPECT_EQ(ReadFile(path), before);
}

// The command, as a person runs it.
struct Ran {
  int code = -1;
  std::string out, err;
};

Ran RunWakeweave(const std::string& args, const std::string& scratch) {
  const std::string outFile = scratch + "/.stdout", errFile = scratch + "/.stderr";
  // Bounded, so that a command that hangs fails the test instead of stalling the suite.
  const std::string cmd = "timeout 120 '" + std::string(WAKEWEAVE_BINARY_DIR) + "/wakeweave' " + args + " >'" +
                          outFile + "' 2>'" + errFile + "'";
  Ran r;
  const int status = std::system(cmd.c_str());
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = ReadFile(outFile);
  r.err = ReadFile(errFile);
  fs::remove(outFile);
  fs::remove(errFile);
  return r;
}

TEST_F(Preview, EvalWritesThePictureOfTheTrailAtTheFrame) {
  const std::string scene = std::string(WAKEWEAVE_SOURCE_DIR) + "/examples/circle-trail.json";
  const std::string png = dir.File("trail.png");
  const Ran r = RunWakeweave("eval '" + scene + "' --frame 12 -o '" + png + "'", dir.Path().string());
  ASSERT_EQ(r.code, 0) << r.err;
  const Picture pic = DecodePng(png);
  EXPECT_EQ(pic.width, 640);
  EXPECT_EQ(pic.height, 480);
  EXPECT_GT(pic.TrailShare(), 0.03);
  EXPECT_GT(pic.TrailColours().size(), 2u);

  // A picture that cannot be written: exit 1, one line naming the file, nothing left behind.
  const std::string lost = dir.File("no-such-folder/trail.png");
  const Ran bad = RunWakeweave("eval '" + scene + "' --frame 12 -o '" + lost + "'", dir.Path().string());
  EXPECT_EQ(bad.code, 1);
  EXPECT_EQ(std::count(bad.err.begin(), bad.err.end(), '\n'), 1) << bad.err;
  EXPECT_EQ(bad.err.rfind("wakeweave: error: ", 0), 0u) << bad.err;
  EXPECT_NE(bad.err.find(lost), std::string::npos) << bad.err;

  // Splines have no preview: snapshot refuses .png before any work, as any unknown type.
  const Ran spline = RunWakeweave("snapshot '" + scene + "' -o '" + dir.File("p.png") + "'", dir.Path().string());
  EXPECT_EQ(spline.code, 2) << spline.err;
  EXPECT_NE(spline.err.find("unknown output type \".png\""), std::string::npos) << spline.err;
  EXPECT_FALSE(fs::exists(dir.File("p.png")));
}

class DemoPreviews : public ::testing::Test {
 protected:
  void SetUp() override { AttachPlugin(); }
  void TearDown() override { GetCOREInterface()->ResetScene(); }
  ScratchDir dir;
};

TEST_F(DemoPreviews, EachSceneAndFrameHasItsPictureWithTheCheckerShowing) {
  ::testing::internal::CaptureStdout();
  std::ostringstream progress;
  ProgressAgent agent(progress, false);
  const int code = RunDemo(DemoContext{dir.File("demo"), GetWakeweaveDesc(), &agent});
  const std::string text = ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(code, 0) << text;
  EXPECT_NE(text.find(".png"), std::string::npos) << text;

  for (const DemoScene& scene : DemoScenes()) {
    const LoadedScene loaded = LoadSceneText(scene.json, GetWakeweaveDesc());
    RegenerateParticleTrails(WakeweaveModifiers(loaded.nodesWithWakeweave, GetWakeweaveDesc()), GetWakeweaveDesc(),
                             true, agent);
    INode* node = loaded.nodesWithWakeweave.at(0);
    for (double frame : scene.frames) {
      const std::string path = dir.File("demo/" + scene.name + "-f" + DemoFrameLabel(frame) + ".png");
      const Picture pic = DecodePng(path);
      ASSERT_EQ(pic.width, 640) << path;
      ASSERT_EQ(pic.height, 480) << path;
      // Particle trails are thin and far apart: a percent of the picture. A trail that has not grown yet (the
      // first frame of "moving") has faces without area, which show as their edges.
      const TimeValue t = TimeValue(frame * GetTicksPerFrame());
      const Mesh& mesh = static_cast<TriObject*>(node->EvalWorldState(t).obj)->GetMesh();
      bool area = false;
      for (int f = 0; f < mesh.getNumFaces() && !area; ++f)
        area = !IsZeroAreaFace(mesh.verts[mesh.faces[f].v[0]], mesh.verts[mesh.faces[f].v[1]],
                               mesh.verts[mesh.faces[f].v[2]]);
      EXPECT_GT(pic.TrailShare(), area ? 0.01 : 0.001) << path;

      // The picture is of this frame's trail where the exports put it.
      const Matrix3 tm = node->GetObjectTM(t);
      EXPECT_TRUE(FromImage(RenderPreview(mesh, tm)).rgb == pic.rgb) << path;

      // Every demo trail is mapped: the checker darkens some of its pixels against the same trail unmapped, and
      // leaves others as they are.
      Mesh unmapped = mesh;
      unmapped.setMapSupport(1, FALSE);
      const Picture plain = FromImage(RenderPreview(unmapped, tm));
      int same = 0, darker = 0;
      for (int y = 0; y < pic.height; ++y)
        for (int x = 0; x < pic.width; ++x) {
          if (!pic.IsTrail(x, y) || !plain.IsTrail(x, y)) continue;
          const Rgb c = pic.At(x, y), p = plain.At(x, y);
          if (c == p)
            ++same;
          else if (c.r < p.r && c.g < p.g && c.b <= p.b)
            ++darker;
        }
      const int trail = pic.TrailPixels();
      EXPECT_GT(same, trail / 10) << path;
      EXPECT_GT(darker, trail / 10) << path;
    }
  }
}

}  // namespace
