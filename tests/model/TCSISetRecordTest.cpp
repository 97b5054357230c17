// The CSI set record of the project file: golden records of every version (packed by
// make_project_golden.py), the round trip of the newest layout and hostile records.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TMap.h"
#include "model/TMapList.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "platform/TFile.h"
#include "support/Bytes.h"
#include "support/CSISetBuilders.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx;

namespace {

std::string GoldenPath(const std::string& name)
{
    return std::string(VX_SOURCE_ROOT) + "/tests/model/golden/" + name;
}

// Convention-1 rotation of three angles, from the element table of the geometry helpers.
void Convention1(const float deg[3], float m[9])
{
    const double k = 3.14159265358979323846 / 180.0;
    const double a = deg[0] * k, b = deg[1] * k, c = deg[2] * k;
    const double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b), cc = std::cos(c),
                 sc = std::sin(c);
    const double e[9] = {sa * sb * sc + cb * cc, ca * sc, cb * sc * sa - cc * sb, cc * sb * sa - cb * sc, ca * cc,
                         cb * cc * sa + sb * sc, ca * sb, -sa, ca * cb};
    for (int i = 0; i < 9; ++i)
        m[i] = static_cast<float>(e[i]);
}

// R times its stored inverse is the identity.
void ExpectInverse(const TCSISet& set, const char* what)
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            double sum = 0;
            for (int k = 0; k < 3; ++k)
                sum += double(set.m_fRotation[r][k]) * set.m_fRotationInverse[k][c];
            EXPECT_NEAR(sum, r == c ? 1.0 : 0.0, 1e-5) << what << " " << r << c;
        }
}

class CSISetRecordTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetGlobals();
        m_project.m_strFolder = m_dir.Path();
    }
    void TearDown() override
    {
        ResetGlobals();
    }

    // Reads the record in `path` as a record of `version`; the file is left open in m_file.
    bool ReadRecord(const std::string& path, int version, TCSISet& set)
    {
        m_project.m_nFileVersion = version;
        m_file = TFile();
        EXPECT_TRUE(m_file.Open(path, TFile::Mode::Read));
        return set.ReadFromProject(m_file);
    }
    void MakeDataFile(const std::string& name) { test::WriteBytes(m_dir.File(name), "data"); }
    // Writes the set's record to the file "record".
    void WriteRecord(const TCSISet& set)
    {
        TFile out;
        ASSERT_TRUE(out.Open(m_dir.File("record"), TFile::Mode::Write));
        ASSERT_TRUE(set.WriteToProject(out));
    }

    test::TTempFolder m_dir;
    TProject m_project;
    TFile m_file;
};

