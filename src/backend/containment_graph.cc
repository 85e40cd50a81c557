// The containment graph with its dynamic topological order.
#include "containment_graph.h"

#include <algorithm>
#include <cassert>

namespace qel {

namespace {
void eraseOne(std::pmr::vector<uint32_t>& v, uint32_t x) {
  auto it = std::find(v.begin(), v.end(), x);
  if (it != v.end()) {
    *it = v.back();
    v.pop_back();
  }
}
}  // namespace

ContainmentGraph::ContainmentGraph(int64_t gap, int labelBits)
    : gap_(std::max<int64_t>(gap, 1)),
      labelBits_(std::clamp(labelBits, 2, kDefaultLabelBits)),
      labelLimit_(int64_t{1} << labelBits_) {}

void ContainmentGraph::clear() {
  index_.clear();
  nodes_.clear();
  edges_.release();
  free_.clear();
  head_ = tail_ = kNone;
  epoch_ = 0;
  work_ = 0;
}

uint32_t ContainmentGraph::indexOf(uint32_t id, bool made) {
  if (const uint32_t* known = index_.find(id)) return *known;
  uint32_t n;
  if (!free_.empty()) {
    n = free_.back();
    free_.pop_back();
    nodes_[n] = Node(&edges_);
  } else {
    n = static_cast<uint32_t>(nodes_.size());
    nodes_.emplace_back(&edges_);
  }
  index_.set(id, n, made);
  // New nodes go last, where the members a writer appends to older
  // definitions usually find them already in order.
  linkAfter(tail_, n);
  return n;
}

void ContainmentGraph::unlink(uint32_t n) {
  Node& node = nodes_[n];
  (node.prev == kNone ? head_ : nodes_[node.prev].next) = node.next;
  (node.next == kNone ? tail_ : nodes_[node.next].prev) = node.prev;
  node.prev = node.next = kNone;
}

void ContainmentGraph::linkAfter(uint32_t before, uint32_t n) {
  uint32_t after = before == kNone ? head_ : nodes_[before].next;
  for (int attempt = 0;; ++attempt) {
    int64_t lo = before == kNone ? -1 : nodes_[before].ord;
    int64_t hi = after == kNone ? labelLimit_ : nodes_[after].ord;
    if (hi - lo >= 2) {
      // At either end of the list the new label keeps its distance from
      // the neighbour small, so that appends leave room for many more.
      int64_t label = after == kNone    ? lo + std::min(gap_, (hi - lo) / 2)
                      : before == kNone ? hi - std::min(gap_, (hi - lo) / 2)
                                        : lo + (hi - lo) / 2;
      Node& node = nodes_[n];
      node.ord = label;
      node.prev = before;
      node.next = after;
      (before == kNone ? head_ : nodes_[before].next) = n;
      (after == kNone ? tail_ : nodes_[after].prev) = n;
      return;
    }
    // A spread-out block leaves a free label on both sides of each node.
    assert(attempt == 0);
    relabelAround(before != kNone ? before : after);
  }
}

void ContainmentGraph::linkBefore(uint32_t after, uint32_t n) {
  linkAfter(after == kNone ? tail_ : nodes_[after].prev, n);
}

// The blocks tried are the aligned ranges of 2, 4, 8, ... labels holding
// the label of `n`; the first whose node count is at most (4/3)^i, i the
// block's bit width, is spread out evenly.  Denser blocks are left alone, so
// that the work of spreading pays for itself over the insertions that filled
// the block (amortised O(log n) labels per insertion).  The whole range is
// spread out when no smaller block qualifies.
void ContainmentGraph::relabelAround(uint32_t n) {
  const int64_t label = nodes_[n].ord;
  uint32_t first = n, last = n;
  int64_t count = 1;
  double sparse = 1.0;
  for (int bits = 1; bits <= labelBits_; ++bits) {
    sparse *= 4.0 / 3.0;
    int64_t size = int64_t{1} << bits;
    int64_t lo = label & ~(size - 1);
    int64_t hi = lo + size;
    while (nodes_[first].prev != kNone && nodes_[nodes_[first].prev].ord >= lo) {
      first = nodes_[first].prev;
      ++count;
    }
    while (nodes_[last].next != kNone && nodes_[nodes_[last].next].ord < hi) {
      last = nodes_[last].next;
      ++count;
    }
    bool roomy = (count + 1) * 2 <= size;  // a step of at least 2 labels
    if (!roomy || (bits<labelBits_&& static_cast<double>(count)> sparse)) continue;
    int64_t step = size / (count + 1);
    int64_t place = lo;
    for (uint32_t m = first;; m = nodes_[m].next) {
      nodes_[m].ord = place += step;
      ++work_;
      if (m == last) return;
    }
  }
  // Only a list of more than 2^(labelBits-1) nodes gets here.
  assert(false && "label space exhausted");
}

void ContainmentGraph::load(const std::vector<uint32_t>& ids, const std::vector<Edge>& edges) {
  clear();
  for (uint32_t id : ids) indexOf(id);
  for (const Edge& e : edges) {
    uint32_t a = indexOf(e.from), b = indexOf(e.to);
    nodes_[a].out.push_back(b);
    nodes_[b].in.push_back(a);
  }
  // Kahn's algorithm gives the first order; nodes left on a stored cycle
  // (which the library never writes) are placed after the others.
  std::vector<size_t> indegree(nodes_.size());
  for (size_t i = 0; i < nodes_.size(); ++i) indegree[i] = nodes_[i].in.size();
  std::vector<uint32_t> ready;
  for (size_t i = 0; i < nodes_.size(); ++i)
    if (indegree[i] == 0) ready.push_back(static_cast<uint32_t>(i));
  std::vector<bool> placed(nodes_.size());
  head_ = tail_ = kNone;
  for (Node& n : nodes_) n.prev = n.next = kNone;
  while (!ready.empty()) {
    uint32_t n = ready.back();
    ready.pop_back();
    linkAfter(tail_, n);
    placed[n] = true;
    for (uint32_t w : nodes_[n].out)
      if (--indegree[w] == 0) ready.push_back(w);
  }
  for (size_t i = 0; i < nodes_.size(); ++i)
    if (!placed[i]) linkAfter(tail_, static_cast<uint32_t>(i));
  work_ = 0;
}

void ContainmentGraph::addNode(uint32_t id) { indexOf(id, true); }

void ContainmentGraph::addEdgeFromNew(uint32_t from, uint32_t to) {
  assert(nodes_[indexOf(from)].in.empty());
  bool added = addEdge(from, to);
  assert(added);
  (void)added;
}

bool ContainmentGraph::addEdge(uint32_t from, uint32_t to) {
  uint32_t x = indexOf(from), y = indexOf(to);
  if (x == y) return false;
  if (nodes_[x].ord > nodes_[y].ord) {
    if (nodes_[x].in.empty()) {
      // Nothing reaches x, and all it contains already lies after it, so
      // after y: x may stand just before y.
      unlink(x);
      linkBefore(y, x);
    } else if (nodes_[y].out.empty()) {
      // Likewise y reaches nothing and all that contains it lies before x.
      unlink(y);
      linkAfter(x, y);
    } else {
      SearchEnd end = search(x, y);
      if (end == SearchEnd::kCycle) return false;
      // What y contains among the nodes before x moves just after x, or
      // what contains x among the nodes after y just before y: whichever
      // search ended first.  Each group keeps its own order, and an edge
      // leaving the group leads beyond the anchor, so the order holds.
      bool forward = end == SearchEnd::kForwardDone;
      std::vector<uint32_t>& moving = forward ? forward_ : backward_;
      std::sort(moving.begin(), moving.end(),
                [this](uint32_t a, uint32_t b) { return nodes_[a].ord < nodes_[b].ord; });
      for (uint32_t n : moving) unlink(n);
      if (forward) {
        uint32_t cursor = x;
        for (uint32_t n : moving) {
          linkAfter(cursor, n);
          cursor = n;
        }
      } else {
        for (uint32_t n : moving) linkBefore(y, n);
      }
    }
  }
  nodes_[x].out.push_back(y);
  nodes_[y].in.push_back(x);
  return true;
}

// The searches take turns by the number of edges each has looked at, so a
// node with many members does not let one side run far ahead of the other.
ContainmentGraph::SearchEnd ContainmentGraph::search(uint32_t x, uint32_t y) {
  ++epoch_;
  forward_.clear();
  backward_.clear();
  forwardStack_.assign(1, y);
  backwardStack_.assign(1, x);
  nodes_[y].forwardMark = epoch_;
  nodes_[x].backwardMark = epoch_;
  int64_t lower = nodes_[y].ord, upper = nodes_[x].ord;
  size_t forwardWork = 0, backwardWork = 0;
  for (;;) {
    if (forwardStack_.empty()) return SearchEnd::kForwardDone;
    if (backwardStack_.empty()) return SearchEnd::kBackwardDone;
    bool met = forwardWork <= backwardWork ? !stepForward(x, upper, forwardWork)
                                           : !stepBackward(y, lower, backwardWork);
    if (met) return SearchEnd::kCycle;
  }
}

// One node of the forward search from y among the labels below `upper`.
// False when it meets x or a node the backward search reached: y then
// reaches x, and x→y would close a cycle.
bool ContainmentGraph::stepForward(uint32_t x, int64_t upper, size_t& work) {
  uint32_t n = forwardStack_.back();
  forwardStack_.pop_back();
  forward_.push_back(n);
  ++work_;
  work += 1 + nodes_[n].out.size();
  for (uint32_t w : nodes_[n].out) {
    if (w == x || nodes_[w].backwardMark == epoch_) return false;
    if (nodes_[w].forwardMark != epoch_ && nodes_[w].ord < upper) {
      nodes_[w].forwardMark = epoch_;
      forwardStack_.push_back(w);
    }
  }
  return true;
}

bool ContainmentGraph::stepBackward(uint32_t y, int64_t lower, size_t& work) {
  uint32_t n = backwardStack_.back();
  backwardStack_.pop_back();
  backward_.push_back(n);
  ++work_;
  work += 1 + nodes_[n].in.size();
  for (uint32_t w : nodes_[n].in) {
    if (w == y || nodes_[w].forwardMark == epoch_) return false;
    if (nodes_[w].backwardMark != epoch_ && nodes_[w].ord > lower) {
      nodes_[w].backwardMark = epoch_;
      backwardStack_.push_back(w);
    }
  }
  return true;
}

void ContainmentGraph::removeEdge(uint32_t from, uint32_t to) {
  const uint32_t *a = index_.find(from), *b = index_.find(to);
  if (!a || !b) return;
  eraseOne(nodes_[*a].out, *b);
  eraseOne(nodes_[*b].in, *a);
}

void ContainmentGraph::removeNode(uint32_t id) {
  const uint32_t* known = index_.find(id);
  if (!known) return;
  uint32_t n = *known;
  for (uint32_t w : nodes_[n].out) eraseOne(nodes_[w].in, n);
  for (uint32_t w : nodes_[n].in) eraseOne(nodes_[w].out, n);
  unlink(n);
  nodes_[n] = Node(&edges_);
  free_.push_back(n);
  index_.erase(id);
}

bool ContainmentGraph::isContained(uint32_t id) const {
  const uint32_t* known = index_.find(id);
  return known && !nodes_[*known].in.empty();
}

bool ContainmentGraph::orderIsConsistent() const {
  size_t listed = 0;
  int64_t previous = -1;
  for (uint32_t n = head_; n != kNone; n = nodes_[n].next) {
    const Node& node = nodes_[n];
    if (node.ord <= previous || node.ord >= labelLimit_) return false;
    if (node.next == kNone ? tail_ != n : nodes_[node.next].prev != n) return false;
    for (uint32_t w : node.out)
      if (nodes_[w].ord <= node.ord) return false;
    previous = node.ord;
    ++listed;
  }
  return listed == index_.size();
}

}  // namespace qel
