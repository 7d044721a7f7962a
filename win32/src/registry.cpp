// The registry: keys held flat per hive, by their path in upper case, so that a whole hive copies in one
// assignment (a change that cannot be saved is undone that way). The file is binary: a header, one record
// per key with its values, and a checksum; lengths are checked against the bytes that remain before
// anything is kept, so a damaged file can make nothing larger than itself.
#include "win32/registry.h"

#include "win32/errors.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <sys/stat.h>

namespace {

struct Value {
  std::string name;  // as first set
  DWORD type = REG_SZ;
  std::string data;
};

struct Key {
  std::string path;                     // as created, relative to the hive; "" for the hive's root
  std::map<std::string, Value> values;  // by upper-case name
};

struct Hive {
  std::map<std::string, Key> keys;  // by upper-case path; the root "" always exists
  bool readOnly = false;
};

enum HiveId : int { kMachine = 0, kUser = 1, kHives = 2 };

struct OpenKey {
  int hive;
  std::string key;  // upper-case path
  REGSAM access;
};

constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;
constexpr std::size_t kMaxNameLength = 255;
// Larger files are not registries this program wrote.
constexpr long long kMaxFileSize = 64ll << 20;
const char kMagic[8] = {'W', 'W', 'R', 'E', 'G', '0', '1', '\n'};

struct Registry {
  std::mutex mutex;
  Hive hives[kHives];
  // Handle numbers are handed out once, far from the hive handles and from other kernel handles.
  std::unordered_map<uintptr_t, OpenKey> open;
  uintptr_t next = 0x50000010;
  bool fileChosen = false;  // by Win32SetRegistryFile; otherwise the environment decides at first use
  std::string file;         // "" for memory only
  bool loaded = false;
};

Registry& registry() {
  static Registry* r = new Registry;  // never destroyed: keys may be closed while statics go
  return *r;
}

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return u;
}

void clearHives(Registry& r) {
  for (Hive& h : r.hives) {
    h.keys.clear();
    h.keys[""] = Key{};
  }
}

// ---- The file ---------------------------------------------------------------

void putU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void putBytes(std::string& out, const std::string& s) {
  putU32(out, static_cast<uint32_t>(s.size()));
  out += s;
}

uint32_t checksum(const char* p, std::size_t n) {
  uint32_t h = 2166136261u;  // FNV-1a
  for (std::size_t i = 0; i < n; ++i) h = (h ^ static_cast<unsigned char>(p[i])) * 16777619u;
  return h;
}

std::string serialize(const Registry& r) {
  std::string out(kMagic, sizeof kMagic);
  for (int hive = 0; hive < kHives; ++hive) {
    for (const auto& [id, key] : r.hives[hive].keys) {
      out.push_back(static_cast<char>(hive));
      putBytes(out, key.path);
      putU32(out, static_cast<uint32_t>(key.values.size()));
      for (const auto& [vid, value] : key.values) {
        putBytes(out, value.name);
        putU32(out, value.type);
        putBytes(out, value.data);
      }
    }
  }
  putU32(out, checksum(out.data(), out.size()));
  return out;
}

class Reader {
 public:
  Reader(const std::vector<char>& bytes, std::size_t end) : bytes_(bytes), end_(end) {}
  bool done() const { return pos_ == end_; }
  bool u8(int& v) {
    if (end_ - pos_ < 1) return false;
    v = static_cast<unsigned char>(bytes_[pos_++]);
    return true;
  }
  bool u32(uint32_t& v) {
    if (end_ - pos_ < 4) return false;
    v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes_[pos_++])) << (8 * i);
    return true;
  }
  // The length is checked against what remains before any byte is copied.
  bool text(std::string& s) {
    uint32_t n;
    if (!u32(n) || n > end_ - pos_) return false;
    s.assign(bytes_.data() + pos_, n);
    pos_ += n;
    return true;
  }

 private:
  const std::vector<char>& bytes_;
  std::size_t end_;
  std::size_t pos_ = sizeof kMagic;
};

