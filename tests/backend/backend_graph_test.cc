// The containment graph against a plain search over the same edges.
#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "containment_graph.h"
#include "gtest/gtest.h"

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

TEST(ContainmentGraph, AgreesWithAPlainSearchOnRandomGrowthAndRemoval) {
  // Small gaps make the order run out of room often, so the renumbering and
  // the general repair are exercised as well as the moves into gaps.
  for (int64_t gap : {int64_t{2}, int64_t{5}, int64_t{1} << 20})
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u}) {
      std::mt19937 rng(seed);
      uint32_t n = 40;
      qel::ContainmentGraph g(gap);
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
        if (!cycle) {
          adj[a].insert(b);
          ++accepted;
        } else {
          ++refused;
        }
      }
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

TEST(ContainmentGraph, ChainsBuiltInAnyOrderRefuseTheClosingEdge) {
  // Types 1..n created in reverse, elements typed by the next type, members
  // added in a shuffled order: the chain 1 ⊃ ... ⊃ n ends up whole.
  const uint32_t n = 2000;
  for (int64_t gap : {int64_t{3}, int64_t{1} << 20}) {
    qel::ContainmentGraph g(gap);
    for (uint32_t k = n; k >= 1; --k) g.addNode(k);
    for (uint32_t i = 1; i < n; ++i) g.addEdgeFromNew(n + i, i + 1);
    std::vector<uint32_t> order;
    for (uint32_t i = 1; i < n; ++i) order.push_back(i);
    std::shuffle(order.begin(), order.end(), std::mt19937(11));
    for (uint32_t i : order) ASSERT_TRUE(g.addEdge(i, n + i)) << i;
    EXPECT_FALSE(g.addEdge(n, 1));
    EXPECT_FALSE(g.addEdge(n, n + 1));
    EXPECT_FALSE(g.addEdge(2 * n - 1, 1));
    EXPECT_TRUE(g.addEdge(1, n));
  }
}

TEST(ContainmentGraph, NewNodesPointingAtOldOnesNeverReorder) {
  qel::ContainmentGraph g;
  g.addNode(1);
  for (uint32_t i = 2; i <= 1000; ++i) g.addEdgeFromNew(i, i - 1);
  EXPECT_FALSE(g.addEdge(1, 1000));
  EXPECT_TRUE(g.addEdge(1000, 1));
  EXPECT_EQ(g.nodeCount(), 1000u);
}

}  // namespace
