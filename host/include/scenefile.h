#pragma once
// Saved scenes: the whole scene of the core interface written as a chunk file (chunkfile.h) and read
// back. What is saved: scene time, animation range and ticks per frame; every node with its name, parent,
// transform controllers, object offset, object reference and material (with its maps' settings: which map
// is active or shown in the viewports is not kept); the objects (shapes with their keys, mesh
// objects, particle systems with their events, derived objects with their modifier stacks), controllers
// and parameter blocks (transient parameters are not saved and come back at their defaults); each object
// of a plug-in class by its class id, created through the class directory (classdir.h) with
// ClassDesc::Create(TRUE), its references restored, then its own chunks read by its Load. Every object is
// saved once, however many references lead to it. The file ends with a digest of everything before it, so
// that a damaged file is known as damaged; the layout is in host/src/scenefile/sceneformat.h.
//
// A plug-in object's references are restored only to what its class gives it when created: an object of
// the same super class there (a parameter block of the same description); where it starts with nothing, a
// node or nothing.
#include <string>

#include "maxtypes.h"

// Writes the scene to path (replacing the file only when the whole save succeeded). IO_ERROR with *error
// set to one line when it cannot be written, or holds something that could not be loaded again (an object
// whose class is not in the class directory, a reference to a node outside the scene).
HOSTAPI IOResult SaveScene(const std::string& path, std::string* error);

// Replaces the scene by the one in path. A missing, truncated, damaged or hostile file gives IO_ERROR with
// *error set to one line (saying what is wrong, without the path), and leaves the current scene as it was:
// nothing half-loaded, and nothing allocated beyond what the file's size can justify. A plug-in object whose
// Load reads past its data, or answers IO_ERROR, makes the file damaged too.
HOSTAPI IOResult LoadScene(const std::string& path, std::string* error);

// For tools that write or edit saved scenes by other means (and tests of the loader): writes the file at
// path again with a digest computed anew over the chunks before it, replacing the digest it ended with.
// IO_ERROR with *error set when it is not a chunk file or cannot be written.
HOSTAPI IOResult ResealSceneFile(const std::string& path, std::string* error);
