#pragma once
// Diagnostics: the host's debug output and assertion reporter.
#include "maxtypes.h"
#include <functional>
#include <string>

// printf-style; each call is one piece of text (callers end their lines with "\n").
HOSTAPI void DebugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Where debug output goes. The default sink discards it; the host program shows it with --debug and
// tests capture it. Returns the previous sink.
// Sink calls are serialized (one at a time, across threads); an empty sink means "discard". The previous
// sink returned is always callable.
using DebugSink = std::function<void(const std::string& text)>;
HOSTAPI DebugSink SetDebugSink(DebugSink sink);

// Reports a failed assertion: expression, source name and line. The default handler prints them to
// standard error and aborts; tests install a handler that records or throws. Returns the previous one.
using AssertHandler = std::function<void(int line, const char* file, const char* expression)>;
// An empty handler installs the default one. assert1 returns when the handler returns.
HOSTAPI AssertHandler SetAssertHandler(AssertHandler handler);
HOSTAPI void assert1(int line, const char* file, const char* expression);
// The default handler: prints "Assertion failed: <expression>, file <file>, line <line>" and aborts.
HOSTAPI void DefaultAssertHandler(int line, const char* file, const char* expression);

// Assertion with an explicit source name, as the plug-in's sources report themselves.
#define DbgAssertSrc(expr, src) ((expr) ? (void)0 : assert1(__LINE__, src, #expr))
#define DbgAssert(expr) ((expr) ? (void)0 : assert1(__LINE__, __FILE__, #expr))
