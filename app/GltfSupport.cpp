#include "GltfSupport.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "Exporters.h"
#include "OutputFile.h"

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

size_t BufferPieces::Pad() {
  static const unsigned char kZeros[4] = {};
  if (size_ % 4) {
    const size_t pad = 4 - size_ % 4;
    pieces_.push_back({kZeros, pad, nullptr});
    size_ += pad;
  }
  return size_;
}

size_t BufferPieces::Add(const void* p, size_t n) {
  const size_t at = Pad();
  if (n) pieces_.push_back({p, n, nullptr});
  size_ += n;
  return at;
}

size_t BufferPieces::Add(size_t n, std::function<void(const Emit&)> make) {
  const size_t at = Pad();
  if (n) pieces_.push_back({nullptr, n, std::move(make)});
  size_ += n;
  return at;
}

void BufferPieces::WriteTo(const Emit& emit) const {
  for (const Piece& piece : pieces_) {
    if (!piece.make) {
      emit(piece.data, piece.bytes);
      continue;
    }
    size_t made = 0;
    piece.make([&](const void* p, size_t n) {
      made += n;
      if (made > piece.bytes) throw std::logic_error("a buffer piece made more than its length");
      emit(p, n);
    });
    if (made != piece.bytes) throw std::logic_error("a buffer piece made less than its length");
  }
}

namespace {

// Base64 as tinygltf writes a data URI ('=' padded), fed in pieces of any length.
class Base64Writer {
 public:
  explicit Base64Writer(ChunkSink& out) : out_(out) {}
  void Add(const unsigned char* p, size_t n) {
    while (n && held_) {
      carry_[held_++] = *p++, --n;
      if (held_ == 3) {
        Group(carry_);
        held_ = 0;
      }
    }
    for (; n >= 3; p += 3, n -= 3) Group(p);
    while (n) carry_[held_++] = *p++, --n;
  }
  void Finish() {
    if (held_) {
      for (int k = held_; k < 3; ++k) carry_[k] = 0;
      char c[4];
      Encode(carry_, c);
      for (int k = held_ + 1; k < 4; ++k) c[k] = '=';
      Put(c);
      held_ = 0;
    }
    out_.Bytes(text_, used_);
    used_ = 0;
  }

 private:
  static void Encode(const unsigned char* b, char* c) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    c[0] = kAlphabet[b[0] >> 2];
    c[1] = kAlphabet[((b[0] & 0x03) << 4) | (b[1] >> 4)];
    c[2] = kAlphabet[((b[1] & 0x0f) << 2) | (b[2] >> 6)];
    c[3] = kAlphabet[b[2] & 0x3f];
  }
  void Group(const unsigned char* b) {
    char c[4];
    Encode(b, c);
    Put(c);
  }
  void Put(const char* c) {
    if (used_ + 4 > sizeof text_) {
      out_.Bytes(text_, used_);
      used_ = 0;
    }
    std::memcpy(text_ + used_, c, 4);
    used_ += 4;
  }
  ChunkSink& out_;
  unsigned char carry_[3];
  int held_ = 0;
  char text_[4096];
  size_t used_ = 0;
};

