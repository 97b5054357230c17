#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <complex>
#include <memory>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "readers/PhilipsTestFiles.h"
#include "readers/ReaderTestSupport.h"
#include "support/FileFaultScope.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

namespace {

using vx::test::SdatBytes;
using vx::test::SingleVoxelLines;
using vx::test::SparText;
using vx::test::TFileFaultScope;
using vx::test::TScriptedReport;
using vx::test::TTempFolder;
using vx::test::WriteBytes;
using Lines = std::vector<std::pair<std::string, std::string>>;

// Reads through the factory's reader of the format; `raw` keeps the time-domain samples.
std::unique_ptr<TCSISet> ReadWith(int format, const std::string& path, bool raw = false, bool normalize = false)
{
    TCSIReadParams p;
    p.m_bLoadRawData = raw ? 1 : 0;
    p.m_bNormalize = normalize ? 1 : 0;
    return vx::test::ReadAs(format, path, p);
}

void WritePair(const TTempFolder& folder, const std::string& stem, const Lines& lines,
               const std::vector<std::complex<float>>& samples, const std::string& sparExt = ".SPAR",
               const std::string& sdatExt = ".SDAT")
{
    WriteBytes(folder.File(stem + sparExt), SparText(lines));
    WriteBytes(folder.File(stem + sdatExt), SdatBytes(samples));
}

Lines With(Lines lines, const std::string& key, const std::string& value)
{
    for (auto& line : lines)
        if (line.first == key) {
            line.second = value;
            return lines;
        }
    lines.emplace_back(key, value);
    return lines;
}

}  // namespace

TEST(PhilipsSdat, VaxWordsBecomeIeeeFloats)
{
    TScriptedReport report;
    TTempFolder folder;
    // Raw stored words: VAX 1.0 and -1.0, a zero word and 0.25, then a dirty zero and a
    // reserved operand (exponent 0 with mantissa bits, with and without the sign).
    const std::string sdat = std::string("\x80\x40\x00\x00\x80\xC0\x00\x00", 8) + std::string(4, '\0') +
                             std::string("\x80\x3F\x00\x00", 4) + std::string("\x12\x00\x34\x56", 4) +
                             std::string("\x7F\x80\xFF\xFF", 4);
    WriteBytes(folder.File("v.SPAR"), SparText(SingleVoxelLines(3)));
    WriteBytes(folder.File("v.SDAT"), sdat);
    auto set = ReadWith(0, folder.File("v.SDAT"), true);
    ASSERT_NE(set, nullptr) << (report.Count() ? report.Entries()[0].text : "");
    const TSpectrum* s = set->GetVoxel(0, 0, 0);
    EXPECT_EQ((std::vector<float>{s->GetReal(0), s->GetImag(0), s->GetReal(1), s->GetImag(1), s->GetReal(2),
                                  s->GetImag(2)}),
              (std::vector<float>{1, -1, 0, 0.25f, 0, 0}));
    EXPECT_EQ(report.Count(), 0u);
}

TEST(PhilipsSdat, ChoosingEitherFileOfThePairReadsBoth)
{
    TScriptedReport report;
    TTempFolder folder;
    const auto fid = vx::test::Fid(64, 0.0, 2000.0);
    WritePair(folder, "scan", SingleVoxelLines(64), fid);
    for (const char* chosen : {"scan.sdat", "scan.SPAR", "scan.SDAT", "scan.Spar"}) {
        auto set = ReadWith(0, folder.File(chosen), true);
        ASSERT_NE(set, nullptr) << chosen;
        EXPECT_EQ(set->m_strName, "scan");
        EXPECT_EQ(set->m_nFormat, 0);
        EXPECT_NEAR(set->GetVoxel(0)->GetReal(0), fid[0].real(), 1e-6);
        EXPECT_NEAR(set->GetVoxel(0)->GetImag(5), fid[5].imag(), 1e-6);
    }
    // Lower-case companions are found too.
    TTempFolder lower;
    WritePair(lower, "scan", SingleVoxelLines(64), fid, ".spar", ".sdat");
    auto set = ReadWith(0, lower.File("scan.sdat"));
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(report.Count(), 0u);
}

