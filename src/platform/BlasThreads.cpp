#include "platform/BlasThreads.h"

#include <mutex>

#include "platform/TDynamicLibrary.h"

namespace vx {
namespace {

using TSetThreads = void (*)(int);

struct TBlasControls {
    // OpenBLAS, built on pthreads or on OpenMP.
    TSetThreads library = reinterpret_cast<TSetThreads>(LoadedSymbol("openblas_set_num_threads"));
    // The OpenMP runtime's count for the calling thread, which an OpenMP build of the
    // library consults on every call and which a new thread takes from the environment.
    TSetThreads openmp = reinterpret_cast<TSetThreads>(LoadedSymbol("omp_set_num_threads"));
};

const TBlasControls& Controls()
{
    static const TBlasControls controls;
    return controls;
}

}  // namespace

void UseOneBlasThread()
{
    // Once: an OpenMP build resizes its buffers on every change of the count, which is
    // not safe while another thread changes it too.
    static std::once_flag once;
    std::call_once(once, [] {
        if (Controls().library)
            Controls().library(1);
    });
    UseOneBlasThreadHere();
}

void UseOneBlasThreadHere()
{
    if (Controls().openmp)
        Controls().openmp(1);
}

}  // namespace vx
