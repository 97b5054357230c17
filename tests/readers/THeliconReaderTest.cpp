// The Helicon reader: the file pair from either name, the parameter lines recognised by
// their token counts, the k-space reconstruction, and refused pairs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "model/TCSISet.h"
#include "readers/ReaderTestSupport.h"
#include "readers/SiemensTestFiles.h"
#include "support/Bytes.h"
#include "support/FileFaultScope.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx::test;

namespace {

std::unique_ptr<TCSISet> ReadPair(const std::string& path, bool loadRaw = false)
{
    TCSIReadParams p;
    p.m_bLoadRawData = loadRaw;
    return ReadAs(17, path, p);
}

// A parameter file of an nx x ny x nz grid of 10 mm voxels, `points` points, 250 us dwell
// time (4000 Hz) and 63.6 MHz; `dimensions` counts the spectral axis too.
std::string DDFText(int nx, int ny, int nz, int points, int dimensions, const std::string& extra = "")
{
    auto axis = [](int n, const char* letter) {
        return "dimension: " + std::to_string(n) + " " + letter + " slice spacing 10.0 type: k space\r\n";
    };
    return "GENERAL INFORMATION study id HeadScan\r\ndate/time: 2003-05-06 10:11:12\r\n"
           "total number of dimensions: " + std::to_string(dimensions) +
           "\r\nspectrometer frequency (MHz): 63.6\r\ndim1: " + std::to_string(points) +
           " dwelltime (us): 250 type: time domain\r\n" + axis(nx, "x") + axis(ny, "y") + axis(nz, "z") + extra;
}

// Int16 samples in the file's order (y fastest, then z, then x), f(x, y, z, i) rounded.
template <typename F>
std::string RawBytes(int nx, int ny, int nz, int points, F f)
{
    std::vector<int> words;
    for (int x = 0; x < nx; ++x)
        for (int z = 0; z < nz; ++z)
            for (int y = 0; y < ny; ++y)
                for (int i = 0; i < points; ++i) {
                    const std::complex<double> v = f(x, y, z, i);
                    words.push_back(static_cast<int>(std::lround(v.real())));
                    words.push_back(static_cast<int>(std::lround(v.imag())));
                }
    return Int16LE(words);
}

// k-space samples along an axis of length n that reconstruct to the one voxel `target`.
// The reader centres k = j - floor(n/2), shifts an even axis by half a voxel, transforms
// with exp(-2 pi i k x'/n) and swaps the halves, so that x' = x - floor(n/2) (+ 1/2 on an
// even axis): the plane wave exp(+2 pi i k x'/n) becomes a single voxel.
std::complex<double> PlaneWave(int j, int n, int target)
{
    const double x = target - n / 2 + (n % 2 == 0 ? 0.5 : 0.0);
    return std::polar(1.0, 2 * std::acos(-1.0) * (j - n / 2) * x / n);
}

}  // namespace

TEST(HeliconReader, EitherFileOfThePairAndItsParameters)
{
    TScriptedReport report;
    TTempFolder folder;
    const std::string ddf =
        DDFText(2, 3, 1, 4, 3, "GENERAL INFORMATION study id is Other\r\nspectrometer frequency (MHz): 99 x\r\n");
    const std::string raw = RawBytes(2, 3, 1, 4, [](int x, int y, int, int i) {
        return std::complex<double>(1000 * x + 100 * y + i, -1);
    });
    WriteBytes(folder.File("scan_ddf.mag"), ddf);
    WriteBytes(folder.File("scan_raw.mag"), raw);
    WriteBytes(folder.File("b_ddf.MAG"), ddf);  // companions in any letter case
    WriteBytes(folder.File("b_raw.mag"), raw);
    for (const char* chosen : {"scan_ddf.mag", "scan_raw.mag", "scan_raw.MAG", "b_raw.mag", "b_ddf.MAG"}) {
        SCOPED_TRACE(chosen);
        auto set = ReadPair(folder.File(chosen), true);
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(set->m_strName, std::string(chosen).substr(0, std::string(chosen).size() - 4));
        for (int x = 0; x < 2; ++x)
            for (int y = 0; y < 3; ++y)
                EXPECT_EQ(set->GetVoxel(x, y, 0)->GetReal(3), float(1000 * x + 100 * y + 3)) << x << y;
    }
    auto set = ReadPair(folder.File("scan_ddf.mag"), true);
    ASSERT_NE(set, nullptr);
    // A GENERAL line of six tokens and a spectrometer line of five are ignored.
    EXPECT_EQ(std::tie(set->m_strExamName, set->m_strExamDate), std::tuple("HeadScan", "n/a"));
    EXPECT_EQ((std::vector<int>{set->m_nSpatialDims, set->m_nLastPoint, set->m_nSpectralWidth}),
              (std::vector<int>{2, 3, 4000}));
    EXPECT_THAT((std::vector<float>{set->m_fFrequency, set->m_fFOV[1], set->m_fSliceThickness}),
                testing::Pointwise(testing::FloatEq(), std::vector<float>{63.6f, 30, 10}));
    EXPECT_EQ(report.Count(), 0u);
}

