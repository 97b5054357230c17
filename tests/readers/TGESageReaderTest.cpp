// The SAGE single-voxel reader: the real header with its P-file as data, the header keys
// and dimension blocks of synthetic pairs, the rotation of oblique planes, and refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "gehdr/GETestSupport.h"
#include "platform/Globals.h"
#include "platform/Files.h"
#include "readers/GEPfileTestFiles.h"
#include "support/FileFaultScope.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx;
using namespace vx::test;

namespace {

constexpr int kSage = 14;
constexpr char kRealHeader[] = "ge_pfile/tarquin/P1751_1.5T_030_2000.7.shf";
constexpr char kRealData[] = "ge_pfile/tarquin/P1751_1.5T_030_2000.7";

// Float samples from byte 64 on, an axial PROBE-P voxel, 32 points, six frames of which
// the first two are references.
const std::string kHeader = R"(# SAGE Data Header (sdbm)
data_type       Complex
data_precision  Float
offset_to_data  64
study_number    777
date_acquired   03/15/1999
psd_name        probe-p
TR  1500
TE  35
center_freq  127.7
position  1
entry  1
plane  2
num_ref_frames  2
opuser8   20
opuser9   25
opuser10  30
opuser11  4.5
opuser12  -6
opuser13  7.5
dimen_num  0
domain     Time
num_pts    32
width      2000
dimen_num  1
domain     None
num_pts    6
dimen_num  2
domain     None
num_pts    1
dimen_num  3
domain     None
num_pts    1
)";
constexpr int kPoints = 32, kFrames = 6;

// The header with each (from, to) replaced once.
std::string Edited(const std::vector<std::pair<std::string, std::string>>& edits)
{
    std::string text = kHeader;
    for (const auto& [from, to] : edits) {
        const size_t at = text.find(from);
        if (at == std::string::npos)
            throw std::logic_error("no " + from + " in the header");
        text.replace(at, from.size(), to);
    }
    return text;
}

// Little-endian float pairs behind 64 bytes that are not data: frame f holds
// (f + 1) (t + 1) - i (f + 1) at point t, so that every frame tells its number.
std::string FloatData()
{
    std::string bytes(64, char(0x7f));
    for (int f = 0; f < kFrames; ++f)
        for (int t = 0; t < kPoints; ++t) {
            getest::PutFloat(bytes, bytes.size(), float((f + 1) * (t + 1)), 1);
            getest::PutFloat(bytes, bytes.size(), float(-(f + 1)), 1);
        }
    return bytes;
}

// Point t of the mean of frames first .. last - 1 of the default data.
std::complex<double> MeanOfFrames(int first, int last, int t)
{
    return {(first + last + 1) * (t + 1) / 2.0, -(first + last + 1) / 2.0};
}

class GESageTest : public ::testing::Test {
protected:
    void TearDown() override { ResetGlobals(); }

    // Writes "scan.shf" and the data file (as `data`) and reads them with `faults` armed,
    // keeping the decoded time-domain samples unless `transform` is set.
    std::unique_ptr<TCSISet> ReadPair(const std::string& header, bool transform = false,
                                      const std::string& data = "scan.sdf", const std::vector<TFileFault>& faults = {})
    {
        WriteBytes(m_dir.File("scan.shf"), header);
        RemoveFile(m_dir.File("scan.sdf"));
        WriteBytes(m_dir.File(data), FloatData());
        TCSIReadParams params;
        params.m_bLoadRawData = transform ? 0 : 1;
        TFileFaultScope fault(faults);
        return ReadAs(kSage, m_dir.File("scan.shf"), params);
    }

    TScriptedReport m_report;
    TTempFolder m_dir;
};

}  // namespace