// A set with a distinct value in every field the record carries.
void FillSet(TCSISet& s)
{
    const float shift[3] = {1.5f, -2.25f, 3.0f}, fov[3] = {220, 200, 30}, ang[3] = {10, -5, 2.5f},
                off[3] = {-12.5f, 30.25f, 7};
    for (int i = 0; i < 3; ++i) {
        s.m_fVoxelShift[i] = shift[i];
        s.m_fFOV[i] = fov[i];
        s.m_fAngulation[i] = ang[i];
        s.m_fOffCentre[i] = off[i];
    }
    s.m_nDim[0] = 3;
    s.m_nDim[1] = 2;
    s.m_nDim[2] = 2;
    s.m_nPoints = 64;
    s.m_nFirstPoint = 3;
    s.m_nLastPoint = 60;
    s.m_nSpectralWidth = 2000;
    s.m_fFrequency = 127.75f;
    s.m_fPPMCentrePoint = 31.5f;
    s.m_fPPMCentreValue = 4.7f;
    s.m_fPhase0 = 0.5f;
    s.m_fPhase1 = -1.25f;
    s.m_nPivot = 7;
    s.m_bEchoShifted = 1;
    s.m_bFrequencyDomain = 1;
    s.m_nFormat = 15;
    s.m_nEchoPosition = 4;
    s.m_nSpatialDims = 3;
    s.m_nSliceAxis = 2;
    s.m_bWorkSet = 1;
    s.m_strName = "csi";
    s.m_strDataPath = "C:\\scans\\P12345.7";
    s.m_strPatientName = "Doe^John";
    s.m_strExamName = "Brain";
    s.m_strExamDate = "2024.03.01";
    s.m_strNucleus = "1H";
    s.m_strPatientPosition = "Supine";
    s.m_strPatientOrientation = "HF";
    s.m_fTR = 1500;
    s.m_fTE = 144;
    s.m_fAverages = 8;
    s.m_bKSpace = 0;
    s.m_bMultiSlice = 1;
    s.m_nVolumes = 2;
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 2; ++b) {
            s.m_fVolOffCentre[a][b] = 1.0f + a + 10 * b;
            s.m_fVolAngulation[a][b] = -2.0f - a - 10 * b;
            s.m_fVolSize[a][b] = 50.0f + a + 10 * b;
        }
    const float rot[9] = {0, 1, 0, -1, 0, 0, 0, 0, 2};
    for (int k = 0; k < 9; ++k)
        s.m_fRotation[k / 3][k % 3] = rot[k];
    s.m_strOrientation = "AHR";
    s.m_strPatientBirthDate = "1970.01.01";
    s.m_slicePhases = {{0.25f, -0.5f, 1.0f}, {0.75f, -1.5f, 3.0f}};
    s.m_kSpaceMask = {1, 0, 1, 1, 1, 1, 0, 1, 1, 1, 1, 0};
    s.m_fSliceThickness = 15;
    s.m_fSliceGap = 0.5f;
    s.m_fExtra[0] = 6.5f;
    s.m_fExtra[1] = 0.75f;
    s.m_fExtra[2] = 30;
}

// The numbers, texts and arrays the record carries, each as one value to compare.
auto RecordFields(const TCSISet& s)
{
    return std::make_tuple(s.m_nPoints, s.m_nFirstPoint, s.m_nLastPoint, s.m_nSpectralWidth, s.m_fFrequency,
                           s.m_fPPMCentrePoint, s.m_fPPMCentreValue, s.m_fPhase0, s.m_fPhase1, s.m_nPivot,
                           s.m_bEchoShifted, s.m_bFrequencyDomain, s.m_nFormat, s.m_nEchoPosition, s.m_nSpatialDims,
                           s.m_nSliceAxis, s.m_bWorkSet, s.m_fTR, s.m_fTE, s.m_fAverages, s.m_bKSpace,
                           s.m_bMultiSlice, s.m_nVolumes, s.m_fSliceThickness, s.m_fSliceGap);
}
std::vector<std::string> RecordTexts(const TCSISet& s)
{
    return {s.m_strName, s.m_strDataPath, s.m_strPatientName, s.m_strExamName, s.m_strExamDate, s.m_strNucleus,
            s.m_strPatientPosition, s.m_strPatientOrientation, s.m_strOrientation, s.m_strPatientBirthDate};
}
template <typename T, size_t N>
std::vector<float> Flat(const T (&a)[N])
{
    const float* p = reinterpret_cast<const float*>(&a);
    return std::vector<float>(p, p + sizeof a / sizeof(float));
}
std::vector<std::vector<float>> RecordArrays(const TCSISet& s)
{
    std::vector<float> dims(s.m_nDim, s.m_nDim + 3);
    return {Flat(s.m_fVoxelShift), Flat(s.m_fFOV),          dims,           Flat(s.m_fAngulation),
            Flat(s.m_fOffCentre),  Flat(s.m_fExtra),        Flat(s.m_fVolOffCentre), Flat(s.m_fVolAngulation),
            Flat(s.m_fVolSize),    Flat(s.m_fRotation)};
}

}  // namespace

