// The in-memory chunk tree: building it, reading it back, moving it to and from files, its digest.
#include "chunktree.h"

#include <cstring>

namespace scenefile {

// ---- TreeSave --------------------------------------------------------------------------------------------

TreeSave::TreeSave() {
  top_.sub = true;
  open_.push_back(&top_);
}

void TreeSave::BeginChunk(USHORT id) {
  Chunk* parent = open_.back();
  if (parent != &top_ && !parent->data.empty()) misused_ = true;
  parent->sub = true;
  // Only the innermost chunk's kids grow, so the chunks on the open list stay where they are.
  parent->kids.emplace_back();
  parent->kids.back().id = id;
  open_.push_back(&parent->kids.back());
}

void TreeSave::EndChunk() {
  if (open_.size() < 2) {
    misused_ = true;
    return;
  }
  Chunk* c = open_.back();
  open_.pop_back();
  uint64_t length = c->data.size();
  for (const Chunk& k : c->kids) length += ChunkFormat::kChunkHeaderSize + k.length;
  if (length > ChunkFormat::kMaxChunkLength) {
    misused_ = true;
    length = ChunkFormat::kMaxChunkLength;
  }
  c->length = ULONG(length);
}

IOResult TreeSave::Write(const void* buf, ULONG nbytes, ULONG* nwrit) {
  if (nwrit) *nwrit = 0;
  Chunk* c = open_.back();
  if (c == &top_ || c->sub || (nbytes > 0 && !buf)) {
    misused_ = true;
    return IO_ERROR;
  }
  const auto* p = static_cast<const uint8_t*>(buf);
  if (nbytes > 0) c->data.insert(c->data.end(), p, p + nbytes);
  if (nwrit) *nwrit = nbytes;
  return IO_OK;
}

// ---- TreeLoad --------------------------------------------------------------------------------------------

TreeLoad::TreeLoad(const std::vector<Chunk>& level) { frames_.push_back({nullptr, &level}); }

TreeLoad::TreeLoad(const Chunk& parent) { frames_.push_back({&parent, &parent.kids}); }

IOResult TreeLoad::OpenChunk() {
  Frame& f = frames_.back();
  if (f.chunk && !f.chunk->sub) return f.chunk->data.empty() ? IO_END : Fail();
  if (f.next == f.kids->size()) return IO_END;
  const Chunk& c = (*f.kids)[f.next++];
  frames_.push_back({&c, &c.kids});
  return IO_OK;
}

USHORT TreeLoad::CurChunkID() { return frames_.back().chunk ? frames_.back().chunk->id : 0; }

ULONG TreeLoad::CurChunkLength() { return frames_.back().chunk ? frames_.back().chunk->length : 0; }

IOResult TreeLoad::CloseChunk() {
  if (frames_.size() < 2) return Fail();
  frames_.pop_back();
  return IO_OK;
}

IOResult TreeLoad::Read(void* buf, ULONG nbytes, ULONG* nread) {
  if (nread) *nread = 0;
  Frame& f = frames_.back();
  if (!f.chunk || f.chunk->sub) return Fail();
  const size_t left = f.chunk->data.size() - f.pos;
  const size_t n = nbytes < left ? nbytes : left;
  if (n > 0) {
    if (!buf) return Fail();
    std::memcpy(buf, f.chunk->data.data() + f.pos, n);
    f.pos += n;
  }
  if (nread) *nread = ULONG(n);
  return n == nbytes ? IO_OK : Fail();
}

// ---- files -----------------------------------------------------------------------------------------------

namespace {

bool ReadLevel(FileLoad& in, std::vector<Chunk>& out, int depth, std::string* error) {
  for (;;) {
    const IOResult r = in.OpenChunk();
    if (r == IO_END) return true;
    if (r != IO_OK) {
      *error = "damaged: a chunk's length runs past the chunk that holds it";
      return false;
    }
    out.emplace_back();
    Chunk& c = out.back();
    c.id = in.CurChunkID();
    c.sub = in.CurChunkHasSubChunks();
    c.length = in.CurChunkLength();
    if (c.sub) {
      if (depth >= kMaxDepth) {
        *error = "damaged: chunks nested deeper than a scene has them";
        return false;
      }
      if (!ReadLevel(in, c.kids, depth + 1, error)) return false;
    } else {
      // The reader has checked the length against the file, which it holds: this is no more than that.
      c.data.resize(c.length);
      ULONG got = 0;
      if (c.length > 0 && (in.Read(c.data.data(), c.length, &got) != IO_OK || got != c.length)) {
        *error = "damaged: a chunk's data cannot be read";
        return false;
      }
    }
    in.CloseChunk();
  }
}

// IEEE 802.3 polynomial, reflected.
struct CrcTable {
  uint32_t t[256];
  CrcTable() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
  }
};

class Crc {
 public:
  void Add(const uint8_t* p, size_t n) {
    static const CrcTable table;
    for (size_t i = 0; i < n; ++i) c_ = table.t[(c_ ^ p[i]) & 0xFF] ^ (c_ >> 8);
  }
  void Add32(uint32_t v) {
    const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    Add(b, 4);
  }
  uint32_t Value() const { return c_ ^ 0xFFFFFFFFu; }

 private:
  uint32_t c_ = 0xFFFFFFFFu;
};

// Each chunk as: 1, its id, its kind; its kids or its data; 2, its length. The markers keep a chunk's end
// apart from its data, so moving bytes across a boundary changes the digest.
void AddChunks(Crc& crc, const std::vector<Chunk>& chunks, size_t count) {
  for (size_t i = 0; i < count && i < chunks.size(); ++i) {
    const Chunk& c = chunks[i];
    const uint8_t head[4] = {1, uint8_t(c.id), uint8_t(c.id >> 8), uint8_t(c.sub ? 1 : 0)};
    crc.Add(head, sizeof head);
    if (c.sub)
      AddChunks(crc, c.kids, c.kids.size());
    else
      crc.Add(c.data.data(), c.data.size());
    const uint8_t tail = 2;
    crc.Add(&tail, 1);
    crc.Add32(c.length);
  }
}

}  // namespace

bool ReadTree(FileLoad& in, std::vector<Chunk>& top, std::string* error) { return ReadLevel(in, top, 0, error); }

void WriteTree(ISave& out, const std::vector<Chunk>& chunks) {
  for (const Chunk& c : chunks) {
    out.BeginChunk(c.id);
    if (c.sub) {
      WriteTree(out, c.kids);
    } else if (!c.data.empty()) {
      ULONG written = 0;
      out.Write(c.data.data(), ULONG(c.data.size()), &written);
    }
    out.EndChunk();
  }
}

uint32_t Digest(const std::vector<Chunk>& chunks, size_t count) {
  Crc crc;
  AddChunks(crc, chunks, count);
  return crc.Value();
}

}  // namespace scenefile
