#pragma once
// The demo's built-in scenes: scene files (JSON text, as `wakeweave eval` reads them) and the frames the
// demo evaluates each at.
#include <string>
#include <vector>

struct DemoScene {
  std::string name;         // file stem of its output: <name>-f<frame>.glb / .obj
  std::string description;  // one line for the summary
  std::string json;         // the scene file
  std::vector<double> frames;
};

const std::vector<DemoScene>& DemoScenes();
