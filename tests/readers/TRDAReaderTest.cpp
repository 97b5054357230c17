// The RDA reader: the real single-voxel export, header keys, the grid geometry, the voxel
// order of CSI files, and refused or truncated files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "model/math/Geometry.h"
#include "model/TCSISet.h"
#include "model/TCSISlice.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "readers/ReaderTestSupport.h"
#include "readers/SiemensTestFiles.h"
#include "support/FileFaultScope.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx::test;

namespace {

constexpr char kRealFile[] = "rda/suspect/SVS_30.rda";
constexpr int kRDA = 18;

TCSIReadParams LoadRaw()
{
    TCSIReadParams p;
    p.m_bLoadRawData = 1;
    return p;
}

// A file of the grid whose voxel at file indices `lit` (all voxels when null) holds a
// line 250 Hz above the centre and every other voxel zeros.
std::string GridFile(const TRDAGrid& g, int points, const int* lit = nullptr, const KeyLines* lines = nullptr)
{
    std::vector<std::complex<double>> all;
    for (int i2 = 0; i2 < g.matrix[2]; ++i2)
        for (int i1 = 0; i1 < g.matrix[1]; ++i1)
            for (int i0 = 0; i0 < g.matrix[0]; ++i0) {
                const bool on = !lit || (i0 == lit[0] && i1 == lit[1] && i2 == lit[2]);
                const auto fid = RDAFid(points, 250.0, on ? 1.0 : 0.0);
                all.insert(all.end(), fid.begin(), fid.end());
            }
    return RDAHeader(lines ? *lines : RDALines(points, g)) + Float64Pairs(all);
}

}  // namespace

TEST(RDAReader, RealSingleVoxelExport)
{
    VX_REQUIRE_SAMPLE(kRealFile);
    TScriptedReport report;
    auto set = ReadAs(kRDA, SampleDataPath(kRealFile));
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(report.Count(), 0u);
    EXPECT_EQ(std::tie(set->m_strName, set->m_strExamDate, set->m_strPatientName),
              std::tuple("SVS_30", "2016.04.29", "445"));
    // 1e6 / 833 us, truncated: 1200 Hz.
    EXPECT_EQ((std::vector<int>{set->m_nPoints, set->m_nSpectralWidth, set->m_nSpatialDims, set->m_nSliceAxis,
                                set->m_bKSpace}),
              (std::vector<int>{1024, 1200, 1, 2, 0}));
    EXPECT_THAT((std::vector<float>{set->m_fTR, set->m_fTE, set->m_fFrequency, set->m_fAverages}),
                testing::Pointwise(testing::FloatEq(), std::vector<float>{2000, 30, 123.234655f, 64}));

    // The voxel's centre is the file's VOI position: the voxel reaches 20 mm along the row
    // vector (readout) and 40 mm along the column vector (phase) from the named corner.
    const float voi[3] = {41.602906f, 21.569007f, -4.958838f};
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(set->m_fOffCentre[k], voi[k], 2e-3) << k;
        EXPECT_FLOAT_EQ(set->m_fVolOffCentre[k][0], voi[k]) << k;
        EXPECT_FLOAT_EQ(set->m_fFOV[k], k == 1 ? 40.0f : 20.0f) << k;
        EXPECT_FLOAT_EQ(set->m_fVolSize[k][0], k == 1 ? 40.0f : 20.0f) << k;
    }
    // The oblique rotation takes the row and column directions to the set's x and y axes.
    const float row[3] = {0.967711f, -0.251409f, -0.018134f}, column[3] = {-0.245450f, -0.923514f, -0.294748f};
    for (int i = 0; i < 3; ++i) {
        const float* m = set->m_fRotation[i];
        EXPECT_NEAR(m[0] * row[0] + m[1] * row[1] + m[2] * row[2], i == 0, 1e-4) << i;
        EXPECT_NEAR(m[0] * column[0] + m[1] * column[1] + m[2] * column[2], i == 1, 1e-4) << i;
    }
    // Water is the tallest line, near the centre of the ppm scale.
    EXPECT_NEAR(PeakPoint(*set->GetVoxel(0)), set->m_fPPMCentrePoint, 1024 / 32);
}

