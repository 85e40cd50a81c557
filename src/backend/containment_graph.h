// Which definitions of a message set contain which: the graph that keeps a
// type from containing itself.
//
// Nodes are definitions; an edge runs from a container to what it contains
// (type to member child, element to its value, element, message and value to
// their type, type to its base).  The graph keeps a topological order of its
// nodes as it grows, as places on a line of 64-bit integers with wide gaps.
// An edge that agrees with the order costs nothing.  One that does not is
// checked by searching forward from the contained node and backward from the
// container at the same pace, only among the nodes placed between the two,
// and the side whose search ends first is moved into a gap next to the other
// end.  The work of one insertion is thus bounded by the smaller of the two
// neighbourhoods, whichever order a writer builds its types in.
#pragma once

#include <cstdint>
#include <set>
#include <unordered_map>
#include <vector>

#include "storage.h"

namespace qel {

class ContainmentGraph {
 public:
  /// `gap`: the distance between the places of new nodes (small gaps are
  /// for tests, which then exercise the renumbering).
  explicit ContainmentGraph(int64_t gap = kDefaultGap) : gap_(gap) {}
  void clear();
  /// Rebuilds the graph of a message set from its stored definitions and edges.
  void load(const std::vector<uint32_t>& ids, const std::vector<Edge>& edges);
  /// Adds a definition that nothing contains yet (one just created).
  void addNode(uint32_t id);
  /// Adds from→to when `from` has no incoming edges (created in this call):
  /// such an edge cannot close a cycle.
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
  size_t nodeCount() const { return index_.size(); }

 private:
  struct Node {
    int64_t ord = 0;           ///< place in the order; containers before contents
    uint32_t forwardMark = 0;  ///< epoch of the last forward search that reached it
    uint32_t backwardMark = 0;
    std::vector<uint32_t> out;  ///< node indexes, one per edge
    std::vector<uint32_t> in;
  };
  enum class SearchEnd { kCycle, kForwardDone, kBackwardDone };

  uint32_t indexOf(uint32_t id);
  /// Moves `node` to a free place a few steps from `anchor` (step -1:
  /// before it, +1: after it); false when none is free.
  bool moveNear(uint32_t node, int64_t anchor, int64_t step);
  /// The two searches of an edge x→y that disagrees with the order.
  SearchEnd search(uint32_t x, uint32_t y);
  bool stepForward(uint32_t x, int64_t upper);
  bool stepBackward(uint32_t y, int64_t lower);
  /// Moves the nodes of `moving` (sorted by place) into the free places
  /// right after `anchor` (after) or right before it; false when the gap
  /// there is too small.
  bool placeBeside(std::vector<uint32_t>& moving, int64_t anchor, bool after);
  /// Spreads every node gap_ apart again, keeping the order.
  void renumber();
  /// The general repair once both searches are complete.
  void reorder();
  void setOrd(uint32_t n, int64_t ord);

  static constexpr int64_t kDefaultGap = int64_t{1} << 20;
  /// Places of new nodes lie gap_ apart, leaving room between them.
  int64_t gap_;

  std::unordered_map<uint32_t, uint32_t> index_;
  std::vector<Node> nodes_;
  std::vector<uint32_t> free_;
  std::set<int64_t> usedOrds_;  ///< every node's place, none shared
  uint32_t epoch_ = 0;
  std::vector<uint32_t> forward_, backward_;            ///< nodes searched
  std::vector<uint32_t> forwardStack_, backwardStack_;  ///< nodes still to search
};

}  // namespace qel
