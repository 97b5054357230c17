// The fid reader on synthetic experiments: k-space built from one known voxel and frequency
// must come out as that line with the filter delay taken out.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <complex>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "readers/BrukerTestFiles.h"
#include "readers/TBrukerFidReader.h"
#include "support/FileFaultScope.h"
#include "support/FolderKill.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx::test;

namespace {

using Complex = std::complex<double>;
constexpr int kFid = 20;
constexpr double kAmplitude = 1 << 20;

// The fid of a scan whose k-space point (read, phase, slice) holds value(kr, kp, ks, t),
// read fastest.
template <typename Value>
std::string FidBytes(const TBrukerCSIScan& scan, Value value)
{
    std::string bytes;
    for (int ks = 0; ks < (scan.dims == 2 ? 1 : scan.matrix[2]); ++ks)
        for (int kp = 0; kp < scan.matrix[1]; ++kp)
            for (int kr = 0; kr < scan.matrix[0]; ++kr)
                for (int t = 0; t < scan.points; ++t) {
                    const Complex v = value(kr, kp, ks, t);
                    AppendInt32(bytes, v.real());
                    AppendInt32(bytes, v.imag());
                }
    return bytes;
}

// One line at `peak` on `voxel` of the finished set, delayed by `delay` points. The reader
// reverses the grid along every axis last, so the transform must give the mirrored voxel.
std::string FidOfLine(const TBrukerCSIScan& scan, const int voxel[3], int peak, double delay)
{
    const int along[3] = {scan.ReadAxis(), scan.PhaseAxis(), scan.SliceAxis()};
    std::vector<Complex> k[3];
    for (int d = 0; d < 3; ++d) {
        const int n = d == 2 && scan.dims == 2 ? 1 : scan.matrix[d];
        k[d] = KSpaceLineForVoxel(n, n - 1 - voxel[along[d]]);
    }
    const auto fid = DelayedLine(scan.points, peak, delay, false);
    return FidBytes(scan, [&](int kr, int kp, int ks, int t) {
        return kAmplitude * k[0][size_t(kr)] * k[1][size_t(kp)] * k[2][size_t(ks)] * fid[size_t(t)];
    });
}

// An experiment folder .../study/5 holding method, acqp and fid.
struct TExperiment {
    TTempFolder root;
    std::string fid = root.File("study/5/fid");
    TExperiment(const TJcampLines& method, const TJcampLines& acqp, const std::string& bytes)
    {
        vx::MakeFolder(root.File("study"));
        vx::MakeFolder(root.File("study/5"));
        if (!method.empty())
            WriteBytes(root.File("study/5/method"), JcampText(method));
        WriteBytes(root.File("study/5/acqp"), JcampText(acqp));
        if (!bytes.empty())
            WriteBytes(fid, bytes);
    }
};

}  // namespace