TEST(RDAReader, HeaderKeys)
{
    TScriptedReport report;
    TTempFolder folder;
    const struct {
        const char* key;
        const char* value;
        std::string (*field)(const TCSISet&);
        const char* expected;
    } cases[] = {
        {"DwellTime", "250", [](const TCSISet& s) { return std::to_string(s.m_nSpectralWidth); }, "4000"},
        {"DwellTime", "333", [](const TCSISet& s) { return std::to_string(s.m_nSpectralWidth); }, "3003"},
        {"VectorSize", "1023",
         [](const TCSISet& s) {
             return std::to_string(s.m_nLastPoint) + " " + std::to_string(int(s.m_fPPMCentrePoint));
         },
         "1022 511"},
        {"StudyDate", "20191231", [](const TCSISet& s) { return s.m_strExamDate; }, "2019.12.31"},
        {"StudyDate", "2019", [](const TCSISet& s) { return s.m_strExamDate; }, "2019"},
        {"PatientPosition", "HFP",
         [](const TCSISet& s) { return s.m_strPatientOrientation + " " + s.m_strPatientPosition; }, "HF Prone"},
        {"PatientPosition", "XYZ",
         [](const TCSISet& s) { return s.m_strPatientOrientation + " " + s.m_strPatientPosition; }, "HF Supine"},
        {"PatientName", "  Doe: John  A ", [](const TCSISet& s) { return s.m_strPatientName; }, "Doe: John  A"},
        {"PatientName", "", [](const TCSISet& s) { return s.m_strPatientName; }, "n/a"},
    };
    for (const auto& c : cases) {
        const int points = std::string(c.key) == "VectorSize" ? 1023 : 64;
        const KeyLines lines = WithKey(RDALines(points, TRDAGrid{}), c.key, c.value);
        WriteBytes(folder.File("keys.rda"), GridFile(TRDAGrid{}, points, nullptr, &lines));
        auto set = ReadAs(kRDA, folder.File("keys.rda"), LoadRaw());
        ASSERT_NE(set, nullptr) << c.key << " " << c.value;
        EXPECT_EQ(c.field(*set), c.expected) << c.key << " " << c.value;
    }
    EXPECT_EQ(report.Count(), 0u);
}

// Non-oblique grids: the matrix goes to the in-plane axes of the slice axis, the rotation
// is the identity, and the off-centre is the mean of the voxel centres (the position vector
// names the outer corner of the first voxel in the plane and the centre of the first slice).
TEST(RDAReader, GridGeometryByOrientation)
{
    TScriptedReport report;
    TTempFolder folder;
    const struct {
        double row[3];
        double column[3];
        int sliceAxis;
        int dim[3];
    } cases[] = {
        {{1, 0, 0}, {0, 1, 0}, 2, {4, 2, 3}},
        {{0, 1, 0}, {0, 0, -1}, 0, {3, 4, 2}},
        {{1, 0, 0}, {0, 0, -1}, 1, {4, 3, 2}},
        {{1, 0, 0}, {0.6, 0.8, 0.8}, 1, {4, 3, 2}},  // y and z tie: the lower axis
    };
    for (const auto& c : cases) {
        TRDAGrid g;
        g.matrix[0] = 4;
        g.matrix[1] = 2;
        g.matrix[2] = 3;
        std::copy(c.row, c.row + 3, g.row);
        std::copy(c.column, c.column + 3, g.column);
        g.position[0] = -30;
        g.position[1] = 12;
        g.spacingRow = 6;     // between rows: along the column vector
        g.spacingColumn = 5;  // between columns: along the row vector
        g.spacing3D = g.thickness = 8;
        WriteBytes(folder.File("grid.rda"), GridFile(g, 16));
        auto set = ReadAs(kRDA, folder.File("grid.rda"), LoadRaw());
        ASSERT_NE(set, nullptr);
        SCOPED_TRACE(c.sliceAxis);
        EXPECT_EQ(set->m_nSliceAxis, c.sliceAxis);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(set->m_nDim[k], c.dim[k]) << k;

        float r[3], col[3], n[3];
        std::copy(c.row, c.row + 3, r);
        std::copy(c.column, c.column + 3, col);
        c.sliceAxis == 1 ? CrossProduct(col, r, n) : CrossProduct(r, col, n);
        double centre[3] = {0, 0, 0};
        for (int i0 = 0; i0 < 4; ++i0)
            for (int i1 = 0; i1 < 2; ++i1)
                for (int i2 = 0; i2 < 3; ++i2)
                    for (int k = 0; k < 3; ++k)
                        centre[k] += (g.position[k] + (i0 + 0.5) * 5 * r[k] + (i1 + 0.5) * 6 * col[k] + i2 * 8 * n[k]) / 24;
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(set->m_fOffCentre[k], centre[k], 1e-4) << k;
        const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        if (c.column[2] != 0.8) {
            EXPECT_TRUE(MatricesEqual3x3(&set->m_fRotation[0][0], identity));
        }
    }
    EXPECT_EQ(report.Count(), 0u);
}