// tinygltf's JSON of the model without its buffers (pretty for .gltf, compact for GLB), then the buffer's
// entry as tinygltf makes it, with `uriMark` standing for the data URI's payload in .gltf.
std::string ModelJson(tinygltf::Model& model, const std::string& path, bool binary, size_t bufferBytes,
                      const std::string& uriMark) {
  // The buffers are set aside while tinygltf encodes the rest, so that their bytes are never copied into
  // the text; they come back whatever happens.
  struct SetAside {
    tinygltf::Model& m;
    std::vector<tinygltf::Buffer> kept;
    ~SetAside() { m.buffers = std::move(kept); }
  } aside{model, std::move(model.buffers)};
  model.buffers.clear();
  std::ostringstream os(std::ios::out | std::ios::binary);
  tinygltf::TinyGLTF writer;
  try {
    // Without buffers GLB's JSON is the compact text of a .gltf.
    const bool encoded = writer.WriteGltfSceneToStream(&model, os, /*prettyPrint=*/!binary, /*writeBinary=*/false);
    // A string stream goes bad only when its buffer can't grow.
    if (os.bad()) throw std::bad_alloc();
    if (!encoded || !os) throw std::runtime_error("cannot encode " + path);
    std::string text = os.str();
    if (!text.empty() && text.back() == '\n') text.pop_back();  // tinygltf ends a .gltf with a newline
    if (aside.kept.empty()) return text;
    if (aside.kept.size() > 1) throw std::runtime_error("cannot encode " + path + ": more than one buffer");
    // The keys of tinygltf's JSON are sorted, so the buffers go where tinygltf puts them when the text is
    // read back and written again with the same library; numbers and strings come back as they were.
    nlohmann::json doc = nlohmann::json::parse(text);
    nlohmann::json buffer = nlohmann::json::object();
    buffer["byteLength"] = bufferBytes;
    if (!binary) buffer["uri"] = uriMark;
    if (!aside.kept[0].name.empty()) buffer["name"] = aside.kept[0].name;
    doc["buffers"] = nlohmann::json::array({std::move(buffer)});
    return doc.dump(binary ? -1 : 2);
  } catch (const std::runtime_error&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {  // the JSON library's own errors
    throw std::runtime_error("cannot encode " + path + ": " + e.what());
  }
}

void PutLE32(ChunkSink& out, uint32_t v) {
  const unsigned char b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  out.Bytes(b, 4);
}

}  // namespace

void WriteModel(tinygltf::Model& model, const std::string& path, bool binary, const BufferPieces* pieces) {
  BufferPieces own;
  if (!pieces) {
    if (!model.buffers.empty()) own.Add(model.buffers[0].data.data(), model.buffers[0].data.size());
    pieces = &own;
  }
  const size_t bytes = pieces->Size();
  // Names and other strings come before the buffers among the sorted keys only where this program puts no
  // text of a user's; the mark's first occurrence is the buffer's URI.
  const std::string mark = "@@wakeweave buffer data@@";
  const std::string json = ModelJson(model, path, binary, bytes, mark);

  AtomicFile out(path);
  if (!binary) {
    const size_t at = model.buffers.empty() ? std::string::npos : json.find(mark);
    if (at == std::string::npos) {
      out << json;
    } else {
      out << std::string_view(json).substr(0, at) << "data:application/octet-stream;base64,";
      Base64Writer b64(out);
      pieces->WriteTo([&](const void* p, size_t n) { b64.Add(static_cast<const unsigned char*>(p), n); });
      b64.Finish();
      out << std::string_view(json).substr(at + mark.size());
    }
    out << '\n';
  } else {
    // GLB: header, JSON chunk padded with blanks, binary chunk padded with zeros, all little-endian.
    if (json.size() > UINT32_MAX || bytes > UINT32_MAX - 64 - json.size())
      throw std::runtime_error("cannot encode " + path + ": too large for a GLB file");
    const uint32_t jsonPad = uint32_t((4 - json.size() % 4) % 4), binPad = uint32_t((4 - bytes % 4) % 4);
    const uint32_t length = uint32_t(12 + 8 + json.size() + jsonPad + (bytes ? 8 + bytes + binPad : 0));
    out << "glTF";
    PutLE32(out, 2);
    PutLE32(out, length);
    PutLE32(out, uint32_t(json.size() + jsonPad));
    PutLE32(out, 0x4E4F534A);  // "JSON"
    out << json << std::string_view("   ", jsonPad);
    if (bytes) {
      PutLE32(out, uint32_t(bytes + binPad));
      PutLE32(out, 0x004E4942);  // "BIN"
      pieces->WriteTo([&](const void* p, size_t n) { out.Bytes(p, n); });
      out.Bytes("\0\0\0", binPad);
    }
  }
  out.Commit();
}

tinygltf::Model NewModel() {
  tinygltf::Model model;
  model.asset.version = "2.0";
  model.asset.generator = "Wakeweave";
  return model;
}

void WriteSingleNodeModel(tinygltf::Model& model, const tinygltf::Node& node, const std::string& path, bool binary,
                          const BufferPieces* pieces) {
  model.nodes.push_back(node);
  tinygltf::Scene scene;
  scene.nodes.push_back(0);
  model.scenes.push_back(scene);
  model.defaultScene = 0;
  WriteModel(model, path, binary, pieces);
}

}  // namespace gltfsupport
