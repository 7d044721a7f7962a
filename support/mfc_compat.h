#pragma once
// Growable array and narrow string with the names and calling style of the
// Windows class library the plug-in was first written against, built on the
// standard library so the plug-in needs no Windows headers for them.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

// Misuse of these classes is a programming error. It is reported the way the C
// runtime reports a failed assertion and ends the process in every build type,
// because an out-of-range index would otherwise corrupt particle data silently.
// The source name and line are fixed so that the report reads the same
// wherever the header is compiled.
[[noreturn]] inline void MfcCompatAssertFailed(const char* expr, const char* source, int line) {
  std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", expr, source, line);
  std::fflush(stderr);
  std::abort();
}

#define MFC_COMPAT_ASSERT(cond, text, line) \
  ((cond) ? static_cast<void>(0) : MfcCompatAssertFailed(text, "mfc_compat", line))

// Array of TYPE stored by value. ARG_TYPE is how callers hand elements in
// (TYPE itself or a reference to it); both forms accept temporaries here.
template <class TYPE, class ARG_TYPE = const TYPE&>
class CArray {
 public:
  using arg_type = const std::remove_cvref_t<ARG_TYPE>&;

  CArray() = default;
  CArray(const CArray& src) { Copy(src); }
  // Moving leaves the source empty; it spares deep copies of nested arrays when
  // an outer array reallocates.
  CArray(CArray&& src) noexcept : _array(std::move(src._array)) { src._array.clear(); }
  CArray& operator=(const CArray& src) {
    if (this != &src) Copy(src);
    return *this;
  }
  CArray& operator=(CArray&& src) noexcept {
    if (this != &src) {
      _array = std::move(src._array);
      src._array.clear();
    }
    return *this;
  }
  virtual ~CArray() { RemoveAll(); }

  int GetSize() const { return static_cast<int>(_array.size()); }

  void SetSize(int n) { _array.resize(static_cast<std::size_t>(n)); }
  void SetSize(int n, arg_type fill) { _array.resize(static_cast<std::size_t>(n), fill); }

  // Grows by an eighth (at least four elements) rather than doubling: a recording is millions of keys in
  // thousands of arrays, and doubling could leave half of each unused.
  void Add(arg_type value) {
    if (_array.size() == _array.capacity()) {
      const std::size_t n = _array.size();
      _array.reserve(n + (n / 8 > 4 ? n / 8 : 4));
    }
    _array.push_back(value);
  }

  void RemoveAt(int i) {
    if (static_cast<std::size_t>(i) >= _array.size()) throw std::out_of_range("CArray::RemoveAt");
    _array.erase(_array.begin() + i);
  }

  // Frees the storage too, as the class library's array does.
  void RemoveAll() { std::vector<TYPE>().swap(_array); }

  TYPE& operator[](int idx) {
    MFC_COMPAT_ASSERT(static_cast<unsigned>(idx) < _array.size(), "static_cast<unsigned>(idx) < _array.size()", 293);
    return _array[static_cast<std::size_t>(idx)];
  }
  const TYPE& operator[](int idx) const {
    MFC_COMPAT_ASSERT(static_cast<unsigned>(idx) < _array.size(), "static_cast<unsigned>(idx) < _array.size()", 293);
    return _array[static_cast<std::size_t>(idx)];
  }

  // No assertion: the vector's checked access throws std::out_of_range.
  TYPE& GetAt(int idx) { return _array.at(static_cast<std::size_t>(idx)); }
  const TYPE& GetAt(int idx) const { return _array.at(static_cast<std::size_t>(idx)); }

  // Replaces the contents with copies of src's elements, in index order.
  void Copy(const CArray& src) {
    RemoveAll();
    _array.reserve(src._array.size());
    for (const TYPE& e : src._array) _array.push_back(e);
  }

 private:
  std::vector<TYPE> _array;
};

// Narrow string; lengths and indices count bytes.
class CString {
 public:
  CString() = default;
  CString(const char* str) {  // NOLINT: implicit, as callers pass literals
    MFC_COMPAT_ASSERT(str != nullptr, "str", 66);
    _str = str;
  }
  CString(const CString& other) = default;
  CString(CString&& other) noexcept = default;
  CString& operator=(const CString& other) {
    if (this != &other) _str = other._str;
    return *this;
  }
  CString& operator=(CString&& other) noexcept {
    if (this != &other) _str = std::move(other._str);
    return *this;
  }
  virtual ~CString() = default;

  void Empty() { _str.clear(); }

  CString& operator+=(const CString& other) {
    _str += other._str;
    return *this;
  }
  friend CString operator+(const CString& a, const CString& b) {
    CString r(a);
    r += b;
    return r;
  }

  int GetLength() const { return static_cast<int>(_str.size()); }

  int ReverseFind(char ch) const {
    std::size_t pos = _str.rfind(ch);
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
  }

  operator const char*() const { return _str.c_str(); }

  // Content comparison; without these, comparing with a literal would compare
  // pointers through the conversion above.
  friend bool operator==(const CString& a, const CString& b) { return a._str == b._str; }
  friend bool operator==(const CString& a, const char* b) { return b != nullptr && a._str == b; }

 private:
  std::string _str;
};

class CGeneralUtils {
 public:
  CGeneralUtils() = delete;
  // Appends a backslash unless the path is empty or already ends in one.
  static void AddTrailingBackslash(CString& path);
};
