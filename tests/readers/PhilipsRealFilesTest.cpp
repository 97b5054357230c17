// Single-voxel SPAR/SDAT pairs written by real scanners, read in place from the shared
// sample folder. The expected values are those the sample folder's manifest lists from
// the files' sources, not values computed by this program.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "platform/Paths.h"
#include "platform/Workers.h"
#include "readers/ReaderTestSupport.h"
#include "support/ProcessorCountGuard.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

namespace {

using vx::test::SampleDataPath;
using vx::test::TScriptedReport;

struct SampleSet {
    const char* path;     // below the sample folder, the SDAT file
    int format;           // 0 single voxel, 1 time series
    int points;
    int rows;
    int spectralWidth;    // Hz, 0 when the manifest lists none
    double frequency;     // MHz
    float te, tr;         // ms
    float averages;
    float size[3];        // box LR, AP, CC in mm; 0 when not listed
    bool water;           // acquired without water suppression
    bool naa;             // a 1H spectrum with a visible NAA line
};

const SampleSet kSets[] = {
    {"spar_sdat/spant/philips_spar_sdat_WS.SDAT", 0, 1024, 1, 2000, 127.786142, 30, 2000, 128, {20, 20, 20}, false, true},
    {"spar_sdat/spant/philips_spar_sdat_W.SDAT", 0, 1024, 1, 2000, 127.786142, 30, 2000, 128, {20, 20, 20}, true, false},
    {"spar_sdat/osprey/sub-01_ses-01_PRESS_raw-act_noID.SDAT", 0, 2048, 1, 0, 127.755264, 30, 2000, 48, {26, 26, 30}, false, true},
    {"spar_sdat/osprey/sub-01_ses-01_PRESS-Inverted_TI-600_raw-act_noID.SDAT", 0, 2048, 1, 0, 0, 30, 2000, 96, {26, 26, 30}, false, true},
    {"spar_sdat/tarquin/svs_30_WS.SDAT", 0, 2048, 1, 2000, 127.788256, 30, 1500, 16, {30, 30, 30}, false, true},
    {"spar_sdat/tarquin/svs_30_ref.SDAT", 0, 2048, 1, 2000, 127.788256, 30, 1500, 16, {30, 30, 30}, true, false},
    {"spar_sdat/tarquin/svs_135_WS.SDAT", 0, 2048, 1, 2000, 127.788256, 135, 1500, 16, {30, 30, 30}, false, true},
    {"spar_sdat/MRS_MRI_libs/sub1.SDAT", 0, 4096, 1, 3000, 51.72968005, 0.0956f, 12000, 24, {90, 50, 70}, false, false},
    {"spar_sdat/MRS_MRI_libs/sub2_MRS.SDAT", 1, 4096, 2, 4000, 298.035767, 16, 2000, 272, {0, 0, 0}, false, true},
};

std::unique_ptr<TCSISet> ReadSample(const SampleSet& s, bool rawData)
{
    TCSIReadParams p;
    p.m_bLoadRawData = rawData ? 1 : 0;
    return vx::test::ReadAs(s.format, SampleDataPath(s.path), p);
}

int LargestPeak(const TSpectrum& s, int from, int to)
{
    int best = from;
    for (int i = from; i <= to; ++i)
        if (s.GetMagnitude(i) > s.GetMagnitude(best))
            best = i;
    return best;
}

// Points per ppm of the set.
double PointsPerPPM(const TCSISet& set)
{
    return set.m_nPoints * set.m_fFrequency / set.m_nSpectralWidth;
}

}  // namespace

TEST(PhilipsRealFiles, EveryPairReadsWithItsListedValues)
{
    for (const SampleSet& s : kSets) {
        SCOPED_TRACE(s.path);
        VX_REQUIRE_SAMPLE(s.path);
        TScriptedReport report;
        auto set = ReadSample(s, false);
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(report.Count(), 0u);
        EXPECT_EQ(set->m_strName, vx::StemOf(s.path));
        EXPECT_EQ(set->m_nPoints, s.points);
        EXPECT_EQ(set->m_nDim[1], s.rows);
        EXPECT_EQ(set->VoxelCount(), size_t(s.rows));
        if (s.spectralWidth) {
            EXPECT_EQ(set->m_nSpectralWidth, s.spectralWidth);
        }
        if (s.frequency > 0) {
            EXPECT_NEAR(set->m_fFrequency, s.frequency, 1e-4);
        }
        EXPECT_NEAR(set->m_fTE, s.te, 1e-6);
        EXPECT_EQ(set->m_fTR, s.tr);
        EXPECT_EQ(set->m_fAverages, s.averages);
        for (int k = 0; k < 3; ++k)
            if (s.size[k] > 0) {
                EXPECT_EQ(set->m_fVolSize[k][0], s.size[k]) << "axis " << k;
                EXPECT_EQ(set->m_fFOV[k], s.format == 0 ? s.size[k] : 240.0f) << "axis " << k;
            }
        EXPECT_EQ(set->m_bFrequencyDomain, 1);
        EXPECT_EQ(set->m_fPPMCentrePoint, float(s.points / 2));
        EXPECT_GT(set->m_fMagnitudeMax, 0.0f);
    }
}

