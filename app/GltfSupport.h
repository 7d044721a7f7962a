#pragma once
// What the glTF exporters share: the one buffer with its views and accessors, names made UTF-8, and
// encoding a model into a file.
#include <tiny_gltf.h>

#include "ExportSpace.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace gltfsupport {

constexpr int kArrayBuffer = 34962;         // bufferView target of vertex attributes
constexpr int kElementArrayBuffer = 34963;  // bufferView target of indices

// The bytes of the model's one buffer when they are not in it: pieces in order, each starting at a multiple of
// 4, that stay where they were made (a trail's indices) or are made again as the file is written (its vertex
// data, from the mesh), so that the file is written without a copy of the buffer.
class BufferPieces {
 public:
  // Hands bytes on to the file.
  using Emit = std::function<void(const void*, size_t)>;
  // Appends n bytes at p, after the zeros that bring the buffer to a multiple of 4; returns their offset.
  // The bytes must stay unchanged until the model is written.
  size_t Add(const void* p, size_t n);
  // The same for n bytes that make(emit) produces when the file is written, in any number of calls.
  size_t Add(size_t n, std::function<void(const Emit&)> make);
  // Keeps what the pieces use alive as long as they are.
  void Keep(std::shared_ptr<const void> owner) { owners_.push_back(std::move(owner)); }
  size_t Size() const { return size_; }
  // Hands every byte on in order; throws std::logic_error when a piece makes other than its length.
  void WriteTo(const Emit& emit) const;

 private:
  struct Piece {
    const void* data;
    size_t bytes;
    std::function<void(const Emit&)> make;
  };
  size_t Pad();
  std::vector<Piece> pieces_;
  std::vector<std::shared_ptr<const void>> owners_;
  size_t size_ = 0;
};

// Appends raw values to the one buffer (its data, or the pieces when given) and describes them by a buffer
// view and an accessor.
class BufferBuilder {
 public:
  explicit BufferBuilder(tinygltf::Model& model, BufferPieces* pieces = nullptr) : model_(model), pieces_(pieces) {}

  int Add(const void* data, size_t bytes, int target, int componentType, int type, size_t count,
          std::vector<double> min = {}, std::vector<double> max = {}) {
    size_t at;
    if (pieces_) {
      Buffer();
      at = pieces_->Add(data, bytes);
    } else {
      const auto* p = static_cast<const unsigned char*>(data);
      at = Append([&](const BufferPieces::Emit& emit) { emit(p, bytes); });
    }
    return Describe(at, bytes, target, componentType, type, count, std::move(min), std::move(max));
  }
  // The same for bytes that make produces (see BufferPieces::Add).
  int Add(size_t bytes, std::function<void(const BufferPieces::Emit&)> make, int target, int componentType, int type,
          size_t count, std::vector<double> min = {}, std::vector<double> max = {}) {
    size_t at;
    if (pieces_) {
      Buffer();
      at = pieces_->Add(bytes, std::move(make));
    } else {
      at = Append(make);
    }
    return Describe(at, bytes, target, componentType, type, count, std::move(min), std::move(max));
  }

 private:
  tinygltf::Buffer& Buffer() {
    if (model_.buffers.empty()) model_.buffers.emplace_back();
    return model_.buffers[0];
  }
  size_t Append(const std::function<void(const BufferPieces::Emit&)>& make) {
    std::vector<unsigned char>& buf = Buffer().data;
    while (buf.size() % 4) buf.push_back(0);  // every element type here is 4 bytes
    const size_t at = buf.size();
    make([&](const void* p, size_t n) {
      const auto* b = static_cast<const unsigned char*>(p);
      buf.insert(buf.end(), b, b + n);
    });
    return at;
  }
  int Describe(size_t at, size_t bytes, int target, int componentType, int type, size_t count, std::vector<double> min,
               std::vector<double> max) {
    tinygltf::BufferView view;
    view.buffer = 0;
    view.byteOffset = at;
    view.byteLength = bytes;
    view.target = target;
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
  tinygltf::Model& model_;
  BufferPieces* pieces_;
};

// glTF is JSON and so UTF-8; a node name read from an older saved scene may not be. Bytes that do not form
// UTF-8 become '?' so that the file can still be written.
std::string Utf8Name(const std::string& in);

// An empty glTF 2.0 model that names this program as its generator.
tinygltf::Model NewModel();

// Encodes the model (GLB when binary, else JSON with the buffer embedded as a data URI) and writes it
// atomically, streaming the buffer (base64-encoded chunk by chunk for .gltf). The one buffer's bytes are
// `pieces` when given (its data is then empty), else its data. The file is byte for byte what tinygltf's
// writer makes of the model with the buffer's bytes in it. Throws std::runtime_error when it cannot be
// encoded or written, std::bad_alloc when memory ran out.
void WriteModel(tinygltf::Model& model, const std::string& path, bool binary, const BufferPieces* pieces = nullptr);
// Adds node as the model's only node and only scene, then writes it as WriteModel does.
void WriteSingleNodeModel(tinygltf::Model& model, const tinygltf::Node& node, const std::string& path, bool binary,
                          const BufferPieces* pieces = nullptr);

// Adds a trail mesh to the model, in the space given, as WriteGltf writes it (see Exporters.h): a primitive
// per material id with POSITION, NORMAL and the texture channels the mesh has, and material "mtl<id>",
// shared with the meshes added before. Returns the new mesh's index, or -1 (and adds nothing) for a mesh
// without faces. The vertex data goes to pieces when given (made from the mesh as the file is written: the
// mesh must outlive the pieces), else into the model's buffer. Throws std::runtime_error on bad mesh data.
int AddTrailMesh(tinygltf::Model& model, const Mesh& mesh, const OutputSpace& space, const std::string& name,
                 BufferPieces* pieces = nullptr);

}  // namespace gltfsupport
