// The containment graph with its dynamic topological order.
#include "containment_graph.h"

#include <algorithm>
#include <cassert>

namespace qel {

namespace {
void eraseOne(std::vector<uint32_t>& v, uint32_t x) {
  auto it = std::find(v.begin(), v.end(), x);
  if (it != v.end()) {
    *it = v.back();
    v.pop_back();
  }
}
}  // namespace

void ContainmentGraph::clear() {
  index_.clear();
  nodes_.clear();
  free_.clear();
  usedOrds_.clear();
  epoch_ = 0;
}

void ContainmentGraph::setOrd(uint32_t n, int64_t ord) {
  usedOrds_.erase(nodes_[n].ord);
  nodes_[n].ord = ord;
  bool fresh = usedOrds_.insert(ord).second;
  assert(fresh);
  (void)fresh;
}

uint32_t ContainmentGraph::indexOf(uint32_t id) {
  auto [it, added] = index_.try_emplace(id, 0);
  if (added) {
    if (!free_.empty()) {
      it->second = free_.back();
      free_.pop_back();
      nodes_[it->second] = Node{};
    } else {
      it->second = static_cast<uint32_t>(nodes_.size());
      nodes_.emplace_back();
    }
    // New nodes go last, where the members a writer appends to older
    // definitions usually find them already in order.
    int64_t last = usedOrds_.empty() ? 0 : *usedOrds_.rbegin();
    nodes_[it->second].ord = last + gap_;
    usedOrds_.insert(last + gap_);
  }
  return it->second;
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
  int64_t next = 0;
  std::vector<bool> placed(nodes_.size());
  while (!ready.empty()) {
    uint32_t n = ready.back();
    ready.pop_back();
    nodes_[n].ord = next += gap_;
    placed[n] = true;
    for (uint32_t w : nodes_[n].out)
      if (--indegree[w] == 0) ready.push_back(w);
  }
  for (size_t i = 0; i < nodes_.size(); ++i)
    if (!placed[i]) nodes_[i].ord = next += gap_;
  usedOrds_.clear();
  for (const Node& n : nodes_) usedOrds_.insert(n.ord);
}

void ContainmentGraph::addNode(uint32_t id) { indexOf(id); }

void ContainmentGraph::addEdgeFromNew(uint32_t from, uint32_t to) {
  assert(nodes_[indexOf(from)].in.empty());
  bool added = addEdge(from, to);
  assert(added);
  (void)added;
}

bool ContainmentGraph::moveNear(uint32_t node, int64_t anchor, int64_t step) {
  for (int64_t k = 1; k <= 8; ++k) {
    int64_t place = anchor + step * k;
    if (!usedOrds_.count(place)) {
      setOrd(node, place);
      return true;
    }
  }
  return false;
}

bool ContainmentGraph::addEdge(uint32_t from, uint32_t to) {
  uint32_t x = indexOf(from), y = indexOf(to);
  if (x == y) return false;
  if (nodes_[x].ord > nodes_[y].ord) {
    // A container that nothing contains may move anywhere before `to`, and
    // something that contains nothing anywhere after `from`.
    bool moved = (nodes_[x].in.empty() && moveNear(x, nodes_[y].ord, -1)) ||
                 (nodes_[y].out.empty() && moveNear(y, nodes_[x].ord, +1));
    if (!moved) {
      int64_t lower = nodes_[y].ord, upper = nodes_[x].ord;
      SearchEnd end = search(x, y);
      if (end == SearchEnd::kCycle) return false;
      bool forward = end == SearchEnd::kForwardDone;
      // What `to` contains moves after `from`, or what contains `from`
      // moves before `to`: whichever search ended first.
      std::vector<uint32_t>& moving = forward ? forward_ : backward_;
      auto byOrd = [this](uint32_t a, uint32_t b) { return nodes_[a].ord < nodes_[b].ord; };
      std::sort(moving.begin(), moving.end(), byOrd);
      uint32_t anchor = forward ? x : y;
      if (!placeBeside(moving, nodes_[anchor].ord, forward)) {
        if (static_cast<int64_t>(moving.size()) < gap_ / 2) {
          renumber();
          bool placed = placeBeside(moving, nodes_[anchor].ord, forward);
          assert(placed);
          (void)placed;
        } else {
          // Too many to fit a gap: finish the other search and repair
          // the order among both sets.
          while (forward ? stepBackward(y, lower) : stepForward(x, upper)) {
          }
          reorder();
        }
      }
    }
  }
  nodes_[x].out.push_back(y);
  nodes_[y].in.push_back(x);
  return true;
}

ContainmentGraph::SearchEnd ContainmentGraph::search(uint32_t x, uint32_t y) {
  ++epoch_;
  forward_.clear();
  backward_.clear();
  forwardStack_.assign(1, y);
  backwardStack_.assign(1, x);
  nodes_[y].forwardMark = epoch_;
  nodes_[x].backwardMark = epoch_;
  int64_t lower = nodes_[y].ord, upper = nodes_[x].ord;
  for (;;) {
    if (forwardStack_.empty()) return SearchEnd::kForwardDone;
    if (backwardStack_.empty()) return SearchEnd::kBackwardDone;
    if (!stepForward(x, upper) && !forwardStack_.empty()) return SearchEnd::kCycle;
    if (!stepBackward(y, lower) && !backwardStack_.empty()) return SearchEnd::kCycle;
  }
}

// One node of the forward search from y among the places before `upper`.
// False when the search is over: its stack is empty, or it met x or a node
// the backward search reached (a cycle; the stack is then left non-empty).
bool ContainmentGraph::stepForward(uint32_t x, int64_t upper) {
  if (forwardStack_.empty()) return false;
  uint32_t n = forwardStack_.back();
  forwardStack_.pop_back();
  forward_.push_back(n);
  for (uint32_t w : nodes_[n].out) {
    if (w == x || nodes_[w].backwardMark == epoch_) {
      forwardStack_.push_back(w);
      return false;
    }
    if (nodes_[w].forwardMark != epoch_ && nodes_[w].ord < upper) {
      nodes_[w].forwardMark = epoch_;
      forwardStack_.push_back(w);
    }
  }
  return !forwardStack_.empty();
}

bool ContainmentGraph::stepBackward(uint32_t y, int64_t lower) {
  if (backwardStack_.empty()) return false;
  uint32_t n = backwardStack_.back();
  backwardStack_.pop_back();
  backward_.push_back(n);
  for (uint32_t w : nodes_[n].in) {
    if (w == y || nodes_[w].forwardMark == epoch_) {
      backwardStack_.push_back(w);
      return false;
    }
    if (nodes_[w].backwardMark != epoch_ && nodes_[w].ord > lower) {
      nodes_[w].backwardMark = epoch_;
      backwardStack_.push_back(w);
    }
  }
  return !backwardStack_.empty();
}

bool ContainmentGraph::placeBeside(std::vector<uint32_t>& moving, int64_t anchor, bool after) {
  int64_t count = static_cast<int64_t>(moving.size());
  if (after) {
    auto next = usedOrds_.upper_bound(anchor);
    if (next != usedOrds_.end() && *next - anchor - 1 < count) return false;
    for (int64_t i = 0; i < count; ++i) setOrd(moving[static_cast<size_t>(i)], anchor + 1 + i);
  } else {
    auto next = usedOrds_.lower_bound(anchor);
    if (next != usedOrds_.begin() && anchor - *std::prev(next) - 1 < count) return false;
    for (int64_t i = 0; i < count; ++i) setOrd(moving[static_cast<size_t>(i)], anchor - count + i);
  }
  return true;
}

void ContainmentGraph::renumber() {
  std::vector<uint32_t> live;
  live.reserve(index_.size());
  for (const auto& entry : index_) live.push_back(entry.second);
  std::sort(live.begin(), live.end(),
            [this](uint32_t a, uint32_t b) { return nodes_[a].ord < nodes_[b].ord; });
  usedOrds_.clear();
  int64_t place = 0;
  for (uint32_t n : live) {
    nodes_[n].ord = place += gap_;
    usedOrds_.insert(place);
  }
}

void ContainmentGraph::reorder() {
  auto byOrd = [this](uint32_t a, uint32_t b) { return nodes_[a].ord < nodes_[b].ord; };
  std::sort(forward_.begin(), forward_.end(), byOrd);
  std::sort(backward_.begin(), backward_.end(), byOrd);
  std::vector<int64_t> pool;
  pool.reserve(forward_.size() + backward_.size());
  for (uint32_t n : backward_) pool.push_back(nodes_[n].ord);
  for (uint32_t n : forward_) pool.push_back(nodes_[n].ord);
  std::sort(pool.begin(), pool.end());
  // The containers of `from` move ahead of everything `to` contains, each
  // group keeping its own relative order; the set of places is unchanged.
  size_t i = 0;
  for (uint32_t n : backward_) nodes_[n].ord = pool[i++];
  for (uint32_t n : forward_) nodes_[n].ord = pool[i++];
}

void ContainmentGraph::removeEdge(uint32_t from, uint32_t to) {
  auto a = index_.find(from), b = index_.find(to);
  if (a == index_.end() || b == index_.end()) return;
  eraseOne(nodes_[a->second].out, b->second);
  eraseOne(nodes_[b->second].in, a->second);
}

void ContainmentGraph::removeNode(uint32_t id) {
  auto it = index_.find(id);
  if (it == index_.end()) return;
  uint32_t n = it->second;
  for (uint32_t w : nodes_[n].out) eraseOne(nodes_[w].in, n);
  for (uint32_t w : nodes_[n].in) eraseOne(nodes_[w].out, n);
  usedOrds_.erase(nodes_[n].ord);
  nodes_[n] = Node{};
  free_.push_back(n);
  index_.erase(it);
}

bool ContainmentGraph::isContained(uint32_t id) const {
  auto it = index_.find(id);
  return it != index_.end() && !nodes_[it->second].in.empty();
}

}  // namespace qel
