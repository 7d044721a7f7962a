#pragma once
// Test doubles of the recorders' tests: a progress reporter that logs its calls and can cancel or fail,
// and a particle object whose extension interface answers from a table given by the test.
#include <gtest/gtest.h>

#include <max.h>

#include <initializer_list>
#include <map>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "particles/ParticleSystemState.h"
#include "recalc/IProgress.h"

// Logs every call in order: "start", "cancelled?", "update <current> <total>", "end". isCancelled
// answers true from its cancelAt'th call on (0: never); update throws from its throwAt'th call on.
class RecordingProgress : public IProgress {
 public:
  enum class Failure { kNone, kBadAlloc, kRuntimeError };

  explicit RecordingProgress(int cancelAt = 0) : cancelAt_(cancelAt) {}
  void FailUpdate(int at, Failure kind) {
    throwAt_ = at;
    failure_ = kind;
  }

  void start() override { calls.push_back("start"); }
  void update(int current, int total) override {
    calls.push_back("update " + std::to_string(current) + " " + std::to_string(total));
    ++updates_;
    if (throwAt_ > 0 && updates_ >= throwAt_) {
      if (failure_ == Failure::kBadAlloc) throw std::bad_alloc();
      throw std::runtime_error("progress failed");
    }
  }
  void end() override { calls.push_back("end"); }
  bool isCancelled() override {
    calls.push_back("cancelled?");
    ++asked_;
    return cancelAt_ > 0 && asked_ >= cancelAt_;
  }

  std::vector<std::string> calls;

 private:
  int cancelAt_;
  int asked_ = 0;
  int updates_ = 0;
  int throwAt_ = 0;
  Failure failure_ = Failure::kNone;
};

// The calls of a recording that is neither cancelled nor failing, one update per sample time.
inline std::vector<std::string> ProtocolFor(std::initializer_list<std::pair<int, int>> updates) {
  std::vector<std::string> calls{"start"};
  for (const auto& u : updates) {
    calls.push_back("cancelled?");
    calls.push_back("update " + std::to_string(u.first) + " " + std::to_string(u.second));
  }
  calls.push_back("end");
  return calls;
}

// The calls of a recording cancelled at the cancelAt'th question, samples every `step` ticks from the
// range's start, ending the report `ends` times.
inline std::vector<std::string> CancelledProtocol(int cancelAt, int step, int total, int ends) {
  std::vector<std::string> calls{"start"};
  for (int k = 1; k < cancelAt; ++k) {
    calls.push_back("cancelled?");
    calls.push_back("update " + std::to_string(step * (k - 1)) + " " + std::to_string(total));
  }
  calls.push_back("cancelled?");
  for (int k = 0; k < ends; ++k) calls.push_back("end");
  return calls;
}

// What every failed or cancelled recording leaves.
inline void ExpectEmptied(const ParticleSystemState& state) {
  EXPECT_EQ(state.numParticles(), 0);
  EXPECT_EQ(state.getMaxLifeSpan(), -1);
}

// One particle as the scripted interface reports it at one time.
struct ScriptedParticle {
  TimeValue age = -1;  // -1: not alive
  bool hasTM = false;
  Matrix3 tm;
  bool hasPos = false;
  Point3 pos;
  INode* group = nullptr;
};

inline ScriptedParticle AliveAt(TimeValue age, const Point3& p, INode* group = nullptr) {
  ScriptedParticle s;
  s.age = age;
  s.hasTM = true;
  s.tm = TransMatrix(p);
  s.hasPos = true;
  s.pos = p;
  s.group = group;
  return s;
}

// The extension interface of a particle object whose answers at each time are given by the test; the
// generated count at a time is the number of particles listed for it. Times not listed have none.
class ScriptedParticleExt : public IParticleObjectExt {
 public:
  std::map<TimeValue, std::vector<ScriptedParticle>> at;
  std::vector<TimeValue> updates;  // the times of every UpdateParticles, in order
  int throwAtUpdate = 0;           // the n'th UpdateParticles throws (0: none)
  bool throwFromTM = false;        // GetParticleTMByBornIndex throws

  bool UpdateParticles(INode*, TimeValue t) override {
    updates.push_back(t);
    if (throwAtUpdate > 0 && int(updates.size()) == throwAtUpdate) throw std::runtime_error("update failed");
    now_ = t;
    return true;
  }
  int NumParticlesGenerated() override { return int(Current().size()); }
  int NumParticles() override {
    int n = 0;
    for (const auto& p : Current()) n += p.age >= 0;
    return n;
  }
  TimeValue GetParticleAgeByBornIndex(int i) override { return Valid(i) ? Current()[size_t(i)].age : -1; }
  Matrix3* GetParticleTMByBornIndex(int i) override {
    if (throwFromTM) throw std::runtime_error("no transform");
    if (!Valid(i) || !Current()[size_t(i)].hasTM) return nullptr;
    tm_ = Current()[size_t(i)].tm;
    return &tm_;
  }
  Point3* GetParticlePositionByBornIndex(int i) override {
    if (!Valid(i) || !Current()[size_t(i)].hasPos) return nullptr;
    pos_ = Current()[size_t(i)].pos;
    return &pos_;
  }
  // The current index is the born index itself.
  bool HasParticleBornIndex(int i, int& index) override {
    if (!Valid(i) || Current()[size_t(i)].age < 0) return false;
    index = i;
    return true;
  }
  INode* GetParticleGroup(int index) override { return Valid(index) ? Current()[size_t(index)].group : nullptr; }

 private:
  const std::vector<ScriptedParticle>& Current() {
    static const std::vector<ScriptedParticle> none;
    auto it = at.find(now_);
    return it == at.end() ? none : it->second;
  }
  bool Valid(int i) { return i >= 0 && size_t(i) < Current().size(); }

  TimeValue now_ = 0;
  Matrix3 tm_;
  Point3 pos_;
};

// A geometric object that hands out the scripted interface.
class ScriptedParticleObject : public GeomObject {
 public:
  using GeomObject::GetInterface;
  BaseInterface* GetInterface(Interface_ID id) override {
    if (id == PARTICLEOBJECTEXT_INTERFACE) return &ext;
    return GeomObject::GetInterface(id);
  }
  ScriptedParticleExt ext;
};

// Runs f on a thread of its own and waits for it: the legacy recorder runs on the worker, not on the
// thread that built the scene.
template <class F>
void OnWorker(F f) {
  std::thread worker(f);
  worker.join();
}
