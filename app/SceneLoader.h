#pragma once
// Reads a JSON scene (the format of scene-format.md) and builds it through the host.
#include <max.h>
#include <stdexcept>
#include <string>
#include <vector>

// Bad scene input: one message saying what is wrong and where (a JSON path), without the file name.
class SceneError : public std::runtime_error {
 public:
  explicit SceneError(const std::string& what) : std::runtime_error(what) {}
};

struct LoadedScene {
  std::vector<INode*> nodes;               // every node in file order, a flow system's events after its node
  std::vector<INode*> nodesWithWakeweave;  // nodes carrying at least one Wakeweave modifier, in file order
  TimeValue time = 0;                      // the scene's "frame", in ticks
};

// Both reset the host scene first, then build the scene and set the host's time, ticks per frame and
// animation range. `wakeweave` is the plug-in's class descriptor (used to create the modifiers).
LoadedScene LoadSceneText(const std::string& jsonText, ClassDesc* wakeweave);  // throws SceneError
LoadedScene LoadSceneFile(const std::string& path, ClassDesc* wakeweave);      // throws SceneError

// Frames to ticks: nearest integer to frame x ticksPerFrame, halves away from zero; throws SceneError
// (naming `where`) when the result does not fit in a TimeValue or the frame is not finite.
TimeValue FramesToTicks(double frame, int ticksPerFrame, const std::string& where);

// The shortest text that reads back as the same double ("5", "1.25", "1e+300"), as messages echo numbers.
std::string NumberText(double v);
