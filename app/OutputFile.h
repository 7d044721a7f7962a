#pragma once
// Files the exporters write: text and bytes gathered in a bounded buffer and handed on chunk by chunk, so
// that a file of any size costs a fixed amount of memory, and numbers formatted without printf.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// printf's "%.9g" of v (9 significant digits, trailing zeros dropped, an exponent below 1e-4 and from 1e9),
// written at out, which has room for kFloatChars characters. Returns the length.
constexpr size_t kFloatChars = 32;
size_t FormatFloat9(char* out, double v);
// The decimal digits of v at out, which has room for kUnsignedChars characters. Returns the length.
constexpr size_t kUnsignedChars = 20;
inline size_t FormatUnsigned(char* out, uint64_t v);

namespace outputdetail {

// The eight decimal digits of v < 10^8, one in each byte, the first in the lowest: both halves of four
// digits split into pairs and then into digits at once, by multiplications that divide every lane by 100
// and then by 10 (exact below 10^4 and 10^2).
inline uint64_t EightDigits(uint32_t v) {
  static_assert(std::endian::native == std::endian::little, "the digits are laid out for little-endian stores");
  const uint64_t fours = (v / 10000) | (uint64_t(v % 10000) << 32);
  const uint64_t hundreds = ((fours * 10486) >> 20) & 0x0000007F0000007Full;
  const uint64_t pairs = ((fours - 100 * hundreds) << 16) + hundreds;
  const uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000Full;
  return ((pairs - 10 * tens) << 8) + tens;
}

}  // namespace outputdetail

size_t FormatLargeUnsigned(char* out, uint64_t v);

// Inline: exports write millions of indices.
inline size_t FormatUnsigned(char* out, uint64_t v) {
  if (v >= 100000000) return FormatLargeUnsigned(out, v);
  // The count of digits from the bit length (one less, then corrected against the power of ten), the
  // digits made in a register and stored at once.
  static constexpr uint32_t kTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
  const auto u = uint32_t(v) | 1u;  // as many digits as v, and one for 0
  const int guess = ((32 - __builtin_clz(u)) * 1233) >> 12;
  const int n = guess + 1 - int(u < kTen[guess]);
  const uint64_t text = (outputdetail::EightDigits(uint32_t(v)) + 0x3030303030303030ull) >> (8 * (8 - n));
  std::memcpy(out, &text, 8);  // within the caller's room of kUnsignedChars
  return size_t(n);
}

// The buffer: appends go to memory until a chunk is full, which is then handed to Deliver.
class ChunkSink {
 public:
  static constexpr size_t kChunkBytes = 128 * 1024;

  ChunkSink() : buf_(new char[kChunkBytes]) {}
  virtual ~ChunkSink() = default;
  ChunkSink(const ChunkSink&) = delete;
  ChunkSink& operator=(const ChunkSink&) = delete;

  void Bytes(const void* p, size_t n) {
    if (n <= kChunkBytes - used_) {
      std::memcpy(buf_.get() + used_, p, n);
      used_ += n;
    } else {
      BytesAcrossChunks(p, n);
    }
  }
  ChunkSink& operator<<(std::string_view s) {
    Bytes(s.data(), s.size());
    return *this;
  }
  ChunkSink& operator<<(char c) {
    if (used_ == kChunkBytes) Drain();
    buf_[used_++] = c;
    return *this;
  }
  // As "%.9g" prints it.
  ChunkSink& Float(double v) {
    Room(kFloatChars);
    used_ += FormatFloat9(buf_.get() + used_, v);
    return *this;
  }
  ChunkSink& Unsigned(uint64_t v) {
    Room(kUnsignedChars);
    used_ += FormatUnsigned(buf_.get() + used_, v);
    return *this;
  }
  // Room for n bytes (at most kChunkBytes) at the end of the buffer, for a caller that formats a whole
  // element there at once: it writes at most n bytes from the pointer, then calls Advance with their end.
  char* Claim(size_t n) {
    Room(n);
    return buf_.get() + used_;
  }
  void Advance(const char* end) { used_ = size_t(end - buf_.get()); }
  // The bytes appended so far, buffered ones included.
  uint64_t Count() const { return delivered_ + used_; }

 protected:
  // Receives a chunk; throws when it cannot take it (nothing is retried).
  virtual void Deliver(const char* p, size_t n) = 0;
  // Hands on what is buffered.
  void Drain();

 private:
  void BytesAcrossChunks(const void* p, size_t n);
  void Room(size_t n) {
    if (kChunkBytes - used_ < n) Drain();
  }
  std::unique_ptr<char[]> buf_;
  size_t used_ = 0;
  uint64_t delivered_ = 0;
};

// Collects the text in a string (for callers that want it whole, and tests).
class StringSink final : public ChunkSink {
 public:
  std::string Take() {
    Drain();
    return std::move(text_);
  }

 private:
  void Deliver(const char* p, size_t n) override { text_.append(p, n); }
  std::string text_;
};

// A file written to a temporary beside its target and renamed over it once complete, so that a failure
// leaves the target as it was. A chunk the file system does not take whole (a full disk, a size limit) is an
// error: std::runtime_error "cannot write <path>: <reason>". The temporary is removed unless committed.
class AtomicFile final : public ChunkSink {
 public:
  explicit AtomicFile(std::string path);
  ~AtomicFile() override;

  // Writes what is buffered and closes the temporary; throws (and removes it) when that fails.
  void Finish();
  // Finish, then rename the temporary over the target.
  void Commit();
  const std::string& Path() const { return path_; }

 private:
  friend void CommitTogether(const std::vector<AtomicFile*>& files);
  void Deliver(const char* p, size_t n) override;
  [[noreturn]] void Fail(int err);
  enum class State { Open, Closed, Failed, Renamed };
  std::string path_, tmp_;
  int fd_ = -1;
  State state_ = State::Open;
};

// Finishes every file, then renames each over its target: a file that cannot be completed leaves all of
// them as they were.
void CommitTogether(const std::vector<AtomicFile*>& files);