TEST(PhilipsRealFiles, DecodedSamplesMatchAnotherProgramsExport)
{
    // The text export of svs_30_WS by another program holds the complex conjugate of
    // the stored samples; the stored first words are these.
    const SampleSet& s = kSets[4];
    VX_REQUIRE_SAMPLE(s.path);
    auto set = ReadSample(s, true);
    ASSERT_NE(set, nullptr);
    const TSpectrum* v = set->GetVoxel(0);
    const double expected[4][2] = {{3.81151750e-03, 1.28667220e-03},
                                   {5.21038193e-03, 3.91703239e-03},
                                   {1.93113449e-03, 3.73220979e-03},
                                   {5.25630254e-04, 1.87814841e-03}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(v->GetReal(i), expected[i][0], 1e-9) << i;
        EXPECT_NEAR(v->GetImag(i), -expected[i][1], 1e-9) << i;
    }
}

TEST(PhilipsRealFiles, WaterLiesAtTheCentreAndNAABelowIt)
{
    for (const SampleSet& s : kSets) {
        if (!s.water && !s.naa)
            continue;
        SCOPED_TRACE(s.path);
        VX_REQUIRE_SAMPLE(s.path);
        auto set = ReadSample(s, false);
        ASSERT_NE(set, nullptr);
        const int centre = s.points / 2;
        const double perPPM = PointsPerPPM(*set);
        if (s.water) {
            // Acquired on the water resonance: the largest line within 0.3 ppm of N/2.
            const int peak = LargestPeak(*set->GetVoxel(0), 0, s.points - 1);
            EXPECT_LT(std::fabs(set->PointToUnit(float(peak), kUnitPPM)), 0.3f) << "peak at " << peak;
        }
        if (!s.naa)
            continue;
        for (size_t row = 0; row < set->VoxelCount(); ++row) {
            // NAA lies 2.7 ppm below water, on the side the ppm axis calls lower.
            const TSpectrum& v = *set->GetVoxel(row);
            const int lowSide = static_cast<int>(centre + 2.7 * perPPM);
            const int highSide = static_cast<int>(centre - 2.7 * perPPM);
            const int half = static_cast<int>(0.15 * perPPM);
            const int naa = LargestPeak(v, lowSide - half, lowSide + half);
            const int mirror = LargestPeak(v, highSide - half, highSide + half);
            EXPECT_LT(set->PointToUnit(float(naa), kUnitPPM), -2.4f);
            EXPECT_GT(v.GetMagnitude(naa), 3.0f * v.GetMagnitude(mirror))
                << "row " << row << ": NAA at " << naa << " against the mirror position " << mirror;
        }
    }
}

// Truncated and bit-flipped copies of a real pair: refused or read, never a crash or an
// out-of-bounds access (run under the sanitizer build).
TEST(PhilipsRealFiles, DamagedCopiesAreHandledCleanly)
{
    vx::test::TProcessorCountGuard guard;
    vx::SetProcessorCount(1);  // thousands of short reads: no worker threads
    for (const SampleSet& s : {kSets[0], kSets[8]}) {
        SCOPED_TRACE(s.path);
        VX_REQUIRE_SAMPLE(s.path);
        const std::string sdatPath = SampleDataPath(s.path);
        const std::string spar = vx::test::ReadBytes(vx::WithoutExtension(sdatPath) + ".SPAR");
        const std::string sdat = vx::test::ReadBytes(sdatPath);
        vx::test::TTempFolder folder;
        TScriptedReport report;
        const std::string local = folder.File("copy.SDAT");
        std::string lastSpar, lastSdat;
        auto readCopy = [&](const std::string& sparBytes, const std::string& sdatBytes) {
            // Only the file that changed is written again.
            if (sparBytes != lastSpar || lastSpar.empty())
                vx::test::WriteBytes(folder.File("copy.SPAR"), lastSpar = sparBytes);
            if (sdatBytes != lastSdat || lastSdat.empty())
                vx::test::WriteBytes(local, lastSdat = sdatBytes);
            for (int format : {0, 1}) {
                if (const auto set = vx::test::ReadAs(format, local)) {
                    EXPECT_TRUE(set->IsLoaded());
                    EXPECT_LE(set->VoxelCount() * size_t(set->m_nPoints) * 8, sdatBytes.size());
                }
            }
        };
        for (size_t cut = 0; cut < spar.size(); cut += 64)
            readCopy(spar.substr(0, cut), sdat);
        for (size_t cut = 0; cut < sdat.size(); cut += 64)
            readCopy(spar, sdat.substr(0, cut));
        for (size_t at = 0; at < spar.size(); at += 64) {
            std::string flipped = spar;
            flipped[at] = static_cast<char>(flipped[at] ^ 0xFF);
            readCopy(flipped, sdat);
        }
        for (size_t at = 0; at < sdat.size(); at += 64) {
            std::string flipped = sdat;
            flipped[at] = static_cast<char>(flipped[at] ^ 0xFF);
            readCopy(spar, flipped);
        }
        // Hostile header values: absurd sizes and counts.
        for (const char* line : {"samples : 2147483647\n", "samples : -5\n", "rows : 100000000\n",
                                 "rows : -3\n", "sample_frequency : 1e300\n", "synthesizer_frequency : nan\n"})
            readCopy(spar + line, sdat);
    }
}