// One voxel of a CSI grid carries a line; after the read it is at the set's voxel of the
// same in-plane indices (the slices in reverse order), whatever flips, sizes or byte order the dialog held.
TEST(RDAReader, CSIVoxelOrderEndToEnd)
{
    TScriptedReport report;
    TTempFolder folder;
    const struct {
        double row[3];
        double column[3];
        int matrix[3];
        int lit[3];    // file indices along CSIMatrixSize[0], [1], [2]
        int voxel[3];  // the set's voxel
    } cases[] = {
        {{1, 0, 0}, {0, 1, 0}, {8, 8, 1}, {3, 5, 0}, {3, 5, 0}},
        {{0, 1, 0}, {0, 0, -1}, {8, 8, 1}, {3, 5, 0}, {0, 3, 5}},
        {{1, 0, 0}, {0, 0, -1}, {8, 6, 1}, {3, 5, 0}, {3, 0, 5}},
        {{1, 0, 0}, {0, 1, 0}, {4, 6, 3}, {1, 4, 2}, {1, 4, 0}},  // the last file slice is set slice 0
    };
    TCSIReadParams dialog;
    for (int k = 0; k < 3; ++k) {
        dialog.m_bInvert[k] = dialog.m_bCenter[k] = 1;
        dialog.m_nDim[k] = 2;
    }
    dialog.m_bSwapBytes = dialog.m_bKSpaceCorrection = 1;
    for (const auto& c : cases) {
        TRDAGrid g;
        std::copy(c.row, c.row + 3, g.row);
        std::copy(c.column, c.column + 3, g.column);
        std::copy(c.matrix, c.matrix + 3, g.matrix);
        WriteBytes(folder.File("csi.rda"), GridFile(g, 256, c.lit));
        auto set = ReadAs(kRDA, folder.File("csi.rda"), dialog);
        ASSERT_NE(set, nullptr);
        const TSpectrum* lit = set->GetVoxel(c.voxel[0], c.voxel[1], c.voxel[2]);
        ASSERT_NE(lit, nullptr) << c.voxel[0] << c.voxel[1] << c.voxel[2];
        EXPECT_LT(LargestMagnitudeOutside(*set, lit), lit->GetMaxMagnitude() * 1e-4f) << c.voxel[0] << c.voxel[1] << c.voxel[2];
        // 250 Hz above the centre of 2000 Hz: an eighth of the points above the middle.
        EXPECT_EQ(PeakPoint(*lit), 128 + 32);
    }
    EXPECT_EQ(report.Count(), 0u);
}

