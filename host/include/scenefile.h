#pragma once
// Saved scenes: the whole scene of the core interface written as a chunk file (chunkfile.h) and read
// back. What is saved: scene time, animation range and ticks per frame; every node with its name, parent,
// transform controller and object reference; the objects (shapes with their keys, particle systems,
// derived objects with their modifier stacks), controllers and parameter blocks (transient parameters are
// not saved and come back at their defaults); each modifier of a plug-in class by its class id, created
// through the class directory (classdir.h), with its own chunks written by its Save and read by its Load.
#include <string>

#include "maxtypes.h"

// Writes the scene to path (replacing the file only when the whole save succeeded). IO_ERROR with *error
// set to one line when it cannot be written.
HOSTAPI IOResult SaveScene(const std::string& path, std::string* error);

// Replaces the scene by the one in path. A missing, truncated, damaged or hostile file gives IO_ERROR with
// *error set to one line, and leaves the current scene as it was: nothing half-loaded, and nothing
// allocated beyond what the file's size can justify.
HOSTAPI IOResult LoadScene(const std::string& path, std::string* error);
