// The recorder of legacy particle systems, read slot by slot through the scripting runtime. A slot's
// particle has died, or the slot has been reused, when its age stops growing.
#include <cstddef>
#include <vector>

#include "particles/ParticleStateBuilder.h"
#include "particles/RecorderSupport.h"

namespace {

const char* const kSourceName = "ParticleStateBuilder";

// The runtime has no function of that name: nothing can be recorded.
struct MissingScriptFunction {};
// particleCount gave no value at all.
struct NoParticleCount {};

Value* scriptFunction(const char* name) {
  Value* fn = GetScriptFunction(name);
  if (fn == NULL) throw MissingScriptFunction();
  return fn;
}

// The runtime's state for this thread while a recording runs: an allocation frame, and a frame of
// protected slots linked into the thread's chain so that a collection keeps the values they hold. Leaving
// restores the chain and the thread's time context as they were, then pops the allocation frame; the
// destructor leaves if that has not been done, whatever way the recording ended.
class ScriptRuntimeScope {
 public:
  ScriptRuntimeScope(Value** slots, int count) {
    m_frame.slots = slots;
    m_frame.count = count;
  }
  ~ScriptRuntimeScope() {
    try {
      leave();
    } catch (...) {
    }
  }
  ScriptRuntimeScope(const ScriptRuntimeScope&) = delete;
  ScriptRuntimeScope& operator=(const ScriptRuntimeScope&) = delete;

  void enter() {
    init_thread_locals();
    push_alloc_frame();
    m_pushed = true;
    ScriptThreadLocals* tl = thread_locals();
    m_useTimeContext = tl->use_time_context;
    m_currentTime = tl->current_time;
    m_frame.prev = tl->locals;
    tl->locals = &m_frame;
    m_linked = true;
  }

  void leave() {
    if (m_linked) {
      m_linked = false;
      ScriptThreadLocals* tl = thread_locals();
      tl->locals = m_frame.prev;
      // The sample times set during the recording must not stay in force for later scripts on this thread.
      tl->use_time_context = m_useTimeContext;
      tl->current_time = m_currentTime;
    }
    if (m_pushed) {
      m_pushed = false;
      pop_alloc_frame();
    }
  }

 private:
  ScriptLocalFrame m_frame;
  bool m_pushed = false;
  bool m_linked = false;
  BOOL m_useTimeContext = FALSE;
  TimeValue m_currentTime = 0;
};

// Steps shared by the transitions of one slot at one sample.
class LegacyLives {
 public:
  LegacyLives(ParticleSystemState& state, Value* pMaxNode, int count)
      : m_state(state), m_node(pMaxNode), m_lives(size_t(count)) {}

  void birth(int i, TimeValue t) {
    ParticleState& life = m_lives[size_t(i)];
    life.clearKeys();
    life.setStart(t);
    life.addKey(ParticlePositionKey(t, ParticleStateBuilder::particlePos(m_node, i), 0));
    DebugPrint("Particle %d born at time %.1f\n", i, recorder::frames(t));
  }
  void grow(int i, TimeValue t, int age) {
    m_lives[size_t(i)].addKey(ParticlePositionKey(t, ParticleStateBuilder::particlePos(m_node, i), age));
  }
  void close(int i) {
    m_state.addParticle(m_lives[size_t(i)]);
    m_lives[size_t(i)].clearKeys();
  }
  // The lives still running at the end of the range, by index.
  void closeRunning() {
    for (size_t i = 0; i < m_lives.size(); ++i)
      if (m_lives[i].numKeys() > 0) close(int(i));
  }

 private:
  ParticleSystemState& m_state;
  Value* m_node;
  std::vector<ParticleState> m_lives;
};

}  // namespace

// Defined here too, for callers that take its address (a const reference binds to it).
const int ParticleStateBuilder::kNotAlive;

