#include "SceneJson.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <set>

namespace scenefile {

// What the scene's JSON document may take (see DocumentAllocator).
uint64_t g_documentBytes = 0;
uint64_t g_documentLimit = 0;

// ---- paths and messages --------------------------------------------------------------------------------

// The shortest text that reads back as the same single-precision value (ranges are stored as floats).
std::string FormatFloat(float v) {
  char buf[32];
  if (std::floor(v) == v && std::fabs(v) < 1e9f) {
    std::snprintf(buf, sizeof buf, "%.0f", double(v));
    return buf;
  }
  for (int prec = 1; prec <= 9; ++prec) {
    std::snprintf(buf, sizeof buf, "%.*g", prec, double(v));
    if (std::strtof(buf, nullptr) == v) break;
  }
  return buf;
}

namespace {

bool IsIdentifier(const std::string& key) {
  if (key.empty() || std::isdigit(static_cast<unsigned char>(key[0]))) return false;
  for (char c : key)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

}  // namespace

std::string Quoted(const std::string& s) { return json(s).dump(); }

std::string Child(const std::string& path, const std::string& key) {
  if (IsIdentifier(key)) return path.empty() ? key : path + "." + key;
  return path + "[" + Quoted(key) + "]";
}

std::string Child(const std::string& path, size_t index) { return path + "[" + std::to_string(index) + "]"; }

[[noreturn]] void Fail(const std::string& path, const std::string& what) {
  throw SceneError(path.empty() ? what : path + ": " + what);
}

namespace {

const char* TypeName(const json& j) {
  switch (j.type()) {
    case json::value_t::null:
      return "null";
    case json::value_t::object:
      return "an object";
    case json::value_t::array:
      return "an array";
    case json::value_t::string:
      return "a string";
    case json::value_t::boolean:
      return "a boolean";
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::number_float:
      return "a number";
    default:
      return "an unsupported value";
  }
}

}  // namespace

[[noreturn]] void WrongType(const json& j, const std::string& path, const std::string& expected) {
  Fail(path, "expected " + expected + ", found " + TypeName(j));
}

// ---- typed reads ----------------------------------------------------------------------------------------

// An object whose keys all come from `allowed`.
void ExpectObject(const json& j, const std::string& path, std::initializer_list<const char*> allowed) {
  if (!j.is_object()) WrongType(j, path, "an object");
  for (auto it = j.begin(); it != j.end(); ++it) {
    bool known = false;
    for (const char* a : allowed) known = known || it.key() == a;
    if (!known) {
      std::string list;
      for (const char* a : allowed) list += std::string(list.empty() ? "" : ", ") + a;
      Fail(Child(path, it.key()), "unknown key " + Quoted(it.key()) + " (expected one of: " + list + ")");
    }
  }
}

const json* Find(const json& obj, const char* key) {
  auto it = obj.find(key);
  return it == obj.end() ? nullptr : &*it;
}

const json& Require(const json& obj, const std::string& path, const char* key) {
  const json* j = Find(obj, key);
  if (!j) Fail(path, std::string("missing required key ") + Quoted(key));
  return *j;
}

double Number(const json& j, const std::string& path) {
  if (!j.is_number()) WrongType(j, path, "a number");
  double v = j.get<double>();
  // JSON has no NaN or infinity, but a huge exponent such as 1e999 parses to infinity.
  if (!std::isfinite(v)) Fail(path, "the number is not finite (too large)");
  return v;
}

// A number that must be stored as a float: finite in single precision too.
float Float(const json& j, const std::string& path) {
  double v = Number(j, path);
  if (std::fabs(v) > double(FLT_MAX)) Fail(path, NumberText(v) + " is too large for a single-precision value");
  return float(v);
}

long long Integer(const json& j, const std::string& path, long long lo, long long hi) {
  double v = Number(j, path);
  if (std::floor(v) != v) Fail(path, "expected a whole number, found " + NumberText(v));
  if (v < double(lo) || v > double(hi))
    Fail(path, NumberText(v) + " is out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
  return static_cast<long long>(v);
}

bool Boolean(const json& j, const std::string& path) {
  if (!j.is_boolean()) WrongType(j, path, "true or false");
  return j.get<bool>();
}

const std::string& String(const json& j, const std::string& path) {
  if (!j.is_string()) WrongType(j, path, "a string");
  return j.get_ref<const std::string&>();
}

const json& Array(const json& j, const std::string& path, size_t minSize) {
  if (!j.is_array()) WrongType(j, path, "an array");
  if (j.size() < minSize)
    Fail(path, "expected at least " + std::to_string(minSize) + (minSize == 1 ? " element" : " elements"));
  return j;
}

const json& FixedArray(const json& j, const std::string& path, size_t size, const char* shape) {
  if (!j.is_array() || j.size() != size) {
    if (j.is_array())
      Fail(path, "expected " + std::string(shape) + " (" + std::to_string(size) + " elements), found " +
                     std::to_string(j.size()) + " elements");
    WrongType(j, path, shape);
  }
  return j;
}

Point3 Vec3(const json& j, const std::string& path) {
  FixedArray(j, path, 3, "[x, y, z]");
  return Point3(Float(j[0], Child(path, 0)), Float(j[1], Child(path, 1)), Float(j[2], Child(path, 2)));
}

// [ax, ay, az, degrees] -> the host's quaternion for that turn about the normalised axis.
Quat Rotation(const json& j, const std::string& path) {
  FixedArray(j, path, 4, "[ax, ay, az, degrees]");
  double a[3];
  for (int i = 0; i < 3; ++i) a[i] = Float(j[i], Child(path, size_t(i)));
  const double deg = Float(j[3], Child(path, 3));
  const double len = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
  if (!(len > 0.0) || !std::isfinite(len)) Fail(path, "the rotation axis must not be zero");
  Point3 axis(float(a[0] / len), float(a[1] / len), float(a[2] / len));
  return QFromAngAxis(DegToRad(float(deg)), axis);
}

namespace {

// without building anything. (The parser's own callback hook rescans a whole array at the end of each of its
// objects, which makes large scenes quadratic.)
class DuplicateKeys : public nlohmann::json_sax<json> {
 public:
  bool null() override { return Value(); }
  bool boolean(bool) override { return Value(); }
  bool number_integer(number_integer_t) override { return Value(); }
  bool number_unsigned(number_unsigned_t) override { return Value(); }
  bool number_float(number_float_t, const string_t&) override { return Value(); }
  bool string(string_t&) override { return Value(); }
  bool binary(binary_t&) override { return Value(); }
  bool start_object(std::size_t) override { return Open(false); }
  bool start_array(std::size_t) override { return Open(true); }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }
  bool key(string_t& k) override {
    Frame& f = frames_.back();
    if (!f.keys.insert(k).second) {
      std::string p;
      for (size_t i = 0; i + 1 < frames_.size(); ++i)
        p = frames_[i].array ? Child(p, size_t(frames_[i].index)) : Child(p, frames_[i].key);
      Fail(Child(p, k), "duplicate key " + Quoted(k));
    }
    f.key = k;
    return true;
  }
  // Syntax errors are left to the parser, which says where they are.
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

 private:
  struct Frame {
    bool array = false;
    long index = -1;
    std::string key;
    std::set<std::string> keys;
  };
  bool Value() {
    if (!frames_.empty() && frames_.back().array) ++frames_.back().index;
    return true;
  }
  bool Open(bool array) {
    Value();
    frames_.emplace_back();
    frames_.back().array = array;
    return true;
  }
  bool Close() {
    if (!frames_.empty()) frames_.pop_back();
    return true;
  }
  std::vector<Frame> frames_;
};

}  // namespace

json ParseJson(const std::string& text) {
  DuplicateKeys duplicates;
  json::sax_parse(text, &duplicates);
  try {
    return json::parse(text);
  } catch (const json::parse_error& e) {
    std::string what = e.what();
    // Drop the library's "[json.exception.parse_error.101] " tag; keep its line and column.
    if (auto pos = what.find("] "); what.rfind("[json.exception", 0) == 0 && pos != std::string::npos)
      what = what.substr(pos + 2);
    throw SceneError("invalid JSON: " + what);
  } catch (const json::out_of_range& e) {
    // A number too large for a double (1e999): the library names the token but not its place.
    std::string what = e.what(), token;
    if (auto q = what.find('\''); q != std::string::npos) {
      auto q2 = what.find('\'', q + 1);
      if (q2 != std::string::npos) token = what.substr(q + 1, q2 - q - 1);
    }
    if (token.empty()) throw SceneError("invalid JSON: a number is too large");
    size_t line = 1, column = 1;
    if (auto at = text.find(token); at != std::string::npos) {
      for (size_t i = 0; i < at; ++i) {
        if (text[i] == '\n') {
          ++line;
          column = 1;
        } else {
          ++column;
        }
      }
    }
    throw SceneError("invalid JSON: the number " + token + " at line " + std::to_string(line) + ", column " +
                     std::to_string(column) + " is not finite (too large)");
  } catch (const json::exception& e) {
    throw SceneError(std::string("invalid JSON: ") + e.what());
  }
}

}  // namespace scenefile

std::string NumberText(double v) {
  char buf[64];
  if (std::floor(v) == v && std::fabs(v) < 1e15) {
    std::snprintf(buf, sizeof buf, "%.0f", v);
    return buf;
  }
  // The shortest form that reads back the same, so messages echo what the file said.
  for (int prec = 1; prec <= 17; ++prec) {
    std::snprintf(buf, sizeof buf, "%.*g", prec, v);
    if (std::strtod(buf, nullptr) == v) break;
  }
  return buf;
}

TimeValue FramesToTicks(double frame, int ticksPerFrame, const std::string& where) {
  using scenefile::Fail;
  const double ticks = frame * double(ticksPerFrame);
  // Both ends of the TimeValue range are the host's infinities, so a real time stays strictly inside.
  if (!std::isfinite(ticks) || ticks >= double(TIME_PosInfinity) - 0.5 || ticks <= double(TIME_NegInfinity) + 0.5)
    Fail(where, "frame " + NumberText(frame) + " is out of the host's time range (its ticks must fit a 32-bit time: " +
                    "at most " + std::to_string((int64_t(TIME_PosInfinity) - 1) / ticksPerFrame) +
                    " frames either way at " + std::to_string(ticksPerFrame) + " ticks per frame)");
  return TimeValue(std::llround(ticks));
}
