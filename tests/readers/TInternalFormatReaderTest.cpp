#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "platform/Globals.h"
#include "readers/TInternalFormatReader.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

namespace {

using vx::test::TScriptedReport;
using vx::test::TTempFolder;

// Writes a multi-slice set of 2 x 2 x 4 voxels (slices along z, 40 mm) whose sample i
// of voxel v is (v + i, -i).
std::string WriteMultiSliceSet(const TTempFolder& folder)
{
    TCSISet set;
    set.m_nDim[0] = 2;
    set.m_nDim[1] = 2;
    set.m_nDim[2] = 4;
    set.m_fFOV[2] = 40.0f;
    set.m_nPoints = 8;
    set.m_nLastPoint = 7;
    set.m_nSpatialDims = 2;
    set.m_nSliceAxis = 2;
    set.m_bMultiSlice = 1;
    set.m_bFrequencyDomain = 1;
    set.m_fFrequency = 123.2f;
    set.m_nSpectralWidth = 1500;
    set.m_nFormat = 5;  // the set first came from another format
    EXPECT_TRUE(set.AllocateVoxels());
    set.InitVoxels();
    for (size_t v = 0; v < set.VoxelCount(); ++v) {
        std::vector<TComplex> s;
        for (int i = 0; i < 8; ++i)
            s.emplace_back(float(v + i), float(-i));
        set.GetVoxel(v)->SetComplexData(s.data());
    }
    set.m_bLoaded = true;
    const std::string path = folder.File("multi.dat");
    EXPECT_TRUE(set.WriteDataFile(path));
    return path;
}

std::unique_ptr<TCSISet> ReadInternal(const std::string& path, TCSIReadParams params = {})
{
    params.m_nFormat = 22;
    TInternalFormatReader reader(&params);
    return std::unique_ptr<TCSISet>(reader.Read(path));
}

}  // namespace

TEST(InternalFormatReader, MultiSliceSetGetsZeroPhasesAndSliceThickness)
{
    TScriptedReport report;
    TTempFolder folder;
    const std::string path = WriteMultiSliceSet(folder);
    auto set = ReadInternal(path);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->m_nFormat, 5) << "the file keeps the format the set was first read with";
    EXPECT_EQ(set->m_strName, "multi");
    ASSERT_EQ(set->m_slicePhases.size(), 4u);
    for (const TSlicePhase& p : set->m_slicePhases) {
        EXPECT_EQ(p.m_fPhase0, 0.0f);
        EXPECT_EQ(p.m_fPhase1, 0.0f);
        EXPECT_EQ(p.m_fPivot, 0.0f);
    }
    EXPECT_EQ(set->m_fSliceThickness, 10.0f);
    EXPECT_EQ(set->m_fSliceGap, 0.0f);
    EXPECT_EQ(set->m_kSpaceMask, std::vector<int32_t>(16, 1));
    EXPECT_EQ(set->GetVoxel(1, 1, 3)->GetReal(2), 17.0f);
    EXPECT_EQ(report.Count(), 0u);
}

TEST(InternalFormatReader, DialogOptionsHaveNoEffect)
{
    TScriptedReport report;
    TTempFolder folder;
    const std::string path = WriteMultiSliceSet(folder);
    TCSIReadParams options;
    options.m_bNormalize = 1;
    options.m_bInvert[0] = 1;
    options.m_bRemoveOffset = 1;
    options.m_bFlipFrequency = 1;
    options.m_nDim[0] = 9;
    auto set = ReadInternal(path, options);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->m_nDim[0], 2);
    EXPECT_EQ(set->GetVoxel(0, 0, 0)->GetReal(1), 1.0f);
    EXPECT_EQ(set->GetVoxel(0, 0, 0)->GetImag(1), -1.0f);
    EXPECT_EQ(set->GetVoxel(1, 0, 0)->GetReal(0), 1.0f);
}

TEST(InternalFormatReader, DamagedOrInvalidFilesAreReported)
{
    TScriptedReport report;
    TTempFolder folder;
    const std::string path = WriteMultiSliceSet(folder);
    const std::string bytes = vx::test::ReadBytes(path);

    // A truncated file: the set's own message, then the reader's.
    const std::string cut = folder.File("cut.dat");
    vx::test::WriteBytes(cut, bytes.substr(0, bytes.size() - 1));
    EXPECT_EQ(ReadInternal(cut), nullptr);
    ASSERT_EQ(report.Messages().size(), 2u);
    EXPECT_EQ(report.Messages()[0], "The CSI data file " + cut + " is invalid.");
    EXPECT_EQ(report.Messages()[1], "Data file " + cut + " cannot be read or is invalid.");

    // A file that reads but has no spectral width: the reader's message only.
    report.Clear();
    std::string noWidth = bytes;
    noWidth.replace(56, 4, std::string(4, '\0'));
    const std::string zero = folder.File("zero.dat");
    vx::test::WriteBytes(zero, noWidth);
    EXPECT_EQ(ReadInternal(zero), nullptr);
    ASSERT_EQ(report.Messages().size(), 1u);
    EXPECT_EQ(report.Messages()[0], "Data file " + zero + " cannot be read or is invalid.");

    // Matrix sizes whose product wraps around 64 bits are refused, not read as an
    // empty grid with huge sizes.
    report.Clear();
    std::string wrapped = bytes;
    const int32_t dims[3] = {1 << 26, 1 << 24, 1 << 25};
    wrapped.replace(32, 12, std::string(reinterpret_cast<const char*>(dims), 12));
    const std::string wrap = folder.File("wrap.dat");
    vx::test::WriteBytes(wrap, wrapped);
    EXPECT_EQ(ReadInternal(wrap), nullptr);
    ASSERT_EQ(report.Messages().size(), 2u);
    EXPECT_EQ(report.Messages()[0], "The CSI data file " + wrap + " is invalid.");

    // Batch mode: both lines in the log.
    report.Clear();
    vx::ResetGlobals();
    g_bBatchMode = true;
    EXPECT_EQ(ReadInternal(folder.File("absent.dat")), nullptr);
    EXPECT_EQ(g_batchLog, "Can not open CSI data set file " + folder.File("absent.dat") + "\r\n" + "Data file " +
                              folder.File("absent.dat") + " cannot be read or is invalid.\r\n");
    EXPECT_EQ(report.Count(), 0u);
    vx::ResetGlobals();
}