TEST(PhilipsSdat, RefusedFilesAreReportedAndGiveNoSet)
{
    TScriptedReport report;
    TTempFolder folder;
    const auto fid = vx::test::Fid(64, 0.0, 2000.0);
    WritePair(folder, "four", With(SingleVoxelLines(64), "rows", "4"),
              std::vector<std::complex<float>>(256, {1.0f, 0.0f}));

    EXPECT_EQ(ReadWith(0, folder.File("noextension")), nullptr);
    EXPECT_EQ(ReadWith(0, folder.File("scan.txt")), nullptr);
    EXPECT_EQ(ReadWith(0, folder.File("four.SDAT")), nullptr);
    EXPECT_EQ(ReadWith(0, folder.File("missing.SDAT")), nullptr);
    EXPECT_EQ(report.Messages(), (std::vector<std::string>{
                                     "The data files should be SPAR/SDAT files.", "The data files should be SPAR/SDAT files.",
                                     "Parameter file " + folder.File("four.SPAR") +
                                         " cannot be read or is invalid. It gives 4 rows where a single voxel has one.",
                                     "Parameter file " + folder.File("missing.SPAR") +
                                         " cannot be read or is invalid. The file does not exist."}));
    // The same four-row pair reads as a time series.
    auto series = ReadWith(1, folder.File("four.SDAT"));
    ASSERT_NE(series, nullptr);
    EXPECT_EQ(series->m_nDim[1], 4);
    EXPECT_EQ(report.Messages().size(), 4u);

    // A SPAR without its SDAT: the data file message names the SDAT path.
    report.Clear();
    WriteBytes(folder.File("lonely.SPAR"), SparText(SingleVoxelLines(64)));
    EXPECT_EQ(ReadWith(0, folder.File("lonely.SPAR")), nullptr);
    ASSERT_EQ(report.Messages().size(), 1u);
    EXPECT_EQ(report.Messages()[0], "Data file " + folder.File("lonely.SDAT") + " does not exist or cannot be read.");
    {
        // Not there by its exact name, in a folder that cannot be listed.
        TFileFaultScope unlisted({{vx::kFileList, EIO, 1}});
        report.Clear();
        EXPECT_EQ(ReadWith(0, folder.File("lonely.SPAR")), nullptr);
        EXPECT_EQ(report.Messages(), std::vector<std::string>{"Could not look for data file lonely.SDAT: the folder " +
                                                              folder.Path() + " cannot be listed: input/output error."});
    }

    // An SDAT one byte short of samples x rows x 8, or one that fails while it is read,
    // gives no set and says why.
    report.Clear();
    WriteBytes(folder.File("short.SPAR"), SparText(SingleVoxelLines(64)));
    WriteBytes(folder.File("short.SDAT"), SdatBytes(fid).substr(1));
    EXPECT_EQ(ReadWith(0, folder.File("short.SDAT")), nullptr);
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"Data file " + folder.File("short.SDAT") +
                                                          " holds 511 bytes, fewer than the 512 bytes its samples "
                                                          "need."});
    WritePair(folder, "failing", SingleVoxelLines(64), std::vector<std::complex<float>>(64, {1.0f, 0.0f}));
    {
        // The SPAR file is read first, the SDAT file second.
        TFileFaultScope failingDisk({{vx::kFileRead, EIO, 2}});
        report.Clear();
        EXPECT_EQ(ReadWith(0, folder.File("failing.SDAT")), nullptr);
        EXPECT_EQ(report.Messages(),
                  std::vector<std::string>{"Data file " + folder.File("failing.SDAT") + " cannot be read to its end: input/output error."});
    }
    report.Clear();

    // A point count the transform refuses: one report, no set.
    WritePair(folder, "odd", SingleVoxelLines(1025), std::vector<std::complex<float>>(1025, {1.0f, 0.0f}));
    EXPECT_EQ(ReadWith(0, folder.File("odd.SDAT")), nullptr);
    EXPECT_EQ(report.Count(), 1u);
}

