#pragma once
// The scripting runtime of the host stand-in: values, their conversions, and the per-thread state that
// code calling scripts from its own thread must set up.
//
// Threads. Every thread that calls scripts first calls init_thread_locals(), then brackets its work with
// push_alloc_frame() / pop_alloc_frame(). Values made on a thread belong to its innermost allocation frame
// and are reclaimed by a collection of that frame, which runs when the frame has made many values, and at
// pop_alloc_frame(). A collection keeps the values held in the slots of the thread's chain of local frames
// (ScriptLocals) and interned values; any other value a caller holds is valid only until its next call
// into the runtime, as with the host's own collector.
//
// Time. Script functions answer at the thread's time context when it is switched on
// (thread_locals()->use_time_context, current_time), else at the scene time (GetCOREInterface()->GetTime()).
// Setting a thread's time context never moves the scene time.
//
// Script functions known to the runtime (get them with GetScriptFunction):
//   particleCount(node)    the number of slots of a legacy particle system (an Integer); undefined for a node
//                          whose object is not one
//   particleAge(node, k)   age in ticks (an Integer) of slot k (counted from 1) at the script time; undefined
//                          when no life of the slot is alive then or k is out of range
//   particlePos(node, k)   world position (a Point3Value) of that slot's living particle; undefined when none
// They throw ScriptError for arguments of the wrong kind or number.
#include <cstddef>

#include "maxtypes.h"
#include "point3.h"

class INode;

// Thrown when a value can't be converted to the type asked for.
class HOSTAPI ConversionError {
 public:
  ConversionError(const char* from, const char* to) : from_(from), to_(to) {}
  const char* from() const { return from_; }
  const char* to() const { return to_; }

 private:
  const char* from_;
  const char* to_;
};

// Thrown by a script function called wrongly.
class HOSTAPI ScriptError {
 public:
  explicit ScriptError(const char* what) : what_(what) {}
  const char* what() const { return what_; }

 private:
  const char* what_;
};

class HOSTAPI Value {
 public:
  Value();
  virtual ~Value();
  Value(const Value&) = delete;
  Value& operator=(const Value&) = delete;

  virtual const char* tag() const = 0;  // "Integer", "Point3", "MAXNode", "undefined", "Function"
  // Conversions; each throws ConversionError when the value has no such reading.
  virtual int to_int();
  virtual TimeValue to_timevalue();  // an Integer is a number of ticks
  virtual Point3 to_point3();
  virtual INode* to_node();
  // Calls a function value; other values throw ScriptError.
  virtual Value* apply(Value** args, int count);

  // Values are made by the runtime (intern, heap_new); do not delete them.
  static void* operator new(size_t size);
  static void operator delete(void* p);
};

// The one undefined value (never collected).
HOSTAPI Value* undefined_value();

class HOSTAPI Integer : public Value {
 public:
  const char* tag() const override { return "Integer"; }
  int to_int() override { return n; }
  TimeValue to_timevalue() override { return TimeValue(n); }
  // The shared value for n (never collected); small integers and every integer interned before are
  // returned as they are.
  static Value* intern(int n);
  // A new collectable value.
  static Value* heap_new(int n);
  int n;

 private:
  explicit Integer(int v) : n(v) {}
};

class HOSTAPI Point3Value : public Value {
 public:
  const char* tag() const override { return "Point3"; }
  Point3 to_point3() override { return p; }
  static Value* heap_new(const Point3& p);
  Point3 p;

 private:
  explicit Point3Value(const Point3& v) : p(v) {}
};

// A scene node as a script value.
class HOSTAPI MAXNode : public Value {
 public:
  const char* tag() const override { return "MAXNode"; }
  INode* to_node() override { return node; }
  // A new collectable value for the node; null when node is null.
  static Value* intern(INode* node);
  INode* node;

 private:
  explicit MAXNode(INode* n) : node(n) {}
};

// A global script function by name; null when there is none.
HOSTAPI Value* GetScriptFunction(const char* name);

// A frame of protected value slots. The caller links it into the thread's chain and restores the chain
// when done:
//   Value* slots[3] = {};
//   ScriptLocalFrame frame{thread_locals()->locals, slots, 3};
//   thread_locals()->locals = &frame;
//   ...
//   thread_locals()->locals = frame.prev;
struct HOSTAPI ScriptLocalFrame {
  ScriptLocalFrame* prev = nullptr;
  Value** slots = nullptr;
  int count = 0;
};

// Per-thread runtime state.
struct HOSTAPI ScriptThreadLocals {
  BOOL use_time_context = FALSE;  // script functions answer at current_time
  TimeValue current_time = 0;
  ScriptLocalFrame* locals = nullptr;  // innermost frame of protected value slots
  bool initialised = false;
  int alloc_depth = 0;
};

// Sets up the calling thread for the runtime (idempotent).
HOSTAPI void init_thread_locals();
// The calling thread's state; init_thread_locals must have run on this thread (reported otherwise).
HOSTAPI ScriptThreadLocals* thread_locals();
HOSTAPI void push_alloc_frame();
// Reclaims every value made in the innermost allocation frame that no local frame holds.
HOSTAPI void pop_alloc_frame();
// Values made on this thread and not yet reclaimed (for tests of the collector).
HOSTAPI size_t live_value_count();
