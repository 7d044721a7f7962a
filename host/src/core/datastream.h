#pragma once
// Values in saved chunks, little-endian whatever the machine: written through ISave, read from one data
// chunk through ILoad with the bytes the chunk has left counted, so that no count read from a file is
// believed beyond what the chunk can hold. Floats read back must be finite: a saved scene never holds
// anything else, and a NaN let in would travel into every computation downstream.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "ioapi.h"
#include "matrix3.h"
#include "point3.h"
#include "quat.h"

namespace hostio {

class Writer {
 public:
  explicit Writer(ISave* s) : s_(s) {}
  void U8(uint8_t v) { Bytes(&v, 1); }
  void U32(uint32_t v) {
    uint8_t b[4];
    for (int i = 0; i < 4; ++i) b[i] = uint8_t(v >> (8 * i));
    Bytes(b, 4);
  }
  void I32(int32_t v) { U32(uint32_t(v)); }
  void F32(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    U32(u);
  }
  void P3(const Point3& p) {
    F32(p.x);
    F32(p.y);
    F32(p.z);
  }
  void Q(const Quat& q) {
    F32(q.x);
    F32(q.y);
    F32(q.z);
    F32(q.w);
  }
  // Four rows, then the flags word.
  void M3(const Matrix3& m) {
    for (int r = 0; r < 4; ++r) P3(m.GetRow(r));
    U32(m.GetIdentFlags());
  }
  // Length, then the bytes.
  void Str(const std::string& s) {
    U32(uint32_t(s.size()));
    Bytes(s.data(), s.size());
  }
  void Bytes(const void* p, size_t n) {
    if (!ok_ || n == 0) return;
    ULONG written = 0;
    ok_ = n <= 0xFFFFFFFFu && s_->Write(p, ULONG(n), &written) == IO_OK && written == n;
  }
  bool Ok() const { return ok_; }

 private:
  ISave* s_;
  bool ok_ = true;
};

// Reads the open data chunk. Every read fails once one has: chains of && stop at the first.
class Reader {
 public:
  explicit Reader(ILoad* l) : l_(l), left_(l->CurChunkLength()) {}
  bool U8(uint8_t& v) { return Bytes(&v, 1); }
  bool Bool(bool& v) {
    uint8_t b = 0;
    if (!U8(b) || b > 1) return Fail();
    v = b != 0;
    return true;
  }
  bool U32(uint32_t& v) {
    uint8_t b[4];
    if (!Bytes(b, 4)) return false;
    v = uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
    return true;
  }
  bool I32(int32_t& v) {
    uint32_t u;
    if (!U32(u)) return false;
    v = int32_t(u);
    return true;
  }
  bool F32(float& f) {
    uint32_t u;
    if (!U32(u)) return false;
    std::memcpy(&f, &u, 4);
    return std::isfinite(f) || Fail();
  }
  bool P3(Point3& p) { return F32(p.x) && F32(p.y) && F32(p.z); }
  bool Q(Quat& q) { return F32(q.x) && F32(q.y) && F32(q.z) && F32(q.w); }
  bool M3(Matrix3& m) {
    Point3 rows[4];
    uint32_t flags;
    if (!(P3(rows[0]) && P3(rows[1]) && P3(rows[2]) && P3(rows[3]) && U32(flags))) return false;
    Matrix3 out(FALSE);
    for (int r = 0; r < 4; ++r) out.SetRow(r, rows[r]);
    // The flags come back as they were saved, not as the rows would have them.
    out.ClearIdentFlag(~DWORD(0));
    out.SetIdentFlags(flags);
    m = out;
    return true;
  }
  bool Str(std::string& s) {
    uint32_t n;
    if (!U32(n) || n > left_) return Fail();
    s.resize(n);
    return n == 0 || Bytes(s.data(), n);
  }
  // A count of entries of at least `each` bytes, read and checked against what the chunk has left.
  bool Count(uint32_t& n, uint32_t each) { return U32(n) && (uint64_t(n) * each <= left_ || Fail()); }
  bool Bytes(void* p, ULONG n) {
    if (!ok_ || n > left_) return Fail();
    ULONG got = 0;
    if (l_->Read(p, n, &got) != IO_OK || got != n) return Fail();
    left_ -= n;
    return true;
  }
  // Marks the data bad (a value out of its range); always false.
  bool Fail() {
    ok_ = false;
    return false;
  }
  bool Ok() const { return ok_; }
  // Everything read, nothing left over.
  bool Done() const { return ok_ && left_ == 0; }

 private:
  ILoad* l_;
  ULONG left_;
  bool ok_ = true;
};

// A class's data as one data chunk of this id.
constexpr USHORT kDataChunk = 0x0100;

// Writes one data chunk `id` filled by fill(Writer&); IO_ERROR when a write failed.
template <class Fill>
IOResult SaveData(ISave* s, Fill fill, USHORT id = kDataChunk) {
  if (!s) return IO_ERROR;
  s->BeginChunk(id);
  Writer w(s);
  fill(w);
  s->EndChunk();
  return w.Ok() ? IO_OK : IO_ERROR;
}

// Reads the one data chunk `id` of the current level with read(Reader&), which must read it all; IO_ERROR
// when it is missing, another chunk comes before or after it, or read fails or leaves bytes over.
template <class Read>
IOResult LoadData(ILoad* l, Read read, USHORT id = kDataChunk) {
  if (!l || l->OpenChunk() != IO_OK) return IO_ERROR;
  bool ok = l->CurChunkID() == id;
  if (ok) {
    Reader r(l);
    ok = read(r) && r.Done();
  }
  if (l->CloseChunk() != IO_OK || !ok) return IO_ERROR;
  const IOResult next = l->OpenChunk();
  if (next == IO_OK) l->CloseChunk();
  return next == IO_END ? IO_OK : IO_ERROR;
}

}  // namespace hostio
