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
  maxOrd_ = 0;
  epoch_ = 0;
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
    maxOrd_ += kGap;
    nodes_[it->second].ord = maxOrd_;
    usedOrds_.insert(maxOrd_);
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
  std::vector<uint32_t> indegree(nodes_.size());
  for (size_t i = 0; i < nodes_.size(); ++i) indegree[i] = nodes_[i].in.size();
  std::vector<uint32_t> ready;
  for (size_t i = 0; i < nodes_.size(); ++i)
    if (indegree[i] == 0) ready.push_back(static_cast<uint32_t>(i));
  int64_t next = 0;
  std::vector<bool> placed(nodes_.size());
  usedOrds_.clear();
  while (!ready.empty()) {
    uint32_t n = ready.back();
    ready.pop_back();
    nodes_[n].ord = next += kGap;
    placed[n] = true;
    for (uint32_t w : nodes_[n].out)
      if (--indegree[w] == 0) ready.push_back(w);
  }
  for (size_t i = 0; i < nodes_.size(); ++i)
    if (!placed[i]) nodes_[i].ord = next += kGap;
  for (const Node& n : nodes_) usedOrds_.insert(n.ord);
  maxOrd_ = next;
}

void ContainmentGraph::addNode(uint32_t id) { indexOf(id); }

void ContainmentGraph::addEdgeFromNew(uint32_t from, uint32_t to) {
  uint32_t a = indexOf(from), b = indexOf(to);
  assert(nodes_[a].in.empty());
  if (nodes_[a].ord > nodes_[b].ord) {
    // Nothing contains the new node, so it may take any free place before
    // `to`: the gaps between the places of older nodes leave room for it.
    for (int64_t k = 1; k <= 8; ++k) {
      int64_t place = nodes_[b].ord - k;
      if (usedOrds_.insert(place).second) {
        usedOrds_.erase(nodes_[a].ord);
        nodes_[a].ord = place;
        break;
      }
    }
  }
  if (nodes_[a].ord > nodes_[b].ord) {
    bool added = addEdge(from, to);  // no free place: the general repair
    assert(added);
    (void)added;
    return;
  }
  nodes_[a].out.push_back(b);
  nodes_[b].in.push_back(a);
}

bool ContainmentGraph::addEdge(uint32_t from, uint32_t to) {
  uint32_t x = indexOf(from), y = indexOf(to);
  if (x == y) return false;
  if (nodes_[x].ord > nodes_[y].ord) {
    // The order puts `to` first: only nodes between the two can be on a path
    // from `to` back to `from`.
    int64_t lower = nodes_[y].ord, upper = nodes_[x].ord;
    ++epoch_;
    forward_.clear();
    backward_.clear();
    if (!searchForward(y, upper, x)) return false;
    searchBackward(x, lower);
    reorder();
  }
  nodes_[x].out.push_back(y);
  nodes_[y].in.push_back(x);
  return true;
}

bool ContainmentGraph::searchForward(uint32_t start, int64_t upper, uint32_t target) {
  stack_.assign(1, start);
  nodes_[start].mark = epoch_;
  while (!stack_.empty()) {
    uint32_t n = stack_.back();
    stack_.pop_back();
    forward_.push_back(n);
    for (uint32_t w : nodes_[n].out) {
      if (w == target) return false;
      if (nodes_[w].mark != epoch_ && nodes_[w].ord < upper) {
        nodes_[w].mark = epoch_;
        stack_.push_back(w);
      }
    }
  }
  return true;
}

void ContainmentGraph::searchBackward(uint32_t start, int64_t lower) {
  stack_.assign(1, start);
  nodes_[start].mark = epoch_;
  while (!stack_.empty()) {
    uint32_t n = stack_.back();
    stack_.pop_back();
    backward_.push_back(n);
    for (uint32_t w : nodes_[n].in) {
      if (nodes_[w].mark != epoch_ && nodes_[w].ord > lower) {
        nodes_[w].mark = epoch_;
        stack_.push_back(w);
      }
    }
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
  // group keeping its own relative order.
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
