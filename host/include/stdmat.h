#pragma once
// The host's Standard material, its bitmap and gradient maps and the bitmap's coordinate generator. The
// stand-in keeps their settings and lifetimes; it draws and renders nothing, and reads no image.
#include "imtl.h"

// Class ids (part A; part B is 0) of the host's material and maps.
#define DMTL_CLASS_ID 0x00000002
#define BMTEX_CLASS_ID 0x00000240
#define GRADIENT_CLASS_ID 0x00000270
#define STDUV_CLASS_ID 0x00000100

// ---- Coordinates ----------------------------------------------------------------------------------------

// Tiling flags of StdUVGen: repeat the map along U or V, or repeat it mirrored.
#define U_WRAP (1 << 0)
#define V_WRAP (1 << 1)
#define U_MIRROR (1 << 2)
#define V_MIRROR (1 << 3)

// Default: U_WRAP and V_WRAP on, tiling 1 on both axes. The values are not animated: the time given is
// accepted and the value holds at every time.
class HOSTAPI StdUVGen : public UVGen {
 public:
  // flag is one or more of the four tiling flags; any other bit is a fault (reported, nothing changes).
  virtual void SetFlag(ULONG flag, ULONG on) = 0;
  // Nonzero when any of the flags asked for is on.
  virtual int GetFlag(ULONG flag) = 0;
  // How often the map repeats along U and V. A value that is not a finite number is a fault (reported,
  // nothing changes); any finite one is kept as given.
  virtual void SetUTile(float tile, TimeValue t) = 0;
  virtual void SetVTile(float tile, TimeValue t) = 0;
  virtual float GetUTile(TimeValue t) = 0;
  virtual float GetVTile(TimeValue t) = 0;
};

// ---- Maps -----------------------------------------------------------------------------------------------

// A map that shows an image file. It owns its coordinate generator (a reference of the map).
class HOSTAPI BitmapTex : public Texmap {
 public:
  // The image file's name, kept as given (null: none).
  virtual void SetMapName(const char* name) = 0;
  virtual const char* GetMapName() = 0;
  // Asks for the image to be read again and the map's users told. The stand-in reads no image: it counts
  // the requests and notes whether the named file existed at the last one.
  virtual void ReloadBitmapAndUpdate() = 0;
  virtual StdUVGen* GetUVGen() = 0;

  // Stand-in only: the requests to reload so far, and whether the file existed at the last one.
  virtual int ReloadCount() = 0;
  virtual BOOL BitmapFileFound() = 0;
};

// Gradient types (GradTex::SetGradType): a gradient along V, or from the centre outwards.
#define GRAD_LINEAR 0
#define GRAD_RADIAL 1

// A three-colour gradient: colour 0 at one end, colour 1 at the midpoint, colour 2 at the other end.
// Default: black, grey (0.5), white; midpoint 0.5; linear. It has no map slots of its own.
class HOSTAPI GradTex : public Texmap {
 public:
  // i is 0, 1 or 2; another index is a fault (reported: SetColor changes nothing, GetColor gives black).
  virtual void SetColor(int i, Color c) = 0;
  virtual Color GetColor(int i) = 0;
  // Where colour 1 lies, from 0 to 1: a value outside is clamped, as the host's parameter is; one that is
  // not a finite number is a fault (reported, nothing changes). Not animated: the time is accepted.
  virtual void SetMidPoint(float m, TimeValue t = 0) = 0;
  virtual float GetMidPoint(TimeValue t = 0) = 0;
  // The host's gradient types are GRAD_LINEAR and GRAD_RADIAL. Any other value names no gradient the host
  // defines (the plug-in gives 3); the stand-in keeps it and gives it back as given rather than change or
  // refuse it silently, so that what a caller set can be checked.
  virtual void SetGradType(int type) = 0;
  virtual int GetGradType() = 0;
};

// ---- The Standard material ------------------------------------------------------------------------------

// Map slots of the Standard material.
#define ID_AM 0   // ambient colour
#define ID_DI 1   // diffuse colour
#define ID_SP 2   // specular colour
#define ID_SH 3   // glossiness
#define ID_SS 4   // specular level
#define ID_SI 5   // self-illumination
#define ID_OP 6   // opacity
#define ID_FI 7   // filter colour
#define ID_BU 8   // bump
#define ID_RL 9   // reflection
#define ID_RR 10  // refraction
#define ID_DP 11  // displacement
#define STD2_NMAX_TEXMAPS 12

class HOSTAPI StdMat : public Mtl {};

// The Standard material: STD2_NMAX_TEXMAPS map slots, all empty at first.
class HOSTAPI StdMat2 : public StdMat {};

// New materials and maps, referenced by nobody yet: give them to a node or a material, or MaybeAutoDelete
// them. Null when creation fails (see the stand-in's switches below).
HOSTAPI StdMat2* NewDefaultStdMat();
HOSTAPI BitmapTex* NewDefaultBitmapTex();
HOSTAPI GradTex* NewDefaultGradTex();

// Stand-in only: the next call of the named function gives null (once; FALSE takes the request back).
HOSTAPI void SetNextNewDefaultStdMatFails(BOOL fails);
HOSTAPI void SetNextNewDefaultBitmapTexFails(BOOL fails);
HOSTAPI void SetNextNewDefaultGradTexFails(BOOL fails);
