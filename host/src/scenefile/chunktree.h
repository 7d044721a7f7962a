#pragma once
// A chunk file held in memory: what a scene save builds before anything goes to disk, and what a scene load
// reads the file into before anything is believed, so that the loaders of the classes can be run in
// whatever order the references need, and the digest can be checked over the whole file first.
#include <cstdint>
#include <string>
#include <vector>

#include "chunkfile.h"
#include "ioapi.h"

namespace scenefile {

struct Chunk {
  USHORT id = 0;
  bool sub = false;  // holds sub-chunks (kids) rather than data
  std::vector<uint8_t> data;
  std::vector<Chunk> kids;
  ULONG length = 0;  // of the data, or of the sub-chunks with their headers, as the file has it
};

// Deeper than this a scene file never nests: a file that does is damaged, and is not followed down.
constexpr int kMaxDepth = 32;

// Builds a chunk tree as the file writer would write it, with the writer's rules: a chunk holds data or
// sub-chunks, never both; Write outside a chunk, EndChunk without one, or a chunk longer than a file
// chunk can be all make the tree unusable (Misused), as does ending with chunks still open (Depth).
class TreeSave : public ISave {
 public:
  TreeSave();
  void BeginChunk(USHORT id) override;
  void EndChunk() override;
  IOResult Write(const void* buf, ULONG nbytes, ULONG* nwrit) override;
  bool Misused() const { return misused_; }
  // Chunks open now (0 at the top level).
  size_t Depth() const { return open_.size() - 1; }
  // The top-level chunks written so far.
  std::vector<Chunk>& Top() { return top_.kids; }

 private:
  Chunk top_;
  std::vector<Chunk*> open_;  // top_ and the chunks opened in it, innermost last
  bool misused_ = false;
};

// Reads the chunks of one level of a tree (and what lies below them) with the file reader's rules. Once any
// call has answered IO_ERROR, Failed() says so: a class's Load that keeps going after a failed read (as the
// recording's does) is still found out.
class TreeLoad : public ILoad {
 public:
  explicit TreeLoad(const std::vector<Chunk>& level);
  // The sub-chunks of `parent`; a data chunk reads as a level with nothing in it when empty, and as a
  // level that is all damage otherwise.
  explicit TreeLoad(const Chunk& parent);
  IOResult OpenChunk() override;
  USHORT CurChunkID() override;
  ULONG CurChunkLength() override;
  IOResult CloseChunk() override;
  IOResult Read(void* buf, ULONG nbytes, ULONG* nread) override;
  bool Failed() const { return failed_; }

 private:
  struct Frame {
    const Chunk* chunk;  // null at the base level
    const std::vector<Chunk>* kids;
    size_t next = 0;  // next kid to open
    size_t pos = 0;   // next data byte to read
  };
  IOResult Fail() {
    failed_ = true;
    return IO_ERROR;
  }
  std::vector<Frame> frames_;
  bool failed_ = false;
};

// Reads the whole tree of a file opened without error; false with *error set when the file is damaged
// beyond what the reader itself finds (nested deeper than kMaxDepth).
bool ReadTree(FileLoad& in, std::vector<Chunk>& top, std::string* error);
// Writes chunks (and what lies below them) through a writer.
void WriteTree(ISave& out, const std::vector<Chunk>& chunks);
// CRC-32 (the one of zip and PNG) over the first `count` chunks (and what lies below them): their ids,
// kinds, data and lengths, in file order.
uint32_t Digest(const std::vector<Chunk>& chunks, size_t count);

}  // namespace scenefile
