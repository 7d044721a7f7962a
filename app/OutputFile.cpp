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
// even as printf rounds, and the decimal exponent of the first: value ~ digits * 10^(exp - 8). *exp comes
// in as a guess of that exponent, corrected here. Only for values between 1e-20 and 1e20, where every step
// fits in 128 bits.
void NineDigits(uint32_t m, int e, uint32_t* digits, int* exp) {
  int x = *exp;
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

// Powers of ten as doubles, 10^-24 to 10^24: exact from 10^0 to 10^22.
constexpr double kTenTo[] = {1e-24, 1e-23, 1e-22, 1e-21, 1e-20, 1e-19, 1e-18, 1e-17, 1e-16, 1e-15, 1e-14, 1e-13, 1e-12,
                             1e-11, 1e-10, 1e-9,  1e-8,  1e-7,  1e-6,  1e-5,  1e-4,  1e-3,  1e-2,  1e-1,  1e0,   1e1,
                             1e2,   1e3,   1e4,   1e5,   1e6,   1e7,   1e8,   1e9,   1e10,  1e11,  1e12,  1e13,  1e14,
                             1e15,  1e16,  1e17,  1e18,  1e19,  1e20,  1e21,  1e22,  1e23,  1e24};
double TenTo(int k) { return kTenTo[k + 24]; }

// The nine digits from a double estimate of a * 10^(8 - x), a being a float's value (exact in a double) and
// x the decimal exponent of its first digit (-20 to 20). The estimate is one rounding of an exact product or
// quotient (within 2e-6 of the value here), so its rounding is printf's unless it lies near halfway or near
// a change of exponent, or the power of ten is not exact: then it returns false for the exact way.
bool NineDigitsFast(double a, int x, uint32_t* digits) {
  const int k = 8 - x;
  if (k > 22) return false;
  const double d = k >= 0 ? a * TenTo(k) : a / TenTo(-k);
  if (!(d >= 1e8 + 1.0 && d < 1e9 - 1.0)) return false;
  const double whole = std::floor(d), frac = d - whole;
  // Halfway is where the exact value decides (ties go to even).
  if (std::fabs(frac - 0.5) < 1e-5) return false;
  *digits = uint32_t(whole) + uint32_t(frac > 0.5);  // below 1e9 - 1, so no carry into a tenth digit
  return true;
}

constexpr char kTwoDigits[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// %.9g of a float in that range: fixed notation for exponents -4 to 8, else d.dddddddde+XX, trailing zeros
// of the fraction dropped either way.
size_t FloatText(char* out, float f) {
  char* p = out;
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  *p = '-';  // kept only for a negative value, without a branch on the sign
  p += bits >> 31;
  const uint32_t field = (bits >> 23) & 0xFF;
  const uint32_t m = (bits & 0x7FFFFF) | 0x800000;
  const int e = int(field) - 150;
  uint32_t digits;
  int x;
  const double a = std::fabs(double(f));
  // The decimal exponent: floor(E log10 2) of the binary exponent E by integers, then one more when the
  // value reaches the next power of ten.
  x = ((e + 31 - __builtin_clz(m)) * 78913) >> 18;
  x += int(a >= TenTo(x + 1));
  if (!NineDigitsFast(a, x, &digits)) NineDigits(m, e, &digits, &x);
  // The first digit, and the other eight as one number per byte (first in the lowest byte), made in a
  // register: written with stores only, never read back from memory (which would stall on the small stores).
  const char first = char('0' + digits / 100000000);
  const uint64_t eight = outputdetail::EightDigits(digits % 100000000), text = eight + 0x3030303030303030ull;
  const int last = eight ? 8 - __builtin_clzll(eight) / 8 : 0;  // the last digit kept: trailing zeros go
  // Fixed-size stores past the text's end are inside the kFloatChars of room.
  if (x >= 0 && x < 9) {
    p[0] = first;
    std::memcpy(p + 1, &text, 8);
    if (last <= x) return size_t(p - out) + size_t(x) + 1;
    p[x + 1] = '.';
    const uint64_t fraction = text >> (8 * x);
    std::memcpy(p + x + 2, &fraction, 8);
    return size_t(p - out) + size_t(last) + 2;
  }
  if (x < 0 && x >= -4) {
    const int zeros = -x - 1;
    std::memcpy(p, "0.000", 5);
    p[2 + zeros] = first;
    std::memcpy(p + 3 + zeros, &text, 8);
    return size_t(p - out) + 2 + size_t(zeros) + size_t(last) + 1;
  }
  *p++ = first;
  if (last > 0) {
    *p++ = '.';
    std::memcpy(p, &text, 8);
    p += last;
  }
  *p++ = 'e';
  *p++ = x < 0 ? '-' : '+';
  const int ax = x < 0 ? -x : x;
  std::memcpy(p, kTwoDigits + 2 * ax, 2);
  p += 2;
  return size_t(p - out);
}

}  // namespace

size_t FormatFloat9(char* out, double v) {
  // Most values are a mesh's floats of moderate size: their exact value is a small fraction, rounded here
  // with integers. The rest go to to_chars, which the standard defines with a precision as printf's %.*g in
  // the C locale.
  if (v == 0) {
    std::memcpy(out, "-0", 2);
    return std::signbit(v) ? 2 : (*out = '0', 1);
  }
  const float f = float(v);
  const double a = std::fabs(v);
  if (double(f) == v && a >= 1e-20 && a <= 1e20) return FloatText(out, f);
  const auto r = std::to_chars(out, out + kFloatChars, v, std::chars_format::general, 9);
  return size_t(r.ptr - out);
}

size_t FormatLargeUnsigned(char* out, uint64_t v) {
  return size_t(std::to_chars(out, out + kUnsignedChars, v).ptr - out);
}

void ChunkSink::BytesAcrossChunks(const void* p, size_t n) {
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
