#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <new>
#include <set>
#include <thread>
#include <vector>

#include "platform/Workers.h"
#include "support/ProcessorCountGuard.h"

using namespace vx;

TEST(Workers, EveryIndexRunsOnceOnItsOwnThreadOrInlineOnOneProcessor)
{
    test::TProcessorCountGuard guard;
    SetProcessorCount(0);
    EXPECT_EQ(ProcessorCount(), 1);  // never below one
    for (int processors : {1, 4}) {
        SCOPED_TRACE(processors);
        SetProcessorCount(processors);
        std::mutex m;
        std::multiset<int> indices;
        std::set<std::thread::id> threads;
        const long before = WorkerThreadsStarted();
        EXPECT_TRUE(RunWorkers([&](int k, int n) {
            std::lock_guard<std::mutex> lock(m);
            EXPECT_EQ(n, processors);
            indices.insert(k);
            threads.insert(std::this_thread::get_id());
            return true;
        }));
        std::multiset<int> expected;
        for (int k = 0; k < processors; ++k)
            expected.insert(k);
        EXPECT_EQ(indices, expected);
        if (processors == 1) {
            EXPECT_EQ(threads, std::set<std::thread::id>{std::this_thread::get_id()});
            EXPECT_EQ(WorkerThreadsStarted(), before);
        } else {
            EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u);
            EXPECT_EQ(WorkerThreadsStarted() - before, processors);
        }
    }
}

TEST(Workers, OneFailingWorkerFailsTheRunButAllAreJoined)
{
    std::atomic<int> finished{0};
    const bool ok = RunWorkers(5, [&](int k, int) {
        ++finished;
        return k != 3;
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(finished.load(), 5);
}

TEST(Workers, AWorkerThatThrowsPassesItsExceptionToTheCallerAfterAllAreJoined)
{
    std::atomic<int> finished{0};
    EXPECT_THROW(RunWorkers(4,
                            [&](int k, int) {
                                ++finished;
                                if (k == 2)
                                    throw std::bad_alloc();
                                return true;
                            }),
                 std::bad_alloc);
    EXPECT_EQ(finished.load(), 4);
}

TEST(Workers, RefusedThreadStartJoinsTheStartedOnesAndFails)
{
    struct InjectionGuard {
        ~InjectionGuard() { FailWorkerStartsAfter(-1); }
    } injection;
    std::atomic<int> finished{0};
    const long before = WorkerThreadsStarted();
    FailWorkerStartsAfter(2);
    const bool ok = RunWorkers(4, [&](int, int) {
        // Slow workers: a runner that returned without joining would see none finished.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ++finished;
        return true;
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(WorkerThreadsStarted() - before, 2);
    EXPECT_EQ(finished.load(), 2);

    // Switched off, the next run starts every worker again.
    FailWorkerStartsAfter(-1);
    finished = 0;
    EXPECT_TRUE(RunWorkers(3, [&](int, int) {
        ++finished;
        return true;
    }));
    EXPECT_EQ(finished.load(), 3);
}

TEST(Workers, BlocksAreDisjointOrderedAndCoverEveryItem)
{
    for (int n : {1, 2, 3, 4, 7, 8}) {
        for (size_t total : {size_t(0), size_t(1), size_t(5), size_t(10), size_t(1023)}) {
            size_t next = 0;
            size_t smallest = total, largest = 0;
            for (int k = 0; k < n; ++k) {
                const TWorkerBlock b = WorkerBlock(k, n, total);
                EXPECT_EQ(b.begin, next) << n << " workers, " << total << " items, worker " << k;
                ASSERT_LE(b.begin, b.end);
                next = b.end;
                smallest = std::min(smallest, b.end - b.begin);
                largest = std::max(largest, b.end - b.begin);
            }
            EXPECT_EQ(next, total) << n << " workers, " << total << " items";
            EXPECT_LE(largest - smallest, 1u) << n << " workers, " << total << " items";
        }
    }
    const TWorkerBlock outside = WorkerBlock(5, 4, 100);
    EXPECT_EQ(outside.begin, outside.end);
}

TEST(Workers, BlocksOfWorkersThatCannotStartRunOnTheCallingThread)
{
    test::TProcessorCountGuard guard;
    struct InjectionGuard {
        ~InjectionGuard() { FailWorkerStartsAfter(-1); }
    } injection;
    for (int refusedAfter : {-1, 0, 1, 3}) {
        for (size_t total : {size_t(1), size_t(3), size_t(10), size_t(101)}) {
            SetProcessorCount(4);
            FailWorkerStartsAfter(refusedAfter);
            std::vector<std::atomic<int>> visits(total);
            const bool ok = RunWorkerBlocks(total, [&](size_t begin, size_t end) {
                for (size_t i = begin; i < end; ++i)
                    ++visits[i];
                return true;
            });
            EXPECT_TRUE(ok);
            for (size_t i = 0; i < total; ++i)
                EXPECT_EQ(visits[i].load(), 1) << "item " << i << " of " << total << ", refused after "
                                               << refusedAfter;
        }
    }
    FailWorkerStartsAfter(-1);
    EXPECT_FALSE(RunWorkerBlocks(20, [](size_t begin, size_t) { return begin != 0; }));
    EXPECT_TRUE(RunWorkerBlocks(0, [](size_t, size_t) { return false; }));
}
