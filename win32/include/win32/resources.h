#pragma once
// The resource image a module carries, as plain data a module defines statically
// (the stand-in's equivalent of an executable image's resource section).
#include "types.h"

struct Win32StringResource {
  UINT id;
  const char* text;
};

// One control of a dialog template. Coordinates are dialog units, as in a
// resource script.
struct Win32DialogControl {
  int id;
  const char* className;  // "BUTTON", "EDIT", "STATIC", "LISTBOX", ... or a registered class
  const char* text;
  DWORD style;
  int x, y, cx, cy;
};

struct Win32DialogResource {
  int id;
  const char* caption;
  DWORD style;
  int cx, cy;
  const Win32DialogControl* controls;
  int numControls;
};

// Pixels are 3 bytes (R, G, B) each, or 4 (R, G, B, A) when bitsPerPixel is 32; rows top to bottom, no row
// padding. A bitsPerPixel of 0 means 24; any other value than 24 or 32 makes LoadBitmapA fail.
struct Win32BitmapResource {
  int id;
  int width, height;
  const unsigned char* rgbPixels;
  int bitsPerPixel;
};

struct Win32ResourceImage {
  const Win32StringResource* strings;
  int numStrings;
  const Win32DialogResource* dialogs;
  int numDialogs;
  const Win32BitmapResource* bitmaps;
  int numBitmaps;
};

// A library module that carries resources exports this function (C linkage);
// LoadLibraryA looks it up by this name.
#define WIN32_MODULE_RESOURCES_EXPORT "Win32ModuleResources"
typedef const Win32ResourceImage* (*Win32ModuleResourcesProc)(void);
