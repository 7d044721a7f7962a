// The bitmap and gradient maps and the bitmap's coordinate generator. Settings only: nothing is drawn, and
// no image is read.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <string>

#include "../core/datastream.h"
#include "debug.h"
#include "materials_internal.h"

namespace {

std::atomic<bool> g_bitmapFails{false};
std::atomic<bool> g_gradientFails{false};

constexpr ULONG kTilingFlags = U_WRAP | V_WRAP | U_MIRROR | V_MIRROR;

// A setting that changed: whoever uses the map (or generator) is told.
void Changed(ReferenceTarget* t) { t->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE); }

bool Finite(float v, const char* what) {
  if (std::isfinite(v)) return true;
  assert1(__LINE__, __FILE__, what);
  return false;
}

class Coordinates : public StdUVGen {
 public:
  void GetClassName(TSTR& s) override { s = "StandardUVGen"; }
  Class_ID ClassID() override { return Class_ID(STDUV_CLASS_ID, 0); }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }

  void SetFlag(ULONG flag, ULONG on) override {
    if (flag & ~kTilingFlags) {
      DbgAssert(!(flag & ~kTilingFlags));
      return;
    }
    flags_ = on ? (flags_ | flag) : (flags_ & ~flag);
    Changed(this);
  }
  int GetFlag(ULONG flag) override { return (flags_ & flag) ? 1 : 0; }

  IOResult Save(ISave* isave) override {
    return hostio::SaveData(isave, [&](hostio::Writer& w) {
      w.Str(GetName().str());
      w.U32(flags_);
      w.F32(uTile_);
      w.F32(vTile_);
    });
  }
  IOResult Load(ILoad* iload) override {
    std::string name;
    uint32_t flags = 0;
    float u = 0.0f, v = 0.0f;
    const IOResult r = hostio::LoadData(iload, [&](hostio::Reader& in) {
      return ReadName(in, name) && in.U32(flags) && ((flags & ~kTilingFlags) == 0 || in.Fail()) && in.F32(u) &&
             in.F32(v);
    });
    if (r != IO_OK) return IO_ERROR;
    SetName(name.c_str());
    flags_ = flags;
    uTile_ = u;
    vTile_ = v;
    return IO_OK;
  }

  void SetUTile(float tile, TimeValue) override { SetTile(uTile_, tile); }
  void SetVTile(float tile, TimeValue) override { SetTile(vTile_, tile); }
  float GetUTile(TimeValue) override { return uTile_; }
  float GetVTile(TimeValue) override { return vTile_; }

 private:
  void SetTile(float& slot, float tile) {
    if (!Finite(tile, "tiling is a finite number")) return;
    slot = tile;
    Changed(this);
  }

  ULONG flags_ = U_WRAP | V_WRAP;
  float uTile_ = 1.0f, vTile_ = 1.0f;
};

class Bitmap : public BitmapTex {
 public:
  Bitmap() { ReplaceReference(0, new Coordinates()); }
  ~Bitmap() override { DeleteAllRefsFromMe(); }

  void GetClassName(TSTR& s) override { s = "Bitmap"; }
  Class_ID ClassID() override { return Class_ID(BMTEX_CLASS_ID, 0); }

  void SetMapName(const char* name) override {
    mapName_ = name ? name : "";
    Changed(this);
  }
  const char* GetMapName() override { return mapName_.c_str(); }
  void ReloadBitmapAndUpdate() override {
    ++reloads_;
    std::error_code ec;
    found_ = !mapName_.empty() && std::filesystem::is_regular_file(mapName_, ec);
    Changed(this);
  }
  StdUVGen* GetUVGen() override { return uv_; }
  int ReloadCount() override { return reloads_; }
  BOOL BitmapFileFound() override { return found_ ? TRUE : FALSE; }