TEST_F(GESageTest, RealHeaderReadsItsPfileAsData)
{
    VX_REQUIRE_SAMPLE(kRealHeader);
    VX_REQUIRE_SAMPLE(kRealData);
    getest::TCapturedStderr quiet;
    TTimeZone utc("UTC");
    WriteBytes(m_dir.File("P09728.shf"), ReadBytes(SampleDataPath(kRealHeader)));
    WriteBytes(m_dir.File("P09728.sdf"), ReadBytes(SampleDataPath(kRealData)));
    const auto set = ReadAs(kSage, m_dir.File("P09728.shf"));
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(m_report.Count(), 0u);
    EXPECT_EQ(set->m_nPoints, 2048);
    EXPECT_EQ(set->m_nSpectralWidth, 2500);
    EXPECT_FLOAT_EQ(set->m_fFrequency, 63.872622f);
    EXPECT_EQ(set->m_strPatientName, "4488");
    EXPECT_EQ(set->m_strExamDate, "2005.06.16");
    const float size[3] = {39.9802f, 39.9802f, 40.0f}, centre[3] = {-5.26804f, -27.3435f, 0.0f};
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(set->m_fFOV[k], size[k], 1e-4) << k;
        EXPECT_NEAR(set->m_fOffCentre[k], centre[k], 1e-4) << k;
        // Oblique, but the export carries no corners: the rotation stays the identity.
        EXPECT_EQ(set->m_fRotation[k][k], 1.0f) << k;
    }
    // offset_to_data and the 8 of 24 reference frames pick the samples that the P-file's
    // own header picks for the single-voxel P-file reader.
    const auto pfile = ReadAs(13, SampleDataPath(kRealData));
    ASSERT_NE(pfile, nullptr);
    for (int t = 0; t < 2048; ++t)
        ASSERT_NEAR(std::abs(set->GetVoxel(0)->Data()[t] - pfile->GetVoxel(0)->Data()[t]), 0.0, 1e-3) << t;
}

TEST_F(GESageTest, HeaderKeysAndVariants)
{
    const auto set = ReadPair(kHeader);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->m_nPoints, kPoints);
    EXPECT_EQ(set->m_nSpectralWidth, 2000);
    EXPECT_EQ(set->m_strExamDate, "1999.03.15");
    EXPECT_EQ(set->m_nVolumes, 1);
    const float size[3] = {20, 25, 30}, centre[3] = {-4.5f, 6.0f, 7.5f};
    for (int k = 0; k < 3; ++k) {
        EXPECT_FLOAT_EQ(set->m_fFOV[k], size[k]);
        EXPECT_FLOAT_EQ(set->m_fOffCentre[k], centre[k]);
    }
    EXPECT_FLOAT_EQ(set->m_fSliceThickness, 30.0f);  // axial: the voxel's z size

    using Check = std::function<void(const TCSISet&)>;
    const auto frames = [](int first, int last) -> Check {
        return [=](const TCSISet& s) {
            EXPECT_EQ(std::complex<double>(s.GetVoxel(0)->Data()[3]), MeanOfFrames(first, last, 3));
        };
    };
    const auto texts = [](const char* position, const char* entry) -> Check {
        return [=](const TCSISet& s) {
            EXPECT_EQ(s.m_strPatientPosition, position);
            EXPECT_EQ(s.m_strPatientOrientation, entry);
        };
    };
    const auto axis = [](int a) -> Check { return [=](const TCSISet& s) { EXPECT_EQ(s.m_nSliceAxis, a); }; };
    const std::string header = "The header of " + m_dir.File("scan.shf");
    const std::string data = "Data file " + m_dir.File("scan.sdf");
    const auto block = [&](int dimension) {
        return header + " has a block of dimension " + std::to_string(dimension) +
               " (dimen_num) whose domain, num_pts or width line is missing or unknown.";
    };
    const struct {
        const char* what;
        std::vector<std::pair<std::string, std::string>> edits;
        Check check;          // empty: the header is refused...
        std::string refusal = {};  // ...with this message
        std::string data = "scan.sdf";  // the data file's name
        std::vector<TFileFault> faults = {};
    } cases[] = {
        {"reference frames", {}, frames(2, 6)},
        {"sequence in capitals", {{"probe-p", "PROBE-P"}}, axis(2)},
        {"other sequence", {{"probe-p", "press"}}, {}, header + " gives psd_name press: only PROBE-P acquisitions are read."},
        {"real samples", {{"Complex", "Real"}}, {}, header + " gives data_type Real: only Complex data are read."},
        {"byte precision", {{"Float", "Byte"}}, {},
         header + " gives data_precision Byte: only 16, 32 and Float samples are read."},
        {"no marker line", {{"# SAGE Data", "# Data"}}, {},
         m_dir.File("scan.shf") + " is not a SAGE header: its first line does not name \"SAGE Data Header\"."},
        {"comment, empty line, key without value", {{"TE  35", "#TE 9\n\nTE\nTE  35"}},
         [](const TCSISet& s) { EXPECT_FLOAT_EQ(s.m_fTE, 35.0f); }},
        {"unknown codes", {{"position  1", "position  3"}, {"entry  1", "entry  0"}}, texts("Supine", "HF")},
        {"prone, feet first", {{"position  1", "position  2"}, {"entry  1", "entry  2"}}, texts("Prone", "FF")},
        {"oblique coronal", {{"plane  2", "plane  16\nobplane  24"}}, axis(1)},
        {"obplane before plane", {{"plane  2", "obplane  24\nplane  16"}}, axis(0)},
        {"one frame, no references", {{"num_pts    6", "num_pts    1"}}, frames(0, 1)},
        {"no frame left", {{"num_pts    6", "num_pts    2"}}, {},
         header + " gives 2 frames and 2 frames to skip: no frame is left to average."},
        {"no spectral width", {{"width      2000", "width      0"}}, {},
         header + " is invalid. It gives no spectral width (width)."},
        {"spectral dimension in space", {{"domain     Time", "domain     Space"}}, {}, block(0)},
        {"unknown spatial domain", {{"None", "Image"}}, {}, block(1)},
        {"anything as dimension 2's points", {{"2\ndomain     None\nnum_pts    1", "2\ndomain     None\n#"}},
         frames(2, 6)},
        {"file ends in a block", {{"3\ndomain     None\nnum_pts    1\n", "3\ndomain     None"}}, {}, block(3)},
        // Frames of 32 points of two floats behind the offset, the first two skipped.
        {"data offset past the file", {{"offset_to_data  64", "offset_to_data  4000"}}, {},
         data + " holds 1600 bytes, fewer than the 5536 bytes its header and samples need."},
        {"points far beyond the file", {{"num_pts    32", "num_pts    2000000000"}}, {},
         data + " holds 1600 bytes, fewer than the 96000000064 bytes its header and samples need."},
        {"data file in other case, in a folder that cannot be listed", {}, {},
         "Could not look for data file scan.sdf: the folder " + m_dir.Path() + " cannot be listed: input/output error.",
         "scan.SDF", {{kFileList, EIO, 1}}},
        // The header is read whole in one read, the data file after it.
        {"header that fails while it is read", {}, {},
         "Parameter file " + m_dir.File("scan.shf") + " cannot be read to its end: input/output error.", "scan.sdf",
         {{kFileRead, EIO, 1}}},
        {"data that fail while they are read", {}, {}, data + " cannot be read to its end: input/output error.",
         "scan.sdf", {{kFileRead, EIO, 2}}},
    };
    for (const auto& c : cases) {
        m_report.Clear();
        const auto variant = ReadPair(Edited(c.edits), false, c.data, c.faults);
        EXPECT_EQ(variant != nullptr, bool(c.check)) << c.what;
        if (variant && c.check)
            c.check(*variant);
        EXPECT_EQ(m_report.Messages(), c.check ? std::vector<std::string>{} : std::vector{c.refusal}) << c.what;
    }
}

