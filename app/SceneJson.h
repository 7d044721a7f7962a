#pragma once
// The JSON of scene files: the document type, held to a memory limit; parsing that refuses repeated keys;
// JSON paths for messages; typed reads that fail with the path of the value they read.
#include <max.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "SceneLoader.h"

namespace scenefile {

// What the scene's JSON document may take: a scene file too large for the memory refuses to load instead
// of exhausting it. The limit leaves most of the memory free because the JSON library frees a document
// with allocations of its own (a destructor that can't fail without ending the program).
extern uint64_t g_documentBytes;
extern uint64_t g_documentLimit;

template <class T>
struct DocumentAllocator {
  using value_type = T;
  DocumentAllocator() = default;
  template <class U>
  DocumentAllocator(const DocumentAllocator<U>&) {}
  T* allocate(size_t n) {
    const uint64_t bytes = uint64_t(n) * sizeof(T);
    if (bytes > g_documentLimit || g_documentBytes > g_documentLimit - bytes) throw std::bad_alloc();
    T* p = std::allocator<T>().allocate(n);
    g_documentBytes += bytes;
    return p;
  }
  void deallocate(T* p, size_t n) {
    g_documentBytes -= uint64_t(n) * sizeof(T);
    std::allocator<T>().deallocate(p, n);
  }
  template <class U>
  bool operator==(const DocumentAllocator<U>&) const {
    return true;
  }
};

using json = nlohmann::basic_json<std::map, std::vector, std::string, bool, std::int64_t, std::uint64_t, double,
                                  DocumentAllocator>;

// Parses a scene file's text; throws SceneError for bad JSON and for an object that repeats a key.
json ParseJson(const std::string& text);

// ---- paths and messages --------------------------------------------------------------------------------

// The shortest text that reads back as the same single-precision value (ranges are stored as floats).
std::string FormatFloat(float v);
std::string Quoted(const std::string& s);
// The path of a member or an element: `a.b`, `a["two words"]`, `a[3]`.
std::string Child(const std::string& path, const std::string& key);
std::string Child(const std::string& path, size_t index);
[[noreturn]] void Fail(const std::string& path, const std::string& what);
[[noreturn]] void WrongType(const json& j, const std::string& path, const std::string& expected);

// ---- typed reads ----------------------------------------------------------------------------------------

// An object whose keys all come from `allowed`.
void ExpectObject(const json& j, const std::string& path, std::initializer_list<const char*> allowed);
const json* Find(const json& obj, const char* key);
const json& Require(const json& obj, const std::string& path, const char* key);
// A finite number.
double Number(const json& j, const std::string& path);
// A number that must be stored as a float: finite in single precision too.
float Float(const json& j, const std::string& path);
long long Integer(const json& j, const std::string& path, long long lo, long long hi);
bool Boolean(const json& j, const std::string& path);
const std::string& String(const json& j, const std::string& path);
const json& Array(const json& j, const std::string& path, size_t minSize = 0);
const json& FixedArray(const json& j, const std::string& path, size_t size, const char* shape);
Point3 Vec3(const json& j, const std::string& path);
// [ax, ay, az, degrees] -> the host's quaternion for that turn about the normalised axis.
Quat Rotation(const json& j, const std::string& path);

}  // namespace scenefile
