#include "platform/Workers.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/BlasThreads.h"

namespace vx {
namespace {
int InitialProcessorCount()
{
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}
std::atomic<int> g_processors{InitialProcessorCount()};
std::atomic<long> g_threadsStarted{0};
std::atomic<int> g_startsBeforeFailure{-1};

// True when the fault injection says this start is to fail.
bool StartIsRefused()
{
    int left = g_startsBeforeFailure.load();
    while (left > 0 && !g_startsBeforeFailure.compare_exchange_weak(left, left - 1)) {
    }
    return left == 0;
}
}  // namespace

void FailWorkerStartsAfter(int starts) { g_startsBeforeFailure.store(starts < 0 ? -1 : starts); }

int ProcessorCount() { return g_processors.load(); }

void SetProcessorCount(int count) { g_processors.store(count < 1 ? 1 : count); }

long WorkerThreadsStarted() { return g_threadsStarted.load(); }

bool RunWorkers(int n, const WorkerFn& fn)
{
    // Each worker has a processor to itself: a BLAS call inside one stays on its thread
    // (and a one-worker run computes exactly what n workers do).
    UseOneBlasThread();
    if (n < 2)
        return fn(0, 1);
    std::vector<char> results(static_cast<size_t>(n), 0);
    // An exception may not leave a thread's function (that would end the program).
    std::vector<std::exception_ptr> errors(static_cast<size_t>(n));
    std::vector<std::thread> threads;
    threads.reserve(static_cast<size_t>(n));
    bool started = true;
    for (int k = 0; k < n; ++k) {
        try {
            if (StartIsRefused())
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
            threads.emplace_back([&fn, &results, &errors, k, n] {
                UseOneBlasThreadHere();
                try {
                    results[static_cast<size_t>(k)] = fn(k, n) ? 1 : 0;
                } catch (...) {
                    errors[static_cast<size_t>(k)] = std::current_exception();
                }
            });
            ++g_threadsStarted;
        } catch (const std::system_error&) {
            started = false;
            break;
        }
    }
    for (auto& t : threads)
        t.join();
    for (const std::exception_ptr& error : errors)
        if (error)
            std::rethrow_exception(error);
    if (!started)
        return false;
    for (char r : results)
        if (!r)
            return false;
    return true;
}

void RunDetached(std::function<void()> fn)
{
    try {
        std::thread(fn).detach();
    } catch (const std::system_error&) {
        fn();
    }
}

TWorkerBlock WorkerBlock(int k, int n, size_t total)
{
    n = std::max(n, 1);
    if (k < 0 || k >= n)
        return {0, 0};
    const size_t parts = static_cast<size_t>(n);
    const size_t index = static_cast<size_t>(k);
    const size_t base = total / parts;
    const size_t extra = total % parts;  // the first `extra` blocks take one more
    const size_t begin = index * base + std::min(index, extra);
    return {begin, begin + base + (index < extra ? 1 : 0)};
}

bool RunWorkers(const WorkerFn& fn) { return RunWorkers(ProcessorCount(), fn); }

bool RunWorkerBlocks(size_t total, const BlockFn& part)
{
    if (total == 0)
        return true;
    const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(ProcessorCount()), total));
    // 0 not run, 1 ran and succeeded, 2 ran and failed; each worker writes its own entry.
    std::vector<char> state(static_cast<size_t>(n), 0);
    RunWorkers(n, [&](int k, int count) {
        const TWorkerBlock b = WorkerBlock(k, count, total);
        const bool ok = part(b.begin, b.end);
        state[static_cast<size_t>(k)] = ok ? 1 : 2;
        return ok;
    });
    bool ok = true;
    for (int k = 0; k < n; ++k) {
        char& s = state[static_cast<size_t>(k)];
        if (s == 0) {
            const TWorkerBlock b = WorkerBlock(k, n, total);
            s = part(b.begin, b.end) ? 1 : 2;
        }
        ok = ok && s == 1;
    }
    return ok;
}

}  // namespace vx
