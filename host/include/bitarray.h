#pragma once
// A resizable array of bits, as the host uses for selections and per-curve flags.
#include <cstddef>
#include <vector>

class BitArray {
 public:
  BitArray() = default;
  explicit BitArray(int n) { SetSize(n); }

  // Resizes to n bits (a negative size counts as 0). With save nonzero the bits below the new size are
  // kept; otherwise every bit is cleared. New bits are always clear.
  void SetSize(int n, int save = 0) {
    if (n < 0) n = 0;
    if (!save)
      bits_.assign(std::size_t(n), false);
    else
      bits_.resize(std::size_t(n), false);
  }
  int GetSize() const { return int(bits_.size()); }

  // Out-of-range indices are ignored by the setters and read as clear.
  void Set(int i) {
    if (InRange(i)) bits_[std::size_t(i)] = true;
  }
  void Set(int i, int b) {
    if (InRange(i)) bits_[std::size_t(i)] = b != 0;
  }
  void Clear(int i) {
    if (InRange(i)) bits_[std::size_t(i)] = false;
  }
  void SetAll() { bits_.assign(bits_.size(), true); }
  void ClearAll() { bits_.assign(bits_.size(), false); }
  int operator[](int i) const { return InRange(i) && bits_[std::size_t(i)] ? 1 : 0; }

  int NumberSet() const {
    int n = 0;
    for (bool b : bits_) n += b ? 1 : 0;
    return n;
  }
  bool IsEmpty() const { return NumberSet() == 0; }

  bool operator==(const BitArray& o) const { return bits_ == o.bits_; }
  bool operator!=(const BitArray& o) const { return !(*this == o); }

 private:
  bool InRange(int i) const { return i >= 0 && std::size_t(i) < bits_.size(); }
  std::vector<bool> bits_;
};
