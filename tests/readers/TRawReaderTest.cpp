#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <complex>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "model/TCSISet.h"
#include "platform/Globals.h"
#include "readers/TRawReader.h"
#include "support/FileFaultScope.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

namespace {

using vx::test::TFileFaultScope;
using vx::test::TScriptedReport;
using vx::test::TTempFolder;

// Dialog values of a float32 file of nx x ny x nz voxels and n points, x fastest.
TCSIReadParams Dialog(int nx, int ny, int nz, int n)
{
    TCSIReadParams p;
    p.m_nFormat = 21;
    p.m_nDim[0] = nx;
    p.m_nDim[1] = ny;
    p.m_nDim[2] = nz;
    p.m_nPoints = n;
    p.m_nSampleType = 2;
    p.m_nAxisOrder[0] = 0;
    p.m_nAxisOrder[1] = 1;
    p.m_nAxisOrder[2] = 2;
    p.m_nSweepWidth = 2000;
    p.m_fFrequency = 123.2f;
    p.m_nOrientation = 2;
    for (int k = 0; k < 3; ++k)
        p.m_fFOV[k] = 100.0f;
    return p;
}

// Float32 samples: a header of `header` bytes, then value(v, i) for voxel v, point i.
template <typename F>
std::string RawFile(int voxels, int n, int header, F value)
{
    std::string bytes(static_cast<size_t>(header), 'h');
    for (int v = 0; v < voxels; ++v)
        for (int i = 0; i < n; ++i) {
            const std::complex<float> c = value(v, i);
            const float parts[2] = {c.real(), c.imag()};
            bytes.append(reinterpret_cast<const char*>(parts), 8);
        }
    return bytes;
}

std::unique_ptr<TCSISet> ReadRaw(const std::string& path, const TCSIReadParams& p)
{
    TRawReader reader(&p);
    return std::unique_ptr<TCSISet>(reader.Read(path));
}

}  // namespace

TEST(RawReader, DialogValuesMakeTheSet)
{
    TScriptedReport report;
    TTempFolder folder;
    struct Case {
        int nx, ny, nz, dims;
    };
    for (const Case& c : {Case{16, 16, 1, 2}, Case{1, 1, 1, 1}, Case{8, 1, 1, 1}, Case{2, 2, 2, 3}}) {
        const std::string path = folder.File("raw.bin");
        vx::test::WriteBytes(path, RawFile(c.nx * c.ny * c.nz, 4, 12, [](int v, int i) {
                                 return std::complex<float>(float(v), float(i));
                             }));
        TCSIReadParams p = Dialog(c.nx, c.ny, c.nz, 4);
        p.m_nHeaderSize = 12;
        p.m_bLoadRawData = 1;
        p.m_fAngulation[2] = 30.0f;
        p.m_fOffCentre[1] = -5.0f;
        auto set = ReadRaw(path, p);
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(set->m_nSpatialDims, c.dims) << c.nx << "x" << c.ny << "x" << c.nz;
        EXPECT_EQ(std::tie(set->m_strName, set->m_strDataPath), std::tie("raw", path));
        EXPECT_EQ((std::vector<int>{set->m_nFormat, set->m_nLastPoint, set->m_nSliceAxis}), (std::vector<int>{21, 3, 2}));
        EXPECT_EQ((std::vector<float>{set->m_fPPMCentrePoint, set->m_fSliceThickness, set->m_fOffCentre[1]}),
                  (std::vector<float>{2, 100.0f / float(c.nz), -5}));
        EXPECT_NEAR(set->m_fRotation[0][1], -set->m_fRotation[1][0], 1e-6);
        EXPECT_EQ(set->m_bFrequencyDomain, 0) << "load raw data: no transform";
        const int last = c.nx * c.ny * c.nz - 1;
        EXPECT_EQ(set->GetVoxel(static_cast<size_t>(last))->GetReal(3), float(last));
        EXPECT_EQ(set->GetVoxel(0)->GetImag(3), 3.0f);
    }
    EXPECT_EQ(report.Count(), 0u);
}