TEST_F(CSISetRecordTest, NewestLayoutRoundTripKeepsEveryField)
{
    TCSISet written(&m_project);
    FillSet(written);
    written.SetFolder(m_dir.Path());
    MakeDataFile("csi");
    WriteRecord(written);
    TCSISet read(&m_project);
    ASSERT_TRUE(ReadRecord(m_dir.File("record"), 9, read));
    EXPECT_EQ(m_file.BytesLeft(), 0);

    TCSISet expected;
    FillSet(expected);
    EXPECT_EQ(RecordFields(read), RecordFields(expected));
    EXPECT_EQ(RecordTexts(read), RecordTexts(expected));
    EXPECT_EQ(RecordArrays(read), RecordArrays(expected));
    ExpectInverse(read, "round trip");
    ASSERT_EQ(read.m_slicePhases.size(), 2u);
    for (size_t k = 0; k < 2; ++k) {
        EXPECT_EQ(read.m_slicePhases[k].m_fPhase0, expected.m_slicePhases[k].m_fPhase0);
        EXPECT_EQ(read.m_slicePhases[k].m_fPhase1, expected.m_slicePhases[k].m_fPhase1);
        EXPECT_EQ(read.m_slicePhases[k].m_fPivot, expected.m_slicePhases[k].m_fPivot);
    }
    EXPECT_EQ(read.m_kSpaceMask, expected.m_kSpaceMask);
    EXPECT_EQ(read.GetFilePath(), m_dir.File("csi"));
    EXPECT_FALSE(read.IsLoaded());
}

TEST_F(CSISetRecordTest, WriterMatchesTheGoldenNewestRecord)
{
    // The golden record carries two map names; the writer names the set's maps that have
    // a map file, in list order, and leaves out a map never saved.
    MakeDataFile("csi");
    TCSISet set(&m_project);
    ASSERT_TRUE(ReadRecord(GoldenPath("csirecord_v9.bin"), 9, set));
    test::AddNamedMap(set, "naa");
    test::AddNamedMap(set, "lac", TMap::kNeverSaved);
    test::AddNamedMap(set, "cho", TMap::kChanged);
    // Bits above bit 0 of the two flags are not kept, so the golden file's 3 and 5 come back as 1.
    std::string golden = test::ReadBytes(GoldenPath("csirecord_v9.bin"));
    const size_t readerFlagOffset = 4 * (3 + 3 + 3 + 1 + 2 + 1 + 1 + 2 + 2 + 1);
    golden[readerFlagOffset] = 1;
    golden[readerFlagOffset + 4] = 1;
    WriteRecord(set);
    EXPECT_EQ(test::ReadBytes(m_dir.File("record")), golden);
}

