// Bitmap objects loaded from module resources. A bitmap keeps its own copy of
// the pixels, so that it outlives the module it came from, as a GDI object does.
#include "win32/gdi.h"

#include "win32/errors.h"
#include "win32/module.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <unordered_set>
#include <vector>

struct HBITMAP__ {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 24;
  std::vector<unsigned char> pixels;
};

namespace {

std::mutex g_bitmapsMutex;
std::unordered_set<HBITMAP__*> g_bitmaps;

// Larger than any bitmap a panel shows; guards against a broken resource.
constexpr int64_t kMaxBitmapPixels = int64_t(1) << 26;

}  // namespace

extern "C" {

HBITMAP WINAPI LoadBitmapA(HINSTANCE hInstance, LPCSTR lpBitmapName) {
  const uintptr_t name = reinterpret_cast<uintptr_t>(lpBitmapName);
  if (name == 0 || name > 0xFFFF) {  // only MAKEINTRESOURCE ids are carried
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  const Win32BitmapResource* resource = Win32FindBitmap(hInstance, static_cast<int>(name));
  if (!resource) return nullptr;
  const int64_t count = int64_t(resource->width) * resource->height;
  const int bits = resource->bitsPerPixel == 0 ? 24 : resource->bitsPerPixel;
  if (resource->width <= 0 || resource->height <= 0 || count > kMaxBitmapPixels || !resource->rgbPixels ||
      (bits != 24 && bits != 32)) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  auto* bitmap = new HBITMAP__;
  bitmap->width = resource->width;
  bitmap->height = resource->height;
  bitmap->bitsPerPixel = bits;
  bitmap->pixels.assign(resource->rgbPixels, resource->rgbPixels + count * (bits / 8));
  std::lock_guard<std::mutex> guard(g_bitmapsMutex);
  g_bitmaps.insert(bitmap);
  return bitmap;
}

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
  auto* bitmap = static_cast<HBITMAP__*>(ho);
  {
    std::lock_guard<std::mutex> guard(g_bitmapsMutex);
    if (!bitmap || g_bitmaps.erase(bitmap) == 0) return FALSE;
  }
  delete bitmap;
  return TRUE;
}

int WINAPI GetObjectA(HANDLE h, int c, LPVOID pv) {
  auto* bitmap = static_cast<HBITMAP__*>(h);
  std::lock_guard<std::mutex> guard(g_bitmapsMutex);
  if (!bitmap || g_bitmaps.count(bitmap) == 0) return 0;
  if (!pv) return static_cast<int>(sizeof(BITMAP));
  if (c < static_cast<int>(sizeof(BITMAP))) return 0;
  BITMAP bm{};
  bm.bmType = 0;
  bm.bmWidth = bitmap->width;
  bm.bmHeight = bitmap->height;
  bm.bmWidthBytes = ((bitmap->width * bitmap->bitsPerPixel + 15) / 16) * 2;  // rows are WORD-aligned
  bm.bmPlanes = 1;
  bm.bmBitsPixel = static_cast<WORD>(bitmap->bitsPerPixel);
  bm.bmBits = nullptr;
  std::memcpy(pv, &bm, sizeof bm);
  return static_cast<int>(sizeof(BITMAP));
}

const unsigned char* Win32BitmapPixels(HBITMAP hbm) {
  std::lock_guard<std::mutex> guard(g_bitmapsMutex);
  return (hbm && g_bitmaps.count(hbm)) ? hbm->pixels.data() : nullptr;
}

}  // extern "C"
