// Preview pictures: the trail drawn by Mesa's off-screen OpenGL (fixed-function lighting, one texture for the
// checker) and encoded by libpng.
#include "Preview.h"

#include <GL/gl.h>
#include <GL/osmesa.h>
#include <dlfcn.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>
#include <type_traits>

#include "Normals.h"

namespace {

using Vec = std::array<double, 3>;

Vec Sub(const Vec& a, const Vec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec Scale(const Vec& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
double Dot(const Vec& a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec Cross(const Vec& a, const Vec& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vec Unit(const Vec& a) {
  const double len = std::sqrt(Dot(a, a));
  return len > 0.0 && std::isfinite(len) ? Scale(a, 1.0 / len) : Vec{0.0, 0.0, 0.0};
}
bool Finite(const Vec& a) { return std::isfinite(a[0]) && std::isfinite(a[1]) && std::isfinite(a[2]); }

// p × M in double precision, so that a far-away or large mesh keeps its shape until it is brought to the
// unit box, where single precision is enough for OpenGL.
Vec Apply(const Matrix3& m, const Point3& p) {
  Vec out{0.0, 0.0, 0.0};
  const double in[4] = {p.x, p.y, p.z, 1.0};
  for (int r = 0; r < 4; ++r) {
    const Point3 row = m.GetRow(r);
    out[0] += in[r] * row.x;
    out[1] += in[r] * row.y;
    out[2] += in[r] * row.z;
  }
  return out;
}

// The camera: three-quarters from above (the picture's +Y), from the front right, looking at the origin of
// the unit space the mesh is brought to.
constexpr double kPi = 3.14159265358979323846;
constexpr double kAzimuth = 40.0 * kPi / 180.0;
constexpr double kElevation = 28.0 * kPi / 180.0;
constexpr double kFovY = 35.0 * kPi / 180.0;
// The share of the narrower half-angle of view that the box may fill, leaving a border.
constexpr double kFill = 0.88;

struct Camera {
  Vec right, up, back;  // back points from the target to the eye
  double distance = 1.0, nearPlane = 0.1, farPlane = 10.0, tanX = 1.0, tanY = 1.0;
};

// A camera that sees every corner of the box [lo, hi] (in unit space) inside the picture.
Camera FrameBox(const Vec& lo, const Vec& hi, int width, int height) {
  Camera c;
  c.back = {std::sin(kAzimuth) * std::cos(kElevation), std::sin(kElevation), std::cos(kAzimuth) * std::cos(kElevation)};
  c.right = Unit(Cross({0.0, 1.0, 0.0}, c.back));
  c.up = Cross(c.back, c.right);
  c.tanY = std::tan(kFovY / 2.0);
  c.tanX = c.tanY * double(width) / double(height);
  double distance = 0.0;
  double zMin = 0.0, zMax = 0.0;
  for (int i = 0; i < 8; ++i) {
    const Vec q{(i & 1) ? hi[0] : lo[0], (i & 2) ? hi[1] : lo[1], (i & 4) ? hi[2] : lo[2]};
    const double x = Dot(q, c.right), y = Dot(q, c.up), z = Dot(q, c.back);
    // The corner's depth (distance - z) must be enough for its offsets to fit the angles of view.
    distance = std::max({distance, z + std::abs(x) / (c.tanX * kFill), z + std::abs(y) / (c.tanY * kFill), z + 0.05});
    zMin = i ? std::min(zMin, z) : z;
    zMax = i ? std::max(zMax, z) : z;
  }
  c.distance = distance;
  c.nearPlane = std::max((distance - zMax) * 0.5, 1e-3);
  c.farPlane = (distance - zMin) * 2.0 + 1.0;
  return c;
}

// The OpenGL view matrix of the camera, column-major.
std::array<double, 16> ViewMatrix(const Camera& c) {
  const Vec eye = Scale(c.back, c.distance);
  std::array<double, 16> m{};
  const Vec* rows[3] = {&c.right, &c.up, &c.back};
  for (int r = 0; r < 3; ++r) {
    for (int k = 0; k < 3; ++k) m[size_t(k * 4 + r)] = (*rows[r])[size_t(k)];
    m[size_t(12 + r)] = -Dot(*rows[r], eye);
  }
  m[15] = 1.0;
  return m;
}

}  // namespace

// Mesa keeps a little of what its first context allocates for the life of the process, where no pointer a
// leak checker follows reaches it: that is the library's, not a leak of this program's, so the sanitizer
// builds' leak checker is told to pass over it.
extern "C" const char* __lsan_default_suppressions() { return "leak:libOSMesa.so\n"; }
// Nor does it print which suppressions it used: the command's standard error holds its own lines only.
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }

namespace {

// Mesa's off-screen OpenGL is loaded when the first picture is drawn, not when the program starts: it brings
// LLVM with it, far more than every other command needs, and a command run under a tight memory limit
// (ulimit -v) must not fail to start for want of it.
// clang-format off
#define WW_GL_FUNCTIONS(X) \
  X(BindTexture) X(Clear) X(ClearColor) X(Color3f) \
  X(ColorMaterial) X(Disable) X(DrawArrays) X(Enable) \
  X(EnableClientState) X(Finish) X(Frustum) X(GetError) \
  X(LightModelfv) X(LightModeli) X(Lightfv) X(LoadIdentity) \
  X(LoadMatrixd) X(MatrixMode) X(NormalPointer) X(PixelStorei) \
  X(ShadeModel) X(TexCoordPointer) X(TexEnvi) X(TexImage2D) \
  X(TexParameteri) X(VertexPointer) X(Viewport)
// clang-format on

struct GlApi {
  decltype(&::OSMesaCreateContextExt) CreateContextExt = nullptr;
  decltype(&::OSMesaMakeCurrent) MakeCurrent = nullptr;
#define WW_GL_MEMBER(name) decltype(&::gl##name) name = nullptr;
  WW_GL_FUNCTIONS(WW_GL_MEMBER)
#undef WW_GL_MEMBER
};
GlApi gl;

// Loads the library and its entry points once; throws (every time) when that failed.
void LoadGl() {
  static std::string failure;
  static bool tried = false;
  if (!tried) {
    tried = true;
    void* lib = dlopen("libOSMesa.so.8", RTLD_NOW | RTLD_LOCAL);
    if (!lib) lib = dlopen("libOSMesa.so", RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
      const char* why = dlerror();
      failure = std::string("cannot load Mesa's off-screen OpenGL (libOSMesa): ") + (why ? why : "not found");
    } else {
      const auto find = [&](auto& fn, const char* name) {
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(lib, name));
        if (!fn && failure.empty()) failure = std::string("libOSMesa has no ") + name;
      };
      find(gl.CreateContextExt, "OSMesaCreateContextExt");
      find(gl.MakeCurrent, "OSMesaMakeCurrent");
#define WW_GL_FIND(name) find(gl.name, "gl" #name);
      WW_GL_FUNCTIONS(WW_GL_FIND)
#undef WW_GL_FIND
    }
  }
  if (!failure.empty()) throw std::runtime_error(failure);
}

// The process's one OSMesa context, made on first use and kept: Mesa keeps part of what a context and its
// buffer allocate after the context is destroyed, so a context per picture would leak on every picture. The
// mutex lets one thread at a time draw with it.
std::mutex contextMutex;
OSMesaContext sharedContext = nullptr;

// The shared context drawing into memory, current on this thread while this lives (and the mutex held).
class OffscreenContext {
 public:
  OffscreenContext(int width, int height) : lock_(contextMutex), pixels_(size_t(width) * size_t(height) * 4) {
    LoadGl();
    if (!sharedContext) sharedContext = gl.CreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
    if (!sharedContext) throw std::runtime_error("cannot make an off-screen OpenGL context (OSMesa)");
    if (!gl.MakeCurrent(sharedContext, pixels_.data(), GL_UNSIGNED_BYTE, width, height))
      throw std::runtime_error("cannot draw into an off-screen OpenGL buffer of " + std::to_string(width) + " x " +
                               std::to_string(height));
    // Mesa sets the viewport only the first time a context is made current.
    gl.Viewport(0, 0, width, height);
  }
  // Unbound, so that the context never draws into a buffer that is gone.
  ~OffscreenContext() { gl.MakeCurrent(nullptr, nullptr, 0, 0, 0); }
  OffscreenContext(const OffscreenContext&) = delete;
  OffscreenContext& operator=(const OffscreenContext&) = delete;
  // RGBA, rows from the bottom up, as OpenGL numbers them.
  const std::vector<uint8_t>& Pixels() const { return pixels_; }

 private:
  std::lock_guard<std::mutex> lock_;
  std::vector<uint8_t> pixels_;
};

GLfloat Channel(uint8_t c) { return GLfloat(c) / 255.0f; }

void SetUpScene(const Camera& cam) {
  using namespace previewdetail;
  // A failed picture before this one must not fail it.
  for (int i = 0; i < 16 && gl.GetError() != GL_NO_ERROR; ++i) {
  }
  gl.Disable(GL_DITHER);
  gl.ClearColor(Channel(kBackground[0]), Channel(kBackground[1]), Channel(kBackground[2]), 1.0f);
  gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  gl.Enable(GL_DEPTH_TEST);
  gl.ShadeModel(GL_SMOOTH);

  gl.MatrixMode(GL_PROJECTION);
  gl.LoadIdentity();
  gl.Frustum(-cam.tanX * cam.nearPlane, cam.tanX * cam.nearPlane, -cam.tanY * cam.nearPlane, cam.tanY * cam.nearPlane,
             cam.nearPlane, cam.farPlane);
  gl.MatrixMode(GL_MODELVIEW);
  gl.LoadIdentity();

  // The light is fixed to the camera (set while the view matrix is the identity): from the upper left, in
  // front, so that the side of the trail the camera sees is lit, whichever way it faces.
  const GLfloat direction[4] = {-0.35f, 0.6f, 0.72f, 0.0f};
  const GLfloat ambient[4] = {0.3f, 0.3f, 0.3f, 1.0f};
  const GLfloat diffuse[4] = {0.72f, 0.72f, 0.72f, 1.0f};
  const GLfloat none[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  gl.Lightfv(GL_LIGHT0, GL_POSITION, direction);
  gl.Lightfv(GL_LIGHT0, GL_AMBIENT, ambient);
  gl.Lightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
  gl.Lightfv(GL_LIGHT0, GL_SPECULAR, none);
  gl.LightModelfv(GL_LIGHT_MODEL_AMBIENT, none);
  gl.LightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
  gl.Enable(GL_LIGHTING);
  gl.Enable(GL_LIGHT0);
  gl.Enable(GL_NORMALIZE);
  gl.Enable(GL_COLOR_MATERIAL);
  gl.ColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
  gl.Color3f(1.0f, 1.0f, 1.0f);

  const std::array<double, 16> view = ViewMatrix(cam);
  gl.LoadMatrixd(view.data());

  // The checker: 2 x 2 texels repeated, light on the diagonal, sampled without filtering so that its squares
  // keep sharp edges and exactly two colours.
  uint8_t texels[12];
  const uint8_t* order[4] = {kCheckerLight, kCheckerDark, kCheckerDark, kCheckerLight};
  for (int i = 0; i < 4; ++i) std::memcpy(texels + i * 3, order[i], 3);
  // The default texture object, replaced on every picture: the context outlives them all.
  gl.BindTexture(GL_TEXTURE_2D, 0);
  gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
  gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
  gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  gl.Enable(GL_TEXTURE_2D);
}

// Faces go to OpenGL in batches, so that the corner arrays stay small whatever the mesh's size.
constexpr int kFacesPerBatch = 1 << 16;

struct Batch {
  std::vector<GLfloat> pos, normal, uv;
  void Clear() {
    pos.clear();
    normal.clear();
    uv.clear();
  }
  void Add(const Vec& q, const GLfloat* n, float u, float v) {
    pos.insert(pos.end(), {GLfloat(q[0]), GLfloat(q[1]), GLfloat(q[2])});
    normal.insert(normal.end(), n, n + 3);
    uv.insert(uv.end(), {u, v});
  }
  void Draw(GLenum mode) const {
    if (pos.empty()) return;
    gl.EnableClientState(GL_VERTEX_ARRAY);
    gl.EnableClientState(GL_NORMAL_ARRAY);
    gl.EnableClientState(GL_TEXTURE_COORD_ARRAY);
    gl.VertexPointer(3, GL_FLOAT, 0, pos.data());
    gl.NormalPointer(GL_FLOAT, 0, normal.data());
    gl.TexCoordPointer(2, GL_FLOAT, 0, uv.data());
    gl.DrawArrays(mode, 0, GLsizei(pos.size() / 3));
  }
};

// The mesh's points in the camera's Y-up space, and the box around them.
struct ViewPoints {
  std::vector<Vec> points;
  Vec lo{0.0, 0.0, 0.0}, hi{0.0, 0.0, 0.0};
};

ViewPoints ToView(const Mesh& mesh, const Matrix3& toView) {
  ViewPoints vp;
  // Only the points that faces use count: a stray vertex must not shrink the trail in the picture.
  std::vector<bool> used(size_t(mesh.getNumVerts()), false);
  for (int f = 0; f < mesh.getNumFaces(); ++f)
    for (int k = 0; k < 3; ++k) used[mesh.faces[f].v[k]] = true;
  vp.points.resize(used.size());
  bool any = false;
  for (size_t i = 0; i < used.size(); ++i) {
    if (!used[i]) continue;
    const Vec p = Apply(toView, mesh.verts[i]);
    if (!Finite(p)) throw std::runtime_error("vertex " + std::to_string(i) + " is not finite in the picture's space");
    vp.points[i] = p;
    for (size_t a = 0; a < 3; ++a) {
      vp.lo[a] = any ? std::min(vp.lo[a], p[a]) : p[a];
      vp.hi[a] = any ? std::max(vp.hi[a], p[a]) : p[a];
    }
    any = true;
  }
  return vp;
}

// toCamera turns the output space's normals to the camera's Y-up space.
void DrawMesh(const Mesh& mesh, const ViewPoints& vp, const Vec& centre, double scale, const OutputSpace& space,
              const Matrix3& toCamera) {
  // The normals of the smoothing groups, in the camera's space, signed to face the way the corners run in the
  // order the output space gives them (which OpenGL's two-sided lighting goes by).
  const MeshNormals meshNormals = ComputeNormals(mesh);
  std::vector<GLfloat> normals;
  normals.reserve(meshNormals.normals.size() * 3);
  for (const Point3& n : meshNormals.normals) {
    const Point3 out = VectorTransform(toCamera, space.Normal(n));
    normals.insert(normals.end(), {out.x, out.y, out.z});
  }
  const bool mapped = exportdetail::HasTextureFaces(mesh, 1);
  const UVVert* tv = mapped ? mesh.mapVerts(1) : nullptr;
  const TVFace* tf = mapped ? mesh.mapFaces(1) : nullptr;
  // Two checker squares per repeat of the 2 x 2 texture; without mapping, the middle of a light texel.
  const float repeat = previewdetail::kCheckerSquaresPerUnit / 2.0f;
  const auto corner = [&](Batch& batch, int f, int k) {
    const Vec q = Scale(Sub(vp.points[mesh.faces[f].v[k]], centre), scale);
    const GLfloat* n = normals.data() + size_t(meshNormals.cornerNormal[size_t(f)][size_t(k)]) * 3;
    if (tf) {
      const UVVert& t = tv[tf[f].t[k]];
      batch.Add(q, n, t.x * repeat, t.y * repeat);
    } else {
      batch.Add(q, n, 0.25f, 0.25f);
    }
  };
  Batch triangles, lines;
  const int nf = mesh.getNumFaces();
  for (int first = 0; first < nf; first += kFacesPerBatch) {
    triangles.Clear();
    lines.Clear();
    const int last = std::min(nf, first + kFacesPerBatch);
    for (int f = first; f < last; ++f) {
      const DWORD* v = mesh.faces[f].v;
      if (IsZeroAreaFace(mesh.verts[v[0]], mesh.verts[v[1]], mesh.verts[v[2]])) {
        // A face without area covers no pixel: its edges are drawn instead, so that a trail that has
        // collapsed onto its shape (no time to grow yet) still shows where it is.
        for (int k = 0; k < 3; ++k) {
          corner(lines, f, k);
          corner(lines, f, (k + 1) % 3);
        }
      } else {
        for (int i = 0; i < 3; ++i) corner(triangles, f, space.Corner(i));
      }
    }
    triangles.Draw(GL_TRIANGLES);
    lines.Draw(GL_LINES);
  }
}

// PNG output through libpng's write callback, collecting the bytes in memory.
struct PngSink {
  std::string* out;
  bool outOfMemory;
  char message[256];
};

void PngAppend(png_structp png, png_bytep data, png_size_t n) {
  auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
  try {
    sink->out->append(reinterpret_cast<const char*>(data), n);
  } catch (const std::bad_alloc&) {
    sink->outOfMemory = true;
    png_error(png, "not enough memory");
  }
}

void PngFlush(png_structp) {}

[[noreturn]] void PngFail(png_structp png, png_const_charp message) {
  auto* sink = static_cast<PngSink*>(png_get_error_ptr(png));
  std::snprintf(sink->message, sizeof sink->message, "%s", message ? message : "unknown libpng error");
  png_longjmp(png, 1);
}

void PngWarn(png_structp, png_const_charp) {}

// No object with a destructor lives across the setjmp: libpng leaves by longjmp on failure.
bool EncodeInto(const PreviewImage& image, PngSink* sink) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, sink, PngFail, PngWarn);
  if (!png) {
    std::snprintf(sink->message, sizeof sink->message, "libpng could not start");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    std::snprintf(sink->message, sizeof sink->message, "libpng could not start");
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, sink, PngAppend, PngFlush);
  png_set_IHDR(png, info, png_uint_32(image.width), png_uint_32(image.height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const size_t stride = size_t(image.width) * 3;
  for (int y = 0; y < image.height; ++y)
    png_write_row(png, const_cast<png_bytep>(image.rgb.data() + size_t(y) * stride));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

PreviewImage RenderPreview(const Mesh& mesh, const Matrix3& objectTM, const ExportSpaceOptions& opt, int width,
                           int height) {
  if (width < 1 || height < 1 || width > 8192 || height > 8192)
    throw std::runtime_error("a preview of " + std::to_string(width) + " x " + std::to_string(height) +
                             " pixels is out of range (1 to 8192 each way)");
  const OutputSpace space(objectTM, opt);
  // The camera stands on the output's up axis: a Z-up output is turned Y-up for it.
  const Matrix3 toCamera = opt.zUp ? ZUpToYUp() : Matrix3();
  const Matrix3 toView = space.Transform() * toCamera;
  for (int r = 0; r < 4; ++r) {
    const Point3 row = toView.GetRow(r);
    if (!std::isfinite(row.x) || !std::isfinite(row.y) || !std::isfinite(row.z))
      throw std::runtime_error("the node transform is not finite");
  }
  exportdetail::CheckMesh(mesh);

  // The mesh is brought to the unit box around its centre: the camera frames that box, and OpenGL's
  // single precision then holds any trail, however large or far from the origin.
  const ViewPoints vp = ToView(mesh, toView);
  const Vec centre = Scale(Vec{vp.lo[0] + vp.hi[0], vp.lo[1] + vp.hi[1], vp.lo[2] + vp.hi[2]}, 0.5);
  const double half = std::sqrt(Dot(Sub(vp.hi, vp.lo), Sub(vp.hi, vp.lo))) / 2.0;
  const double scale = half > 0.0 && std::isfinite(half) ? 1.0 / half : 1.0;
  const Camera cam = FrameBox(Scale(Sub(vp.lo, centre), scale), Scale(Sub(vp.hi, centre), scale), width, height);

  OffscreenContext context(width, height);
  SetUpScene(cam);
  DrawMesh(mesh, vp, centre, scale, space, toCamera);
  gl.Finish();
  if (const GLenum err = gl.GetError(); err != GL_NO_ERROR)
    throw std::runtime_error("OpenGL failed to draw the preview (error " + std::to_string(err) + ")");

  PreviewImage image;
  image.width = width;
  image.height = height;
  image.rgb.resize(size_t(width) * size_t(height) * 3);
  const std::vector<uint8_t>& rgba = context.Pixels();
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = rgba.data() + size_t(height - 1 - y) * size_t(width) * 4;
    uint8_t* dst = image.rgb.data() + size_t(y) * size_t(width) * 3;
    for (int x = 0; x < width; ++x) std::memcpy(dst + x * 3, src + x * 4, 3);
  }
  return image;
}

std::string EncodePng(const PreviewImage& image) {
  if (image.width < 1 || image.height < 1 || image.rgb.size() != size_t(image.width) * size_t(image.height) * 3)
    throw std::runtime_error("the picture's pixels do not match its size");
  std::string out;
  PngSink sink{&out, false, {}};
  if (!EncodeInto(image, &sink)) {
    if (sink.outOfMemory) throw std::bad_alloc();
    throw std::runtime_error(std::string("cannot encode the preview as PNG: ") + sink.message);
  }
  return out;
}

void WritePreview(const ExportMesh& m, const std::string& path, const ExportSpaceOptions& opt) {
  exportdetail::WriteFileAtomically(path, EncodePng(RenderPreview(*m.mesh, m.nodeTM, opt)));
}
