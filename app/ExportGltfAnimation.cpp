// A sequence of single-frame glTF models merged into one, shown one at a time by an animation.
#include "ExportGltfAnimation.h"

#include <algorithm>
#include <stdexcept>

#include "GltfSupport.h"

namespace {

constexpr double kTicksPerSecond = 4800.0;

void Refuse(bool present, const char* what) {
  if (present)
    throw std::runtime_error(std::string("a frame's glTF holds ") + what +
                             ", which an animation of frames "
                             "does not carry");
}

}  // namespace

GltfAnimation::GltfAnimation() : model_(gltfsupport::NewModel()) {}

void GltfAnimation::AddFrame(const tinygltf::Model& frame, TimeValue t, const std::string& name) {
  if (!times_.empty() && t <= times_.back())
    throw std::runtime_error("frames must come in ascending order of their times");
  Refuse(!frame.textures.empty() || !frame.images.empty() || !frame.samplers.empty(), "textures");
  Refuse(!frame.skins.empty(), "skins");
  Refuse(!frame.cameras.empty(), "cameras");
  Refuse(!frame.animations.empty(), "animations");

  // Everything of the frame is appended; its indices move by what the model held before it.
  if (model_.buffers.empty() && !frame.buffers.empty()) model_.buffers.emplace_back();
  std::vector<size_t> bufferStart;
  for (const tinygltf::Buffer& b : frame.buffers) {
    std::vector<unsigned char>& data = model_.buffers[0].data;
    while (data.size() % 4) data.push_back(0);  // the views' elements are at most 4 bytes
    bufferStart.push_back(data.size());
    data.insert(data.end(), b.data.begin(), b.data.end());
  }
  const int viewBase = int(model_.bufferViews.size());
  for (tinygltf::BufferView v : frame.bufferViews) {
    v.byteOffset += bufferStart.at(size_t(v.buffer));
    v.buffer = 0;
    model_.bufferViews.push_back(v);
  }
  const int accessorBase = int(model_.accessors.size());
  for (tinygltf::Accessor a : frame.accessors) {
    if (a.bufferView >= 0) a.bufferView += viewBase;
    Refuse(a.sparse.isSparse, "sparse accessors");
    model_.accessors.push_back(a);
  }
  // Frames share their materials: every frame has its mtl<id> materials, the same each time.
  std::vector<int> materialIndex;
  for (const tinygltf::Material& m : frame.materials) {
    int found = -1;
    for (size_t i = 0; i < model_.materials.size() && found < 0; ++i)
      if (model_.materials[i] == m) found = int(i);
    if (found < 0) {
      model_.materials.push_back(m);
      found = int(model_.materials.size()) - 1;
    }
    materialIndex.push_back(found);
  }
  const int meshBase = int(model_.meshes.size());
  for (tinygltf::Mesh m : frame.meshes) {
    for (tinygltf::Primitive& p : m.primitives) {
      for (auto& [attribute, index] : p.attributes) index += accessorBase;
      if (p.indices >= 0) p.indices += accessorBase;
      if (p.material >= 0) p.material = materialIndex.at(size_t(p.material));
      for (auto& target : p.targets)
        for (auto& [attribute, index] : target) index += accessorBase;
    }
    model_.meshes.push_back(m);
  }
  const int nodeBase = int(model_.nodes.size());
  for (tinygltf::Node n : frame.nodes) {
    if (n.mesh >= 0) n.mesh += meshBase;
    for (int& c : n.children) c += nodeBase;
    model_.nodes.push_back(n);
  }
  for (const std::string& e : frame.extensionsUsed)
    if (std::find(model_.extensionsUsed.begin(), model_.extensionsUsed.end(), e) == model_.extensionsUsed.end())
      model_.extensionsUsed.push_back(e);
  for (const std::string& e : frame.extensionsRequired)
    if (std::find(model_.extensionsRequired.begin(), model_.extensionsRequired.end(), e) ==
        model_.extensionsRequired.end())
      model_.extensionsRequired.push_back(e);

  tinygltf::Node holder;
  holder.name = gltfsupport::Utf8Name(name);
  if (!frame.scenes.empty()) {
    const size_t scene = frame.defaultScene >= 0 ? size_t(frame.defaultScene) : 0;
    for (int root : frame.scenes.at(scene).nodes) holder.children.push_back(root + nodeBase);
  }
  // At rest (a viewer that does not play the animation) the first frame shows.
  if (!times_.empty()) holder.scale = {0.0, 0.0, 0.0};
  model_.nodes.push_back(holder);
  frameNodes_.push_back(int(model_.nodes.size()) - 1);
  times_.push_back(t);
}