TEST(PhilipsSdat, RowsMakeATimeSeriesAlongTheSecondAxis)
{
    TScriptedReport report;
    TTempFolder folder;
    std::vector<std::complex<float>> samples;
    for (int row = 0; row < 4; ++row)
        for (int k = 0; k < 8; ++k)
            samples.emplace_back(float(row + 1), float(k));
    WritePair(folder, "series", With(SingleVoxelLines(8), "rows", "4"), samples);

    auto set = ReadWith(1, folder.File("series.SDAT"), true);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->m_nDim[0], 1);
    EXPECT_EQ(set->m_nDim[1], 4);
    EXPECT_EQ(set->m_nDim[2], 1);
    EXPECT_EQ(set->m_nSliceAxis, 0);
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(set->GetVoxel(0, row, 0)->GetReal(0), float(row + 1));
        EXPECT_EQ(set->GetVoxel(0, row, 0)->GetImag(7), 7.0f);
    }
    // The time series keeps the 240 mm fields of view; the boxes still land in the set.
    EXPECT_EQ(set->m_fFOV[0], 240.0f);
    EXPECT_EQ(set->m_fFOV[2], 240.0f);
    EXPECT_EQ(set->m_fVolSize[0][0], 20.0f);
    EXPECT_EQ(set->m_fOffCentre[0], 4.0f);
    EXPECT_EQ(set->m_fSliceThickness, 240.0f);
    EXPECT_EQ(report.Count(), 0u);
}

TEST(PhilipsSdat, SingleVoxelGeometryFromTheLastBox)
{
    TScriptedReport report;
    TTempFolder folder;
    Lines lines = SingleVoxelLines(16);
    // A second box: its sizes and signs win; a third one is ignored.
    lines.insert(lines.end(), {{"ap_size", "6"},
                               {"lr_size", "5"},
                               {"cc_size", "4"},
                               {"ap_off_center", "12.5"},
                               {"lr_off_center", "12.5"},
                               {"cc_off_center", "12.5"},
                               {"ap_angulation", "10"},
                               {"lr_angulation", "20"},
                               {"cc_angulation", "30"},
                               {"lr_size", "99"},
                               {"cc_angulation", "99"},
                               {"volumes", "7"}});
    lines = With(lines, "samples", "16");
    WritePair(folder, "box", lines, std::vector<std::complex<float>>(16, {1.0f, 0.0f}));
    auto set = ReadWith(0, folder.File("box.SPAR"), true);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->m_nVolumes, 2) << "the box tables hold two";
    // The last box gives the grid: AP and LR point the other way than the file's, CC as it is.
    EXPECT_EQ((std::vector<float>{set->m_fVolSize[0][0], set->m_fVolSize[1][0], set->m_fVolSize[0][1],
                                  set->m_fVolOffCentre[0][0], set->m_fVolOffCentre[1][0], set->m_fVolOffCentre[2][0],
                                  set->m_fVolAngulation[2][0]}),
              (std::vector<float>{20, 15, 5, 4, -2.5f, 7, 3}));
    EXPECT_EQ((std::vector<float>{set->m_fFOV[0], set->m_fFOV[1], set->m_fFOV[2], set->m_fSliceThickness,
                                  set->m_fSliceGap, set->m_fOffCentre[0], set->m_fOffCentre[1], set->m_fOffCentre[2],
                                  set->m_fAngulation[0], set->m_fAngulation[1], set->m_fAngulation[2]}),
              (std::vector<float>{5, 6, 4, 4, 0, -12.5f, -12.5f, 12.5f, -20, -10, 30}));
    // Texts, times and the frequency in MHz.
    EXPECT_EQ((std::vector<std::string>{set->m_strExamName, set->m_strExamDate, set->m_strPatientName,
                                        set->m_strNucleus}),
              (std::vector<std::string>{"test exam", "2020.01.02", "Phantom", "1H"}));
    EXPECT_FLOAT_EQ(set->m_fFrequency, 127.7f);
    EXPECT_EQ((std::vector<float>{set->m_fTE, set->m_fTR, set->m_fAverages, set->m_fPPMCentrePoint}),
              (std::vector<float>{30, 2000, 8, 8}));
    EXPECT_EQ((std::vector<int>{set->m_nSpectralWidth, set->m_nSpatialDims, set->m_nSliceAxis, set->m_nLastPoint}),
              (std::vector<int>{2000, 1, 2, 15}));
    // The rotation follows the angulation and its inverse is its transpose.
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(set->m_fRotation[r][c], set->m_fRotationInverse[c][r], 1e-6);
    EXPECT_GT(std::fabs(set->m_fRotation[0][1]), 1e-3) << "not the identity";
}