TEST(RawReader, EchoPositionFromSweepWidthAndPeakTime)
{
    TTempFolder folder;
    const std::string path = folder.File("echo.bin");
    vx::test::WriteBytes(path, RawFile(1, 1024, 0, [](int, int) { return std::complex<float>(1, 0); }));
    {
        TScriptedReport report;
        TCSIReadParams p = Dialog(1, 1, 1, 1024);
        p.m_bEchoAcquisition = 1;
        p.m_fEchoPeakTime = 5.0f;
        p.m_bLoadRawData = 1;
        auto set = ReadRaw(path, p);
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(set->m_nEchoPosition, 10);
        EXPECT_EQ(set->m_bEchoShifted, 1);
        EXPECT_EQ(report.Count(), 0u);
    }
    {
        // 512 ms at 2000 Hz is point 1024 of 1024: logged in batch mode, then 0.
        TScriptedReport report;
        vx::ResetGlobals();
        g_bBatchMode = true;
        TCSIReadParams p = Dialog(1, 1, 1, 1024);
        p.m_bEchoAcquisition = 1;
        p.m_fEchoPeakTime = 512.0f;
        p.m_bLoadRawData = 1;
        auto set = ReadRaw(path, p);
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(set->m_nEchoPosition, 0);
        EXPECT_EQ(report.Count(), 0u);
        EXPECT_EQ(g_batchLog, "The peak position of the echo is not valid. It's reset to zero.\r\n");
        vx::ResetGlobals();
    }
}

TEST(RawReader, InvalidDialogValuesAndShortFiles)
{
    TScriptedReport report;
    TTempFolder folder;
    const std::string path = folder.File("v.bin");
    vx::test::WriteBytes(path, RawFile(4, 8, 0, [](int, int) { return std::complex<float>(1, 0); }));
    TCSIReadParams bad = Dialog(2, 2, 1, 8);
    bad.m_nSweepWidth = 0;
    EXPECT_EQ(ReadRaw(path, bad), nullptr);
    TCSIReadParams orientation = Dialog(2, 2, 1, 8);
    orientation.m_nOrientation = 3;
    EXPECT_EQ(ReadRaw(path, orientation), nullptr);
    // Fastest and slowest growing axis the same (the all-zero block of an exam scan too).
    TCSIReadParams order = Dialog(2, 2, 1, 8);
    order.m_nAxisOrder[2] = 0;
    EXPECT_EQ(ReadRaw(path, order), nullptr);
    EXPECT_EQ(report.Messages(), std::vector<std::string>(3, "Parameter entered invalid."));

    // A file short of the grid, a sample type of no known width and a read that fails are
    // each named with the reason.
    TCSIReadParams headed = Dialog(2, 2, 1, 8);
    headed.m_nHeaderSize = 1;
    TCSIReadParams unknownType = Dialog(2, 2, 1, 8);
    unknownType.m_nSampleType = 7;
    const struct {
        const char* name;
        TCSIReadParams params;
        std::vector<vx::TFileFault> faults;
        std::string message;
    } refused[] = {
        {"short file", Dialog(2, 2, 2, 8), {}, " holds 256 bytes, fewer than the 512 bytes its samples need."},
        {"short after the header", headed, {}, " holds 256 bytes, fewer than the 257 bytes its header and samples need."},
        {"unknown sample type", unknownType, {},
         " is not read: its sample type 7 is none of Int*16, Int*32, Float*32 and Float*64."},
        {"failing disk", Dialog(2, 2, 1, 8), {{vx::kFileRead, EIO, 2}}, " cannot be read to its end: input/output error."},
        {"size that cannot be read", Dialog(2, 2, 1, 8), {{vx::kFileSize, EIO, 1, true}},
         " is not read: its size could not be read: input/output error."},
    };
    for (const auto& c : refused) {
        TFileFaultScope faults(c.faults);
        report.Clear();
        EXPECT_EQ(ReadRaw(path, c.params), nullptr) << c.name;
        EXPECT_EQ(report.Messages(), std::vector<std::string>{"Data file " + path + c.message}) << c.name;
    }
    report.Clear();
    EXPECT_EQ(ReadRaw(folder.File("none.bin"), Dialog(2, 2, 1, 8)), nullptr);
    ASSERT_EQ(report.Messages().size(), 1u);
    EXPECT_EQ(report.Messages()[0], "Can not open CSI data set file " + folder.File("none.bin"));
}