// A voxel lit through its k-space plane wave comes out at its indices with the z axis
// reversed, its line an eighth of the points above the middle.
TEST(HeliconReader, KSpaceReconstructionPlacesTheVoxel)
{
    TScriptedReport report;
    TTempFolder folder;
    const struct {
        int n[3];
        int dimensions;  // the file's count, spectral axis included
        int target[3];   // the voxel in the scanner's frame
        int expected[3];
    } cases[] = {
        {{4, 6, 4}, 4, {1, 4, 3}, {1, 4, 0}},
        {{3, 4, 5}, 4, {2, 1, 1}, {2, 1, 3}},
        {{8, 8, 2}, 3, {3, 5, 0}, {3, 5, 1}},  // 2-D: the slices are not transformed
    };
    for (const auto& c : cases) {
        WriteBytes(folder.File("k_ddf.mag"), DDFText(c.n[0], c.n[1], c.n[2], 64, c.dimensions));
        WriteBytes(folder.File("k_raw.mag"), RawBytes(c.n[0], c.n[1], c.n[2], 64, [&](int x, int y, int z, int i) {
            std::complex<double> v = PlaneWave(x, c.n[0], c.target[0]) * PlaneWave(y, c.n[1], c.target[1]);
            v *= c.dimensions == 4 ? PlaneWave(z, c.n[2], c.target[2]) : std::complex<double>(z == c.target[2]);
            return 1000.0 * v * std::polar(1.0, 2 * std::acos(-1.0) * 500.0 * i / 4000.0);
        }));
        auto set = ReadPair(folder.File("k_raw.mag"));
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(set->m_bKSpace, 0);
        const TSpectrum* lit = set->GetVoxel(c.expected[0], c.expected[1], c.expected[2]);
        // The rounding to int16 leaves a little everywhere.
        EXPECT_LT(LargestMagnitudeOutside(*set, lit), lit->GetMaxMagnitude() * 0.01f) << c.n[0] << c.n[1] << c.n[2];
        EXPECT_EQ(PeakPoint(*lit), 32 + 8);
    }
    EXPECT_EQ(report.Count(), 0u);
}

TEST(HeliconReader, RefusedPairs)
{
    TScriptedReport report;
    TTempFolder folder;
    const std::string raw = RawBytes(2, 2, 1, 8, [](int, int, int, int) { return 5.0; });
    std::string dwell = DDFText(2, 2, 1, 8, 3);
    dwell.replace(dwell.find("(us): 250"), 9, "(us): 0");
    const std::pair<const char*, std::string> pairs[] = {
        {"ok", DDFText(2, 2, 1, 8, 3)}, {"dwell", dwell}, {"flat", DDFText(2, 2, 1, 8, 1)},
        {"short", DDFText(2, 2, 1, 9, 3)}, {"huge", DDFText(100000, 100000, 2, 8, 4)},
        {"low", DDFText(2, 2, 1, 8, -2147483647 - 1)}, {"prime", DDFText(41, 2, 1, 8, 3)},
    };
    for (const auto& [stem, text] : pairs) {
        WriteBytes(folder.File(std::string(stem) + "_ddf.mag"), text);
        WriteBytes(folder.File(std::string(stem) + "_raw.mag"), raw);
    }
    WriteBytes(folder.File("prime_raw.mag"), RawBytes(41, 2, 1, 8, [](int, int, int, int) { return 1.0; }));
    WriteBytes(folder.File("lonely_ddf.mag"), DDFText(2, 2, 1, 8, 3));
    const struct {
        const char* chosen;
        std::string message;
        std::vector<vx::TFileFault> faults = {};  // armed for the read
    } cases[] = {
        {"ok_ddf.txt", "Siemens Helicon data should be .mag files."},
        {"ok_DDF.mag", "Siemens Helicon files should be *_ddf.mag file or *_raw.mag file."},
        {"scan.mag", "Siemens Helicon files should be *_ddf.mag file or *_raw.mag file."},
        {"none_raw.mag", "Parameter file " + folder.File("none_ddf.mag") + " does not exist or cannot be read."},
        {"dwell_raw.mag", "Parameter file " + folder.File("dwell_ddf.mag") + " does not exist or cannot be read."},
        {"flat_raw.mag", "Parameter file " + folder.File("flat_ddf.mag") + " does not exist or cannot be read."},
        {"lonely_ddf.mag", "Can not open CSI data set file " + folder.File("lonely_raw.mag")},
        {"short_raw.mag", "Data file " + folder.File("short_raw.mag") +
                              " holds 128 bytes, fewer than the 144 bytes its samples need."},
        {"huge_raw.mag", "Data file " + folder.File("huge_raw.mag") +
                             " is not read: its grid of 100000 x 100000 x 2 voxels of 8 points is larger than a set "
                             "can hold."},
        {"prime_raw.mag", "*"}, // the FFT's own message about the length 41
        {"none_raw.mag",
         "Could not look for parameter file none_ddf.mag: the folder " + folder.Path() +
             " cannot be listed: input/output error.",
         {{vx::kFileList, EIO, 1}}},
    };
    for (const auto& [chosen, message, faults] : cases) {
        report.Clear();
        TFileFaultScope fault(faults);
        EXPECT_EQ(ReadPair(folder.File(chosen)), nullptr) << chosen;
        if (message == "*") {
            EXPECT_EQ(report.Count(), 1u) << chosen;
        } else {
            EXPECT_EQ(report.Messages(), message.empty() ? std::vector<std::string>{} : std::vector{message}) << chosen;
        }
    }
    // A dimension count at the bottom of the integer range reads, without a transform.
    auto low = ReadPair(folder.File("low_raw.mag"));
    ASSERT_NE(low, nullptr);
    EXPECT_EQ(low->m_bKSpace, 1);
}
