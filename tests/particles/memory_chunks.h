#pragma once
// An in-memory stand-in for the host's chunk writer and reader, one level deep: it records which chunks
// were begun and ended and the bytes written into each, and serves chunks back for loading.
#include <max.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

struct MemChunk {
  USHORT id = 0;
  std::vector<uint8_t> data;
};

class MemSave : public ISave {
 public:
  void BeginChunk(USHORT id) override {
    begun.push_back(id);
    chunks.push_back(MemChunk{id, {}});
    ++depth;
  }
  void EndChunk() override {
    ++ended;
    --depth;
  }
  IOResult Write(const void* buf, ULONG nbytes, ULONG* nwrit) override {
    ++writes;
    if (failAtWrite >= 0 && writes > failAtWrite) {
      if (nwrit) *nwrit = 0;
      return IO_ERROR;
    }
    if (depth <= 0 || chunks.empty()) return IO_ERROR;
    const uint8_t* p = static_cast<const uint8_t*>(buf);
    chunks.back().data.insert(chunks.back().data.end(), p, p + nbytes);
    if (nwrit) *nwrit = nbytes;
    return IO_OK;
  }

  std::vector<USHORT> begun;
  std::vector<MemChunk> chunks;
  int ended = 0;
  int depth = 0;
  int writes = 0;
  // When >= 0, every Write after this many succeeds fails.
  int failAtWrite = -1;
};

class MemLoad : public ILoad {
 public:
  explicit MemLoad(std::vector<MemChunk> c) : chunks(std::move(c)) {}

  IOResult OpenChunk() override {
    if (cur >= 0) return IO_ERROR;  // the state's chunk holds data, never sub-chunks
    if (damageAt >= 0 && next == size_t(damageAt)) return IO_ERROR;
    if (next >= chunks.size()) return IO_END;
    cur = int(next++);
    pos = 0;
    ++opened;
    return IO_OK;
  }
  USHORT CurChunkID() override { return cur >= 0 ? chunks[size_t(cur)].id : 0; }
  ULONG CurChunkLength() override { return cur >= 0 ? ULONG(chunks[size_t(cur)].data.size()) : 0; }
  IOResult CloseChunk() override {
    if (cur < 0) return IO_ERROR;
    cur = -1;
    ++closed;
    return IO_OK;
  }
  // Like the file reader: a read past the end copies what remains and fails.
  IOResult Read(void* buf, ULONG nbytes, ULONG* nread) override {
    ++reads;
    if (cur < 0) {
      if (nread) *nread = 0;
      return IO_ERROR;
    }
    const std::vector<uint8_t>& d = chunks[size_t(cur)].data;
    size_t n = std::min<size_t>(nbytes, d.size() - pos);
    if (n) std::memcpy(buf, d.data() + pos, n);
    pos += n;
    if (nread) *nread = ULONG(n);
    return n == nbytes ? IO_OK : IO_ERROR;
  }

  std::vector<MemChunk> chunks;
  // When >= 0, OpenChunk reports damage instead of opening the chunk with this index.
  int damageAt = -1;
  int opened = 0, closed = 0, reads = 0;

 private:
  size_t next = 0;
  int cur = -1;
  size_t pos = 0;
};

// Little-endian byte builder for expected chunk bodies, independent of the code under test.
class LeBytes {
 public:
  LeBytes& i32(int32_t v) { return u32(uint32_t(v)); }
  LeBytes& u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(v >> (8 * i)));
    return *this;
  }
  LeBytes& f32(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u32(u);
  }
  // A key record: rows 0..3, the flags word, time, age.
  LeBytes& key(const float rows[12], uint32_t flags, int32_t time, int32_t age) {
    for (int i = 0; i < 12; ++i) f32(rows[i]);
    return u32(flags).i32(time).i32(age);
  }
  std::vector<uint8_t> bytes;
};
