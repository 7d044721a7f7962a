#pragma once
// Bitmaps loaded from module resources.
#include "types.h"

// Windows' BITMAP description, as GetObjectA fills it in for a bitmap handle.
struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
};
typedef BITMAP* PBITMAP;
typedef BITMAP* LPBITMAP;

extern "C" {
// lpBitmapName is MAKEINTRESOURCE(id); named bitmaps are not carried.
HBITMAP WINAPI LoadBitmapA(HINSTANCE hInstance, LPCSTR lpBitmapName);
BOOL WINAPI DeleteObject(HGDIOBJ ho);
// For a bitmap handle: fills a BITMAP (bmBits stays null, as for a loaded
// device-dependent bitmap) and returns the bytes written; pv null returns the
// size needed. 0 on failure.
int WINAPI GetObjectA(HANDLE h, int c, LPVOID pv);

// --- Stand-in extension ---
// The bitmap's pixels, rows top to bottom without padding: width * height * 3 bytes (R, G, B) for a
// 24-bit resource, width * height * 4 bytes (R, G, B, A) for a 32-bit one (GetObjectA's bmBitsPixel says
// which). Null for a handle that is not a live bitmap.
const unsigned char* Win32BitmapPixels(HBITMAP hbm);
}