// Every orientation stores its grid read direction first and puts the read, phase and slice
// values and gradient directions on the axes it names; cubic, odd and two-dimensional grids
// all put the line on its voxel and point, with phase 0 once the delay is out. The dialog's
// layout, flip and centring options do not apply to this format; normalisation does.
TEST(BrukerFidReader, LineLandsOnItsVoxelAndFrequency)
{
    const struct {
        const char *slice, *read;
        int dims, matrix[3], voxel[3], points;
        double delay;  // from "##$GRPDLY", or 0: decimation 32 and filter version 11 give 72.75
        bool oddDialog;
    } cases[] = {
        {"axial", "L_R", 3, {8, 8, 8}, {5, 2, 6}, 256, 0, false},
        {"coronal", "H_F", 3, {8, 4, 2}, {1, 0, 6}, 64, 67.98, false},
        {"sagittal", "A_P", 3, {4, 8, 2}, {1, 3, 5}, 64, 67.98, false},
        {"axial", "A_P", 3, {4, 8, 3}, {6, 1, 2}, 64, 67.98, false},
        {"coronal", "L_R", 3, {4, 2, 8}, {1, 6, 0}, 64, 67.98, false},
        {"sagittal", "H_F", 3, {4, 2, 2}, {1, 0, 3}, 64, 67.98, true},
        {"axial", "L_R", 2, {8, 4, 1}, {3, 1, 0}, 64, 67.98, false},
    };
    const float g[9] = {0.6f, 0.8f, 0, -0.8f, 0.6f, 0, 0, 0, 1};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.slice) + " " + c.read + " " + std::to_string(c.matrix[2]));
        TScriptedReport report;
        TBrukerCSIScan scan;
        scan.dims = c.dims;
        scan.sliceOrient = c.slice;
        scan.readOrient = c.read;
        std::copy_n(c.matrix, 3, scan.matrix);
        std::copy_n(std::begin({3.0f, -2.0f, 5.0f}), 3, scan.offsets);
        std::copy_n(g, 9, scan.gradient);
        scan.points = c.points;
        const int peak = c.points / 3;
        TExperiment e(CSIMethodLines(scan, "##$CSITotalMatrix"), AcqpLines(400.2, c.delay, 32, 11),
                      FidOfLine(scan, c.voxel, peak, c.delay > 0 ? c.delay : 72.75));
        TCSIReadParams dialog;
        if (c.oddDialog) {
            dialog.m_nSampleType = 3;
            dialog.m_bSwapBytes = dialog.m_bCenter[1] = dialog.m_bFlipFrequency = dialog.m_bKSpaceCorrection = 1;
            dialog.m_nAxisOrder[0] = 2;
            dialog.m_nHeaderSize = 100;
            dialog.m_bNormalize = 1;
        }
        auto set = ReadAs(kFid, e.fid, dialog);
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(report.Count(), 0u);
        EXPECT_EQ(set->m_strName, "study_5_fid");
        EXPECT_EQ(set->m_strDataPath, e.fid);
        const int axes[3] = {scan.ReadAxis(), scan.PhaseAxis(), scan.SliceAxis()};
        const float fov[3] = {80, 60, 40}, offset[3] = {3, -2, 5};  // the slab, not the third FOV value
        float v[3];
        for (int d = 0; d < 3; ++d) {
            EXPECT_EQ(set->m_nDim[axes[d]], c.matrix[d]);
            EXPECT_FLOAT_EQ(set->m_fFOV[axes[d]], fov[d]);
            v[axes[d]] = offset[d];
            for (int row = 0; row < 3; ++row) {
                EXPECT_FLOAT_EQ(set->m_fRotation[row][axes[d]], g[3 * d + row]);
                EXPECT_FLOAT_EQ(set->m_fRotationInverse[axes[d]][row], g[3 * d + row]);  // orthonormal
            }
        }
        const std::vector<float> offCentre(set->m_fOffCentre, set->m_fOffCentre + 3);
        EXPECT_EQ(offCentre, (std::vector<float>{-v[0], -v[1], v[2]}));
        EXPECT_EQ((std::vector<int>{set->m_nSliceAxis, set->m_bKSpace, set->m_bFrequencyDomain}),
                  (std::vector<int>{axes[2], 0, 1}));
        EXPECT_FLOAT_EQ(set->m_fSliceThickness, 40.0f / float(c.matrix[2]));
        EXPECT_FLOAT_EQ(set->m_fFrequency, 400.2f);
        EXPECT_EQ(set->m_kSpaceMask.size(), set->VoxelCount());
        // The spatial transform averages over the grid, the spectral one sums the N samples.
        ExpectSingleLine(*set, c.voxel, peak, c.oddDialog ? 1000.0 : kAmplitude * c.points);
    }
}

// "Load raw data" keeps the file's k-space samples, placed by the directions.
TEST(BrukerFidReader, RawSamplesStayInKSpace)
{
    TScriptedReport report;
    TBrukerCSIScan scan;
    scan.sliceOrient = "coronal";
    scan.readOrient = "H_F";  // read along z, phase along x, slices along y
    std::copy_n(std::begin({4, 3, 2}), 3, scan.matrix);
    scan.points = 16;
    TExperiment raw(CSIMethodLines(scan, "##$CSITotalMatrix"), AcqpLines(300.3, 70, 32, 11), FidBytes(scan, [](int kr, int kp, int ks, int t) {
                        return Complex(1000.0 * (kr + 10 * kp + 100 * ks) + t, -t);
                    }));
    TCSIReadParams loadRaw;
    loadRaw.m_bLoadRawData = 1;
    auto set = ReadAs(kFid, raw.fid, loadRaw);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->m_bKSpace, 1);
    EXPECT_EQ(set->m_bFrequencyDomain, 0);
    EXPECT_EQ(set->m_kSpaceMask.size(), 24u);
    for (int x = 0; x < 3; ++x)
        for (int y = 0; y < 2; ++y)
            for (int z = 0; z < 4; ++z) {
                EXPECT_EQ(set->GetVoxel(x, y, z)->GetReal(7), 1000.0f * float(z + 10 * x + 100 * y) + 7.0f);
                EXPECT_EQ(set->GetVoxel(x, y, z)->GetImag(7), -7.0f);
            }
    EXPECT_EQ(report.Count(), 0u);
}

