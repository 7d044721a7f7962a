// Chunk files: the scene file writer (buffered, atomic on Close) and reader (whole file in memory, every
// length checked against its parent before use).
#include "chunkfile.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace ChunkFormat;

namespace {

void PutU16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}

void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

uint16_t GetU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

uint32_t GetU32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

bool WriteAll(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= size_t(w);
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Writes data to a new file beside path and renames it over path.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& data) {
  static std::atomic<unsigned> counter{0};
  if (path.empty() || path.back() == '/') return false;
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = path + ".tmp" + std::to_string(getpid()) + "_" + std::to_string(counter.fetch_add(1));
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  bool ok = WriteAll(fd, data.data(), data.size()) && ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  // Make the rename itself durable; failure here does not undo a completed save.
  int dir = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// FileSave

struct FileSave::Impl {
  enum class Holds { Nothing, Data, SubChunks };
  struct Open {
    size_t header;  // offset of the chunk's header in buf
    Holds holds = Holds::Nothing;
  };
  std::string path;
  std::vector<uint8_t> buf;
  std::vector<Open> open;
  bool misused = false;
  bool closed = false;
  IOResult closeResult = IO_ERROR;
};

FileSave::FileSave(const std::string& path) : impl_(std::make_unique<Impl>()) {
  impl_->path = path;
  impl_->buf.resize(kFileHeaderSize);
  memcpy(impl_->buf.data(), kMagic, 4);
  PutU32(impl_->buf, 4, kVersion);
}

FileSave::~FileSave() = default;

void FileSave::BeginChunk(USHORT id) {
  Impl& m = *impl_;
  if (m.closed) {
    m.misused = true;
    return;
  }
  if (!m.open.empty()) {
    Impl::Open& parent = m.open.back();
    if (parent.holds == Impl::Holds::Data) m.misused = true;
    parent.holds = Impl::Holds::SubChunks;
  }
  size_t at = m.buf.size();
  m.buf.resize(at + kChunkHeaderSize);
  PutU16(m.buf, at, id);
  m.open.push_back({at});
}

void FileSave::EndChunk() {
  Impl& m = *impl_;
  if (m.closed || m.open.empty()) {
    m.misused = true;
    return;
  }
  Impl::Open c = m.open.back();
  m.open.pop_back();
  size_t length = m.buf.size() - c.header - kChunkHeaderSize;
  if (length > kMaxChunkLength) {
    m.misused = true;
    length = kMaxChunkLength;
  }
  uint32_t word = uint32_t(length);
  if (c.holds == Impl::Holds::SubChunks) word |= kSubChunksBit;
  PutU32(m.buf, c.header + 2, word);
}

IOResult FileSave::Write(const void* buf, ULONG nbytes, ULONG* nwrit) {
  Impl& m = *impl_;
  if (nwrit) *nwrit = 0;
  if (m.closed || m.open.empty() || m.open.back().holds == Impl::Holds::SubChunks || (nbytes > 0 && !buf)) {
    m.misused = true;
    return IO_ERROR;
  }
  m.open.back().holds = Impl::Holds::Data;
  if (nbytes > 0) {
    const uint8_t* p = static_cast<const uint8_t*>(buf);
    m.buf.insert(m.buf.end(), p, p + nbytes);
  }
  if (nwrit) *nwrit = nbytes;
  return IO_OK;
}

IOResult FileSave::Close() {
  Impl& m = *impl_;
  if (m.closed) return m.closeResult;
  m.closed = true;
  size_t body = m.buf.size() - kFileHeaderSize;
  if (m.misused || !m.open.empty() || body > 0xFFFFFFFFu) {
    m.closeResult = IO_ERROR;
  } else {
    PutU32(m.buf, 8, uint32_t(body));
    m.closeResult = WriteFileAtomically(m.path, m.buf) ? IO_OK : IO_ERROR;
  }
  m.buf.clear();
  m.buf.shrink_to_fit();
  return m.closeResult;
}

// ---------------------------------------------------------------------------------------------------------
// FileLoad

struct FileLoad::Impl {
  // One open chunk. Frame 0 is the file's top level, which holds sub-chunks and has no header.
  struct Frame {
    USHORT id = 0;
    size_t begin = 0, end = 0;  // the chunk's data or sub-chunks: [begin, end) within data
    size_t pos = 0;             // next byte to read, or header of the next sub-chunk
    bool subChunks = false;
  };
  IOResult status = IO_ERROR;
  std::vector<uint8_t> data;
  std::vector<Frame> frames;

  bool ReadFile(const std::string& path);
  Frame* Current() { return frames.size() > 1 ? &frames.back() : nullptr; }
};

bool FileLoad::Impl::ReadFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (ok) {
    // Sized by the file itself; a file that changes size while we read it is refused.
    size_t size = size_t(st.st_size);
    data.resize(size);
    size_t got = 0;
    while (ok && got < size) {
      ssize_t r = ::read(fd, data.data() + got, size - got);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0)
        ok = false;
      else
        got += size_t(r);
    }
    uint8_t extra;
    if (ok && ::read(fd, &extra, 1) != 0) ok = false;
  }
  ::close(fd);
  if (!ok) data.clear();
  return ok;
}

