#pragma once
// One glTF whose meshes play as an animation, for `eval --frames A:B -o trail.glb`: each frame is the
// single-frame export of that frame, put under a node of its own that is shown only at its frame.
#include <max.h>
#include <tiny_gltf.h>

#include <string>
#include <vector>

class GltfAnimation {
 public:
  GltfAnimation();

  // Adds a frame, shown from time t (ticks) until the next frame's time: the default scene of a
  // single-frame model (its nodes, meshes, materials and data) goes under a new node named `name`.
  // Frames come in ascending order of t. Throws std::runtime_error for a t that does not come after the
  // previous one and for a model holding what the animation does not carry (textures, skins, cameras,
  // animations).
  void AddFrame(const tinygltf::Model& frame, TimeValue t, const std::string& name);

  // Writes the model (GLB when binary) through a temporary file: one animation "frames" with a STEP
  // sampler on each frame node's scale, 1 at its own time and 0 at the others, times in seconds from the
  // first frame (4800 ticks a second). The last frame stays shown for holdTicks before the animation
  // ends. Without animation a viewer shows the first frame: the other frame nodes rest at scale 0.
  void Write(const std::string& path, bool binary, TimeValue holdTicks);

  size_t FrameCount() const { return times_.size(); }

 private:
  tinygltf::Model model_;
  std::vector<int> frameNodes_;
  std::vector<TimeValue> times_;
};

// Reads a .gltf or .glb file (by its extension) into a model; throws std::runtime_error with the reader's
// message when it cannot.
tinygltf::Model ReadGltfFile(const std::string& path);
