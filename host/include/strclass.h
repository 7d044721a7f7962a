#pragma once
// The host's string class (CStr; TSTR and MSTR name the same type here).
#include "maxtypes.h"
#include <string>

class CStr {
 public:
  CStr() = default;
  CStr(const char* s) : s_(s ? s : "") {}
  CStr(const std::string& s) : s_(s) {}
  CStr& operator=(const char* s) {
    s_ = s ? s : "";
    return *this;
  }
  const char* data() const { return s_.c_str(); }
  operator const char*() const { return s_.c_str(); }
  int Length() const { return int(s_.size()); }
  bool isNull() const { return s_.empty(); }
  CStr& operator+=(const CStr& o) {
    s_ += o.s_;
    return *this;
  }
  bool operator==(const CStr& o) const { return s_ == o.s_; }
  bool operator==(const char* o) const { return s_ == (o ? o : ""); }
  const std::string& str() const { return s_; }

 private:
  std::string s_;
};
typedef CStr TSTR;
typedef CStr MSTR;
typedef const char* MCHAR_CPTR;
