#include "transaction.h"

#include <gtest/gtest.h>

#include <set>

namespace orv {
namespace {

TEST(TransactionTable, HandlesArePositiveUniqueAndNotReused) {
  TransactionTable table;
  std::set<int> seen;
  for (int i = 0; i < 100; ++i) {
    const int handle = table.Initialize();
    EXPECT_GT(handle, 0);
    EXPECT_TRUE(seen.insert(handle).second);
    if (i % 2) table.Destroy(handle);
  }
  const int last = *seen.rbegin();
  table.Destroy(last);
  EXPECT_EQ(table.Find(last), nullptr);
  EXPECT_EQ(seen.count(table.Initialize()), 0u);
}

TEST(TransactionTable, UnknownHandlesFindNothing) {
  TransactionTable table;
  EXPECT_EQ(table.Find(0), nullptr);
  EXPECT_EQ(table.Find(-1), nullptr);
  table.Destroy(0);
  table.Destroy(12345);
  const int handle = table.Initialize();
  ASSERT_NE(table.Find(handle), nullptr);
  EXPECT_EQ(table.Find(handle)->handle, handle);
  EXPECT_FALSE(table.Find(handle)->fields.moduleDirectory.empty());
}

TEST(TransactionTable, ATransactionInUseOutlivesItsDestroy) {
  TransactionTable table;
  const int handle = table.Initialize();
  std::shared_ptr<Transaction> inUse = table.Find(handle);
  table.Destroy(handle);
  EXPECT_EQ(table.Find(handle), nullptr);
  inUse->fields.SetNamedField("mid", "still usable");
  EXPECT_EQ(inUse->fields.mid, "still usable");
}

}  // namespace
}  // namespace orv
