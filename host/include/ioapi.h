#pragma once
// Scene file chunk I/O. A scene file is a tree of chunks: each chunk has a 16-bit id and a length; a chunk
// holds either data or further chunks.
#include "maxtypes.h"

typedef unsigned short USHORT;

class HOSTAPI ISave {
 public:
  virtual ~ISave() = default;
  virtual void BeginChunk(USHORT id) = 0;
  virtual void EndChunk() = 0;
  // Writes nbytes at the current position of the open chunk; *nwrit gets the count written.
  virtual IOResult Write(const void* buf, ULONG nbytes, ULONG* nwrit) = 0;
};

class HOSTAPI ILoad {
 public:
  virtual ~ILoad() = default;
  // Opens the next chunk at the current level: IO_OK, IO_END when the level has no more chunks,
  // IO_ERROR when the file is damaged.
  virtual IOResult OpenChunk() = 0;
  virtual USHORT CurChunkID() = 0;
  virtual ULONG CurChunkLength() = 0;  // length of the open chunk's data
  virtual IOResult CloseChunk() = 0;
  // Reads nbytes of the open chunk's data; reading past its end is IO_ERROR.
  virtual IOResult Read(void* buf, ULONG nbytes, ULONG* nread) = 0;
};
