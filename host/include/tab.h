#pragma once
// The host's plain table template.
#include <vector>
#include <algorithm>

template <class T>
class Tab {
 public:
  int Count() const { return int(v_.size()); }
  void ZeroCount() { v_.clear(); }
  void SetCount(int n) { v_.resize(n < 0 ? 0 : size_t(n)); }
  void Resize(int n) {
    if (n > 0) v_.reserve(size_t(n));
  }
  // Appends num items; returns the index of the first appended item.
  int Append(int num, const T* items, int /*allocExtra*/ = 0) {
    int at = Count();
    for (int i = 0; i < num; ++i) v_.push_back(items[i]);
    return at;
  }
  int Insert(int at, int num, const T* items) {
    if (at < 0) at = 0;
    if (at > Count()) at = Count();
    v_.insert(v_.begin() + at, items, items + num);
    return at;
  }
  int Delete(int start, int num) {
    if (start < 0 || num <= 0 || start >= Count()) return Count();
    int end = std::min(Count(), start + num);
    v_.erase(v_.begin() + start, v_.begin() + end);
    return Count();
  }
  T& operator[](int i) { return v_[size_t(i)]; }
  const T& operator[](int i) const { return v_[size_t(i)]; }
  T* Addr(int i) { return &v_[size_t(i)]; }
  void Init() { v_.clear(); }

 private:
  std::vector<T> v_;
};