bool validName(const std::string& name) {
  return name.size() <= kMaxNameLength && name.find('\0') == std::string::npos;
}

// Splits a key path into its names; nullopt for a path Windows refuses (a leading backslash, two in a row,
// an over-long name). One trailing backslash is allowed.
std::optional<std::vector<std::string>> splitPath(std::string_view path) {
  std::vector<std::string> names;
  if (path.empty()) return names;
  if (path.back() == '\\') path.remove_suffix(1);
  std::size_t start = 0;
  while (true) {
    const std::size_t cut = path.find('\\', start);
    const std::string_view name = path.substr(start, cut == std::string_view::npos ? cut : cut - start);
    if (name.empty() || name.size() > kMaxNameLength) return std::nullopt;
    names.emplace_back(name);
    if (cut == std::string_view::npos) return names;
    start = cut + 1;
  }
}

// Parses the file's bytes into the hives; the reason it is damaged otherwise.
std::optional<std::string> parse(const std::vector<char>& bytes, Hive (&hives)[kHives]) {
  if (bytes.size() < sizeof kMagic + 4 || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
    return "not a registry file";
  const std::size_t body = bytes.size() - 4;
  uint32_t stored = 0;
  for (int i = 0; i < 4; ++i) stored |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[body + i])) << (8 * i);
  if (stored != checksum(bytes.data(), body)) return "checksum mismatch";
  Reader in(bytes, body);
  while (!in.done()) {
    int hive;
    std::string path;
    uint32_t count;
    if (!in.u8(hive) || hive >= kHives || !in.text(path) || !in.u32(count)) return "truncated key record";
    const auto names = splitPath(path);
    if (!names || (!path.empty() && path.back() == '\\')) return "bad key path";
    Key& key = hives[hive].keys[upper(path)];
    key.path = path;
    // Every value takes at least 12 bytes, so the count needs no check of its own: the reads run out first.
    for (uint32_t i = 0; i < count; ++i) {
      Value v;
      if (!in.text(v.name) || !in.u32(v.type) || !in.text(v.data)) return "truncated value";
      if (!validName(v.name) || v.type != REG_SZ) return "bad value";
      key.values[upper(v.name)] = std::move(v);
    }
  }
  // Every key's parents exist, as they do in a registry this stand-in wrote.
  for (const Hive& h : hives)
    for (const auto& [id, key] : h.keys) {
      const std::size_t cut = id.rfind('\\');
      if (!id.empty() && !h.keys.count(cut == std::string::npos ? "" : id.substr(0, cut))) return "orphan key";
    }
  return std::nullopt;
}

// Reads the whole file (a missing file is an empty registry). Never reads more than the file's size.
std::optional<std::string> readFile(const std::string& path, std::vector<char>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    if (errno == ENOENT) return std::nullopt;
    return std::string("cannot be read: ") + std::strerror(errno);
  }
  struct stat st {};
  std::optional<std::string> error;
  if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
    error = "not a regular file";
  } else if (st.st_size > kMaxFileSize) {
    error = "too large";
  } else {
    bytes.resize(static_cast<std::size_t>(st.st_size));
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    if (got != bytes.size() || std::fgetc(f) != EOF) error = "changed while being read";
  }
  std::fclose(f);
  return error;
}

