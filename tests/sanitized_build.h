#pragma once
// Whether this test program was built with AddressSanitizer or ThreadSanitizer. Their runtimes reserve
// terabytes of address space and add shadow memory to every resident page, so tests of address-space
// limits and of peak resident memory cannot run under them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define WAKEWEAVE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define WAKEWEAVE_SANITIZED 1
#endif
#endif
#ifndef WAKEWEAVE_SANITIZED
#define WAKEWEAVE_SANITIZED 0
#endif