// A 2 x 2 x 3 grid in each orientation, every file voxel with its own amplitude: an image
// placed at the centre of file voxel (i0, i1, s) selects the set slice and the voxel of
// that plane that hold the file voxel's samples. The centres come from the header: the
// position vector is the outer corner of the first voxel in the plane and the centre of
// the first slice, the slices follow one another along the plane's normal.
TEST(RDAReader, ImagesAtTheFileSlicesSelectThoseSlices)
{
    TScriptedReport report;
    TTempFolder folder;
    const struct {
        double row[3];
        double column[3];
        int orientation;
    } cases[] = {
        {{1, 0, 0}, {0, 1, 0}, 2},
        {{0, 1, 0}, {0, 0, -1}, 0},
        {{1, 0, 0}, {0, 0, -1}, 1},
    };
    const int points = 16;
    const double position[3] = {-12, 7, 30};
    auto amplitude = [](int i0, int i1, int i2) { return 1.0 + i0 + 2 * i1 + 4 * i2; };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.orientation);
        TRDAGrid g;
        g.matrix[0] = g.matrix[1] = 2;
        g.matrix[2] = 3;
        std::copy(c.row, c.row + 3, g.row);
        std::copy(c.column, c.column + 3, g.column);
        std::copy(position, position + 3, g.position);
        g.spacingColumn = 5, g.spacingRow = 6, g.spacing3D = g.thickness = 8;
        std::vector<std::complex<double>> all;
        for (int i2 = 0; i2 < 3; ++i2)
            for (int i1 = 0; i1 < 2; ++i1)
                for (int i0 = 0; i0 < 2; ++i0) {
                    const auto fid = RDAFid(points, 250.0, amplitude(i0, i1, i2));
                    all.insert(all.end(), fid.begin(), fid.end());
                }
        WriteBytes(folder.File("stack.rda"), RDAHeader(RDALines(points, g)) + Float64Pairs(all));
        auto set = ReadAs(kRDA, folder.File("stack.rda"), LoadRaw());
        ASSERT_NE(set, nullptr);
        ASSERT_EQ(set->m_nSliceAxis, c.orientation);
        const float first = static_cast<float>(RDAFid(points, 250.0)[0].real());
        ASSERT_GT(std::fabs(first), 0.1f);

        // The normal: row x column, column x row for coronal planes.
        const double *r = c.row, *q = c.column, turn = c.orientation == 1 ? -1 : 1;
        const double n[3] = {turn * (r[1] * q[2] - r[2] * q[1]), turn * (r[2] * q[0] - r[0] * q[2]),
                             turn * (r[0] * q[1] - r[1] * q[0])};
        for (int i2 = 0; i2 < 3; ++i2)
            for (int i1 = 0; i1 < 2; ++i1)
                for (int i0 = 0; i0 < 2; ++i0) {
                    float centre[3];
                    for (int k = 0; k < 3; ++k)
                        centre[k] = float(position[k] + (i0 + 0.5) * 5 * r[k] + (i1 + 0.5) * 6 * q[k] + i2 * 8 * n[k]);
                    TProject project;
                    TMRImage image(&project);
                    image.SetOrientation(c.orientation, false);
                    image.SetPosition(centre);
                    image.LocateInCSISet(set.get());
                    TCSISlice slice;
                    ASSERT_TRUE(slice.SetFromImage(set.get(), &image)) << i0 << i1 << i2;
                    const TSpectrum* voxel = slice.GetSpectrumAt(image.GetCentre());
                    ASSERT_NE(voxel, nullptr) << i0 << i1 << i2;
                    EXPECT_FLOAT_EQ(voxel->GetReal(0), float(amplitude(i0, i1, i2)) * first)
                        << "file voxel " << i0 << i1 << i2 << ", set slice " << slice.GetSliceIndex();
                }
    }
    EXPECT_EQ(report.Count(), 0u);
}

TEST(RDAReader, DialogValuesThatServe)
{
    TScriptedReport report;
    TTempFolder folder;
    const auto fid = RDAFid(64, 250.0, 3.0);
    const std::string header = RDAHeader(RDALines(64, TRDAGrid{}));
    WriteBytes(folder.File("raw.rda"), header + Float64Pairs(fid));

    TCSIReadParams raw = LoadRaw();  // the float64 samples as stored, in the time domain
    auto set = ReadAs(kRDA, folder.File("raw.rda"), raw);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->m_bFrequencyDomain, 0);
    EXPECT_EQ(set->GetVoxel(0)->GetImag(17), static_cast<float>(fid[17].imag()));

    // Without the end line the keys still count and the samples start at the dialog's
    // header size.
    const std::string open = RDAHeader(RDALines(64, TRDAGrid{}), false) + "\n\n\n";
    WriteBytes(folder.File("noend.rda"), open + Float64Pairs(fid));
    raw.m_nHeaderSize = static_cast<int32_t>(open.size());
    set = ReadAs(kRDA, folder.File("noend.rda"), raw);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->GetVoxel(0)->GetReal(5), static_cast<float>(fid[5].real()));
    EXPECT_EQ(report.Count(), 0u);
}