void load(Registry& r) {
  r.loaded = true;
  if (!r.fileChosen) {
    const char* env = std::getenv("WAKEWEAVE_REGISTRY");
    r.file = env ? env : "";
    r.fileChosen = true;
  }
  clearHives(r);
  if (r.file.empty()) return;
  std::vector<char> bytes;  // exactly the file's size
  std::optional<std::string> damage = readFile(r.file, bytes);
  if (!damage && !bytes.empty()) {
    Hive parsed[kHives];
    for (Hive& h : parsed) h.keys[""] = Key{};
    damage = parse(bytes, parsed);
    if (!damage)
      for (int i = 0; i < kHives; ++i) r.hives[i].keys = std::move(parsed[i].keys);
  }
  if (damage) {
    // Kept aside rather than overwritten by the next change: what it held may still be wanted.
    const std::string aside = r.file + ".damaged";
    const bool moved = std::rename(r.file.c_str(), aside.c_str()) == 0;
    std::fprintf(stderr, "registry: the file %s is damaged (%s); starting with an empty registry%s%s\n", r.file.c_str(),
                 damage->c_str(), moved ? ", the damaged file is kept as " : "", moved ? aside.c_str() : "");
    std::fflush(stderr);
  }
}

// Writes the registry to a temporary file and renames it over the file, so that a reader never sees half
// of it. False (reported on stderr) when it cannot be written.
bool save(const Registry& r) {
  if (r.file.empty()) return true;
  const std::string bytes = serialize(r);
  const std::string temp = r.file + ".tmp";
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  // No fsync: the file must outlive the process, not a power cut, and tests change it often.
  if (f) ok = std::fclose(f) == 0 && ok;
  ok = ok && std::rename(temp.c_str(), r.file.c_str()) == 0;
  if (!ok) {
    std::fprintf(stderr, "registry: cannot write %s: %s\n", r.file.c_str(), std::strerror(errno));
    std::fflush(stderr);
    std::remove(temp.c_str());
  }
  return ok;
}

// Applies change to the hive; the change is undone when the registry cannot be saved.
template <class Change>
LONG changeAndSave(Registry& r, int hive, Change change) {
  Hive before = r.hives[hive];
  change(r.hives[hive]);
  if (save(r)) return ERROR_SUCCESS;
  r.hives[hive] = std::move(before);
  return ERROR_WRITE_FAULT;
}

// The registry, loaded, with its lock held.
struct Locked {
  std::unique_lock<std::mutex> lock;
  Registry& r;
  Locked() : lock(registry().mutex), r(registry()) {
    if (!r.loaded) load(r);
  }
};

int hiveOf(HKEY h) {
  if (h == HKEY_LOCAL_MACHINE) return kMachine;
  if (h == HKEY_CURRENT_USER) return kUser;
  return -1;
}

// The key a handle stands for: a hive's root (with every right its read-only switch allows) or an open key.
std::optional<OpenKey> resolve(const Registry& r, HKEY h) {
  const int hive = hiveOf(h);
  if (hive >= 0) return OpenKey{hive, "", r.hives[hive].readOnly ? REGSAM(KEY_READ) : REGSAM(KEY_ALL_ACCESS)};
  auto it = r.open.find(reinterpret_cast<uintptr_t>(h));
  if (it == r.open.end()) return std::nullopt;
  return it->second;
}

