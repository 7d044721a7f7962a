#pragma once
// The scene's name index: which nodes carry a name, and the next free name for a base, both in about
// constant time, so that scenes of a hundred thousand nodes are built and torn down in linear time.
#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

class SceneNode;

class NodeNames {
 public:
  // n is indexed under its current name, ranked by its creation order among nodes sharing that name.
  void Add(SceneNode* n);
  void Remove(SceneNode* n);
  // n now carries a new name; `from` is the one it was indexed under.
  void Renamed(SceneNode* n, const std::string& from);
  // The first node, in creation order, carrying exactly that name; null if none.
  SceneNode* First(const std::string& name) const;
  // base followed by the lowest number (three digits at least, from 001) that no node carries.
  std::string Unique(const std::string& base);
  void Clear();

 private:
  void Insert(SceneNode* n, const std::string& name);
  void Erase(SceneNode* n, const std::string& name);
  // A name nobody carries any more may be a numbered name that Unique gave out: its number is free again.
  void Freed(const std::string& name);

  // Per name, its carriers in creation order (more than one only when names were set by hand).
  std::unordered_map<std::string, std::vector<SceneNode*>> carriers_;
  struct Counter {
    int next = 1;         // every number from here up has not been given out
    std::set<int> freed;  // numbers below next that may be free again (checked when taken)
  };
  std::unordered_map<std::string, Counter> counters_;
};
