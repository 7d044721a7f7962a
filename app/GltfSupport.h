#pragma once
// What the glTF exporters share: the one buffer with its views and accessors, names made UTF-8, and
// encoding a model into a file.
#include <tiny_gltf.h>

#include "ExportSpace.h"

#include <string>
#include <vector>

namespace gltfsupport {

constexpr int kArrayBuffer = 34962;         // bufferView target of vertex attributes
constexpr int kElementArrayBuffer = 34963;  // bufferView target of indices

// Appends raw values to the one buffer and describes them by a buffer view and an accessor.
class BufferBuilder {
 public:
  explicit BufferBuilder(tinygltf::Model& model) : model_(model) {}

  int Add(const void* data, size_t bytes, int target, int componentType, int type, size_t count,
          std::vector<double> min = {}, std::vector<double> max = {}) {
    std::vector<unsigned char>& buf = Buffer().data;
    while (buf.size() % 4) buf.push_back(0);  // every element type here is 4 bytes
    tinygltf::BufferView view;
    view.buffer = 0;
    view.byteOffset = buf.size();
    view.byteLength = bytes;
    view.target = target;
    const auto* p = static_cast<const unsigned char*>(data);
    buf.insert(buf.end(), p, p + bytes);
    model_.bufferViews.push_back(view);

    tinygltf::Accessor acc;
    acc.bufferView = int(model_.bufferViews.size()) - 1;
    acc.byteOffset = 0;
    acc.componentType = componentType;
    acc.type = type;
    acc.count = count;
    acc.minValues = std::move(min);
    acc.maxValues = std::move(max);
    model_.accessors.push_back(acc);
    return int(model_.accessors.size()) - 1;
  }

 private:
  tinygltf::Buffer& Buffer() {
    if (model_.buffers.empty()) model_.buffers.emplace_back();
    return model_.buffers[0];
  }
  tinygltf::Model& model_;
};

// glTF is JSON and so UTF-8; a node name read from an older saved scene may not be. Bytes that do not form
// UTF-8 become '?' so that the file can still be written.
std::string Utf8Name(const std::string& in);

// An empty glTF 2.0 model that names this program as its generator.
tinygltf::Model NewModel();

// Encodes the model (GLB when binary, else JSON with the buffer embedded as a data URI) and writes it
// atomically. Throws std::runtime_error when it cannot be encoded or written, std::bad_alloc when memory ran out.
void WriteModel(tinygltf::Model& model, const std::string& path, bool binary);
// Adds node as the model's only node and only scene, then writes it as WriteModel does.
void WriteSingleNodeModel(tinygltf::Model& model, const tinygltf::Node& node, const std::string& path, bool binary);

// Adds a trail mesh to the model, in the space given, as WriteGltf writes it (see Exporters.h): a primitive
// per material id with POSITION, NORMAL and the texture channels the mesh has, and material "mtl<id>",
// shared with the meshes added before. Returns the new mesh's index, or -1 (and adds nothing) for a mesh
// without faces. Throws std::runtime_error on bad mesh data.
int AddTrailMesh(tinygltf::Model& model, const Mesh& mesh, const OutputSpace& space, const std::string& name);

}  // namespace gltfsupport