TEST_F(CSISetRecordTest, EveryOlderLayoutReadsWithItsDefaults)
{
    MakeDataFile("csi");
    const float angulation[3] = {10, -5, 2.5f};
    for (int version = 0; version <= 9; ++version) {
        SCOPED_TRACE("version " + std::to_string(version));
        TCSISet set(&m_project);
        ASSERT_TRUE(ReadRecord(GoldenPath("csirecord_v" + std::to_string(version) + ".bin"), version, set));
        EXPECT_EQ(m_file.BytesLeft(), 0);
        // Always present.
        EXPECT_EQ(set.m_fVoxelShift[1], -2.25f);
        EXPECT_EQ(set.m_nDim[0], 3);
        EXPECT_EQ(set.m_nDim[2], 2);
        EXPECT_EQ(set.m_nPoints, 4);
        EXPECT_EQ(set.m_nLastPoint, 3);
        EXPECT_EQ(set.m_fFrequency, 127.75f);
        EXPECT_EQ(set.m_fPPMCentreValue, 4.75f);
        EXPECT_EQ(set.m_nPivot, 2);
        EXPECT_EQ(set.m_bEchoShifted, 1);      // 3 in the file
        EXPECT_EQ(set.m_bFrequencyDomain, 1);  // 5 in the file
        EXPECT_EQ(set.m_nFormat, 22);
        EXPECT_EQ(set.m_bWorkSet, 1);
        EXPECT_EQ(set.m_strName, "csi");
        EXPECT_EQ(set.m_strDataPath, "C:\\scans\\csi.SPAR");
        EXPECT_EQ(set.GetFilePath(), m_dir.File("csi"));

        const char* patient = version >= 1 ? "Doe^John" : "n/a";
        EXPECT_EQ(set.m_strPatientName, patient);
        EXPECT_EQ(set.m_strPatientOrientation, version >= 1 ? "HF" : "n/a");
        EXPECT_EQ(set.m_fTE, version >= 1 ? 144.0f : 0.0f);

        EXPECT_EQ(set.m_bMultiSlice, version >= 3 ? 1 : 0);
        EXPECT_EQ(set.m_bKSpace, version >= 3 ? 0 : 1);
        EXPECT_EQ(set.m_nVolumes, version >= 3 ? 2 : 0);
        EXPECT_EQ(set.m_fVolSize[2][1], version >= 3 ? 30.0f : 0.0f);
        EXPECT_EQ(set.m_fVolAngulation[0][0], version >= 3 ? 4.0f : 0.0f);
        EXPECT_EQ(set.m_fVolOffCentre[1][1], version >= 3 ? -2.0f : 0.0f);

        float rotation[9];
        if (version >= 4) {
            const float stored[9] = {2.0f, 1.0f, 0.5f, 0.25f, 3.0f, 1.0f, 1.0f, 0.5f, 4.0f};
            std::copy(stored, stored + 9, rotation);
        } else if (version == 3) {
            Convention1(angulation, rotation);
        } else {
            const float zero[3] = {0, 0, 0};
            Convention1(zero, rotation);
        }
        for (int k = 0; k < 9; ++k)
            EXPECT_NEAR(set.m_fRotation[k / 3][k % 3], rotation[k], 1e-6) << k;
        ExpectInverse(set, "golden");
        EXPECT_EQ(set.m_strOrientation, "RAH");
        EXPECT_EQ(set.m_strPatientBirthDate, version >= 4 ? "1970.01.01" : "n/a");

        // Per-slice phases: stored from version 5; a multi-slice set of versions 3 and 4
        // gets the whole-set phases for each of its two slices.
        if (version >= 5) {
            ASSERT_EQ(set.m_slicePhases.size(), 2u);
            EXPECT_EQ(set.m_slicePhases[1].m_fPhase1, -1.5f);
        } else if (version >= 3) {
            ASSERT_EQ(set.m_slicePhases.size(), 2u);
            EXPECT_EQ(set.m_slicePhases[1].m_fPhase0, 0.5f);
            EXPECT_EQ(set.m_slicePhases[1].m_fPhase1, -1.25f);
            EXPECT_EQ(set.m_slicePhases[1].m_fPivot, 2.0f);
        } else {
            EXPECT_TRUE(set.m_slicePhases.empty());
        }

        const std::vector<int32_t> ones(12, 1), stored = {1, 0, 1, 1, 1, 1, 0, 1, 1, 1, 1, 0};
        EXPECT_EQ(set.m_kSpaceMask, version >= 6 ? stored : ones);
        EXPECT_EQ(set.m_fSliceThickness, 15.0f);  // stored, or FOV z 30 / 2 slices
        EXPECT_EQ(set.m_fSliceGap, version >= 7 ? 0.5f : 0.0f);
        EXPECT_EQ(set.m_fExtra[0], version >= 8 ? 6.5f : 0.0f);
        EXPECT_EQ(set.m_fExtra[1], version >= 8 ? 0.75f : 1.0f);
        EXPECT_EQ(set.m_fExtra[2], version >= 8 ? 30.0f : 0.0f);
    }
}

TEST_F(CSISetRecordTest, SkippingReadsExactlyOneRecordOfEveryVersion)
{
    for (int version = 0; version <= 9; ++version) {
        TFile in;
        ASSERT_TRUE(in.Open(GoldenPath("csirecord_v" + std::to_string(version) + ".bin"), TFile::Mode::Read));
        EXPECT_TRUE(TCSISet::SkipProjectEntry(in, version)) << version;
        EXPECT_EQ(in.BytesLeft(), 0) << version;
    }
}

