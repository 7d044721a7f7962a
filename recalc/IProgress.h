#pragma once
// How a long task reports its progress and learns that the user wants it stopped, without knowing of any
// window. A task calls start() once, then before each step isCancelled() (on true: end(), drop the partial
// result, fail) and update(done, total), and end() when it is over.

class IProgress {
 public:
  virtual void start() = 0;
  virtual void update(int current, int total) = 0;
  virtual void end() = 0;
  virtual bool isCancelled() = 0;

 protected:
  // No progress object is destroyed through the interface.
  ~IProgress() = default;
};
