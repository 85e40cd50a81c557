// The name table: offsets of a linear scan, growth, the hash index.
#include <string>

#include "name_table.h"
#include "test_support.h"

class NameTableTest : public KovaTest {};

TEST_F(NameTableTest, OffsetsFollowFirstInsertion) {
  EXPECT_EQ(insertName(""), 0);
  NameRef order = insertName("order");
  NameRef line = insertName("line");
  EXPECT_EQ(order, 1);
  EXPECT_EQ(line, 1 + 5 + 1);
  EXPECT_EQ(insertName("order"), order);
  NameRef upper = insertName("ORDER");
  EXPECT_NE(upper, order);
  EXPECT_STREQ(nameAt(upper), "ORDER");
  EXPECT_STREQ(nameAt(0), "");
}

TEST_F(NameTableTest, FindReportsWhereAMissingNameWouldGo) {
  insertName("alpha");
  NameRef miss = findName("beta");
  EXPECT_EQ(miss, nameTable.used);
  EXPECT_EQ(nameTable.pool[static_cast<size_t>(miss)], '\0');
  EXPECT_FALSE(isStoredName(miss));
  EXPECT_TRUE(isStoredName(findName("alpha")));
}

TEST_F(NameTableTest, GrowthDoublesAndKeepsEveryOffset) {
  std::vector<std::pair<NameRef, std::string>> stored;
  for (int i = 0; i < 20000; ++i) {
    std::string name = "name-" + std::to_string(i);
    stored.emplace_back(insertName(name), name);
  }
  EXPECT_EQ(nameTable.capacity, 262144);
  for (const auto& [ref, name] : stored) {
    ASSERT_STREQ(nameAt(ref), name.c_str());
    ASSERT_EQ(insertName(name), ref);
  }
  // Every byte after the used part is zero.
  for (int32_t i = nameTable.used; i < nameTable.capacity; ++i) ASSERT_EQ(nameTable.pool[i], '\0');
}

TEST_F(NameTableTest, ANameLargerThanOneDoublingStillFits) {
  std::string big(300000, 'x');
  NameRef ref = insertName(big);
  EXPECT_EQ(ref, 1);
  EXPECT_GE(nameTable.capacity, 300002);
  EXPECT_EQ(std::string(nameAt(ref)), big);
}

TEST_F(NameTableTest, NamesOfAGivenLengthAreTheNamesOfTheirText) {
  // insertName(text, length) files exactly `length` bytes: the same offset as
  // the NUL-terminated text, and a prefix is a name of its own.
  NameRef whole = insertName("orderLine");
  EXPECT_EQ(insertName("orderLine", 9), whole);
  NameRef prefix = insertName("orderLine", 5);
  EXPECT_NE(prefix, whole);
  EXPECT_STREQ(nameAt(prefix), "order");
  EXPECT_EQ(insertName("order"), prefix);
  EXPECT_EQ(insertName("orderLine", 0), 0);
}

TEST_F(NameTableTest, TheTailOfAStoredNameSurvivesThePoolsGrowth) {
  // A new name read from the pool itself (the tail of a stored name) is
  // copied from the right place when storing it makes the pool move.
  std::string filler(65536 - 40, 'f');
  NameRef big = insertName(filler + "|tail-of-a-stored-name");
  int32_t capacity = nameTable.capacity;
  NameRef tail = insertName(nameAt(big) + filler.size() + 1);
  EXPECT_GT(nameTable.capacity, capacity);
  EXPECT_STREQ(nameAt(tail), "tail-of-a-stored-name");
}

TEST_F(NameTableTest, PrefetchingANameStoresNothing) {
  insertName("stored");
  int32_t used = nameTable.used;
  int32_t stored = nameTable.stored;
  prefetchName("stored", 6);
  prefetchName("absent", 6);
  prefetchName("", 0);
  EXPECT_EQ(nameTable.used, used);
  EXPECT_EQ(nameTable.stored, stored);
  EXPECT_FALSE(isStoredName(findName("absent")));
}