BOOL ParticleStateBuilder::buildParticleSystemState(INode* node, TimeValue start, TimeValue end, int step,
                                                    IProgress* progress) {
  clear();
  setParticleFlow(0);
  if (node == NULL) return FALSE;
  // A step that is not positive would never reach the end: a caller's mistake, refused before anything
  // is reported.
  if (step <= 0) return FALSE;

  // The script node value, the count value and an interned 1.
  Value* slots[3] = {NULL, NULL, NULL};
  ScriptRuntimeScope runtime(slots, 3);
  recorder::Report report(progress);
  BOOL result = FALSE;
  try {
    runtime.enter();
    slots[2] = Integer::intern(1);
    report.start();

    Value* pMaxNode = MAXNode::intern(node);
    slots[0] = pMaxNode;
    if (pMaxNode != NULL) {
      // Asked once, before any sample time is set: at the scene's current time.
      Value* countValue = scriptFunction("particleCount")->apply(&pMaxNode, 1);
      slots[1] = countValue;
      if (countValue == NULL) throw NoParticleCount();
      int count = countValue->to_int();
      if (count < 0) count = 0;

      LegacyLives lives(*this, pMaxNode, count);
      std::vector<int> prevAge(size_t(count), kNotAlive);
      for (recorder::SampleTimes times(start, end, step); times.more(); times.next()) {
        const TimeValue t = times.time();
        if (report.cancelled()) {
          report.end();
          clear();
          throw ParticleStateBuilderException();
        }
        report.update(t, start, end);
        // Scripts of this sample answer at t on this thread; the scene time stays where it is.
        ScriptThreadLocals* tl = thread_locals();
        tl->use_time_context = TRUE;
        tl->current_time = t;

        for (int i = 0; i < count; ++i) {
          const int age = particleAge(pMaxNode, i);
          const int prev = prevAge[size_t(i)];
          if (prev == kNotAlive) {
            if (age != kNotAlive) lives.birth(i, t);
          } else if (age == kNotAlive) {
            DebugPrint("Committed particle %d at time %f\n", i, recorder::frames(t));
            lives.close(i);
            DebugPrint("Particle %d died at time %f\n", i, recorder::frames(t));
          } else if (age > prev) {
            lives.grow(i, t, age);
          } else {
            // The age started again: the slot holds a new particle.
            DebugPrint("Particle %d died at time %f\n", i, recorder::frames(t));
            lives.close(i);
            lives.birth(i, t);
          }
          prevAge[size_t(i)] = age;
        }
      }
      lives.closeRunning();
    }
    result = TRUE;
  } catch (...) {
    DebugPrint("Exception thrown in ParticleStateBuilder::buildParticleSystemState\n");
    clear();
    result = FALSE;
  }

  try {
    runtime.leave();
    // After a cancel this is the second end(): the first came before the cancel was thrown.
    if (report.started()) report.end();
  } catch (...) {
    DebugPrint("Exception thrown in ParticleStateBuilder::buildParticleSystemState\n");
    clear();
    result = FALSE;
  }
  computeMaxLifeSpan();
  return result;
}

namespace {

// Links a frame of slots into the thread's chain for the length of a scope.
class LinkedFrame {
 public:
  LinkedFrame(Value** slots, int count) : m_tl(thread_locals()) {
    m_frame.prev = m_tl->locals;
    m_frame.slots = slots;
    m_frame.count = count;
    m_tl->locals = &m_frame;
  }
  ~LinkedFrame() { m_tl->locals = m_frame.prev; }
  LinkedFrame(const LinkedFrame&) = delete;
  LinkedFrame& operator=(const LinkedFrame&) = delete;

 private:
  ScriptThreadLocals* m_tl;
  ScriptLocalFrame m_frame;
};

// Calls the script function `name` on the slot of that index (counted from 1 by the scripts); null when
// there is no such function or it gives no value. The arguments are held in slots during the call: past
// the runtime's table of interned integers an index is a collectable value like any other.
Value* slotValue(const char* name, Value* pMaxNode, int index) {
  Value* fn = GetScriptFunction(name);
  if (fn == NULL) return NULL;
  Value* args[2] = {pMaxNode, Integer::intern(index + 1)};
  LinkedFrame held(args, 2);
  return fn->apply(args, 2);
}

}  // namespace

// A slot whose age can't be read counts as not alive.
int ParticleStateBuilder::particleAge(Value* pMaxNode, int index) {
  DbgAssertSrc(pMaxNode != NULL, kSourceName);
  // The assertion reporter may return: without a node nothing is alive.
  if (pMaxNode == NULL) return kNotAlive;
  try {
    Value* age = slotValue("particleAge", pMaxNode, index);
    if (age == NULL) return kNotAlive;
    return age->to_timevalue();
  } catch (const ConversionError&) {
    return kNotAlive;
  } catch (...) {
    DebugPrint("UNKNOWN Exception in ParticleStateBuilder::particleAge\n");
    return kNotAlive;
  }
}

// Exceptions are left to the recorder, which abandons the recording.
Point3 ParticleStateBuilder::particlePos(Value* pMaxNode, int index) {
  DbgAssertSrc(pMaxNode != NULL, kSourceName);
  const Point3 none(-1.0f, -1.0f, -1.0f);
  // The assertion reporter may return: without a node there is no position.
  if (pMaxNode == NULL) return none;
  Value* pos = slotValue("particlePos", pMaxNode, index);
  if (pos == NULL) return none;
  return pos->to_point3();
}