TEST_F(CSISetRecordTest, MapsNamedInTheRecordAreReadBesideTheDataFile)
{
    MakeDataFile("csi");
    test::WriteBytes(m_dir.File("csi_naa"), test::ReadBytes(GoldenPath("map_v9.bin")));
    test::TScriptedReport script;
    TCSISet set(&m_project);
    // "cho" has no map file: the record stands without it.
    ASSERT_TRUE(ReadRecord(GoldenPath("csirecord_v9.bin"), 9, set));
    EXPECT_EQ(script.Messages(), (std::vector<std::string>{"Cannot open map file " + m_dir.File("csi_cho")}));
    ASSERT_NE(set.m_pMapList, nullptr);
    ASSERT_EQ(set.m_pMapList->GetCount(), 1);
    const TMap* map = set.FindMap("naa");
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->GetCSISet(), &set);
    EXPECT_EQ(map->GetState(), TMap::kSaved);
    EXPECT_EQ(map->ValueCount(), 12u);  // the golden map's 3 x 2 x 2 grid
    // The map whose file did not read stays named for the project file.
    EXPECT_EQ(set.ListedMapNames(), (std::vector<std::string>{"naa", "cho"}));
    EXPECT_EQ(set.FindMap("cho"), nullptr);
    EXPECT_FALSE(set.DataFileMissing());
    // A map of that name made later takes its place.
    auto* cho = new TMap(&set);
    cho->name = "cho";
    set.AddMap(cho);
    EXPECT_EQ(set.ListedMapNames(), (std::vector<std::string>{"naa"}));
}

TEST_F(CSISetRecordTest, MapNamesKeepTheRecordsOrderWhenTheFirstMapFileDoesNotRead)
{
    MakeDataFile("csi");
    test::WriteBytes(m_dir.File("csi_cho"), test::ReadBytes(GoldenPath("map_v9.bin")));
    test::TScriptedReport script;
    TCSISet set(&m_project);
    ASSERT_TRUE(ReadRecord(GoldenPath("csirecord_v9.bin"), 9, set));
    EXPECT_EQ(script.Messages(), (std::vector<std::string>{"Cannot open map file " + m_dir.File("csi_naa")}));
    ASSERT_NE(set.FindMap("cho"), nullptr);
    EXPECT_EQ(set.ListedMapNames(), (std::vector<std::string>{"naa", "cho"}));
    // Written back, the record lists them as it did.
    WriteRecord(set);
    TCSISet again(&m_project);
    ASSERT_TRUE(ReadRecord(m_dir.File("record"), 9, again));
    EXPECT_EQ(again.ListedMapNames(), (std::vector<std::string>{"naa", "cho"}));
    // A map saved since comes after them.
    TMap* added = test::AddNamedMap(set, "cr");
    EXPECT_EQ(set.ListedMapNames(), (std::vector<std::string>{"naa", "cho", "cr"}));
    added->SetState(TMap::kNeverSaved);
    EXPECT_EQ(set.ListedMapNames(), (std::vector<std::string>{"naa", "cho"}));
}

TEST_F(CSISetRecordTest, MissingDataFileKeepsTheWholeRecord)
{
    TCSISet set(&m_project);
    EXPECT_TRUE(ReadRecord(GoldenPath("csirecord_v9.bin"), 9, set));
    EXPECT_EQ(m_file.BytesLeft(), 0);
    EXPECT_TRUE(set.DataFileMissing());
    EXPECT_EQ(set.GetName(), "csi");
    EXPECT_EQ(set.m_kSpaceMask.size(), 12u);
    EXPECT_EQ(set.ListedMapNames(), (std::vector<std::string>{"naa", "cho"}));
    EXPECT_FALSE(set.IsLoaded());
}

TEST_F(CSISetRecordTest, CorruptCountsAreRefused)
{
    MakeDataFile("csi");
    for (const char* name : {"csirecord_v9_boxes3.bin", "csirecord_v9_mask11.bin", "csirecord_v9_slices3.bin"}) {
        TCSISet set(&m_project);
        EXPECT_FALSE(ReadRecord(GoldenPath(name), 9, set)) << name;
        EXPECT_EQ(set.m_strName, "") << name;  // nothing taken over from a refused record
    }
    // A box count of 3 would index past the two-box table; the skip refuses it too.
    TFile in;
    ASSERT_TRUE(in.Open(GoldenPath("csirecord_v9_boxes3.bin"), TFile::Mode::Read));
    EXPECT_FALSE(TCSISet::SkipProjectEntry(in, 9));
}

