// The global script functions: reading a legacy particle system by slot at the script time.
#include <climits>
#include <strings.h>

#include "inode.h"
#include "modstack.h"
#include "particles.h"
#include "script_internal.h"

namespace {

// The legacy system a node carries, found under its modifier stack without evaluating it: evaluating
// mutates the pipeline's caches and is no business of a thread that only reads. Null for anything else.
LegacyParticleSystem* LegacySystemOf(INode* node) {
  Object* obj = node->GetObjectRef();
  while (auto* derived = dynamic_cast<IDerivedObject*>(obj)) obj = derived->GetObjRef();
  return dynamic_cast<LegacyParticleSystem*>(obj);
}

// What a call gets once its arguments have been read.
struct Call {
  LegacyParticleSystem* system;
  int k;  // the slot counted from 1, when the function takes one
  TimeValue t;
};

struct Signature {
  const char* name;
  int arity;
  // Texts of the errors of a call made wrongly (kept for the caller to read, so they are constants).
  const char* countError;
  const char* nodeError;
  const char* indexError;
  Value* (*answer)(const Call& call);
};

// The living particle of slot k at t; null when k is out of range or no life of the slot is alive.
const LegacyParticleLife* LifeOf(const Call& c) {
  if (c.k < 1 || c.k > c.system->NumSlots()) return nullptr;
  return c.system->LifeAt(c.k - 1, c.t);
}

Value* ParticleCount(const Call& c) { return Integer::heap_new(c.system->NumSlots()); }

Value* ParticleAge(const Call& c) {
  const LegacyParticleLife* life = LifeOf(c);
  if (!life) return undefined_value();
  // A life can span more ticks than an Integer holds; it then reads as the oldest age there is.
  const long long age = (long long)c.t - (long long)life->born;
  return Integer::heap_new(age > INT_MAX ? INT_MAX : int(age));
}

Value* ParticlePos(const Call& c) {
  const LegacyParticleLife* life = LifeOf(c);
  if (!life) return undefined_value();
  return Point3Value::heap_new(TrackValue(life->path, c.t, Point3(0.0f, 0.0f, 0.0f)));
}

class ScriptFunction : public Value {
 public:
  explicit ScriptFunction(const Signature& s) : sig_(s) {}
  const char* tag() const override { return "Function"; }

  Value* apply(Value** args, int count) override {
    if (!script::CheckInitialised()) return undefined_value();
    if (count != sig_.arity || !args) throw ScriptError(sig_.countError);
    INode* node = nullptr;
    Call call{nullptr, 0, 0};
    // Every argument is read before the answer is made: making it may collect the arguments.
    try {
      node = args[0] ? args[0]->to_node() : nullptr;
    } catch (const ConversionError&) {
    }
    if (!node) throw ScriptError(sig_.nodeError);
    if (sig_.arity > 1) {
      if (!args[1]) throw ScriptError(sig_.indexError);
      try {
        call.k = args[1]->to_int();
      } catch (const ConversionError&) {
        throw ScriptError(sig_.indexError);
      }
    }
    call.system = LegacySystemOf(node);
    if (!call.system) return undefined_value();
    call.t = script::ScriptTime();
    return sig_.answer(call);
  }

 private:
  const Signature& sig_;
};

const Signature kSignatures[] = {
    {"particleCount", 1, "particleCount takes 1 argument: a node", "particleCount: the argument must be a node",
     nullptr, ParticleCount},
    {"particleAge", 2, "particleAge takes 2 arguments: a node and a particle index",
     "particleAge: the first argument must be a node", "particleAge: the particle index must be an Integer",
     ParticleAge},
    {"particlePos", 2, "particlePos takes 2 arguments: a node and a particle index",
     "particlePos: the first argument must be a node", "particlePos: the particle index must be an Integer",
     ParticlePos},
};
constexpr int kNumFunctions = int(sizeof(kSignatures) / sizeof(kSignatures[0]));

}  // namespace

Value* GetScriptFunction(const char* name) {
  // Made once and never freed, like every global of the runtime.
  static ScriptFunction* const* const functions = [] {
    auto** fns = new ScriptFunction*[kNumFunctions];
    for (int i = 0; i < kNumFunctions; ++i) fns[i] = new ScriptFunction(kSignatures[i]);
    return fns;
  }();
  if (!name) return nullptr;
  // Script names are case-insensitive.
  for (int i = 0; i < kNumFunctions; ++i)
    if (strcasecmp(kSignatures[i].name, name) == 0) return functions[i];
  return nullptr;
}
