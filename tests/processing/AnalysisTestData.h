#pragma once
// Sets for the analysis tests: voxel spectra that are sums of three known line shapes
// with known per-voxel weights and a little noise, and the symmetric eigenvalues the
// tests check the LAPACK decomposition against (cyclic Jacobi, written out here); the
// fixture of tests whose analyses work on the open project's work set.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "TestSteps.h"
#include "model/ProcessingHooks.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/math/TFloatMatrix.h"
#include "model/TProject.h"
#include "processing/InstallProcessing.h"
#include "support/CSISetBuilders.h"

namespace vx::test {

// The three known spectra: lines of different positions and widths over `points` points.
inline double KnownSpectrum(int k, int t)
{
    static const double centre[3] = {38.0, 50.0, 61.0};
    static const double width[3] = {3.0, 5.0, 2.5};
    const double x = (t - centre[k]) / width[k];
    return k == 1 ? 1.0 / (1.0 + x * x) : std::exp(-0.5 * x * x);
}

// Weight of known spectrum k in voxel v: positive, different patterns per k.
inline double KnownWeight(int k, int v)
{
    return 1.0 + 0.8 * std::sin(0.37 * (k + 1) * v + k) + 0.3 * k;
}

// A loaded frequency-domain set; sample t of voxel v is sample(v, t).
inline std::unique_ptr<TCSISet> MakeAnalysisSet(int nx, int ny, int nz, int sliceAxis, int points,
                                                const std::function<TComplex(int, int)>& sample)
{
    auto set = std::make_unique<TCSISet>();
    set->m_nSliceAxis = sliceAxis;
    set->m_nSpectralWidth = 2000;
    set->m_fFrequency = 127.8f;
    set->m_fPPMCentrePoint = points / 2.0f;
    set->m_bFrequencyDomain = 1;
    set->m_bKSpace = 0;
    set->m_strName = "csi";
    FillSet(*set, nx, ny, nz, points, sample);
    if (!set->IsLoaded())
        return nullptr;
    set->UpdateDataRange();
    return set;
}

// The mixture set: sum of the known spectra with their weights, noise of amplitude
// `noise` on real and imaginary parts.
inline std::unique_ptr<TCSISet> MakeMixtureSet(int nx, int ny, int nz, int points, double noise)
{
    uint32_t seed = 12345;
    const auto uniform = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) / double(1u << 24) - 0.5;
    };
    return MakeAnalysisSet(nx, ny, nz, 2, points, [&](int v, int t) {
        double re = 0;
        for (int k = 0; k < 3; ++k)
            re += KnownWeight(k, v) * KnownSpectrum(k, t);
        re += noise * uniform();
        return TComplex(static_cast<float>(re), static_cast<float>(noise * uniform() + 0.1 * re));
    });
}

// Row r of a matrix.
inline std::vector<double> Row(const TFloatMatrix& m, uint32_t r)
{
    return {m.Data() + size_t(r) * m.Columns(), m.Data() + size_t(r + 1) * m.Columns()};
}

// Eigenvalues of the symmetric n x n matrix a (row-major), descending, by cyclic Jacobi
// rotations until the off-diagonal part vanishes.
inline std::vector<double> JacobiEigenvalues(std::vector<double> a, int n)
{
    for (int sweep = 0; sweep < 100; ++sweep) {
        double off = 0;
        for (int i = 0; i < n; ++i)
            for (int j = i + 1; j < n; ++j)
                off += a[i * n + j] * a[i * n + j];
        if (off < 1e-26)
            break;
        for (int p = 0; p < n; ++p)
            for (int q = p + 1; q < n; ++q) {
                const double apq = a[p * n + q];
                if (std::fabs(apq) < 1e-300)
                    continue;
                const double theta = (a[q * n + q] - a[p * n + p]) / (2 * apq);
                const double t = (theta >= 0 ? 1 : -1) / (std::fabs(theta) + std::sqrt(theta * theta + 1));
                const double c = 1 / std::sqrt(t * t + 1), s = t * c;
                for (int k = 0; k < n; ++k) {  // columns p and q
                    const double akp = a[k * n + p], akq = a[k * n + q];
                    a[k * n + p] = c * akp - s * akq;
                    a[k * n + q] = s * akp + c * akq;
                }
                for (int k = 0; k < n; ++k) {  // rows p and q
                    const double apk = a[p * n + k], aqk = a[q * n + k];
                    a[p * n + k] = c * apk - s * aqk;
                    a[q * n + k] = s * apk + c * aqk;
                }
            }
    }
    std::vector<double> d(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        d[static_cast<size_t>(i)] = a[i * n + i];
    std::sort(d.rbegin(), d.rend());
    return d;
}

// An open project with the processing library installed.
class AnalysisWorkSetTest : public OpenProjectTest {
protected:
    void SetUp() override
    {
        InstallProcessing();
        OpenProjectTest::SetUp();
    }
    void TearDown() override
    {
        OpenProjectTest::TearDown();
        InstallProcessingHooks({});
    }
    // The set becomes the project's loaded work set.
    TCSISet* MakeWorkSet(std::unique_ptr<TCSISet> set)
    {
        TCSISet* p = set.release();
        p->SetProject(m_project.get());
        m_project->m_pCSISetList->Add(p);
        m_project->m_pWorkSet = p;
        p->m_bWorkSet = 1;
        return p;
    }
};

}  // namespace vx::test