TEST(RawReader, PostReadOptions)
{
    TScriptedReport report;
    TTempFolder folder;
    const std::string path = folder.File("p.bin");
    vx::test::WriteBytes(path, RawFile(2, 8, 0, [](int v, int i) {
                             return std::complex<float>(float(v + 1) * float(i + 1), float(i));
                         }));
    {
        // Spectra given in the frequency domain: the flip option does not conjugate.
        TCSIReadParams p = Dialog(2, 1, 1, 8);
        p.m_bFrequencyDomain = 1;
        p.m_bFlipFrequency = 1;
        auto set = ReadRaw(path, p);
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(set->m_bFrequencyDomain, 1);
        EXPECT_EQ(set->GetVoxel(1)->GetReal(2), 6.0f);
        EXPECT_EQ(set->GetVoxel(1)->GetImag(2), 2.0f);
        // Invert x reverses the voxels along x.
        p.m_bInvert[0] = 1;
        auto flipped = ReadRaw(path, p);
        ASSERT_NE(flipped, nullptr);
        EXPECT_EQ(flipped->GetVoxel(0)->GetReal(2), 6.0f);
    }
    {
        TCSIReadParams p = Dialog(2, 1, 1, 8);
        p.m_bNormalize = 1;
        auto set = ReadRaw(path, p);
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(set->m_bFrequencyDomain, 1);
        EXPECT_NEAR(set->m_fMagnitudeMax, 1000.0f, 1e-2);
    }
    EXPECT_EQ(report.Count(), 0u);
}

TEST(RawReader, CentreOptionsActOnTheInPlaneAxesOfTheOrientation)
{
    // k-space data of 4 x 4 x 4 voxels; the result depends on which axis gets the
    // sign alternation, so compare the orientations against each other.
    TScriptedReport report;
    TTempFolder folder;
    const std::string path = folder.File("k.bin");
    vx::test::WriteBytes(path, RawFile(64, 2, 0, [](int v, int i) {
                             return std::complex<float>(std::cos(0.3f * float(v * v)), float(v % 5) + float(i));
                         }));
    auto read = [&](int orientation, int centre) {
        TCSIReadParams p = Dialog(4, 4, 4, 2);
        p.m_nOrientation = orientation;
        p.m_bCenter[centre] = 1;
        p.m_bFrequencyDomain = 1;
        return ReadRaw(path, p);
    };
    auto sagittalX = read(0, 0);     // first in-plane axis of sagittal: axis 1
    auto transverseY = read(2, 1);   // second in-plane axis of transverse: axis 1
    auto transverseX = read(2, 0);   // axis 0
    ASSERT_TRUE(sagittalX && transverseY && transverseX);
    EXPECT_EQ(sagittalX->m_bKSpace, 0);
    float sameAxis = 0.0f, otherAxis = 0.0f;
    for (size_t v = 0; v < 64; ++v)
        for (int i = 0; i < 2; ++i) {
            sameAxis = std::max(sameAxis, std::abs(sagittalX->GetVoxel(v)->GetReal(i) - transverseY->GetVoxel(v)->GetReal(i)));
            otherAxis = std::max(otherAxis, std::abs(sagittalX->GetVoxel(v)->GetReal(i) - transverseX->GetVoxel(v)->GetReal(i)));
        }
    EXPECT_LT(sameAxis, 1e-5f);
    EXPECT_GT(otherAxis, 1e-2f);
    EXPECT_EQ(report.Count(), 0u);
}
