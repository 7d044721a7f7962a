#pragma once
// Text from outside (file names, node names, command-line values) made safe to print on one line.
#include <string>

// Keeps printable UTF-8 as it is; every byte of ill-formed UTF-8 (stray continuation bytes, overlong forms,
// surrogates, code points above U+10FFFF, cut-off sequences) and of a control character (C0, DEL, C1) is
// written as \xNN, so an error line stays one line and shows what the bytes were.
std::string PrintableText(const std::string& text);