TEST_F(GESageTest, StoredSpectraAreOnlyReversed)
{
    const auto set = ReadPair(Edited({{"Time", "Frequency"}}), true);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->m_bFrequencyDomain, 1);
    for (int t = 0; t < kPoints; ++t)
        EXPECT_EQ(std::complex<double>(set->GetVoxel(0)->Data()[t]), std::conj(MeanOfFrames(2, 6, t))) << t;
}

TEST_F(GESageTest, ObliqueCornersGiveTheRotation)
{
    // A plane turned by 30 degrees: its row and column directions u and v (the program's
    // axes, the header's R and A negated) and the standard axes they go to (S's columns).
    const float c = std::cos(float(M_PI) / 6), s = std::sin(float(M_PI) / 6);
    const struct {
        int obplane, position;
        float u[3], v[3], standard[3][3];
    } cases[] = {
        {20, 1, {0, -c, s}, {0, -s, -c}, {{0, 0, -1}, {1, 0, 0}, {0, -1, 0}}},
        {24, 1, {-c, 0, s}, {-s, 0, -c}, {{1, 0, 0}, {0, 0, -1}, {0, -1, 0}}},
        {18, 1, {-c, -s, 0}, {s, -c, 0}, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}},
        {18, 2, {-c, -s, 0}, {s, -c, 0}, {{-1, 0, 0}, {0, -1, 0}, {0, 0, 1}}},  // prone: axes to L and P
    };
    for (const auto& k : cases) {
        // Corners top-left, top-right = top-left + 100 u, bottom-right = top-right + 80 v.
        std::string lines = "plane  16\nobplane  " + std::to_string(k.obplane) + "\n";
        for (int corner = 0; corner < 3; ++corner)
            for (int i = 0; i < 3; ++i) {
                const float at = 10 * i + (corner ? 100 * k.u[i] : 0) + (corner == 2 ? 80 * k.v[i] : 0);
                lines += std::string(corner == 0 ? "tlhc_" : corner == 1 ? "trhc_" : "brhc_") + "RAS"[i] + " " +
                         std::to_string(i < 2 ? -at : at) + "\n";
            }
        const auto set =
            ReadPair(Edited({{"plane  2", lines}, {"position  1", "position  " + std::to_string(k.position)}}));
        ASSERT_NE(set, nullptr) << k.obplane;
        // The normal is u x v, v x u for coronal planes.
        const float* p = k.obplane == 24 ? k.v : k.u;
        const float* q = k.obplane == 24 ? k.u : k.v;
        float n[3];
        for (int i = 0; i < 3; ++i)
            n[i] = p[(i + 1) % 3] * q[(i + 2) % 3] - p[(i + 2) % 3] * q[(i + 1) % 3];
        const float* d[3] = {k.u, k.v, n};
        for (int col = 0; col < 3; ++col)
            for (int row = 0; row < 3; ++row) {
                float image = 0, identity = 0;
                for (int j = 0; j < 3; ++j) {
                    image += set->m_fRotation[row][j] * d[col][j];
                    identity += set->m_fRotation[row][j] * set->m_fRotationInverse[j][col];
                }
                EXPECT_NEAR(image, k.standard[row][col], 1e-5) << k.obplane << k.position << row << col;
                EXPECT_NEAR(identity, row == col ? 1.0f : 0.0f, 1e-5);
            }
    }
    // Corners that are not finite numbers refuse the header, saying why; coinciding corners
    // leave the identity, as a header without corners does.
    for (const char* corner : {"nan", "1e39"}) {
        m_report.Clear();
        EXPECT_EQ(ReadPair(Edited({{"plane  2", "plane  16\ntlhc_R " + std::string(corner) + "\ntrhc_R 5\nbrhc_A 5"}})),
                  nullptr);
        EXPECT_EQ(m_report.Messages(), std::vector<std::string>{"The corners of the oblique plane of " +
                                                                m_dir.File("scan.shf") +
                                                                " (tlhc, trhc, brhc) give no rotation that can be "
                                                                "inverted."})
            << corner;
    }
    const auto same = ReadPair(Edited({{"plane  2", "plane  16\ntlhc_R 5\ntrhc_R 5\nbrhc_R 5"}}));
    ASSERT_NE(same, nullptr);
    EXPECT_EQ(same->m_fRotation[0][0], 1.0f);
}