TEST(PhilipsSdat, EchoPositionFromTheColumnOffset)
{
    struct Case {
        Lines extra;
        int position;
        int shifted;
    };
    // TE 144 ms at 1000 Hz: (0.144 - 0.1) * 1000 = 44.
    const Lines echo = {{"echo_time", "144"}, {"sample_frequency", "1000"}};
    const Case cases[] = {
        {{{"spec_col_lower_val", "0.1"}}, 44, 1},
        {{{"spec_col_lower_val", "0.1"}, {"echo_acquisition", "yes"}}, 0, 0},
        {{{"echo_acquisition", "yes"}, {"spec_col_lower_val", "0.1"}}, 44, 1},
        {{{"spec_col_lower_val", "0.1435"}}, 0, 0},   // below 1 point
        {{{"spec_col_lower_val", "-10"}}, 63, 1},     // clamped to the last point
        {{{"spec_col_lower_val", "nan"}}, 0, 0},
    };
    for (const Case& c : cases) {
        TScriptedReport report;
        TTempFolder folder;
        Lines lines = SingleVoxelLines(64);
        lines.insert(lines.end(), echo.begin(), echo.end());
        lines.insert(lines.end(), c.extra.begin(), c.extra.end());
        WritePair(folder, "e", lines, std::vector<std::complex<float>>(64, {1.0f, 0.0f}));
        auto set = ReadWith(0, folder.File("e.SDAT"), true);
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(set->m_nEchoPosition, c.position) << c.extra[0].second;
        EXPECT_EQ(set->m_bEchoShifted, c.shifted);
    }
}

TEST(PhilipsSdat, PostReadGivesTheCentredSpectrum)
{
    TScriptedReport report;
    TTempFolder folder;
    // A line 250 Hz off resonance at 2000 Hz and 256 points lies 32 points from N/2.
    const auto fid = vx::test::Fid(256, 250.0, 2000.0);
    WritePair(folder, "line", SingleVoxelLines(256), fid);
    auto set = ReadWith(0, folder.File("line.SDAT"), false, true);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->m_bFrequencyDomain, 1);
    EXPECT_EQ(set->m_bKSpace, 0);
    const TSpectrum* s = set->GetVoxel(0);
    int peak = 0;
    for (int i = 1; i < 256; ++i)
        if (s->GetMagnitude(i) > s->GetMagnitude(peak))
            peak = i;
    EXPECT_EQ(std::abs(peak - 128), 32);
    EXPECT_NEAR(s->GetMagnitude(peak), 1000.0f, 0.5f) << "normalised";
    EXPECT_EQ(set->m_kSpaceMask.size(), 1u);

    // "Load raw data" keeps the time-domain samples, and the mask is built all the same.
    auto rawSet = ReadWith(0, folder.File("line.SDAT"), true);
    ASSERT_NE(rawSet, nullptr);
    EXPECT_EQ(rawSet->m_bFrequencyDomain, 0);
    EXPECT_EQ(rawSet->m_bKSpace, 1);
    EXPECT_NEAR(rawSet->GetVoxel(0)->GetReal(3), fid[3].real(), 1e-6);
    EXPECT_EQ(rawSet->m_kSpaceMask.size(), 1u);
    EXPECT_EQ(report.Count(), 0u);
}
