#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "hlsvdlibs/HLSVDRecorder.h"
#include "model/HLSVDLibrary.h"
#include "model/TCSISet.h"
#include "platform/TDynamicLibrary.h"
#include "platform/Workers.h"
#include "support/CSISetBuilders.h"
#include "support/ProcessorCountGuard.h"
#include "support/ScriptedReport.h"
#include "support/SyntheticFID.h"

namespace {

using cd = std::complex<double>;
using vx::test::AllSamples;
using vx::test::SynthesizeFID;
using vx::test::TExpComponent;

// Points RunHLSVD at one library file for the life of the object.
class TLibraryPath {
public:
    explicit TLibraryPath(const std::string& path) { vx::SetHLSVDLibraryPath(path); }
    ~TLibraryPath() { vx::SetHLSVDLibraryPath(""); }
};

// The recorder library, held open so that its record outlives each RunHLSVD.
class TRecorder {
public:
    TRecorder() : m_path(VX_HLSVD_RECORDER)
    {
        EXPECT_TRUE(m_library.Open(VX_HLSVD_RECORDER)) << m_library.LastError();
        auto state = reinterpret_cast<HLSVDRecord* (*)()>(m_library.Symbol("hlsvd_recorder_state"));
        m_record = state ? state() : nullptr;
        if (m_record)
            *m_record = HLSVDRecord{};
    }
    HLSVDRecord& Record() { return *m_record; }
    bool Ready() const { return m_record != nullptr; }
    void Plan(const std::vector<TExpComponent>& components, int reported)
    {
        m_record->plannedCount = static_cast<int>(components.size());
        m_record->reportedCount = reported;
        for (size_t c = 0; c < components.size(); ++c) {
            m_record->amplitudes[c] = components[c].amplitude;
            m_record->phases[c] = components[c].phase;
            m_record->dampings[c] = components[c].damping;
            m_record->frequencies[c] = components[c].frequency;
        }
    }

private:
    vx::TDynamicLibrary m_library;
    TLibraryPath m_path;
    HLSVDRecord* m_record = nullptr;
};

// A time-domain set of nx x 1 x 1 voxels whose FIDs are the given complex samples.
void TimeDomainSet(TCSISet& set, int nx, int points, int sw, const std::vector<std::vector<cd>>& fids)
{
    vx::test::FillSet(set, nx, 1, 1, points, [&](int v, int i) {
        return TComplex(fids[static_cast<size_t>(v)][static_cast<size_t>(i)]);
    });
    set.m_nSpectralWidth = sw;
    set.m_fFrequency = 127.7f;
    set.m_bFrequencyDomain = 0;
}

bool AllFinite(const std::vector<TComplex>& samples)
{
    return std::all_of(samples.begin(), samples.end(),
                       [](TComplex c) { return std::isfinite(c.real()) && std::isfinite(c.imag()); });
}

}  // namespace