FileLoad::FileLoad(const std::string& path) : impl_(std::make_unique<Impl>()) {
  Impl& m = *impl_;
  if (!m.ReadFile(path)) return;
  const std::vector<uint8_t>& d = m.data;
  if (d.size() < kFileHeaderSize || memcmp(d.data(), kMagic, 4) != 0 || GetU32(d.data() + 4) != kVersion ||
      GetU32(d.data() + 8) != d.size() - kFileHeaderSize) {
    m.data.clear();
    return;
  }
  Impl::Frame top;
  top.begin = top.pos = kFileHeaderSize;
  top.end = d.size();
  top.subChunks = true;
  m.frames.push_back(top);
  m.status = IO_OK;
}

FileLoad::~FileLoad() = default;

IOResult FileLoad::Status() const { return impl_->status; }

IOResult FileLoad::OpenChunk() {
  Impl& m = *impl_;
  if (m.status != IO_OK) return IO_ERROR;
  Impl::Frame& level = m.frames.back();
  if (!level.subChunks) return level.end == level.begin ? IO_END : IO_ERROR;
  if (level.pos == level.end) return IO_END;
  size_t room = level.end - level.pos;
  if (room < kChunkHeaderSize) return IO_ERROR;
  const uint8_t* h = m.data.data() + level.pos;
  uint32_t word = GetU32(h + 2);
  size_t length = word & kMaxChunkLength;
  if (length > room - kChunkHeaderSize) return IO_ERROR;
  Impl::Frame c;
  c.id = GetU16(h);
  c.begin = c.pos = level.pos + kChunkHeaderSize;
  c.end = c.begin + length;
  c.subChunks = (word & kSubChunksBit) != 0;
  // The parent moves past the whole chunk now, so CloseChunk skips whatever is left unread.
  level.pos = c.end;
  m.frames.push_back(c);
  return IO_OK;
}

USHORT FileLoad::CurChunkID() {
  Impl::Frame* c = impl_->Current();
  return c ? c->id : 0;
}

ULONG FileLoad::CurChunkLength() {
  Impl::Frame* c = impl_->Current();
  return c ? ULONG(c->end - c->begin) : 0;
}

bool FileLoad::CurChunkHasSubChunks() {
  Impl::Frame* c = impl_->Current();
  return c && c->subChunks;
}

IOResult FileLoad::CloseChunk() {
  Impl& m = *impl_;
  if (!m.Current()) return IO_ERROR;
  m.frames.pop_back();
  return IO_OK;
}

IOResult FileLoad::Read(void* buf, ULONG nbytes, ULONG* nread) {
  if (nread) *nread = 0;
  Impl::Frame* c = impl_->Current();
  if (!c || c->subChunks) return IO_ERROR;
  size_t left = c->end - c->pos;
  size_t n = nbytes < left ? nbytes : left;
  if (n > 0) {
    if (!buf) return IO_ERROR;
    memcpy(buf, impl_->data.data() + c->pos, n);
    c->pos += n;
  }
  if (nread) *nread = ULONG(n);
  return n == nbytes ? IO_OK : IO_ERROR;
}