TEST(RDAReader, RefusedFiles)
{
    TScriptedReport report;
    TTempFolder folder;
    const KeyLines valid = RDALines(64, TRDAGrid{});
    const std::string samples = Float64Pairs(RDAFid(64, 250.0));
    TRDAGrid huge;
    huge.matrix[0] = huge.matrix[1] = huge.matrix[2] = 100000;
    KeyLines noVectors;
    std::copy_if(valid.begin(), valid.end(), std::back_inserter(noVectors), [](const auto& line) {
        return line.first.rfind("RowVector", 0) != 0 && line.first.rfind("ColumnVector", 0) != 0;
    });
    // Directions so short that the rotation from them overflows.
    const KeyLines tiny = WithKey(WithKey(valid, "RowVector[0]", "1e-20"), "ColumnVector[1]", "1e-20");

    // Every file refused is named with its reason, once, whether or not the raw samples are asked for.
    const std::string bad = folder.File("bad.rda");
    const std::string notRDA = bad + " is not an RDA file: its first line does not contain \">>> Begin of header <<<\".";
    const std::string invalid = "The header of " + bad + " is invalid. ";
    const std::string nowhere = "The header of " + bad +
                                " places its grid nowhere: PositionVector, the row and column vectors, the pixel "
                                "spacings and SliceThickness give a centre that is not a finite number.";
    const std::string hugePoints = RDAHeader(WithKey(valid, "VectorSize", "2000000000"));
    const std::string whole = RDAHeader(valid);
    std::filesystem::create_directories(folder.File("folder.rda"));
    const struct {
        const char* name;
        std::optional<std::string> bytes;  // none: no file of that name
        std::string path, message;
        std::vector<vx::TFileFault> faults = {};  // armed for each read
    } explained[] = {
        {"begin line not first", "\r\n" + RDAHeader(valid) + samples, bad, notRDA},
        {"a text file", std::string("Patient notes\r\n"), bad, notRDA},
        {"an empty file", std::string(), bad, notRDA},
        {"no file", std::nullopt, folder.File("missing.rda"),
         "RDA file " + folder.File("missing.rda") + " does not exist or cannot be read."},
        {"a folder", std::nullopt, folder.File("folder.rda"),
         "RDA file " + folder.File("folder.rda") + " does not exist or cannot be read: it is a folder, not a file."},
        {"no end line and no directions", RDAHeader(noVectors, false) + samples, bad,
         "The header of " + bad +
             " ends before its row and column vectors and its line \">>> End of header <<<\": the file is cut short."},
        {"cut before the pixel spacings", RDAHeader(KeyLines(valid.begin(), valid.end() - 3), false), bad,
         "The header of " + bad +
             " ends before its line \">>> End of header <<<\": the file is cut short. It gives no positive field of "
             "view (PixelSpacingRow, PixelSpacingCol, PixelSpacing3D)."},
        {"rotation without an inverse", RDAHeader(tiny) + samples, bad,
         "The row and column vectors of " + bad + " give a rotation that cannot be inverted."},
        {"spacing not finite", RDAHeader(WithKey(valid, "PixelSpacingRow", "inf")) + samples, bad, nowhere},
        {"vector not finite", RDAHeader(WithKey(valid, "RowVector[0]", "nan")) + samples, bad, nowhere},
        {"position not finite", RDAHeader(WithKey(valid, "PositionVector[2]", "-inf")) + samples, bad, nowhere},
        {"dwell time 0", RDAHeader(WithKey(valid, "DwellTime", "0")) + samples, bad,
         invalid + "It gives no spectral width (DwellTime)."},
        {"negative dwell time", RDAHeader(WithKey(valid, "DwellTime", "-250")) + samples, bad,
         invalid + "It gives no spectral width (DwellTime)."},
        {"VectorSize without value", RDAHeader(WithKey(valid, "VectorSize", "")) + samples, bad,
         invalid + "It gives no number of points (VectorSize)."},
        {"matrix size 0", RDAHeader(WithKey(valid, "CSIMatrixSize[1]", "0")) + samples, bad,
         invalid + "It gives a matrix size below 1 (CSIMatrixSize)."},
        {"no frequency", RDAHeader(WithKey(valid, "MRFrequency", "0")) + samples, bad,
         invalid + "It gives no spectrometer frequency (MRFrequency)."},
        {"no slice spacing", RDAHeader(WithKey(valid, "PixelSpacing3D", "0")) + samples, bad,
         invalid + "It gives no positive field of view (PixelSpacingRow, PixelSpacingCol, PixelSpacing3D)."},
        {"huge grid", RDAHeader(RDALines(64, huge)) + samples, bad,
         "Data file " + bad +
             " is not read: its grid of 100000 x 100000 x 100000 voxels of 64 points is larger than a set can hold."},
        {"huge point count", hugePoints + samples, bad,
         "Data file " + bad + " holds " + std::to_string(hugePoints.size() + samples.size()) + " bytes, fewer than the " +
             std::to_string(hugePoints.size() + 32000000000u) + " bytes its header and samples need."},
        {"one byte short", whole + samples.substr(1), bad,
         "Data file " + bad + " holds " + std::to_string(whole.size() + samples.size() - 1) + " bytes, fewer than the " +
             std::to_string(whole.size() + samples.size()) + " bytes its header and samples need."},
        {"samples that fail while they are read", whole + samples, bad,
         "Data file " + bad + " cannot be read to its end: input/output error.", {{vx::kFileRead, EIO, 2}}},
    };
    for (const auto& c : explained) {
        if (c.bytes)
            WriteBytes(c.path, *c.bytes);
        for (const TCSIReadParams& params : {TCSIReadParams{}, LoadRaw()}) {
            report.Clear();
            TFileFaultScope fault(c.faults);
            EXPECT_EQ(ReadAs(kRDA, c.path, params), nullptr) << c.name;
            EXPECT_EQ(report.Messages(), std::vector<std::string>{c.message}) << c.name;
        }
    }

    // A header longer than its 32-bit size word can say (zeros the file system need not
    // store stand between its keys and its end line) is refused saying so.
    {
        const std::string longHeader = folder.File("long.rda");
        WriteBytes(longHeader, RDAHeader(valid, false));
        std::filesystem::resize_file(longHeader, uintmax_t{1} << 31);
        std::ofstream(longHeader, std::ios::binary | std::ios::app) << "\r\n>>> End of header <<<\r\n" << samples;
        const uintmax_t headerBytes = std::filesystem::file_size(longHeader) - samples.size();
        report.Clear();
        EXPECT_EQ(ReadAs(kRDA, longHeader), nullptr);
        EXPECT_EQ(report.Messages(), std::vector<std::string>{"The header of " + longHeader + " is not read: it ends at "
                                                              "byte " + std::to_string(headerBytes) +
                                                              ", past the 2147483647 bytes a header may have."});
        std::filesystem::remove(longHeader);
    }

    // The extension is tested in lower case.
    WriteBytes(folder.File("upper.RDA"), RDAHeader(valid) + samples);
    EXPECT_NE(ReadAs(kRDA, folder.File("upper.RDA")), nullptr);
    for (const char* name : {"scan.txt", "rda", "folder.rda/scan"}) {
        report.Clear();
        EXPECT_EQ(ReadAs(kRDA, folder.File(name)), nullptr) << name;
        EXPECT_EQ(report.Messages(), std::vector<std::string>{"Siemens .rda file should be selected."}) << name;
    }
    // A point count the FFT refuses: one message, no set.
    report.Clear();
    WriteBytes(folder.File("prime.rda"), RDAHeader(WithKey(valid, "VectorSize", "1021")) +
                                             Float64Pairs(RDAFid(1021, 250.0)));
    EXPECT_EQ(ReadAs(kRDA, folder.File("prime.rda")), nullptr);
    EXPECT_EQ(report.Count(), 1u);
}

