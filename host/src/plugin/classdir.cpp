// The class directory: descriptors by super class and class id, the host's own among them.
#include "classdir.h"

#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "plugapi.h"

// The host's own creatable classes (hostclasses.cpp), in the directory from its first use on.
std::vector<ClassDesc*> HostClassDescs();

namespace {

struct Entry {
  ClassDesc* desc;
  int count;  // registrations of this descriptor
};

using Key = std::pair<SClass_ID, Class_ID>;

struct Directory {
  std::mutex lock;
  std::map<Key, Entry> classes;
};

Key KeyOf(ClassDesc* cd) { return {cd->SuperClassID(), cd->ClassID()}; }

Directory& TheDirectory() {
  // Never destroyed: modules may unregister while the process shuts down.
  static Directory* dir = [] {
    auto* d = new Directory();
    for (ClassDesc* cd : HostClassDescs()) d->classes.emplace(KeyOf(cd), Entry{cd, 1});
    return d;
  }();
  return *dir;
}

}  // namespace

BOOL RegisterClassDesc(ClassDesc* cd) {
  if (!cd) return FALSE;
  Directory& d = TheDirectory();
  std::lock_guard<std::mutex> hold(d.lock);
  auto [it, added] = d.classes.emplace(KeyOf(cd), Entry{cd, 1});
  if (added) return TRUE;
  if (it->second.desc != cd) return FALSE;
  ++it->second.count;
  return TRUE;
}

void UnregisterClassDesc(ClassDesc* cd) {
  if (!cd) return;
  Directory& d = TheDirectory();
  std::lock_guard<std::mutex> hold(d.lock);
  auto it = d.classes.find(KeyOf(cd));
  if (it == d.classes.end() || it->second.desc != cd) return;
  if (--it->second.count == 0) d.classes.erase(it);
}

ClassDesc* FindClassDesc(SClass_ID superID, Class_ID classID) {
  Directory& d = TheDirectory();
  std::lock_guard<std::mutex> hold(d.lock);
  auto it = d.classes.find({superID, classID});
  return it == d.classes.end() ? nullptr : it->second.desc;
}
