#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <thread>

#include "base/Vecritical.h"
#include "support/HangGuard.h"

namespace {

bool CheckFromOtherThread(TVeCriticalSection& cs)
{
    return std::async(std::launch::async, [&] {
               const bool got = cs.Check();
               if (got)
                   cs.Release();
               return got;
           }).get();
}

}  // namespace

TEST(VeCriticalSection, RecursiveOwnershipAndTries)
{
    TVeCriticalSection cs;
    EXPECT_FALSE(cs.IsOwned());
    EXPECT_EQ(cs.GetCount(), 0);
    EXPECT_TRUE(CheckFromOtherThread(cs));

    cs.Enter();
    EXPECT_TRUE(cs.Check());  // held by us: the count rises
    cs.Enter();
    EXPECT_EQ(cs.GetCount(), 3);
    EXPECT_TRUE(cs.IsOwned());
    EXPECT_FALSE(CheckFromOtherThread(cs));

    cs.Release();
    cs.Leave();
    EXPECT_FALSE(CheckFromOtherThread(cs));  // still held once
    EXPECT_TRUE(cs.Release());
    EXPECT_EQ(cs.GetCount(), 0);
    EXPECT_FALSE(cs.IsOwned());
    EXPECT_TRUE(CheckFromOtherThread(cs));

    // Releasing a lock one does not hold changes nothing.
    EXPECT_FALSE(cs.Release());
    cs.Enter();
    EXPECT_FALSE(std::async(std::launch::async, [&] { return cs.Release(); }).get());
    EXPECT_EQ(cs.GetCount(), 1);
    cs.Leave();
}

TEST(VeCriticalSection, EnterWaitsForTheOwner)
{
    TVeCriticalSection cs;
    std::atomic<bool> released{false};
    cs.Enter();
    auto waiter = std::async(std::launch::async, [&] {
        cs.Enter();
        const bool sawRelease = released;
        cs.Leave();
        return sawRelease;
    });
    // Released only once the other thread stands waiting in Enter.
    EXPECT_TRUE(zbtest::WaitUntil([&] { return cs.GetWaiting() != 0; }));
    EXPECT_EQ(cs.GetWaiting(), 1);
    released = true;
    cs.Leave();
    EXPECT_TRUE(waiter.get());
}

TEST(VeCriticalSection, GuardsAndMutualExclusion)
{
    TVeCriticalSection cs;
    {
        std::lock_guard<TVeCriticalSection> guard(cs);
        TVeTryLock nested(cs);
        EXPECT_TRUE(nested);
        EXPECT_EQ(cs.GetCount(), 2);
        EXPECT_FALSE(std::async(std::launch::async, [&] { return bool(TVeTryLock(cs)); }).get());
    }
    EXPECT_EQ(cs.GetCount(), 0);

    long counter = 0;
    std::thread threads[4];
    for (auto& t : threads)
        t = std::thread([&] {
            for (int i = 0; i < 20000; ++i) {
                std::lock_guard<TVeCriticalSection> guard(cs);
                ++counter;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(counter, 80000);
}
