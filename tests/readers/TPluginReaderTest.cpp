#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "platform/PluginTable.h"
#include "platform/TDynamicLibrary.h"
#include "readers/CSIFormats.h"
#include "readers/PluginRecords.h"
#include "readers/TPluginReader.h"
#include "support/ScriptedReport.h"

namespace {

using vx::test::TScriptedReport;

// Loads the test plug-ins' folder as the application does and publishes the table:
// "vx_test_plugin" (reads) is row 0 = format 23, "vx_test_plugin_noread" row 1 = 24.
class PluginReaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string failure;
        m_table = vx::LoadPluginFolder(VX_READER_PLUGINS, failure);
        ASSERT_EQ(failure, "");
        ASSERT_EQ(m_table.size(), 2u);
        ASSERT_EQ(m_table[0].strFormat, "Test Plugin Format");
        vx::PublishPluginTable(m_table);
        m_freeCalls = reinterpret_cast<int (*)()>(m_table[0].hModule->Symbol("TestPluginFreeCalls"));
        m_lastFreed = reinterpret_cast<void* (*)()>(m_table[0].hModule->Symbol("TestPluginLastFreed"));
        m_lastParams = reinterpret_cast<const unsigned char* (*)()>(m_table[0].hModule->Symbol("TestPluginLastParams"));
        ASSERT_TRUE(m_freeCalls && m_lastFreed && m_lastParams);
    }
    void TearDown() override
    {
        vx::PublishPluginTable({});
        vx::FreePlugins(m_table);
    }

    std::unique_ptr<TCSISet> Read(const std::string& path, TCSIReadParams p = {}, int format = 23)
    {
        p.m_nFormat = format;
        TPluginReader reader(&p);
        return std::unique_ptr<TCSISet>(reader.Read(path));
    }

    std::vector<TPluginRecord> m_table;
    int (*m_freeCalls)() = nullptr;
    void* (*m_lastFreed)() = nullptr;
    const unsigned char* (*m_lastParams)() = nullptr;
};

}  // namespace

TEST_F(PluginReaderTest, FormatNamesFollowTheTable)
{
    EXPECT_EQ(FormatCount(), 25);
    EXPECT_EQ(FormatName(23), "Test Plugin Format");
    EXPECT_EQ(FormatName(24), "Listed Without Reader");
    EXPECT_EQ(FormatName(25), "");
}

TEST_F(PluginReaderTest, RecordBecomesASetWithTheRawPostRead)
{
    TScriptedReport report;
    TCSIReadParams p;
    p.m_bLoadRawData = 1;  // the plug-in clears nothing, so the raw samples stay
    auto set = Read("/data/scan_ok.dat", p);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(report.Count(), 0u);
    EXPECT_EQ(m_freeCalls(), 1);
    EXPECT_NE(m_lastFreed(), nullptr);
    EXPECT_EQ(set->m_strDataPath, "/data/scan_ok.dat");
    // The record's values, in the set's fields (a null text pointer is the empty text).
    EXPECT_EQ((std::vector<std::string>{set->m_strName, set->m_strExamName, set->m_strExamDate, set->m_strPatientName,
                                        set->m_strPatientOrientation, set->m_strNucleus}),
              (std::vector<std::string>{"scan_ok", "Exam", "2024.05.06", "", "HF", "1H"}));
    EXPECT_EQ((std::vector<int>{set->m_nFormat, set->m_nDim[0], set->m_nDim[2], set->m_nSpatialDims, set->m_nPoints,
                                set->m_nLastPoint, set->m_nSliceAxis, set->m_nSpectralWidth, set->m_bEchoShifted,
                                set->m_nEchoPosition, set->m_nVolumes}),
              (std::vector<int>{23, 8, 1, 2, 512, 511, 2, 2500, 1, 3, 1}));
    EXPECT_EQ((std::vector<float>{set->m_fPPMCentrePoint, set->m_fFrequency, set->m_fFOV[1], set->m_fAngulation[2],
                                  set->m_fOffCentre[0], set->m_fRotation[1][1], set->m_fRotation[0][1],
                                  set->m_fRotationInverse[2][2], set->m_fSliceThickness, set->m_fSliceGap,
                                  set->m_fAverages, set->m_fTR, set->m_fTE, set->m_fVolSize[2][0], set->m_fExtra[2]}),
              (std::vector<float>{256, 127.5f, 161, 3, -3, 1, 0, 1, 10, 1.5f, 64, 1500, 35, 7, 1}));
    // Voxel (1, 0, 0) holds samples 512 to 1023 of the record.
    EXPECT_EQ(set->GetVoxel(1, 0, 0)->GetReal(0), 1024.0f);
    EXPECT_EQ(set->GetVoxel(1, 0, 0)->GetImag(511), 2047.0f);
    EXPECT_EQ(set->m_bFrequencyDomain, 0) << "no post-read step";
    EXPECT_EQ(set->m_kSpaceMask.size(), 64u);
}