// Opens (and with create, makes) subKey under parent for access; the shared part of the two opening calls.
LONG openKey(HKEY parent, LPCSTR subKey, REGSAM access, bool create, PHKEY result, LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  Locked locked;
  Registry& r = locked.r;
  const std::optional<OpenKey> base = resolve(r, parent);
  if (!base) return ERROR_INVALID_HANDLE;
  const auto names = splitPath(subKey ? subKey : "");
  if (!names) return ERROR_BAD_PATHNAME;
  Hive& hive = r.hives[base->hive];
  if (hive.readOnly && (access & kWriteRights)) return ERROR_ACCESS_DENIED;

  // The path of every key from the base down, and the first one that is missing.
  std::vector<std::pair<std::string, std::string>> chain;  // upper-case id, path as given
  std::string id = base->key, path = hive.keys.at(base->key).path;
  for (const std::string& name : *names) {
    id += (id.empty() ? "" : "\\") + upper(name);
    path += (path.empty() ? "" : "\\") + name;
    chain.emplace_back(id, path);
  }
  bool missing = false;
  for (const auto& link : chain) missing = missing || !hive.keys.count(link.first);
  if (missing) {
    if (!create) return ERROR_FILE_NOT_FOUND;
    if (hive.readOnly || !(base->access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    const LONG saved = changeAndSave(r, base->hive, [&](Hive& h) {
      for (const auto& [linkId, linkPath] : chain)
        if (!h.keys.count(linkId)) h.keys[linkId].path = linkPath;
    });
    if (saved != ERROR_SUCCESS) return saved;
  }
  const uintptr_t handle = r.next;
  r.next += 4;
  r.open[handle] = OpenKey{base->hive, id, access};
  *result = reinterpret_cast<HKEY>(handle);
  if (disposition) *disposition = missing ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                            REGSAM samDesired, SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                            LPDWORD lpdwDisposition) {
  if (Reserved != 0 || dwOptions != REG_OPTION_NON_VOLATILE) {
    if (phkResult) *phkResult = nullptr;
    return ERROR_INVALID_PARAMETER;
  }
  return openKey(hKey, lpSubKey, samDesired, true, phkResult, lpdwDisposition);
}

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
  if (ulOptions != 0) {
    if (phkResult) *phkResult = nullptr;
    return ERROR_INVALID_PARAMETER;
  }
  return openKey(hKey, lpSubKey, samDesired, false, phkResult, nullptr);
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                           DWORD cbData) {
  Locked locked;
  Registry& r = locked.r;
  const std::optional<OpenKey> key = resolve(r, hKey);
  if (!key) return ERROR_INVALID_HANDLE;
  const std::string name = lpValueName ? lpValueName : "";
  if (Reserved != 0 || dwType != REG_SZ || (!lpData && cbData != 0) || name.size() > kMaxNameLength)
    return ERROR_INVALID_PARAMETER;
  if (!(key->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  return changeAndSave(r, key->hive, [&](Hive& h) {
    Value& v = h.keys.at(key->key).values[upper(name)];
    if (v.name.empty()) v.name = name;
    v.type = dwType;
    v.data.assign(reinterpret_cast<const char*>(lpData), cbData);
  });
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
  Locked locked;
  Registry& r = locked.r;
  const std::optional<OpenKey> key = resolve(r, hKey);
  if (!key) return ERROR_INVALID_HANDLE;
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  if (!(key->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  const Key& k = r.hives[key->hive].keys.at(key->key);
  auto it = k.values.find(upper(lpValueName ? lpValueName : ""));
  if (it == k.values.end()) return ERROR_FILE_NOT_FOUND;
  const Value& v = it->second;
  if (lpType) *lpType = v.type;
  const DWORD size = static_cast<DWORD>(v.data.size());
  if (!lpData) {
    if (lpcbData) *lpcbData = size;
    return ERROR_SUCCESS;
  }
  const DWORD room = *lpcbData;
  *lpcbData = size;
  if (room < size) return ERROR_MORE_DATA;
  std::memcpy(lpData, v.data.data(), size);
  return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY hKey) {
  Locked locked;
  if (hiveOf(hKey) >= 0) return ERROR_SUCCESS;
  return locked.r.open.erase(reinterpret_cast<uintptr_t>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

void Win32SetRegistryFile(const char* path) {
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.mutex);
  r.fileChosen = true;
  r.file = path ? path : "";
  r.loaded = false;
  r.open.clear();
}

BOOL Win32SetHiveReadOnly(HKEY hive, BOOL readOnly) {
  const int id = hiveOf(hive);
  if (id < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Locked locked;
  locked.r.hives[id].readOnly = readOnly != FALSE;
  return TRUE;
}

int Win32OpenRegistryKeyCount(void) {
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.mutex);
  return static_cast<int>(r.open.size());
}

void Win32ResetRegistry(void) {
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.mutex);
  r.fileChosen = true;
  r.file.clear();
  r.loaded = true;
  r.open.clear();
  clearHives(r);
  for (Hive& h : r.hives) h.readOnly = false;
}
}