TEST_F(GESageTest, FileChoiceMessagesFollowTheBatchRule)
{
    g_bBatchMode = true;
    WriteBytes(m_dir.File("upper.SHF"), kHeader);
    WriteBytes(m_dir.File("upper.sdf"), FloatData());
    EXPECT_EQ(ReadAs(kSage, m_dir.File("upper.SHF")), nullptr);
    WriteBytes(m_dir.File("alone.shf"), kHeader);
    EXPECT_EQ(ReadAs(kSage, m_dir.File("alone.shf")), nullptr);
    // A header that is not there is named as such.
    EXPECT_EQ(ReadAs(kSage, m_dir.File("gone.shf")), nullptr);
    EXPECT_EQ(g_batchLog, "GE SAGE (.shf) file should be selected.\r\nCan not open CSI data set file " +
                              m_dir.File("alone.sdf") + "\r\nParameter file " + m_dir.File("gone.shf") +
                              " does not exist or cannot be read.\r\n");
    EXPECT_EQ(m_report.Count(), 0u);
    // The data file is found whatever the case of its extension.
    WriteBytes(m_dir.File("mixed.shf"), kHeader);
    WriteBytes(m_dir.File("mixed.SDF"), FloatData());
    EXPECT_NE(ReadAs(kSage, m_dir.File("mixed.shf")), nullptr);
}