TEST_F(PluginReaderTest, ParameterRecordCarriesTheDialogsValues)
{
    TScriptedReport report;
    TCSIReadParams p;
    p.m_nOrientation = 1;
    p.m_nDim[1] = 12;
    p.m_nPoints = 256;
    p.m_fFrequency = 63.5f;
    p.m_fFOV[2] = 30.0f;
    p.m_fOffCentre[2] = -9.0f;
    p.m_bEchoAcquisition = 1;
    p.m_fEchoPeakTime = 2.5f;
    p.m_bSpare = 1;
    p.m_nHeaderSize = 77;
    p.m_bSwapBytes = 1;
    p.m_nAxisOrder[0] = 2;
    p.m_bInvert[1] = 1;
    p.m_bCenter[2] = 1;
    p.m_bHalfVoxelShift = 1;
    p.m_bLoadRawData = 1;
    ASSERT_NE(Read("/data/ok.dat", p), nullptr);
    const unsigned char* r = m_lastParams();
    auto i32 = [&](size_t off) { int32_t v; std::memcpy(&v, r + off, 4); return v; };
    auto f32 = [&](size_t off) { float v; std::memcpy(&v, r + off, 4); return v; };
    EXPECT_EQ((std::vector<int>{i32(0), i32(8), i32(16), i32(80), i32(88)}), (std::vector<int>{1, 12, 256, 77, 2}));
    EXPECT_EQ((std::vector<float>{f32(24), f32(36), f32(60), f32(68)}), (std::vector<float>{63.5f, 30, -9, 2.5f}));
    for (size_t flag : {64, 72, 84, 101, 105, 110, 113})
        EXPECT_EQ(r[flag], 1) << "byte " << flag;
    EXPECT_EQ(r[65] | r[66] | r[67] | r[114] | r[115], 0) << "fill bytes";

    // A round trip through the record keeps every field it carries.
    unsigned char record[kPluginParamsBytes];
    PackPluginParams(p, record);
    TCSIReadParams back;
    back.m_nFormat = 31;
    UnpackPluginParams(record, back);
    EXPECT_EQ(std::memcmp(&back.m_fFOV, &p.m_fFOV, offsetof(TCSIReadParams, m_nSpatialDims)), 0);
    EXPECT_EQ(back.m_nFormat, 31);
}

TEST_F(PluginReaderTest, PluginSteersThePostReadThroughTheRecord)
{
    TScriptedReport report;
    // The plug-in marks its data as spectra in voxel space: no transform, but the set
    // is finished as frequency-domain data; "rawflag" also skips the post-read step.
    auto finished = Read("/data/ok.dat");
    ASSERT_NE(finished, nullptr);
    EXPECT_EQ(finished->m_bFrequencyDomain, 1);
    EXPECT_EQ(finished->m_bKSpace, 0);
    EXPECT_EQ(finished->GetVoxel(1, 0, 0)->GetReal(0), 1024.0f) << "voxel-space spectra stay in place";

    auto raw = Read("/data/rawflag.dat");
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(raw->m_bFrequencyDomain, 0);
    EXPECT_EQ(raw->m_bKSpace, 1);
    EXPECT_EQ(report.Count(), 0u);
}

TEST_F(PluginReaderTest, FlagBytesOfTheRecordBecomeFlags)
{
    // A project file keeps these as flags: any other value would come back changed.
    TScriptedReport report;
    auto set = Read("/data/rawflag_flags2.dat");
    ASSERT_NE(set, nullptr);
    EXPECT_EQ((std::vector<int>{set->m_bEchoShifted, set->m_bFrequencyDomain, set->m_bKSpace}),
              (std::vector<int>{1, 1, 1}));
}

TEST_F(PluginReaderTest, FailuresFreeTheRecordOnceAndReport)
{
    TScriptedReport report;
    const int before = m_freeCalls();
    EXPECT_EQ(Read("/data/null.dat"), nullptr);
    EXPECT_EQ(m_freeCalls(), before + 1);
    EXPECT_EQ(m_lastFreed(), nullptr) << "FreeCSISet gets the null record";
    EXPECT_EQ(Read("/data/nosamples.dat"), nullptr);
    EXPECT_EQ(m_freeCalls(), before + 2);
    EXPECT_NE(m_lastFreed(), nullptr);
    EXPECT_EQ(Read("/data/badecho.dat"), nullptr);
    EXPECT_EQ(m_freeCalls(), before + 3);
    ASSERT_EQ(report.Messages().size(), 3u);
    EXPECT_EQ(report.Messages()[0], "The DLL failed to read the data.");
    EXPECT_EQ(report.Messages()[1], "The DLL failed to read the data.");
    EXPECT_EQ(report.Messages()[2], "Some parameters of the CSI set are invalid.");

    // A listed plug-in without the read exports.
    report.Clear();
    EXPECT_EQ(Read("/data/ok.dat", {}, 24), nullptr);
    ASSERT_EQ(report.Messages().size(), 1u);
    EXPECT_EQ(report.Messages()[0], "Failed to get the exported functions CreateCSISet and FreeCSISet.");

    // No row for the index: nothing read, nothing said.
    report.Clear();
    EXPECT_EQ(Read("/data/ok.dat", {}, 25), nullptr);
    EXPECT_EQ(Read("/data/ok.dat", {}, -1), nullptr);
    EXPECT_EQ(report.Count(), 0u);
    EXPECT_EQ(m_freeCalls(), before + 3);
}
