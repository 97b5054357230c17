#pragma once
// Processor count and the worker runner used by the domain transforms and the
// processing steps: worker k of n handles its own voxels, the caller waits for all.
#include <cstddef>
#include <functional>

namespace vx {

// Processor count taken from the system at start-up; tests may override it.
int ProcessorCount();
void SetProcessorCount(int count);

using WorkerFn = std::function<bool(int index, int count)>;

// Runs fn(k, n) for k = 0..n-1 on n threads and joins them all; returns true only
// when every worker returned true. With n < 2 runs fn(0, 1) inline on the caller.
// If a thread cannot be started, the started ones are joined and false returned.
// An exception thrown by a worker is passed on to the caller once all have been joined
// (the first one, by index), as if the work had run on the caller's thread.
// A BLAS call inside fn runs on its worker's thread alone (UseOneBlasThread).
bool RunWorkers(int n, const WorkerFn& fn);

// The contiguous block [begin, end) of `total` items that worker k of n takes: the
// blocks are disjoint, in order, cover every item and differ in size by at most one.
// Contiguous blocks keep each worker on its own cache lines and pages.
struct TWorkerBlock {
    size_t begin;
    size_t end;
};
TWorkerBlock WorkerBlock(int k, int n, size_t total);

// RunWorkers with the processor count.
bool RunWorkers(const WorkerFn& fn);

// Runs part(begin, end) once for the WorkerBlock of each of min(ProcessorCount(), total)
// workers. A block whose worker could not start runs on the calling thread after the
// others have ended, so every item is treated exactly once even then: for work that
// cannot be repeated or taken back (weighting samples in place). False when a part
// returned false.
using BlockFn = std::function<bool(size_t begin, size_t end)>;
bool RunWorkerBlocks(size_t total, const BlockFn& part);

// Runs fn on a thread of its own that nobody waits for: releasing large memory or a
// large replaced file off the caller's path. On the calling thread when no thread
// starts.
void RunDetached(std::function<void()> fn);

// Threads started by RunWorkers since the process began (tests check thread use).
long WorkerThreadsStarted();

// Fault injection for tests: after `starts` more threads have been started, starting
// a worker thread fails as when the system refuses one. A negative value switches it off.
void FailWorkerStartsAfter(int starts);

}  // namespace vx
