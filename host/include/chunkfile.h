#pragma once
// Chunk files on disk: the host's scene file writer and reader.
#include "ioapi.h"
#include <cstddef>
#include <memory>
#include <string>

// On-disk layout (all integers little-endian):
//   file header: 4-byte magic "WWCF", uint32 format version, uint32 length of the chunk data that follows
//                (the rest of the file; a file whose size disagrees is damaged)
//   chunk:       uint16 id, uint32 length of the chunk's data or of its sub-chunks, then those bytes.
//                The top bit of the length marks a chunk that holds sub-chunks.
// The top level holds chunks only.
namespace ChunkFormat {
constexpr char kMagic[4] = {'W', 'W', 'C', 'F'};
constexpr ULONG kVersion = 1;
constexpr size_t kFileHeaderSize = 12;
constexpr size_t kChunkHeaderSize = 6;
constexpr ULONG kSubChunksBit = 0x80000000u;
constexpr ULONG kMaxChunkLength = 0x7FFFFFFFu;
}  // namespace ChunkFormat

// Writes a chunk tree to a file. Nothing is on disk until Close() succeeds.
// The tree is built in memory; Close() writes it to a temporary file in the same directory and renames it
// over the target, so a failed save leaves any existing file untouched.
// A chunk holds either data or sub-chunks. Misuse -- Write into a chunk that already has sub-chunks or
// outside any chunk, BeginChunk inside a chunk that already has data, EndChunk without an open chunk,
// a chunk longer than kMaxChunkLength -- makes that call fail (Write returns IO_ERROR) and makes Close()
// return IO_ERROR without touching the disk. A chunk with neither is an empty data chunk.
class HOSTAPI FileSave : public ISave {
 public:
  explicit FileSave(const std::string& path);
  ~FileSave() override;
  void BeginChunk(USHORT id) override;
  void EndChunk() override;
  IOResult Write(const void* buf, ULONG nbytes, ULONG* nwrit) override;
  // Writes the file; IO_ERROR when chunks are still open, the tree was misused (see above) or the file
  // cannot be written. Only the first call writes; later calls return the same result.
  IOResult Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Reads a chunk tree from a file. A damaged file (truncated, or chunk lengths that lie) gives IO_ERROR;
// nothing is read past the data and no allocation exceeds the file's size.
// OpenChunk inside a chunk that holds data is IO_ERROR, except in an empty chunk, where it is IO_END
// (a chunk closed with nothing in it has no sub-chunks either). Read of more bytes than remain copies what
// remains, sets *nread to that count and returns IO_ERROR. CloseChunk skips whatever was not read.
class HOSTAPI FileLoad : public ILoad {
 public:
  explicit FileLoad(const std::string& path);
  ~FileLoad() override;
  // IO_OK when the file could be opened and read.
  IOResult Status() const;
  IOResult OpenChunk() override;
  USHORT CurChunkID() override;
  ULONG CurChunkLength() override;
  IOResult CloseChunk() override;
  IOResult Read(void* buf, ULONG nbytes, ULONG* nread) override;
  // True when the open chunk holds sub-chunks rather than data (for tools that walk unknown files).
  bool CurChunkHasSubChunks();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
