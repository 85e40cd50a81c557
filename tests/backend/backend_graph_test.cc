// The containment graph against a plain search over the same edges.
#include <random>
#include <set>
#include <vector>

#include "containment_graph.h"
#include "gtest/gtest.h"
#include "handle_map.h"

namespace {

/// True when `to` is reachable from `from` in the adjacency lists.
bool reaches(const std::vector<std::multiset<uint32_t>>& adj, uint32_t from, uint32_t to) {
  std::vector<bool> seen(adj.size());
  std::vector<uint32_t> stack{from};
  while (!stack.empty()) {
    uint32_t n = stack.back();
    stack.pop_back();
    if (n == to) return true;
    if (seen[n]) continue;
    seen[n] = true;
    for (uint32_t w : adj[n]) stack.push_back(w);
  }
  return false;
}

// Made handles kept in a run (with gaps, and one far beyond it), handles read
// back kept beside it: each value is found, replaced and erased by its own
// handle, and a reference to a value survives the growth of the run.
TEST(HandleMap, KeepsEveryHandleWhereverItLies) {
  qel::HandleMap<int> m;
  EXPECT_EQ(m.find(7), nullptr);
  int& first = m.set(1000, 1, true);
  std::vector<uint32_t> handles{1000};
  for (uint32_t h = 1001; h < 60000; h += 1 + h % 3) {
    m.set(h, static_cast<int>(h), true);
    handles.push_back(h);
  }
  for (uint32_t h : {5u, 999u, 2000000u}) {  // read back, or made far away
    m.set(h, static_cast<int>(h), h == 2000000u);
    handles.push_back(h);
  }
  EXPECT_EQ(&first, m.find(1000));
  EXPECT_EQ(m.size(), handles.size());
  for (uint32_t h : handles) {
    ASSERT_NE(m.find(h), nullptr) << h;
    EXPECT_EQ(*m.find(h), h == 1000 ? 1 : static_cast<int>(h)) << h;
  }
  EXPECT_EQ(m.find(1002), nullptr);  // a gap in the run
  EXPECT_EQ(m.find(60001), nullptr);
  m.set(1002, 2, true);  // into the gap, leaving the run's end where it was
  EXPECT_EQ(*m.find(1002), 2);
  EXPECT_NE(m.find(handles[handles.size() - 4]), nullptr);
  m.erase(1002);
  m.set(999, -1, false);
  m.erase(1001);
  m.erase(5);
  m.erase(1002);  // absent: nothing changes
  EXPECT_EQ(*m.find(999), -1);
  EXPECT_EQ(m.find(1001), nullptr);
  EXPECT_EQ(m.find(5), nullptr);
  EXPECT_EQ(m.size(), handles.size() - 2);
  m.clear();
  EXPECT_EQ(m.size(), 0u);
  EXPECT_EQ(m.find(1000), nullptr);
}

TEST(ContainmentGraph, AgreesWithAPlainSearchOnRandomGrowthAndRemoval) {
  // Small gaps and a small label range make the order run out of room often,
  // so blocks and the whole list are spread out again as well as nodes moved
  // between neighbours.
  struct Labels {
    int64_t gap;
    int bits;
  };
  for (Labels labels : {Labels{2, 62}, Labels{5, 12}, Labels{1, 10}, Labels{int64_t{1} << 20, 62}})
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u}) {
      std::mt19937 rng(seed);
      uint32_t n = 40;
      int64_t gap = labels.gap;
      qel::ContainmentGraph g(gap, labels.bits);
      std::vector<std::multiset<uint32_t>> adj(n + 1);
      for (uint32_t i = 1; i <= n; ++i) g.addNode(i);
      int accepted = 0, refused = 0;
      for (int step = 0; step < 3000; ++step) {
        if (rng() % 10 == 0) {
          // A definition created with references to older ones (its type, its
          // base): many share a popular target, as elements share STRING.
          ++n;
          adj.emplace_back();
          g.addNode(n);
          for (int k = rng() % 3; k > 0; --k) {
            uint32_t target = rng() % 2 ? 1 : 1 + rng() % (n - 1);
            g.addEdgeFromNew(n, target);
            adj[n].insert(target);
          }
          continue;
        }
        uint32_t a = 1 + rng() % n, b = 1 + rng() % n;
        if (rng() % 5 == 0 && !adj[a].empty()) {
          uint32_t victim = *adj[a].begin();
          g.removeEdge(a, victim);
          adj[a].erase(adj[a].find(victim));
          continue;
        }
        bool cycle = reaches(adj, b, a);
        ASSERT_EQ(g.addEdge(a, b), !cycle) << "gap " << gap << " seed " << seed << " step " << step;
        ASSERT_TRUE(step % 50 != 0 || g.orderIsConsistent()) << "gap " << gap << " step " << step;
        if (!cycle) {
          adj[a].insert(b);
          ++accepted;
        } else {
          ++refused;
        }
      }
      EXPECT_TRUE(g.orderIsConsistent());
      EXPECT_GT(accepted, 100);
      EXPECT_GT(refused, 100);
    }
}