// Row and column vectors that give no plane refuse the file with one message; vectors of
// any length that do span one are taken.
TEST(RDAReader, RowAndColumnVectorsMustSpanAPlane)
{
    TScriptedReport report;
    TTempFolder folder;
    const std::string samples = Float64Pairs(RDAFid(64, 250.0));
    const KeyLines valid = RDALines(64, TRDAGrid{});
    KeyLines noRow;
    std::copy_if(valid.begin(), valid.end(), std::back_inserter(noRow),
                 [](const auto& line) { return line.first.rfind("RowVector", 0) != 0; });
    const std::pair<const char*, KeyLines> refused[] = {
        {"row vector missing", noRow},
        {"column vector zero",
         WithKey(WithKey(WithKey(valid, "ColumnVector[0]", "0"), "ColumnVector[1]", "0"), "ColumnVector[2]", "0")},
        {"parallel", WithKey(WithKey(valid, "ColumnVector[0]", "-2"), "ColumnVector[1]", "0")},
        {"nearly parallel", WithKey(WithKey(valid, "ColumnVector[0]", "1"), "ColumnVector[1]", "0.0005")},
    };
    const std::string message =
        "The row and column vectors of " + folder.File("flat.rda") + " are missing, zero or parallel.";
    for (const auto& [name, lines] : refused) {
        report.Clear();
        WriteBytes(folder.File("flat.rda"), RDAHeader(lines) + samples);
        EXPECT_EQ(ReadAs(kRDA, folder.File("flat.rda")), nullptr) << name;
        EXPECT_EQ(report.Messages(), std::vector<std::string>{message}) << name;
    }
    report.Clear();
    WriteBytes(folder.File("long.rda"),
               RDAHeader(WithKey(WithKey(valid, "RowVector[0]", "3"), "ColumnVector[0]", "0.01")) + samples);
    EXPECT_NE(ReadAs(kRDA, folder.File("long.rda")), nullptr);
    EXPECT_EQ(report.Count(), 0u);
}

