#include "OutputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <stdexcept>

size_t FormatFloat9(char* out, double v) {
  // The standard defines a precision given to to_chars as printf's %.*g in the C locale, without its cost.
  const auto r = std::to_chars(out, out + kFloatChars, v, std::chars_format::general, 9);
  return size_t(r.ptr - out);
}

size_t FormatUnsigned(char* out, uint64_t v) { return size_t(std::to_chars(out, out + 20, v).ptr - out); }

void ChunkSink::Bytes(const void* p, size_t n) {
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
