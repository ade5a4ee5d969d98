// Two threads run whole transactions of one merchant side by side, each on its own handles:
// every line lands whole in the shared log file, and the gateway sees exactly what was sent.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "acknowledgement.h"
#include "payment_world.h"

namespace orv {
namespace {

using test::PaymentWorld;

constexpr int kThreads = 2;
constexpr int kTransactionsPerThread = 200;

// Every line is flushed to disk; on a memory file system that costs nothing, so the test
// measures correctness and not the disk.
std::string MemoryDirectory() {
  char pattern[] = "/dev/shm/orvpay41-log-XXXXXX";
  return std::filesystem::is_directory("/dev/shm") && mkdtemp(pattern) != nullptr ? pattern : "";
}

TEST(Concurrency, TwoThreadsShareOneLogAndOneGateway) {
  const std::string logDirectory = MemoryDirectory();
  {
    PaymentWorld world(30, logDirectory);
    std::map<int, std::string> tids;  // by handle
    std::mutex mutex;
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
      threads.emplace_back([&] {
        for (int n = 0; n < kTransactionsPerThread; ++n) {
          const auto t = world.NewTransaction("securepay");
          world.SetPayment(*t, "1000");
          StartAction(*t);
          EXPECT_EQ(RunAcknowledgement(*t), 1);
          std::lock_guard lock(mutex);
          tids[t->handle] = t->fields.tid;
        }
      });
    for (std::thread& thread : threads) thread.join();
    ASSERT_EQ(tids.size(), size_t{kThreads * kTransactionsPerThread});

    bool wellFormed = false;
    const std::vector<test::LogRecord> records =
        test::ParseLog(world.LogText("securepay"), wellFormed);
    EXPECT_TRUE(wellFormed);
    std::map<int, std::vector<std::string>> byHandle;
    for (const test::LogRecord& record : records)
      byHandle[record.handle].push_back(record.level + " " + record.message);
    ASSERT_EQ(byHandle.size(), tids.size());
    for (const auto& [handle, tid] : tids)
      EXPECT_EQ(byHandle[handle], world.AcknowledgedPaymentLog(tid)) << handle;

    std::set<std::string> paid, acknowledged;
    for (const testgw::Exchange& exchange : world.gateway.Exchanges()) {
      if (exchange.kind == "PayIt" && exchange.signatureVerified) paid.insert(exchange.tid);
      if (exchange.kind == "Ack") acknowledged.insert(exchange.tid);
    }
    EXPECT_EQ(world.gateway.Exchanges().size(), 2 * tids.size());
    EXPECT_EQ(paid.size(), tids.size());
    EXPECT_EQ(acknowledged, paid);
    for (const auto& [handle, tid] : tids) EXPECT_TRUE(paid.contains(tid)) << tid;
  }
  if (!logDirectory.empty()) std::filesystem::remove_all(logDirectory);
}

}  // namespace
}  // namespace orv