TEST(CSISetHLSVD, MissingLibraryOrRoutineIsReportedAndChangesNothing)
{
    struct Case {
        std::string path;
        std::string prefix;
    };
    const std::vector<Case> cases = {
        {"/nonexistent-folder/libhlsvdpro.so", "Failed to load the HLSVD DLL. Error code : "},
        {VX_HLSVD_NO_ROUTINE, "Failed to call the HLSVDPro routine! Error code : "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        TLibraryPath path(c.path);
        vx::test::TScriptedReport report;
        TCSISet set;
        TimeDomainSet(set, 2, 64, 1000, {SynthesizeFID({{5, 0, -0.01, 0.1}}, 64), SynthesizeFID({}, 64)});
        const auto before = AllSamples(set);
        EXPECT_FALSE(set.RunHLSVD(10, 100, -100, false));
        EXPECT_EQ(AllSamples(set), before);
        ASSERT_EQ(report.Count(), 1u);
        const auto& entry = report.Entries()[0];
        EXPECT_EQ(entry.icon, vx::ReportIcon::None);
        ASSERT_EQ(entry.text.compare(0, c.prefix.size(), c.prefix), 0) << entry.text;
        const std::string number = entry.text.substr(c.prefix.size());
        EXPECT_FALSE(number.empty());
        EXPECT_TRUE(std::all_of(number.begin(), number.end(), [](char ch) { return std::isdigit(ch) != 0; }))
            << number;
    }
}

TEST(CSISetHLSVD, CallsTheRoutineWithTheProgramsArguments)
{
    vx::test::TProcessorCountGuard guard;
    vx::SetProcessorCount(1);
    struct Case {
        int points, peaks;
        int n, k, kmax;
    };
    // Only the first 512 samples are fitted; K above 100 sizes the work arrays; K above
    // the Hankel rows is cut to them.
    for (Case c : {Case{1024, 10, 512, 10, 100}, Case{1024, 150, 512, 150, 150}, Case{300, 10, 300, 10, 100},
                   Case{64, 150, 64, 32, 100}, Case{7, 2, 7, 2, 100}}) {
        SCOPED_TRACE(testing::Message() << c.points << " points, K " << c.peaks);
        TRecorder recorder;
        ASSERT_TRUE(recorder.Ready());
        TCSISet set;
        std::vector<cd> fid;
        for (int i = 0; i < c.points; ++i)
            fid.emplace_back(i, -0.5 * i);
        TimeDomainSet(set, 1, c.points, 1000, {fid});
        EXPECT_TRUE(set.RunHLSVD(c.peaks, 0, 0, false));
        const HLSVDRecord& r = recorder.Record();
        EXPECT_EQ(r.calls, 1);
        EXPECT_EQ(r.ndata, c.n);
        EXPECT_EQ(r.nrows, c.n / 2);
        EXPECT_EQ(r.ncols, c.n - c.n / 2 + 1);
        EXPECT_EQ(r.kuser, c.k);
        EXPECT_EQ(r.kmax, c.kmax);
        EXPECT_EQ(r.lrwork, (c.n + 8 * c.kmax + 13) * c.kmax + 20 * c.n);
        EXPECT_EQ(r.lzwork, (5 * c.kmax + 100 + 4 * c.n) * c.kmax + 84 * c.n + 20);
        for (int i = 0; i < c.n; ++i) {
            EXPECT_EQ(r.signal[2 * i], i);
            EXPECT_EQ(r.signal[2 * i + 1], -0.5 * i);
        }
    }
}

TEST(CSISetHLSVD, SubtractsTheComponentsInTheBandOrHeavilyDampedOverAllPoints)
{
    vx::test::TProcessorCountGuard guard;
    vx::SetProcessorCount(1);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        float start, end;  // Hz, spectral width 1000 Hz
        TExpComponent component;
        bool removed;
    };
    const std::vector<Case> cases = {
        {"inside the band", 100, -50, {3, 0.4, -0.002, 0.02}, true},
        {"outside the band", 100, -50, {3, 0.4, -0.002, 0.3}, false},
        {"on the band's upper edge", 100, -50, {3, 0.4, -0.002, 0.1}, false},
        {"on the band's lower edge", 100, -50, {3, 0.4, -0.002, -0.05}, false},
        {"start below end: no band", -50, 100, {3, 0.4, -0.002, 0.02}, false},
        {"damped to a tenth within 4 samples", 100, -50, {3, 0.4, -0.7, 0.3}, true},
        {"damped a little less", 100, -50, {3, 0.4, -0.5, 0.3}, false},
        {"no band at 0 and 0, damped", 0, 0, {3, 0.4, -0.9, 0.0}, true},
        {"no band at 0 and 0, slow", 0, 0, {3, 0.4, -0.002, 0.0}, false},
        {"not a number", 100, -50, {nan, 0.4, -0.002, 0.02}, false},
        {"growing past the float range", 100, -50, {3, 0.4, 1.0, 0.02}, false},
    };
    const int points = 1024;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TRecorder recorder;
        ASSERT_TRUE(recorder.Ready());
        // A second planned component that is never removed, and a reported count far
        // above K: only K components may be read.
        recorder.Plan({c.component, {1, 0, -0.001, 0.4}}, 1000);
        TCSISet set;
        TimeDomainSet(set, 1, points, 1000, {std::vector<cd>(points)});
        EXPECT_TRUE(set.RunHLSVD(2, c.start, c.end, false));
        const auto after = AllSamples(set);
        ASSERT_TRUE(AllFinite(after));
        for (int t = 0; t < points; ++t) {
            cd expected = 0;
            if (c.removed) {
                const TExpComponent& m = c.component;
                expected = -m.amplitude * std::exp(m.damping * t) *
                           std::polar(1.0, 2 * std::numbers::pi * m.frequency * t + m.phase);
            }
            ASSERT_LT(std::abs(cd(after[static_cast<size_t>(t)]) - expected), 1e-5) << "point " << t;
        }
    }
}

namespace {

// Display point of a line at `hz` after the transform and the half swap.
int DisplayPoint(double hz, int points, int sw) { return points / 2 - static_cast<int>(std::lround(hz * points / sw)); }

struct TLine {
    double hz, amplitude, phase, damping;
};

}  // namespace

