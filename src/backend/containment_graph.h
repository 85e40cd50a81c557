// Which definitions of a message set contain which: the graph that keeps a
// type from containing itself.
//
// Nodes are definitions; an edge runs from a container to what it contains
// (type to member child, element to its value, element, message and value to
// their type, type to its base).  The graph keeps a topological order of its
// nodes as it grows (the dynamic order of Pearce and Kelly): an edge that
// agrees with the order costs nothing, and one that does not is checked and
// repaired by searching only the nodes whose order lies between its ends, so
// the cycle check stays cheap however large the message set grows.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "storage.h"

namespace qel {

class ContainmentGraph {
 public:
  void clear();
  /// Rebuilds the graph of a message set from its stored definitions and edges.
  void load(const std::vector<uint32_t>& ids, const std::vector<Edge>& edges);
  /// Adds a definition that nothing contains yet (one just created).
  void addNode(uint32_t id);
  /// Adds from→to when `from` has no incoming edges (created in this call):
  /// such an edge cannot close a cycle, only move `to` and its content after
  /// `from` in the order.
  void addEdgeFromNew(uint32_t from, uint32_t to);
  /// Adds from→to unless `from` is reachable from `to`; false (and the graph
  /// unchanged) when the edge would close a cycle.
  bool addEdge(uint32_t from, uint32_t to);
  /// Removes one from→to edge.
  void removeEdge(uint32_t from, uint32_t to);
  /// Removes a definition with all its edges.
  void removeNode(uint32_t id);
  /// True when some definition contains `id`.
  bool isContained(uint32_t id) const;
  size_t nodeCount() const { return nodes_.size() - free_.size(); }

 private:
  struct Node {
    int64_t ord = 0;
    uint32_t mark = 0;
    std::vector<uint32_t> out;  ///< node indexes, one per edge
    std::vector<uint32_t> in;
  };
  uint32_t indexOf(uint32_t id);
  bool searchForward(uint32_t start, int64_t upper, uint32_t target);
  void searchBackward(uint32_t start, int64_t lower);
  void reorder();

  /// Places of new nodes lie kGap apart, leaving room before each.
  static constexpr int64_t kGap = 1024;

  std::unordered_map<uint32_t, uint32_t> index_;
  std::unordered_set<int64_t> usedOrds_;  ///< every node's place, none shared
  std::vector<Node> nodes_;
  std::vector<uint32_t> free_;
  int64_t maxOrd_ = 0;
  uint32_t epoch_ = 0;
  std::vector<uint32_t> forward_, backward_, stack_;
};

}  // namespace qel
