// The updates of a non-negative matrix factorisation: a 4096 x 512 non-negative matrix,
// K = 5, 200 updates from the same start matrices, ours (TNMFSolver, the error of every
// update included, as a run needs it) against scikit-learn's multiplicative-update
// solver, timed in the same run; prints ours / theirs. scikit-learn is optional
// (scripts/deps --bench installs it); without it the benchmark prints our time only.
//
// Both sides run their BLAS on one thread: ours as the program starts it, whatever the
// environment says; theirs as the reference script asks its BLAS before loading it.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "platform/BlasThreads.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/TFile.h"
#include "processing/TNMFSolver.h"

namespace {

constexpr int kN = 4096, kP = 512, kK = 5, kUpdates = 200, kRepeats = 3;

struct TProblem {
    std::vector<double> x, w0, h0;  // row-major, as the file holds them
};

// Five broad lines mixed with positive weights, plus non-negative noise; uniform starts.
TProblem MakeProblem()
{
    TProblem problem;
    uint32_t seed = 2024;
    const auto uniform = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) / double(1u << 24);
    };
    std::vector<double> h(size_t(kK) * kP), w(size_t(kN) * kK);
    for (int k = 0; k < kK; ++k)
        for (int t = 0; t < kP; ++t) {
            const double d = (t - 60.0 - 90.0 * k) / (8.0 + 4.0 * k);
            h[size_t(k) * kP + t] = 1.0 / (1.0 + d * d);
        }
    for (double& v : w)
        v = uniform();
    problem.x.resize(size_t(kN) * kP);
    for (int i = 0; i < kN; ++i)
        for (int t = 0; t < kP; ++t) {
            double s = 0.05 * uniform();
            for (int k = 0; k < kK; ++k)
                s += w[size_t(i) * kK + k] * h[size_t(k) * kP + t];
            problem.x[size_t(i) * kP + t] = s;
        }
    problem.w0.resize(size_t(kN) * kK);
    problem.h0.resize(size_t(kK) * kP);
    for (double& v : problem.w0)
        v = 0.1 + uniform();
    for (double& v : problem.h0)
        v = 0.1 + uniform();
    return problem;
}

// Row-major rows x columns to column-major.
std::vector<double> ColumnMajor(const std::vector<double>& m, int rows, int columns)
{
    std::vector<double> out(m.size());
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            out[r + size_t(c) * rows] = m[size_t(r) * columns + c];
    return out;
}

// Best of kRepeats, seconds.
double TimeOurs(const TProblem& problem, double& error)
{
    const std::vector<double> x = ColumnMajor(problem.x, kN, kP), w0 = ColumnMajor(problem.w0, kN, kK),
                              h0 = ColumnMajor(problem.h0, kK, kP);
    double best = 1e30;
    for (int r = 0; r < kRepeats; ++r) {
        const auto start = std::chrono::steady_clock::now();
        TNMFSolver solver(x.data(), kN, kP, kK);
        solver.Start(w0.data(), h0.data());
        for (int u = 0; u < kUpdates; ++u)
            error = solver.Update();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

bool WriteProblem(const std::string& path, const TProblem& problem)
{
    vx::TFile file;
    if (!file.Open(path, vx::TFile::Mode::Write))
        return false;
    bool ok = file.WriteInt32(kN) && file.WriteInt32(kP) && file.WriteInt32(kK) && file.WriteInt32(kUpdates);
    for (const std::vector<double>* m : {&problem.x, &problem.w0, &problem.h0})
        ok = ok && file.Write(m->data(), m->size() * sizeof(double));
    return file.Close() && ok;
}

// Their best time in seconds, or a negative value with the reason in `why`.
double TimeTheirs(const std::string& problemPath, std::string& why)
{
    // Debian's interpreter, where its scikit-learn package installs, before any other.
    const std::string python = vx::FileExists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    const std::string command = python + " \"" VX_BENCH_SOURCE_DIR "/nmf_reference.py\" \"" + problemPath + "\" " +
                                std::to_string(kRepeats) + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        why = "python3 could not be started";
        return -1;
    }
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    const int status = pclose(pipe);
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
        output.pop_back();
    const size_t lastLine = output.rfind('\n');
    const std::string last = lastLine == std::string::npos ? output : output.substr(lastLine + 1);
    char* end = nullptr;
    const double seconds = std::strtod(last.c_str(), &end);
    if (status != 0 || end == last.c_str() || seconds <= 0) {
        why = output.empty() ? "the reference printed nothing" : output;
        return -1;
    }
    return seconds;
}

}  // namespace

int main()
{
    vx::UseOneBlasThread();
    const TProblem problem = MakeProblem();
    double error = 0;
    const double ours = TimeOurs(problem, error);
    std::printf("NMF %d x %d, K = %d, %d updates: ours %.3f s (final error %.6g)\n", kN, kP, kK, kUpdates, ours,
                error);

    const std::string path = vx::JoinPath(vx::bench::BenchFolder(), "vexara_bench_nmf.bin");
    if (!WriteProblem(path, problem)) {
        std::printf("skipped the comparison: cannot write %s\n", path.c_str());
        return 0;
    }
    std::string why;
    const double theirs = TimeTheirs(path, why);
    vx::RemoveFile(path);
    if (theirs < 0) {
        std::printf("skipped the comparison with scikit-learn: %s\n", why.c_str());
        return 0;
    }
    std::printf("scikit-learn (solver 'mu'): %.3f s\nratio ours / scikit-learn: %.2f\n", theirs, ours / theirs);
    return 0;
}