// Cut at every byte of the header and every 64th byte of the samples, a file gives no set
// and one message that names it; cut inside its begin line it is no RDA file.
TEST(RDAReader, TruncatedFilesGiveNoSet)
{
    TScriptedReport report;
    TTempFolder folder;
    TRDAGrid g;
    g.matrix[0] = g.matrix[1] = 4;
    std::vector<std::string> files = {GridFile(g, 128)};
    if (SampleDataExists(kRealFile))
        files.push_back(ReadBytes(SampleDataPath(kRealFile)));
    const std::string notRDA =
        folder.File("cut.rda") + " is not an RDA file: its first line does not contain \">>> Begin of header <<<\".";
    for (const std::string& file : files) {
        const size_t headerBytes = file.find(">>> End of header <<<\r\n") + 23;
        const size_t beginBytes = file.find(">>> Begin of header <<<") + 23;
        for (size_t cut = 0; cut < file.size(); cut += cut < headerBytes ? 1 : 64) {
            report.Clear();
            WriteBytes(folder.File("cut.rda"), file.substr(0, cut));
            EXPECT_EQ(ReadAs(kRDA, folder.File("cut.rda")), nullptr) << "cut at " << cut;
            const std::vector<std::string> messages = report.Messages();
            ASSERT_EQ(messages.size(), 1u) << "cut at " << cut;
            if (cut < beginBytes)
                EXPECT_EQ(messages[0], notRDA) << "cut at " << cut;
            else
                EXPECT_NE(messages[0].find(folder.File("cut.rda")), std::string::npos) << messages[0];
            // A header cut short is never taken for one that gives invalid values.
            if (cut < headerBytes) {
                EXPECT_EQ(messages[0].find(" is invalid."), std::string::npos) << messages[0];
            }
        }
        report.Clear();
        WriteBytes(folder.File("cut.rda"), file);
        EXPECT_NE(ReadAs(kRDA, folder.File("cut.rda")), nullptr);
    }
    EXPECT_EQ(report.Count(), 0u);
}
