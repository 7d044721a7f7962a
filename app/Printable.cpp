#include "Printable.h"

#include <cstdio>

namespace {

void Escape(std::string& out, unsigned char byte) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\x%02X", unsigned(byte));
  out += buf;
}

// The length of the well-formed UTF-8 sequence at s[i] (RFC 3629), 0 when there is none.
size_t SequenceLength(const std::string& s, size_t i) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  size_t len;
  unsigned char lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    if (c == 0xE0) lo = 0xA0;  // overlong
    if (c == 0xED) hi = 0x9F;  // surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    if (c == 0xF0) lo = 0x90;  // overlong
    if (c == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  if (b(i + 1) < lo || b(i + 1) > hi) return 0;
  for (size_t k = 2; k < len; ++k)
    if (b(i + k) < 0x80 || b(i + k) > 0xBF) return 0;
  return len;
}

}  // namespace

std::string PrintableText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t len = SequenceLength(text, i);
    // C1 controls are U+0080 to U+009F: 0xC2 0x80 to 0xC2 0x9F.
    const bool control =
        len == 1 ? (c < 0x20 || c == 0x7F) : len == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if (len == 0 || control) {
      for (size_t k = 0; k < (len ? len : 1); ++k) Escape(out, static_cast<unsigned char>(text[i + k]));
      i += len ? len : 1;
      continue;
    }
    out.append(text, i, len);
    i += len;
  }
  return out;
}
