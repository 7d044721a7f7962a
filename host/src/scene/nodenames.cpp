// The scene's name index.
#include "nodenames.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>

#include "scene_internal.h"

namespace {

std::string Numbered(const std::string& base, int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%03d", n);
  return base + buf;
}

bool Earlier(const SceneNode* a, const SceneNode* b) { return a->CreationOrder() < b->CreationOrder(); }

}  // namespace

void NodeNames::Add(SceneNode* n) { Insert(n, n->GetName()); }

void NodeNames::Remove(SceneNode* n) { Erase(n, n->GetName()); }

void NodeNames::Renamed(SceneNode* n, const std::string& from) {
  Erase(n, from);
  Insert(n, n->GetName());
}

SceneNode* NodeNames::First(const std::string& name) const {
  auto it = carriers_.find(name);
  return it == carriers_.end() ? nullptr : it->second.front();
}

std::string NodeNames::Unique(const std::string& base) {
  Counter& c = counters_[base];
  while (!c.freed.empty()) {
    const int n = *c.freed.begin();
    c.freed.erase(c.freed.begin());
    std::string name = Numbered(base, n);
    if (!carriers_.count(name)) return name;
  }
  // Names set by hand may have taken numbers ahead of the counter.
  while (c.next < INT_MAX && carriers_.count(Numbered(base, c.next))) ++c.next;
  return Numbered(base, c.next < INT_MAX ? c.next++ : c.next);
}

void NodeNames::Clear() {
  carriers_.clear();
  counters_.clear();
}

void NodeNames::Insert(SceneNode* n, const std::string& name) {
  std::vector<SceneNode*>& list = carriers_[name];
  list.insert(std::upper_bound(list.begin(), list.end(), n, Earlier), n);
}

void NodeNames::Erase(SceneNode* n, const std::string& name) {
  auto it = carriers_.find(name);
  if (it == carriers_.end()) return;
  std::vector<SceneNode*>& list = it->second;
  list.erase(std::remove(list.begin(), list.end(), n), list.end());
  if (!list.empty()) return;
  carriers_.erase(it);
  Freed(name);
}

void NodeNames::Freed(const std::string& name) {
  // Every way of reading the name as base + number as Unique writes it: "Box1001" is "Box" 1001 and
  // "Box1" 1 ("%03d": exactly three digits, or more without a leading zero).
  size_t digits = 0;
  while (digits < name.size() && std::isdigit(static_cast<unsigned char>(name[name.size() - 1 - digits]))) ++digits;
  for (size_t len = 3; len <= digits && len <= 10; ++len) {
    const size_t at = name.size() - len;
    if (len > 3 ? name[at] == '0' : name.compare(at, 3, "000") == 0) continue;
    const long long n = std::stoll(name.substr(at));
    if (n > INT_MAX) continue;
    auto c = counters_.find(name.substr(0, at));
    if (c != counters_.end() && n < c->second.next) c->second.freed.insert(int(n));
  }
}
