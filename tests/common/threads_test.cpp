// The program's own thread, lock and tick helpers, which stand in for the
// standard library's on every supported Windows.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "common/lock.h"
#include "common/ticks.h"
#include "common/worker_thread.h"

namespace velmora {
namespace {

TEST(WorkerThread, RaisesWhatTheWorkThrewInTheJoiningThread) {
  WorkerThread worker;
  ASSERT_TRUE(worker.Start([] { throw std::runtime_error("deflate failed"); }));
  try {
    worker.Join();
    FAIL() << "the failure was lost";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "deflate failed");
  }
  EXPECT_FALSE(worker.Running());
  EXPECT_NO_THROW(worker.Join());  // reported once
}

TEST(WorkerThread, JoinAfterTheWorkHasEndedReturnsItsResult) {
  int result = 0;
  WorkerThread worker;
  ASSERT_TRUE(worker.Start([&] { result = 42; }));
  ::Sleep(100);  // the work is long over when the owner joins
  worker.Join();
  EXPECT_EQ(result, 42);
}

TEST(WorkerThread, JoinWithoutStartAndRestartAfterJoin) {
  WorkerThread worker;
  EXPECT_NO_THROW(worker.Join());
  int runs = 0;
  ASSERT_TRUE(worker.Start([&] { ++runs; }));
  worker.Join();
  ASSERT_TRUE(worker.Start([&] { ++runs; }));
  worker.Join();
  EXPECT_EQ(runs, 2);
}

TEST(WorkerThread, DestructionWaitsForTheWork) {
  volatile LONG finished = 0;
  {
    WorkerThread worker;
    ASSERT_TRUE(worker.Start([&] {
      ::Sleep(200);
      finished = 1;
    }));
  }
  EXPECT_EQ(finished, 1);
}

TEST(CriticalSection, KeepsConcurrentUpdatesWhole) {
  CriticalSection lock;
  long long counter = 0;
  std::vector<std::unique_ptr<WorkerThread>> workers;
  for (int i = 0; i < 4; ++i) {
    workers.push_back(std::make_unique<WorkerThread>());
    ASSERT_TRUE(workers.back()->Start([&] {
      for (int n = 0; n < 100000; ++n) {
        ScopedLock hold(lock);
        // A read, a yield-prone gap and a write: lost updates show without the lock.
        const long long seen = counter;
        if (n % 1000 == 0) ::Sleep(0);
        counter = seen + 1;
      }
    }));
  }
  for (auto& worker : workers) worker->Join();
  EXPECT_EQ(counter, 400000);
}

TEST(Ticks, DifferencesStayRightAcrossTheWrapAfter49Days) {
  EXPECT_EQ(TicksBetween(0xFFFFFF00u, 0x00000100u), 0x200u);
  EXPECT_EQ(TicksBetween(0xFFFFFFFFu, 0u), 1u);
  EXPECT_EQ(TicksBetween(1000u, 1500u), 500u);
}

TEST(Ticks, ADeadlineOfZeroHasPassedAtOnceAndALongOneHasNot) {
  EXPECT_TRUE(TickDeadline(0).Passed());
  EXPECT_FALSE(TickDeadline(60000).Passed());
}

}  // namespace
}  // namespace velmora