TEST(CSISetHLSVD, RemovePeaksTakesOutTheStrongLineAndKeepsTheOthers)
{
    vx::test::TProcessorCountGuard guard;
    vx::SetProcessorCount(2);
    const int points = 1024, sw = 2000;
    // Water and three metabolite lines, as in a proton spectrum.
    const std::vector<TLine> lines = {
        {0, 2000, 0.2, -0.003}, {-320, 60, 0.0, -0.006}, {230, 40, 1.0, -0.008}, {410, 30, -0.5, -0.006}};
    std::vector<TExpComponent> components;
    for (const TLine& l : lines)
        components.push_back({l.amplitude, l.phase, l.damping, l.hz / sw});
    for (double noise : {0.0, lines[0].amplitude / 50}) {
        SCOPED_TRACE(testing::Message() << "noise " << noise);
        TCSISet set;
        TimeDomainSet(set, 2, points, sw,
                      {SynthesizeFID(components, points, noise, 1), SynthesizeFID(components, points, noise, 2)});
        ASSERT_TRUE(set.ToFrequencyDomain());
        set.FFTShiftSpectra();
        // The water line is the highest point of each spectrum, where the axis puts 0 Hz.
        for (size_t v = 0; v < 2; ++v) {
            const TSpectrum* s = set.GetVoxel(v);
            int peak = 0;
            for (int i = 1; i < points; ++i)
                if (s->GetMagnitude(i) > s->GetMagnitude(peak))
                    peak = i;
            EXPECT_EQ(peak, DisplayPoint(lines[0].hz, points, sw));
        }
        // Heights the other lines have without the water line, with the same noise.
        const std::vector<TExpComponent> others(components.begin() + 1, components.end());
        TCSISet reference;
        TimeDomainSet(reference, 2, points, sw,
                      {SynthesizeFID(others, points, noise, 1), SynthesizeFID(others, points, noise, 2)});
        ASSERT_TRUE(reference.ToFrequencyDomain());
        reference.FFTShiftSpectra();
        std::vector<float> waterHeight;
        for (size_t v = 0; v < 2; ++v)
            waterHeight.push_back(set.GetVoxel(v)->GetMagnitude(DisplayPoint(0, points, sw)));

        EXPECT_TRUE(set.RemovePeaksHLSVD(10, 60, -60, false));
        EXPECT_EQ(set.m_bFrequencyDomain, 1);
        ASSERT_TRUE(AllFinite(AllSamples(set)));
        for (size_t v = 0; v < 2; ++v) {
            const TSpectrum* s = set.GetVoxel(v);
            EXPECT_LT(s->GetMagnitude(DisplayPoint(0, points, sw)), 0.01 * waterHeight[v]) << "voxel " << v;
            for (size_t l = 1; l < lines.size(); ++l) {
                const int at = DisplayPoint(lines[l].hz, points, sw);
                const float expected = reference.GetVoxel(v)->GetMagnitude(at);
                EXPECT_NEAR(s->GetMagnitude(at), expected, 0.03 * expected) << "voxel " << v << " line " << lines[l].hz;
            }
        }
        EXPECT_FLOAT_EQ(set.m_fMagnitudeMax, std::max(set.GetVoxel(0)->GetMaxMagnitude(), set.GetVoxel(1)->GetMaxMagnitude()));
    }
}

TEST(CSISetHLSVD, ZeroFIDsAndRankBelowKLeaveNoNaN)
{
    vx::test::TProcessorCountGuard guard;
    vx::SetProcessorCount(1);
    const int points = 256;
    // An all-zero FID, and one tone (rank 1) asked for 40 components.
    const auto tone = SynthesizeFID({{10, 0.5, -0.004, 0.01}}, points);
    TCSISet set;
    TimeDomainSet(set, 2, points, 1000, {std::vector<cd>(points), tone});
    EXPECT_TRUE(set.RunHLSVD(40, 50, -50, false));
    const auto after = AllSamples(set);
    ASSERT_TRUE(AllFinite(after));
    for (int t = 0; t < points; ++t) {
        EXPECT_EQ(after[static_cast<size_t>(t)], TComplex(0, 0));
        EXPECT_LT(std::abs(after[static_cast<size_t>(points + t)]), 1e-3) << t;
    }
}

TEST(CSISetHLSVD, WorkersAndSelectionGiveTheOneWorkerResult)
{
    vx::test::TProcessorCountGuard guard;
    const int points = 512;
    std::vector<std::vector<cd>> fids;
    for (int v = 0; v < 5; ++v)
        fids.push_back(SynthesizeFID({{100, 0.1 * v, -0.004, 0.002 * v}, {10, 1, -0.01, 0.2}}, points, 1.0,
                                     static_cast<unsigned>(v + 1)));
    auto run = [&](int workers, int failAfter, bool selectedOnly) {
        vx::SetProcessorCount(workers);
        vx::FailWorkerStartsAfter(failAfter);
        TCSISet set;
        TimeDomainSet(set, 5, points, 1000, fids);
        set.GetVoxel(1)->m_bSelected = 1;
        set.GetVoxel(3)->m_bSelected = 1;
        EXPECT_TRUE(set.RunHLSVD(6, 30, -30, selectedOnly));
        vx::FailWorkerStartsAfter(-1);
        return AllSamples(set);
    };
    const auto one = run(1, -1, false);
    EXPECT_EQ(run(3, -1, false), one);
    EXPECT_EQ(run(3, 1, false), one);  // the third worker's block is done on the caller

    const auto selected = run(3, -1, true);
    TCSISet untouched;
    TimeDomainSet(untouched, 5, points, 1000, fids);
    const auto original = AllSamples(untouched);
    for (int v = 0; v < 5; ++v)
        for (int t = 0; t < points; ++t) {
            const size_t i = static_cast<size_t>(v * points + t);
            EXPECT_EQ(selected[i], v == 1 || v == 3 ? one[i] : original[i]) << "voxel " << v << " point " << t;
        }
}
