#pragma once
// Test helpers for chunk files: an in-memory chunk tree, saving it through ISave, and walking a loaded
// file without knowing its shape.
#include "chunkfile.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

struct ChunkNode {
  USHORT id = 0;
  bool sub = false;  // holds sub-chunks
  std::vector<uint8_t> data;
  std::vector<ChunkNode> kids;

  bool operator==(const ChunkNode&) const = default;
};

inline std::vector<uint8_t> Bytes(size_t n, unsigned seed) {
  std::vector<uint8_t> v(n);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : v) {
    x = x * 1664525u + 1013904223u;
    b = uint8_t(x >> 24);
  }
  return v;
}

inline ChunkNode DataChunk(USHORT id, std::vector<uint8_t> data) {
  ChunkNode n;
  n.id = id;
  n.data = std::move(data);
  return n;
}

// A group with no children is stored as an empty chunk; it reads back as an empty data chunk.
inline ChunkNode Group(USHORT id, std::vector<ChunkNode> kids) {
  ChunkNode n;
  n.id = id;
  n.sub = !kids.empty();
  n.kids = std::move(kids);
  return n;
}

// Writes data in up to three pieces so that appending within a chunk is exercised.
inline void SaveNode(ISave& s, const ChunkNode& n) {
  s.BeginChunk(n.id);
  if (n.sub) {
    for (const ChunkNode& k : n.kids) SaveNode(s, k);
  } else {
    size_t cut1 = n.data.size() / 3, cut2 = n.data.size() / 2;
    size_t cuts[] = {0, cut1, cut2, n.data.size()};
    for (int i = 0; i < 3; ++i) {
      if (cuts[i + 1] == cuts[i] && !(i == 0 && n.data.empty())) continue;
      ULONG w = 12345;
      ULONG len = ULONG(cuts[i + 1] - cuts[i]);
      IOResult r = s.Write(n.data.data() + cuts[i], len, &w);
      if (r != IO_OK || w != len) throw std::runtime_error("Write failed");
    }
  }
  s.EndChunk();
}

inline IOResult SaveTree(const std::string& path, const std::vector<ChunkNode>& top) {
  FileSave f(path);
  for (const ChunkNode& n : top) SaveNode(f, n);
  return f.Close();
}

struct WalkResult {
  bool error = false;      // IO_ERROR seen at Status, OpenChunk, Read or CloseChunk
  bool violation = false;  // the loader broke its own contract (read past a chunk, wrong counts)
  std::vector<ChunkNode> top;
  size_t dataBytes = 0;
};

// Walks the whole tree, reading every data chunk fully in pieces, as a plug-in's loader would. Trusts
// CurChunkLength for its buffer, as real loaders do: the loader must never report more than the file holds.
inline bool WalkLevel(FileLoad& f, std::vector<ChunkNode>& out, WalkResult& res) {
  for (;;) {
    IOResult r = f.OpenChunk();
    if (r == IO_END) return true;
    if (r != IO_OK) {
      res.error = true;
      return false;
    }
    ChunkNode n;
    n.id = f.CurChunkID();
    n.sub = f.CurChunkHasSubChunks();
    ULONG len = f.CurChunkLength();
    bool ok = true;
    if (n.sub) {
      ok = WalkLevel(f, n.kids, res);
    } else {
      n.data.reserve(len);
      uint8_t buf[333];
      ULONG left = len;
      while (left > 0) {
        ULONG want = left < sizeof buf ? left : ULONG(sizeof buf);
        ULONG got = 0;
        if (f.Read(buf, want, &got) != IO_OK || got != want) {
          res.violation = true;
          ok = false;
          break;
        }
        n.data.insert(n.data.end(), buf, buf + got);
        left -= got;
      }
      ULONG got = 7;
      if (ok && (f.Read(buf, 1, &got) != IO_ERROR || got != 0)) res.violation = true;
      res.dataBytes += n.data.size();
    }
    if (f.CloseChunk() != IO_OK) {
      res.violation = true;
      ok = false;
    }
    out.push_back(std::move(n));
    if (!ok) return false;
  }
}

inline WalkResult WalkFile(const std::string& path) {
  WalkResult res;
  FileLoad f(path);
  if (f.Status() != IO_OK) {
    res.error = true;
    if (f.OpenChunk() != IO_ERROR) res.violation = true;
    return res;
  }
  WalkLevel(f, res.top, res);
  return res;
}

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "ww_chunks_XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& Path() const { return path_; }
  size_t EntryCount() const {
    size_t n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(path_)) ++n;
    return n;
  }

 private:
  std::filesystem::path path_;
};
