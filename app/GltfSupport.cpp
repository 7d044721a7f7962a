#include "GltfSupport.h"

#include <cstdint>
#include <new>
#include <sstream>
#include <stdexcept>

#include "Exporters.h"

namespace gltfsupport {

std::string Utf8Name(const std::string& in) {
  std::string out;
  const auto* s = reinterpret_cast<const unsigned char*>(in.data());
  const size_t n = in.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    bool ok = len > 0 && i + len <= n;
    for (size_t k = 1; ok && k < len; ++k) ok = (s[i + k] & 0xC0) == 0x80;
    if (ok && len > 1) {
      // No overlong forms, surrogates or code points past U+10FFFF.
      uint32_t cp = c & (0xFF >> (len + 1));
      for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
      static const uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
      ok = cp >= kMin[len] && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
    }
    if (ok) {
      out.append(in, i, len);
      i += len;
    } else {
      out += '?';
      ++i;
    }
  }
  return out;
}

void WriteModel(tinygltf::Model& model, const std::string& path, bool binary) {
  std::ostringstream os(std::ios::out | std::ios::binary);
  tinygltf::TinyGLTF writer;
  try {
    const bool encoded = writer.WriteGltfSceneToStream(&model, os, /*prettyPrint=*/!binary, binary);
    // A string stream goes bad only when its buffer can't grow.
    if (os.bad()) throw std::bad_alloc();
    if (!encoded || !os) throw std::runtime_error("cannot encode " + path);
  } catch (const std::runtime_error&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {  // the JSON library's own errors
    throw std::runtime_error("cannot encode " + path + ": " + e.what());
  }
  exportdetail::WriteFileAtomically(path, os.str());
}

tinygltf::Model NewModel() {
  tinygltf::Model model;
  model.asset.version = "2.0";
  model.asset.generator = "Wakeweave";
  return model;
}

void WriteSingleNodeModel(tinygltf::Model& model, const tinygltf::Node& node, const std::string& path, bool binary) {
  model.nodes.push_back(node);
  tinygltf::Scene scene;
  scene.nodes.push_back(0);
  model.scenes.push_back(scene);
  model.defaultScene = 0;
  WriteModel(model, path, binary);
}

}  // namespace gltfsupport
