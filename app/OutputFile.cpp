#include "OutputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace {

constexpr uint64_t kPow10[] = {1ull,
                               10ull,
                               100ull,
                               1000ull,
                               10000ull,
                               100000ull,
                               1000000ull,
                               10000000ull,
                               100000000ull,
                               1000000000ull,
                               10000000000ull,
                               100000000000ull,
                               1000000000000ull,
                               10000000000000ull,
                               100000000000000ull,
                               1000000000000000ull,
                               10000000000000000ull,
                               100000000000000000ull,
                               1000000000000000000ull,
                               10000000000000000000ull};

using U128 = unsigned __int128;

U128 Pow10(int k) { return k < 20 ? U128(kPow10[k]) : U128(kPow10[19]) * kPow10[k - 19]; }

// The nine significant digits of a float's exact value m * 2^e (m < 2^24), rounded to nearest with ties to
// even as printf rounds, and the decimal exponent of the first: value ~ digits * 10^(exp - 8). Only for
// values between 1e-20 and 1e20, where every step fits in 128 bits.
void NineDigits(uint32_t m, int e, uint32_t* digits, int* exp) {
  // A first guess of the exponent from the binary one, corrected below.
  int x = int(std::floor((e + 31 - __builtin_clz(m)) * 0.30102999566398120));
  for (;;) {
    // value * 10^(8 - x) = num / den
    const int k = 8 - x;
    U128 num = m, den = 1;
    if (e >= 0)
      num <<= e;
    else
      den <<= -e;
    if (k >= 0)
      num *= Pow10(k);
    else
      den *= Pow10(-k);
    U128 q = num / den;
    const U128 r = num - q * den;
    if (q >= 1000000000) {
      ++x;
      continue;
    }
    if (q < 100000000) {
      --x;
      continue;
    }
    if (2 * r > den || (2 * r == den && (q & 1))) ++q;
    if (q == 1000000000) q = 100000000, ++x;
    *digits = uint32_t(q);
    *exp = x;
    return;
  }
}

// %.9g of a float in that range: fixed notation for exponents -4 to 8, else d.dddddddde+XX, trailing zeros
// of the fraction dropped either way.
size_t FloatText(char* out, float f) {
  char* p = out;
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  if (bits >> 31) *p++ = '-';
  const uint32_t field = (bits >> 23) & 0xFF;
  uint32_t digits;
  int x;
  NineDigits((bits & 0x7FFFFF) | 0x800000, int(field) - 150, &digits, &x);
  char d[9];
  for (int i = 8; i >= 0; --i) d[i] = char('0' + digits % 10), digits /= 10;
  int last = 8;  // the last digit kept: trailing zeros go
  while (last > 0 && d[last] == '0') --last;
  if (x >= -4 && x < 9) {
    if (x >= 0) {
      for (int i = 0; i <= x; ++i) *p++ = d[i];
      if (last > x) {
        *p++ = '.';
        for (int i = x + 1; i <= last; ++i) *p++ = d[i];
      }
    } else {
      *p++ = '0';
      *p++ = '.';
      for (int i = -1; i > x; --i) *p++ = '0';
      for (int i = 0; i <= last; ++i) *p++ = d[i];
    }
  } else {
    *p++ = d[0];
    if (last > 0) {
      *p++ = '.';
      for (int i = 1; i <= last; ++i) *p++ = d[i];
    }
    *p++ = 'e';
    *p++ = x < 0 ? '-' : '+';
    const int ax = x < 0 ? -x : x;
    *p++ = char('0' + ax / 10);
    *p++ = char('0' + ax % 10);
  }
  return size_t(p - out);
}

}  // namespace

size_t FormatFloat9(char* out, double v) {
  // Most values are a mesh's floats of moderate size: their exact value is a small fraction, rounded here
  // with integers. The rest go to to_chars, which the standard defines with a precision as printf's %.*g in
  // the C locale.
  const float f = float(v);
  const double a = std::fabs(v);
  if (double(f) == v && a >= 1e-20 && a <= 1e20) return FloatText(out, f);
  const auto r = std::to_chars(out, out + kFloatChars, v, std::chars_format::general, 9);
  return size_t(r.ptr - out);
}

size_t FormatUnsigned(char* out, uint64_t v) { return size_t(std::to_chars(out, out + 20, v).ptr - out); }

void ChunkSink::Bytes(const void* p, size_t n) {
  const char* s = static_cast<const char*>(p);
  while (n) {
    if (used_ == kChunkBytes) Drain();
    const size_t k = std::min(n, kChunkBytes - used_);
    std::memcpy(buf_.get() + used_, s, k);
    used_ += k, s += k, n -= k;
  }
}

void ChunkSink::Drain() {
  if (!used_) return;
  const size_t n = used_;
  // Counted as handed on even when Deliver throws: the sink is not written to after a failure.
  used_ = 0;
  delivered_ += n;
  Deliver(buf_.get(), n);
}

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {
  // The temporary sits in the same folder so that the rename stays within one file system.
  tmp_ = path_ + ".tmp." + std::to_string(::getpid());
  fd_ = ::open(tmp_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) throw std::runtime_error("cannot write " + path_ + ": " + std::strerror(errno));
}

AtomicFile::~AtomicFile() {
  if (fd_ >= 0) ::close(fd_);
  if (state_ != State::Renamed && state_ != State::Failed) ::unlink(tmp_.c_str());
}

void AtomicFile::Fail(int err) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  ::unlink(tmp_.c_str());
  state_ = State::Failed;  // nothing more goes to a file that failed
  throw std::runtime_error("cannot write " + path_ + ": " + std::strerror(err));
}

void AtomicFile::Deliver(const char* p, size_t n) {
  if (state_ != State::Open) throw std::runtime_error("cannot write " + path_ + ": the file is no longer open");
  while (n) {
    const ssize_t w = ::write(fd_, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
    }
    // A write that takes nothing would loop for ever: the disk is full.
    if (w == 0) Fail(ENOSPC);
    p += w, n -= size_t(w);
  }
}

void AtomicFile::Finish() {
  if (state_ == State::Closed) return;
  if (state_ != State::Open) throw std::runtime_error("cannot write " + path_ + ": the file is no longer open");
  Drain();
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) Fail(errno);
  state_ = State::Closed;
}

void AtomicFile::Commit() { CommitTogether({this}); }

void CommitTogether(const std::vector<AtomicFile*>& files) {
  for (AtomicFile* f : files) f->Finish();
  for (AtomicFile* f : files) {
    if (std::rename(f->tmp_.c_str(), f->path_.c_str()) != 0) {
      const int e = errno;
      // The rest stay temporaries and are removed with their files.
      throw std::runtime_error("cannot write " + f->path_ + ": " + std::strerror(e));
    }
    f->state_ = AtomicFile::State::Renamed;
  }
}
