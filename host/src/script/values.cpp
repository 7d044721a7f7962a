// Script values: the kinds, their conversions, the undefined singleton and the integer intern table.
#include <array>
#include <mutex>
#include <new>
#include <unordered_map>

#include "script_internal.h"

Value::Value() = default;
Value::~Value() = default;

// A value answers only the readings its kind has; every other one is a conversion error naming the kind
// it was asked of and the type it was asked for.
int Value::to_int() { throw ConversionError(tag(), "Integer"); }
TimeValue Value::to_timevalue() { throw ConversionError(tag(), "Time"); }
Point3 Value::to_point3() { throw ConversionError(tag(), "Point3"); }
INode* Value::to_node() { throw ConversionError(tag(), "MAXNode"); }
Value* Value::apply(Value**, int) { throw ScriptError("Call needs function or class"); }

void* Value::operator new(size_t size) { return ::operator new(size); }
void Value::operator delete(void* p) { ::operator delete(p); }

namespace {

class UndefinedValue : public Value {
 public:
  const char* tag() const override { return "undefined"; }
};

// Integers interned beyond the preset small ones. Interning is for constants, such as the indices a
// caller passes again and again; past this many distinct values a caller gets collectable values instead
// of growing the table without end.
constexpr size_t kMaxInterned = size_t(1) << 16;
constexpr int kSmallFirst = -16;
constexpr int kSmallLast = 1024;

}  // namespace

Value* undefined_value() {
  // Never deleted: values may be asked for until the very end of the process.
  static Value* const undefined = new UndefinedValue;
  return undefined;
}

Value* Integer::intern(int n) {
  // The small integers are made once, up front, and read without a lock.
  static const auto* const small = [] {
    auto* table = new std::array<Integer*, size_t(kSmallLast - kSmallFirst + 1)>;
    for (int i = kSmallFirst; i <= kSmallLast; ++i) (*table)[size_t(i - kSmallFirst)] = new Integer(i);
    return table;
  }();
  if (n >= kSmallFirst && n <= kSmallLast) return (*small)[size_t(n - kSmallFirst)];

  struct Table {
    std::mutex mutex;
    std::unordered_map<int, Integer*> values;
  };
  static Table* const table = new Table;
  {
    std::lock_guard<std::mutex> lock(table->mutex);
    auto it = table->values.find(n);
    if (it != table->values.end()) return it->second;
    if (table->values.size() < kMaxInterned) {
      Integer* v = new Integer(n);
      try {
        table->values.emplace(n, v);
      } catch (...) {
        delete v;
        throw;
      }
      return v;
    }
  }
  return heap_new(n);
}

Value* Integer::heap_new(int n) { return script::Adopt(new Integer(n)); }

Value* Point3Value::heap_new(const Point3& p) { return script::Adopt(new Point3Value(p)); }

Value* MAXNode::intern(INode* node) {
  if (!node) return nullptr;
  return script::Adopt(new MAXNode(node));
}
