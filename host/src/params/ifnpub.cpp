// Function publishing: reading an interface's function table, registering it with its class, and calling
// published functions by name.
#include "ifnpub.h"
#include "classdir.h"
#include "plugapi.h"
#include "ref.h"
#include "debug.h"

#include <climits>
#include <cstdarg>
#include <cstring>

namespace {

// Assertions about a table name the descriptor, not this file: the fault is in the table's author.
constexpr const char* kSource = "FPInterfaceDesc";
// No interface publishes this many functions; beyond it the table has surely lost its p_end.
constexpr int kMaxFunctions = 1024;
constexpr ULONG kKnownFlags = FP_ACTIONS | FP_MIXIN | FP_CORE | FP_STATIC_METHODS;

}  // namespace

Interface_ID FPInterface::GetID() {
  FPInterfaceDesc* d = GetDesc();
  return d ? d->GetID() : Interface_ID();
}

FPStatus FPInterface::Invoke(FunctionID fid, TimeValue t, FPParams* params) {
  // An interface with a descriptor answers only for the functions the descriptor lists.
  if (FPInterfaceDesc* d = GetDesc()) {
    bool listed = false;
    for (int i = 0; i < d->NumFunctions() && !listed; ++i) listed = d->Function(i)->ID == fid;
    if (!listed) return FPS_NO_SUCH_FUNCTION;
  }
  FPValue result;
  return _dispatch_fn(fid, t, result, params);
}

FPInterfaceDesc::FPInterfaceDesc(Interface_ID id, const char* internalName, int descriptionId, ClassDesc* cd,
                                 ULONG flags, ...)
    : id_(id), internal_name_(internalName ? internalName : ""), description_(descriptionId), cd_(cd), flags_(flags) {
  // A malformed table publishes nothing: calls must not reach half of a described interface.
  auto fail = [this](int line, const char* what) {
    functions_.clear();
    assert1(line, kSource, what);
    return false;
  };
  auto parse = [&](va_list& ap) {
    if (!internalName || !*internalName) return fail(__LINE__, "the interface has an internal name");
    if (flags & ~kKnownFlags)
      return fail(__LINE__, "interface flags are FP_ACTIONS, FP_MIXIN, FP_CORE, FP_STATIC_METHODS");
    for (;;) {
      // Integral arguments arrive promoted to int.
      const int word = va_arg(ap, int);
      if (word == p_end) return true;
      if (word < SHRT_MIN || word > SHRT_MAX) return fail(__LINE__, "a function id or p_end");
      if (int(functions_.size()) >= kMaxFunctions) return fail(__LINE__, "at most 1024 functions");
      FPFunctionDef f;
      f.ID = FunctionID(word);
      const char* name = va_arg(ap, const char*);
      f.description = va_arg(ap, int);
      f.result_type = va_arg(ap, int);
      f.flags = ULONG(va_arg(ap, int));
      f.num_args = va_arg(ap, int);
      if (!name || !*name) return fail(__LINE__, "the function has an internal name");
      f.internal_name = name;
      if (f.result_type != TYPE_VOID) return fail(__LINE__, "the function's result type is TYPE_VOID");
      if (f.num_args != 0) return fail(__LINE__, "the function takes no arguments");
      for (const FPFunctionDef& g : functions_) {
        if (g.ID == f.ID) return fail(__LINE__, "function ids are distinct");
        if (g.internal_name == f.internal_name) return fail(__LINE__, "function names are distinct");
      }
      functions_.push_back(std::move(f));
    }
  };

  va_list ap;
  va_start(ap, flags);
  bool ok;
  try {
    ok = parse(ap);
  } catch (...) {
    // An assertion handler may throw out of the reader.
    va_end(ap);
    throw;
  }
  va_end(ap);
  if (!ok || !cd_) return;

  // A class publishes each interface id once; the first registration stands.
  for (int i = 0; i < cd_->NumInterfaces(); ++i) {
    FPInterface* other = cd_->GetInterfaceAt(i);
    if (other && other->GetID() == id_) {
      cd_ = nullptr;
      assert1(__LINE__, kSource, "interface ids of a class are distinct");
      return;
    }
  }
  cd_->AddInterface(this);
}

FPInterfaceDesc::~FPInterfaceDesc() {
  if (cd_) cd_->RemoveInterface(this);
}

const FPFunctionDef* FPInterfaceDesc::Function(int i) const {
  if (i < 0 || i >= int(functions_.size())) {
    assert1(__LINE__, __FILE__, "i >= 0 && i < NumFunctions()");
    return nullptr;
  }
  return &functions_[size_t(i)];
}

const FPFunctionDef* FPInterfaceDesc::FindFunction(const char* name) const {
  if (!name) return nullptr;
  for (const FPFunctionDef& f : functions_)
    if (f.internal_name == name) return &f;
  return nullptr;
}

FPStatus CallPublishedFunction(Animatable* obj, ClassDesc* cd, const char* name, TimeValue t) {
  if (!obj || !cd || !name) return FPS_NO_SUCH_FUNCTION;
  for (int i = 0; i < cd->NumInterfaces(); ++i) {
    FPInterface* registered = cd->GetInterfaceAt(i);
    FPInterfaceDesc* d = registered ? registered->GetDesc() : nullptr;
    // Only mixin interfaces are carried by the object; the others are called on the class.
    if (!d || !(d->Flags() & FP_MIXIN)) continue;
    const FPFunctionDef* f = d->FindFunction(name);
    if (!f) continue;
    auto* fpi = dynamic_cast<FPInterface*>(obj->GetInterface(d->GetID()));
    // An answer that is some other interface is as good as none.
    if (!fpi || fpi->GetID() != d->GetID()) continue;
    return fpi->Invoke(f->ID, t, nullptr);
  }
  return FPS_NO_SUCH_FUNCTION;
}

FPStatus CallPublishedFunction(Animatable* obj, const char* name, TimeValue t) {
  if (!obj) return FPS_NO_SUCH_FUNCTION;
  return CallPublishedFunction(obj, FindClassDesc(obj->SuperClassID(), obj->ClassID()), name, t);
}