// Missing files are named; hostile or incomplete method files and short data give no set
// and a message that says why, and nothing is allocated from their sizes.
TEST(BrukerFidReader, BrokenExperimentsGiveNoSet)
{
    TBrukerCSIScan small;
    std::fill_n(small.matrix, 3, 2);
    small.points = 32;
    const TJcampLines method = CSIMethodLines(small, "##$CSITotalMatrix");
    const int voxel[3] = {0, 1, 1};
    const std::string fid = FidOfLine(small, voxel, 3, 70);
    TBrukerCSIScan prime = small;
    prime.points = 41;  // a prime above 37: the spectral transform refuses it, with its message
    const std::string files = "The parameter files of $ ";
    const struct {
        const char* name;
        TJcampLines method;
        std::string fid;
        std::string message;  // "$" stands for the fid file
    } cases[] = {
        {"fid one integer short", method, fid.substr(0, fid.size() - 4),
         "Data file $ is shorter than its parameter files describe (2044 of 2048 bytes)."},
        {"no points", WithLine(method, "##$PVM_SpecMatrix", ""), fid,
         files + "give no points per spectrum (##$PVM_SpecMatrix)."},
        {"no spatial dimensions", WithLine(method, "##$PVM_SpatDimEnum", ""), fid,
         files + "give no spatial dimensions (##$PVM_SpatDimEnum 2D or 3D)."},
        {"no spectral width", WithLine(method, "##$PVM_SpecSWH", ""), fid,
         files + "give no spectral width (##$PVM_SpecSWH)."},
        {"no field of view", WithLine(method, "##$PVM_Fov", ""), fid,
         files + "give no field of view (##$PVM_Fov, ##$PVM_SliceThick)."},
        {"matrix line too short", WithLine(method, "##$CSITotalMatrix", "=( 3 )\n2 2"), fid,
         files + "give a matrix size below 1 (##$CSITotalMatrix)."},
        {"huge matrix", WithLine(method, "##$CSITotalMatrix", JcampArray("100000 100000 100000")), fid,
         files + "describe a grid too large to read: 100000 x 100000 x 100000 voxels of 32 points."},
        {"huge point count", WithLine(method, "##$PVM_SpecMatrix", JcampArray("2147483647")), fid,
         "Data file $ is shorter than its parameter files describe (2048 of 137438953408 bytes)."},
        {"refused point count", CSIMethodLines(prime, "##$CSITotalMatrix"), FidOfLine(prime, voxel, 3, 70),
         "Prime factor of FFT length too large. Please modify the value of maxPrimeFactor."},
    };
    for (const auto& c : cases) {
        TScriptedReport report;
        TExperiment e(c.method, AcqpLines(300.3, 70, 32, 11), c.fid);
        EXPECT_EQ(ReadAs(kFid, e.fid), nullptr) << c.name;
        std::string message = c.message;
        if (const size_t at = message.find('$'); at != std::string::npos)
            message.replace(at, 1, e.fid);
        EXPECT_EQ(report.Messages(), std::vector<std::string>{message}) << c.name;
    }

    TScriptedReport report;
    TExperiment noMethod({}, AcqpLines(300.3, 70, 32, 11), fid);
    EXPECT_EQ(ReadAs(kFid, noMethod.fid), nullptr);
    TExperiment noFid(method, AcqpLines(300.3, 70, 32, 11), "");
    EXPECT_EQ(ReadAs(kFid, noFid.fid), nullptr);
    // A folder whose listing fails is not one without a method file: the message says why.
    {
        TFileFaultScope fault({{vx::kFileList, EIO, 1}});
        EXPECT_EQ(ReadAs(kFid, noMethod.fid), nullptr);
    }
    ASSERT_EQ(report.Count(), 3u);
    EXPECT_EQ(report.Entries()[0].text, "Could not find parameter file method or method.txt.");
    EXPECT_EQ(report.Entries()[0].icon, vx::ReportIcon::None);
    EXPECT_EQ(report.Entries()[1].text, "Data file " + noFid.fid + " does not exist or cannot be read.");
    EXPECT_EQ(report.Entries()[2].text, "Could not look for parameter file method or method.txt: the folder " +
                                            vx::FolderOf(noMethod.fid) + " cannot be listed: input/output error.");

    // method.txt found by its exact name needs no listing: a folder that cannot be listed, or
    // that this user may enter but not read, still gives the set.
    TExperiment textMethod(method, AcqpLines(300.3, 70, 32, 11), fid);
    const std::string folder = vx::FolderOf(textMethod.fid);
    ASSERT_EQ(std::rename((folder + "/method").c_str(), (folder + "/method.txt").c_str()), 0);
    {
        TFileFaultScope fault({{vx::kFileList, EIO, 1, true}});
        EXPECT_NE(ReadAs(kFid, textMethod.fid), nullptr);
    }
    ::chmod(textMethod.root.Path().c_str(), 0755);
    ::chmod(folder.c_str(), 0311);
    EXPECT_EQ(AsAnOrdinaryUser([&] {
                  const size_t before = report.Count();
                  const bool read = ReadAs(kFid, textMethod.fid) != nullptr;
                  return std::string(read ? "read" : "refused") +
                         (report.Count() == before ? "" : ": " + report.Entries().back().text);
              }),
              "read");
    EXPECT_EQ(report.Count(), 3u);
}
