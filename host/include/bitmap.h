#pragma once
// The host's bitmap manager, as far as the plug-in uses it: choosing an image file.
#include "maxtypes.h"
#include "strclass.h"

// Describes an image: here only its file's full name.
class HOSTAPI BitmapInfo {
 public:
  BitmapInfo() = default;
  explicit BitmapInfo(const char* name) : name_(name) {}
  const char* Name() const { return name_; }
  void SetName(const char* name) { name_ = name; }

 private:
  TSTR name_;
};

class HOSTAPI BitmapManager {
 public:
  virtual ~BitmapManager() = default;
  // Asks the person for an image file to read, in the common file dialog owned by hWnd with the caption
  // title, offering image files (and all files); it starts from bi's name when it has one. TRUE with bi's
  // name set to the chosen file's full name; FALSE, bi unchanged, when the person cancels or the name is
  // longer than the host's paths (MAX_PATH, terminating zero included). A null bi is a fault (reported).
  virtual BOOL SelectFileInputEx(BitmapInfo* bi, HWND hWnd, const char* title) = 0;
};

// The host's bitmap manager, there for the whole process.
extern HOSTAPI BitmapManager* TheManager;
