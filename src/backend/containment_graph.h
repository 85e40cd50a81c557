// Which definitions of a message set contain which: the graph that keeps a
// type from containing itself.
//
// Nodes are definitions; an edge runs from a container to what it contains
// (type to member child, element to its value, element, message and value to
// their type, type to its base).  The graph keeps a topological order of its
// nodes as it grows: a linked list of the nodes, containers before contents,
// each carrying an integer label that grows along the list so that two nodes
// compare in constant time.  A node can be put next to any other in amortised
// logarithmic time: when two neighbours have no free label between them, the
// smallest block of labels around them that is sparse enough is spread out
// again, never the whole list.
//
// An edge that agrees with the order costs nothing.  A new container (nothing
// contains it yet) moves to just before what it contains, and a leaf (it
// contains nothing) to just after its container: that is all an element
// typed by a common type costs.  Any other edge against the order is checked
// by searching forward from the contained node and backward from the
// container at the same pace (in edges looked at), only among the nodes
// placed between the two; the side whose search ends first is moved next to
// the other end.  The work of one insertion is thus bounded by the smaller of
// the two neighbourhoods, whichever order a writer builds its types in.
#pragma once

#include <cstdint>
#include <memory_resource>
#include <vector>

#include "handle_map.h"
#include "storage.h"

namespace qel {

class ContainmentGraph {
 public:
  /// `gap`: the distance between the labels of nodes appended at the end;
  /// `labelBits`: labels lie in [0, 2^labelBits), which must hold at least
  /// twice as many labels as there are nodes (the default holds 2^62).
  /// Small values are for tests, which then exercise the relabelling of
  /// crowded blocks and of the whole list.
  explicit ContainmentGraph(int64_t gap = kDefaultGap, int labelBits = kDefaultLabelBits);
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
  /// True when every edge runs from a lower label to a higher one and the
  /// labels grow strictly along the list (for tests).
  bool orderIsConsistent() const;
  /// Nodes visited by the searches plus labels rewritten in spreading out
  /// blocks, since the last clear or load (for tests).
  uint64_t reorderWork() const { return work_; }

 private:
  static constexpr uint32_t kNone = UINT32_MAX;
  /// The edge lists live in `edges_`, which frees them all at once.
  struct Node {
    explicit Node(std::pmr::memory_resource* edges) : out(edges), in(edges) {}
    int64_t ord = 0;  ///< label; containers before contents
    uint32_t prev = kNone, next = kNone;
    uint32_t forwardMark = 0;  ///< epoch of the last forward search that reached it
    uint32_t backwardMark = 0;
    std::pmr::vector<uint32_t> out;  ///< node indexes, one per edge
    std::pmr::vector<uint32_t> in;
  };
  enum class SearchEnd { kCycle, kForwardDone, kBackwardDone };

  /// The node of definition `id`, added last when new; `made`: the
  /// definition was just made (see HandleMap).
  uint32_t indexOf(uint32_t id, bool made = false);

  // The ordered list.
  void unlink(uint32_t n);
  /// Links the unlinked node `n` between `before` and its successor
  /// (`before` kNone: at the head), giving it a label between theirs.
  void linkAfter(uint32_t before, uint32_t n);
  void linkBefore(uint32_t after, uint32_t n);
  /// Spreads out the labels of the smallest sparse enough aligned block
  /// around `n`, so that a free label lies on each side of every node in it.
  void relabelAround(uint32_t n);

  /// The two searches of an edge x→y that disagrees with the order.
  SearchEnd search(uint32_t x, uint32_t y);
  bool stepForward(uint32_t x, int64_t upper, size_t& work);
  bool stepBackward(uint32_t y, int64_t lower, size_t& work);

  static constexpr int64_t kDefaultGap = int64_t{1} << 20;
  static constexpr int kDefaultLabelBits = 62;
  int64_t gap_;
  int labelBits_;
  int64_t labelLimit_;

  HandleMap<uint32_t> index_;
  // The edge lists of a large graph are hundreds of thousands of small
  // blocks; freeing them one by one when the graph is cleared (as a write
  // ends) touched each of them again.  Lists that grow or go leave their old
  // blocks until then.
  std::pmr::monotonic_buffer_resource edges_;
  std::vector<Node> nodes_;
  std::vector<uint32_t> free_;
  uint32_t head_ = kNone, tail_ = kNone;
  uint32_t epoch_ = 0;
  uint64_t work_ = 0;
  std::vector<uint32_t> forward_, backward_;            ///< nodes searched
  std::vector<uint32_t> forwardStack_, backwardStack_;  ///< nodes still to search
};

}  // namespace qel
