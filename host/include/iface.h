#pragma once
// The host's core interface: the scene (nodes under a root), scene time and object creation.
#include "maxtypes.h"

class INode;
class Object;
class ReferenceTarget;
class Texmap;
class Mtl;

// RedrawViews flags
#define REDRAW_BEGIN (1 << 0)
#define REDRAW_INTERACTIVE (1 << 1)
#define REDRAW_END (1 << 2)
#define REDRAW_NORMAL (1 << 3)

class HOSTAPI Interface {
 public:
  virtual ~Interface() = default;

  // Scene time.
  virtual TimeValue GetTime() = 0;
  virtual void SetTime(TimeValue t, BOOL redraw = TRUE) = 0;
  // Default: frames 0 to 100 at the current ticks per frame.
  virtual Interval GetAnimRange() = 0;
  virtual void SetAnimRange(Interval range) = 0;

  // The scene. The root node carries no object; every other node is one of its children.
  virtual INode* GetRootNode() = 0;
  // A new node carrying obj (may be null), added to the scene, which owns it. It gets a name unique in
  // the scene built from the object's name.
  virtual INode* CreateObjectNode(Object* obj) = 0;
  // The first node in creation order with exactly that name; null if none.
  virtual INode* GetINodeByName(const char* name) = 0;
  // Takes the node out of the scene and deletes it (its object and modifiers go when nothing else
  // references them).
  virtual void DeleteNode(INode* node, BOOL redraw = TRUE) = 0;
  // Forgets the undo steps, deletes every node and returns time, animation range and ticks per frame to their
  // defaults. Loading a scene does the same first.
  virtual void ResetScene() = 0;

  // The host's main window, made on first use and kept for the process, owned by the first caller's thread
  // (the host's main thread); made anew should that thread end, since a window goes with its thread.
  virtual HWND GetMAXHWnd() = 0;

  // Views are not drawn by the stand-in: these only count the requests (HostRedrawCount).
  virtual void RedrawViews(TimeValue t, DWORD vpFlags = REDRAW_NORMAL, ReferenceTarget* change = nullptr) = 0;
  virtual void ForceCompleteRedraw(BOOL doDisabled = TRUE) = 0;

  // Shows map tx of material mtl in the viewports: tx gets MTL_TEX_DISPLAY_ENABLED and the material's other
  // maps lose it (a material shows one map). subNum names a sub-material; the stand-in's materials have
  // none, so it must be -1. A null tx or mtl, a tx that is not in one of mtl's slots, or another subNum is
  // a fault (reported, nothing changes). DeActivateTexture takes the flag from tx again, under the same rules.
  virtual void ActivateTexture(Texmap* tx, Mtl* mtl, int subNum = -1) = 0;
  virtual void DeActivateTexture(Texmap* tx, Mtl* mtl, int subNum = -1) = 0;

  // The host's keyboard shortcuts, on at start. A text field turns them off while it has the focus, so
  // that typing into it is not taken for commands. A flag, not a count: enabling once turns them on.
  virtual void DisableAccelerators() = 0;
  virtual void EnableAccelerators() = 0;
  virtual BOOL AcceleratorsEnabled() = 0;

  // A new object of a host class: SplineShape (SHAPE_CLASS_ID, splineShapeClassID) or TriObject
  // (GEOMOBJECT_CLASS_ID, triObjectClassID); null for any other.
  virtual Object* CreateInstance(SClass_ID superID, Class_ID classID) = 0;
};

// The host's interface for editing objects: the same object as the core interface.
class HOSTAPI IObjParam : public Interface {};

HOSTAPI Interface* GetCOREInterface();

// Stand-in only: requests to redraw the views so far (RedrawViews and ForceCompleteRedraw), and the map of
// mtl shown in the viewports (null if none).
HOSTAPI long HostRedrawCount();
HOSTAPI Texmap* HostShownTexmap(Mtl* mtl);

// Ticks per frame: one setting for the whole process (160 by default).
HOSTAPI int GetTicksPerFrame();
HOSTAPI void SetTicksPerFrame(int ticks);
// Frames per second at the current ticks per frame.
HOSTAPI int GetFrameRate();

#define TicksToSec(ticks) ((float)(ticks) / (float)TIME_TICKSPERSEC)
#define SecToTicks(secs) ((TimeValue)((secs)*TIME_TICKSPERSEC))
