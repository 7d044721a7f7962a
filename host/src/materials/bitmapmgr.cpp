// The bitmap manager: choosing an image file through the common open-file dialog.
#include <cstring>

#include "bitmap.h"
#include "debug.h"

namespace {

// Pairs of description and patterns, ended by an empty one (the literal's own zero ends the list).
const char kImageFilter[] =
    "All image files\0*.bmp;*.jpg;*.jpeg;*.png;*.tga;*.tif;*.tiff;*.dds;*.exr;*.hdr\0"
    "All files (*.*)\0*.*\0";

class HostBitmapManager : public BitmapManager {
 public:
  BOOL SelectFileInputEx(BitmapInfo* bi, HWND hWnd, const char* title) override {
    if (!bi) {
      DbgAssert(bi != nullptr);
      return FALSE;
    }
    char file[MAX_PATH] = {};
    // Start from the name the caller has, when it fits.
    const char* start = bi->Name();
    if (std::strlen(start) < sizeof file) std::strcpy(file, start);
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hWnd;
    ofn.lpstrFilter = kImageFilter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrTitle = title;
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    // Cancelled, or a name longer than a path may be: nothing chosen either way.
    if (!GetOpenFileNameA(&ofn)) return FALSE;
    bi->SetName(file);
    return TRUE;
  }
};

HostBitmapManager g_manager;

}  // namespace

BitmapManager* TheManager = &g_manager;
