#pragma once
// The BLAS library's own threads. Every BLAS call of the program runs on the thread that
// makes it: the workers already take a processor each, and a BLAS thread pool behind
// every worker (OpenBLAS sizes one to the machine) spins against the others. The large
// products outside the workers (PCA, NMF) measured slower on BLAS threads as well.
// The library's controls are looked up at run time: a BLAS without threads (the
// reference BLAS) has none and needs none.
namespace vx {

// Start-up: BLAS calls run on their calling thread, whatever the environment asks for
// (OPENBLAS_NUM_THREADS, OMP_NUM_THREADS, GOTO_NUM_THREADS). The library's count is the
// whole process's; an OpenMP build keeps one for each thread as well, set here for the
// caller.
void UseOneBlasThread();

// The same for calls from the calling thread where the library counts threads per
// thread (OpenMP): what each worker thread does before its work.
void UseOneBlasThreadHere();

}  // namespace vx