TEST(ContainmentGraph, LoadedGraphKeepsRefusingCycles) {
  // A chain 1 ⊃ 2 ⊃ ... ⊃ 50 given in stored order, with the edges reversed
  // in the list so the first order is not the creation order.
  std::vector<uint32_t> ids;
  std::vector<qel::Edge> edges;
  for (uint32_t i = 1; i <= 50; ++i) ids.push_back(i);
  for (uint32_t i = 49; i >= 1; --i) edges.push_back({i, i + 1});
  qel::ContainmentGraph g;
  g.load(ids, edges);
  EXPECT_FALSE(g.addEdge(50, 1));
  EXPECT_FALSE(g.addEdge(30, 10));
  EXPECT_TRUE(g.isContained(2));
  EXPECT_FALSE(g.isContained(1));
  g.removeNode(25);                 // the chain falls into 1..24 and 26..50
  EXPECT_TRUE(g.addEdge(50, 1));    // 26..50 now contains 1..24
  EXPECT_FALSE(g.addEdge(24, 26));  // 24 ⊃ 26 ⊃ ... 50 ⊃ 1 ⊃ ... 24
  EXPECT_FALSE(g.addEdge(10, 30));
  EXPECT_TRUE(g.addEdge(30, 10));
}

// An import writes its types first, then every element pointing at its type
// (most at a few common ones), then the members of each type.  The order is
// kept with work close to constant per edge: no reordering that grows with
// the size of the whole graph, whichever way round the types come.
TEST(ContainmentGraph, ElementsOfCommonTypesCostNearConstantWork) {
  const uint32_t commonTypes = 4, containers = 2000, perContainer = 10;
  for (bool typesLast : {false, true}) {
    qel::ContainmentGraph g;
    uint32_t next = 1;
    std::vector<uint32_t> common, holder, elements;
    auto makeTypes = [&] {
      // Common complex types with a member each, so none of them is a leaf,
      // and containers (the record types).
      for (uint32_t i = 0; i < commonTypes; ++i) common.push_back(next++);
      for (uint32_t i = 0; i < containers; ++i) holder.push_back(next++);
      for (uint32_t t : common) g.addNode(t);
      for (uint32_t t : holder) g.addNode(t);
    };
    uint32_t leaf = next++;
    g.addNode(leaf);
    if (!typesLast) makeTypes();
    for (uint32_t i = 0; i < commonTypes; ++i) {
      uint32_t e = next++;
      g.addEdgeFromNew(e, leaf);
      elements.push_back(e);
    }
    if (typesLast) makeTypes();
    for (uint32_t i = 0; i < commonTypes; ++i) ASSERT_TRUE(g.addEdge(common[i], elements[i]));
    // Every container's elements: most of a common type, one of the next
    // container's type, so the containers nest in a long chain.
    std::vector<std::vector<uint32_t>> members(containers);
    for (uint32_t c = 0; c < containers; ++c)
      for (uint32_t k = 0; k < perContainer; ++k) {
        uint32_t e = next++;
        uint32_t type = k + 1 == perContainer && c + 1 < containers ? holder[c + 1]
                                                                    : common[(c + k) % commonTypes];
        g.addEdgeFromNew(e, type);
        members[c].push_back(e);
      }
    uint64_t elementWork = g.reorderWork();
    for (uint32_t c = 0; c < containers; ++c)
      for (uint32_t e : members[c]) ASSERT_TRUE(g.addEdge(holder[c], e)) << c;
    EXPECT_TRUE(g.orderIsConsistent());
    const uint64_t edges = containers * perContainer;
    // A few label rewrites and search steps per edge; rebuilding the order
    // every few insertions would cost thousands per edge here.
    EXPECT_LT(elementWork, 20 * edges) << "types last " << typesLast;
    EXPECT_LT(g.reorderWork(), 30 * edges) << "types last " << typesLast;
    // The chain is whole: the innermost container cannot hold the outermost.
    EXPECT_FALSE(g.addEdge(holder[containers - 1], holder[0]));
    EXPECT_FALSE(g.addEdge(common[0], holder[containers / 2]));
    EXPECT_TRUE(g.addEdge(holder[0], holder[containers - 1]));
  }
}

TEST(ContainmentGraph, CrowdedLabelsSpreadLocallyAndKeepTheOrder) {
  // Every new node goes between the same two neighbours, halving the free
  // labels each time, so blocks must be spread out again and again, at about
  // ten label writes per node.  Small label ranges spread out whole are in
  // AgreesWithAPlainSearchOnRandomGrowthAndRemoval.
  const uint32_t nodes = 20000;
  qel::ContainmentGraph g(int64_t{1} << 10);
  g.addNode(1);
  g.addNode(2);
  ASSERT_TRUE(g.addEdge(1, 2));
  ASSERT_TRUE(g.addEdge(2, 1000000));  // 2 is no longer a leaf
  for (uint32_t id = 3; id < nodes; ++id) {
    g.addEdgeFromNew(id, 2);
    ASSERT_TRUE(g.addEdge(1, id));
  }
  EXPECT_TRUE(g.orderIsConsistent());
  EXPECT_LT(g.reorderWork(), uint64_t{nodes} * 32);
  uint32_t last = nodes - 1;
  EXPECT_FALSE(g.addEdge(2, 1));
  EXPECT_FALSE(g.addEdge(1000000, last));
  EXPECT_TRUE(g.addEdge(last, 3));
  EXPECT_FALSE(g.addEdge(3, last));
  EXPECT_TRUE(g.orderIsConsistent());
}

}  // namespace