TEST_F(CSISetRecordTest, EveryTruncationIsRefused)
{
    MakeDataFile("csi");
    const std::string golden = test::ReadBytes(GoldenPath("csirecord_v9.bin"));
    for (size_t length = 0; length < golden.size(); ++length) {
        test::WriteBytes(m_dir.File("cut"), golden.substr(0, length));
        TCSISet set(&m_project);
        EXPECT_FALSE(ReadRecord(m_dir.File("cut"), 9, set)) << length;
        TFile in;
        ASSERT_TRUE(in.Open(m_dir.File("cut"), TFile::Mode::Read));
        EXPECT_FALSE(TCSISet::SkipProjectEntry(in, 9)) << length;
    }
}

TEST_F(CSISetRecordTest, HostileFieldsAreRefused)
{
    MakeDataFile("csi");
    const std::string golden = test::ReadBytes(GoldenPath("csirecord_v9.bin"));
    auto patched = [&](size_t offset, int32_t value) {
        std::string bytes = golden;
        test::PutInt32LE(bytes, offset, value);
        return bytes;
    };
    const size_t dims = 24, sliceAxis = 4 * 24;
    struct Case {
        const char* what;
        size_t offset;
        int32_t value;
    };
    const Case cases[] = {
        {"matrix size 0", dims, 0},
        {"matrix size -1", dims + 4, -1},
        {"huge grid", dims, 1 << 30},
        {"slice axis 3", sliceAxis, 3},
        {"slice axis -1", sliceAxis, -1},
        {"no points", 36, 0},
    };
    for (const Case& c : cases) {
        test::WriteBytes(m_dir.File("bad"), patched(c.offset, c.value));
        TCSISet set(&m_project);
        EXPECT_FALSE(ReadRecord(m_dir.File("bad"), 9, set)) << c.what;
    }
}

TEST_F(CSISetRecordTest, NameThatLeavesTheProjectFolderIsRefused)
{
    TCSISet written(&m_project);
    FillSet(written);
    written.m_strName = "../outside";
    WriteRecord(written);
    test::WriteBytes(m_dir.File("outside"), "data");
    TCSISet read(&m_project);
    EXPECT_FALSE(ReadRecord(m_dir.File("record"), 9, read));
}

TEST_F(CSISetRecordTest, NameOfAnotherFileOfTheProjectIsRefused)
{
    // Its data-set file would be written over the project file, an image's pixel file or
    // another set's data-set file.
    m_project.m_strName = "p";
    auto* image = new TMRImage(&m_project);
    image->SetName("ax", false);
    image->SetPath(m_dir.File("ax"));
    m_project.m_pImageSet->Append(image);
    auto* first = new TCSISet(&m_project);
    FillSet(*first);
    first->SetFolder(m_dir.Path());
    m_project.m_pCSISetList->Add(first);
    for (const std::string name : {"p.tpj", "ax", "csi", "other"}) {
        SCOPED_TRACE(name);
        TCSISet written(&m_project);
        FillSet(written);
        written.m_strName = name;
        WriteRecord(written);
        MakeDataFile(name);
        TCSISet read(&m_project);
        EXPECT_EQ(ReadRecord(m_dir.File("record"), 9, read), name == "other");
        EXPECT_EQ(m_file.BytesLeft(), 0);
    }
}

TEST_F(CSISetRecordTest, SetWithoutSavedMapsWritesNoMapNames)
{
    TCSISet set(&m_project);
    FillSet(set);
    test::AddNamedMap(set, "naa", TMap::kNeverSaved);
    WriteRecord(set);
    const std::string bytes = test::ReadBytes(m_dir.File("record"));
    // After the seven texts "csi", source, six patient texts and three floats comes M = 0.
    const size_t texts = 4 * 26 + std::string("csi").size() + 1 + std::string("C:\\scans\\P12345.7").size() + 1 +
                         std::string("Doe^John").size() + 1 + std::string("Brain").size() + 1 +
                         std::string("2024.03.01").size() + 1 + std::string("1H").size() + 1 +
                         std::string("Supine").size() + 1 + std::string("HF").size() + 1;
    ASSERT_GT(bytes.size(), texts + 16);
    EXPECT_EQ(bytes.substr(texts + 12, 4), std::string(4, '\0'));
}