  // The names; the coordinates are its reference. Whether the file was found is asked again after loading.
  IOResult Save(ISave* isave) override {
    return hostio::SaveData(isave, [&](hostio::Writer& w) {
      w.Str(GetName().str());
      w.Str(mapName_);
    });
  }
  IOResult Load(ILoad* iload) override {
    std::string name, file;
    const IOResult r =
        hostio::LoadData(iload, [&](hostio::Reader& in) { return ReadName(in, name) && ReadName(in, file); });
    if (r != IO_OK) return IO_ERROR;
    SetName(name.c_str());
    mapName_ = file;
    return IO_OK;
  }

  // The coordinate generator is the map's one reference; its changes are the map's.
  int NumRefs() override { return 1; }
  RefTargetHandle GetReference(int i) override { return i == 0 ? uv_ : nullptr; }
  void SetReference(int i, RefTargetHandle target) override {
    if (i == 0) uv_ = static_cast<StdUVGen*>(target);
  }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }

 private:
  StdUVGen* uv_ = nullptr;
  std::string mapName_;
  int reloads_ = 0;
  bool found_ = false;
};

class Gradient : public GradTex {
 public:
  void GetClassName(TSTR& s) override { s = "Gradient"; }
  Class_ID ClassID() override { return Class_ID(GRADIENT_CLASS_ID, 0); }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }

  void SetColor(int i, Color c) override {
    if (!ColourIndex(i)) return;
    colours_[i] = c;
    Changed(this);
  }
  Color GetColor(int i) override { return ColourIndex(i) ? colours_[i] : Color(); }

  void SetMidPoint(float m, TimeValue) override {
    if (!Finite(m, "the gradient's midpoint is a finite number")) return;
    midpoint_ = std::clamp(m, 0.0f, 1.0f);
    Changed(this);
  }
  float GetMidPoint(TimeValue) override { return midpoint_; }

  void SetGradType(int type) override {
    type_ = type;
    Changed(this);
  }
  int GetGradType() override { return type_; }

  IOResult Save(ISave* isave) override {
    return hostio::SaveData(isave, [&](hostio::Writer& w) {
      w.Str(GetName().str());
      for (const Color& c : colours_) {
        w.F32(c.r);
        w.F32(c.g);
        w.F32(c.b);
      }
      w.F32(midpoint_);
      w.I32(type_);
    });
  }
  IOResult Load(ILoad* iload) override {
    std::string name;
    Color colours[3];
    float midpoint = 0.0f;
    int32_t type = 0;
    const IOResult r = hostio::LoadData(iload, [&](hostio::Reader& in) {
      if (!ReadName(in, name)) return false;
      for (Color& c : colours)
        if (!in.F32(c.r) || !in.F32(c.g) || !in.F32(c.b)) return false;
      return in.F32(midpoint) && ((midpoint >= 0.0f && midpoint <= 1.0f) || in.Fail()) && in.I32(type);
    });
    if (r != IO_OK) return IO_ERROR;
    SetName(name.c_str());
    std::copy(colours, colours + 3, colours_);
    midpoint_ = midpoint;
    type_ = type;
    return IO_OK;
  }

 private:
  static bool ColourIndex(int i) {
    if (i >= 0 && i < 3) return true;
    assert1(__LINE__, __FILE__, "gradient colour index within 0..2");
    return false;
  }

  Color colours_[3] = {Color(0.0f, 0.0f, 0.0f), Color(0.5f, 0.5f, 0.5f), Color(1.0f, 1.0f, 1.0f)};
  float midpoint_ = 0.5f;
  int type_ = GRAD_LINEAR;
};

}  // namespace

BitmapTex* MakeBitmapTex() { return new Bitmap(); }
GradTex* MakeGradTex() { return new Gradient(); }
StdUVGen* MakeStdUVGen() { return new Coordinates(); }

BitmapTex* NewDefaultBitmapTex() {
  if (g_bitmapFails.exchange(false)) return nullptr;
  return MakeBitmapTex();
}

GradTex* NewDefaultGradTex() {
  if (g_gradientFails.exchange(false)) return nullptr;
  return MakeGradTex();
}

void SetNextNewDefaultBitmapTexFails(BOOL fails) { g_bitmapFails = fails != FALSE; }
void SetNextNewDefaultGradTexFails(BOOL fails) { g_gradientFails = fails != FALSE; }