void GltfAnimation::Write(const std::string& path, bool binary, TimeValue holdTicks) {
  if (times_.empty()) throw std::runtime_error("no frame to write to " + path);
  tinygltf::Model model = model_;
  gltfsupport::BufferBuilder bb(model);

  // Keys in seconds from the first frame. Float keys must still ascend, which a very long sequence of very
  // short steps could break.
  std::vector<float> seconds;
  for (TimeValue t : times_) seconds.push_back(float(double(t - times_.front()) / kTicksPerSecond));
  const float end = float(double(times_.back() - times_.front() + holdTicks) / kTicksPerSecond);
  for (size_t k = 1; k < seconds.size(); ++k)
    if (!(seconds[k] > seconds[k - 1]))
      throw std::runtime_error("the frames are too close together for glTF's times in " + path);
  if (!(end > seconds.back())) throw std::runtime_error("the last frame has no time to show in " + path);

  // Scales: a frame node is hidden (0) before its time, shown (1) at it, hidden again at the next frame's
  // time; the first frame is shown from the start and the last stays until the end.
  // Keys 0 1 0 1 1, each a uniform scale: every sampler's output is a run of them.
  const float scales[] = {0, 0, 0, 1, 1, 1, 0, 0, 0, 1, 1, 1, 1, 1, 1};
  auto scaleKeys = [&](size_t first, size_t count) {
    static_assert(sizeof scales == 5 * 12);
    return bb.Add(scales + first * 3, count * 12, 0, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, count);
  };
  const size_t n = times_.size();
  const int middle = n > 2 ? scaleKeys(0, 3) : -1;   // 0, 1, 0
  const int first = n > 1 ? scaleKeys(1, 2) : -1;    // 1, 0
  const int last = n > 1 ? scaleKeys(2, 3) : -1;     // 0, 1, 1
  const int single = n == 1 ? scaleKeys(3, 2) : -1;  // 1, 1

  tinygltf::Animation anim;
  anim.name = "frames";
  for (size_t k = 0; k < n; ++k) {
    std::vector<float> keys;
    int output;
    if (n == 1) {
      keys = {0.0f, end};
      output = single;
    } else if (k == 0) {
      keys = {0.0f, seconds[1]};
      output = first;
    } else if (k + 1 == n) {
      keys = {0.0f, seconds[k], end};
      output = last;
    } else {
      keys = {0.0f, seconds[k], seconds[k + 1]};
      output = middle;
    }
    tinygltf::AnimationSampler sampler;
    sampler.input = bb.Add(keys.data(), keys.size() * 4, 0, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_SCALAR,
                           keys.size(), {double(keys.front())}, {double(keys.back())});
    sampler.output = output;
    sampler.interpolation = "STEP";
    anim.samplers.push_back(sampler);
    tinygltf::AnimationChannel channel;
    channel.sampler = int(anim.samplers.size()) - 1;
    channel.target_node = frameNodes_[k];
    channel.target_path = "scale";
    anim.channels.push_back(channel);
  }
  model.animations.push_back(anim);

  tinygltf::Scene scene;
  scene.nodes = frameNodes_;
  model.scenes.push_back(scene);
  model.defaultScene = 0;
  gltfsupport::WriteModel(model, path, binary);
}

tinygltf::Model ReadGltfFile(const std::string& path) {
  tinygltf::TinyGLTF reader;
  tinygltf::Model model;
  std::string err, warn;
  const bool binary = path.size() >= 4 && path.compare(path.size() - 4, 4, ".glb") == 0;
  const bool ok = binary ? reader.LoadBinaryFromFile(&model, &err, &warn, path)
                         : reader.LoadASCIIFromFile(&model, &err, &warn, path);
  if (!ok) throw std::runtime_error("cannot read " + path + (err.empty() ? std::string() : ": " + err));
  return model;
}
