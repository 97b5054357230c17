// The pre-11.0 P-file reader: what it takes from the dialog (voxel order, flips) and the
// header rules it does not share with the EXCITE reader.
#include <gtest/gtest.h>

#include <complex>
#include <memory>
#include <string>
#include <vector>

#include "gehdr/GETestSupport.h"
#include "model/TCSISet.h"
#include "readers/GEPfileTestFiles.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx::test;

namespace {

constexpr int kPre11 = 12;

TPfileHeader Pre11Header()
{
    TPfileHeader h;
    h.revision = kRev9;
    h.order = 0;
    h.swVersion = "09";
    h.points = 16;
    return h;
}

TCSIReadParams DialogOrder(int fast, int middle, int slow)
{
    TCSIReadParams p;
    p.m_nAxisOrder[0] = fast;
    p.m_nAxisOrder[1] = middle;
    p.m_nAxisOrder[2] = slow;
    return p;
}

// Samples whose value is the position of their spectrum in the file.
std::vector<std::complex<double>> NumberedSpectra(int spectra, int points)
{
    std::vector<std::complex<double>> all;
    for (int i = 0; i < spectra; ++i)
        for (int t = 0; t < points; ++t)
            all.emplace_back(i, t);
    return all;
}

using GEPre11Reader = PfileReaderTest;

}  // namespace

TEST_F(GEPre11Reader, HeaderRulesOfTheOlderFiles)
{
    const std::string path = m_folder.File("P9.7");

    // Any software before 11, also a version without digits (read as 0).
    for (const char* version : {"8", "LX"}) {
        TPfileHeader h = Pre11Header();
        h.swVersion = version;
        WriteBytes(path, EmptyGrid(h));
        EXPECT_NE(ReadAs(kPre11, path, DialogOrder(0, 1, 2)), nullptr) << version;
    }

    // A single voxel is a set of one voxel, not a refusal.
    TPfileHeader one = Pre11Header();
    one.dims[0] = one.dims[1] = 1;
    WriteBytes(path, EmptyGrid(one));
    auto set = ReadAs(kPre11, path, DialogOrder(0, 1, 2));
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->m_nSpatialDims, 1);
    EXPECT_EQ(set->VoxelCount(), 1u);

    // Eight slices of 10 mm span 80 mm along the slice axis; a localised 3-D acquisition
    // is centred on its volume, named by the short sequence name, without a new slab.
    TPfileHeader slab = Pre11Header();
    slab.dims[2] = 8;
    slab.sequenceName = "csi3d";
    slab.sequenceShortName = "PRESSCSI";
    WriteBytes(path, EmptyGrid(slab));
    set = ReadAs(kPre11, path, DialogOrder(0, 1, 2));
    ASSERT_NE(set, nullptr);
    EXPECT_FLOAT_EQ(set->m_fFOV[2], 80.0f);
    EXPECT_FLOAT_EQ(set->m_fSliceThickness, 10.0f);
    EXPECT_EQ(set->m_nVolumes, 1);
    EXPECT_FLOAT_EQ(set->m_fOffCentre[0], -4.0f);
    EXPECT_FLOAT_EQ(set->m_fOffCentre[2], 18.0f);

    // "prose" selects nothing here.
    slab.sequenceShortName = "prose";
    WriteBytes(path, EmptyGrid(slab));
    set = ReadAs(kPre11, path, DialogOrder(0, 1, 2));
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->m_nVolumes, 0);
    EXPECT_FLOAT_EQ(set->m_fOffCentre[2], 20.0f);
    EXPECT_EQ(m_report.Count(), 0u);
}

TEST_F(GEPre11Reader, VoxelOrderComesFromTheDialog)
{
    const std::string path = m_folder.File("P10.7");
    TPfileHeader h = Pre11Header();
    h.dims[0] = 4;
    h.dims[1] = 3;
    WriteBytes(path, PfileBytes(h, NumberedSpectra(12, h.points)));
    const struct {
        int order[3];
        int stride[3];  // file position of voxel (x, y, z) = x*stride[0] + y*stride[1] + z*stride[2]
    } cases[] = {{{0, 1, 2}, {1, 4, 12}}, {{1, 0, 2}, {3, 1, 12}}};
    for (const auto& c : cases) {
        TCSIReadParams p = DialogOrder(c.order[0], c.order[1], c.order[2]);
        p.m_bLoadRawData = 1;
        const auto set = ReadAs(kPre11, path, p);
        ASSERT_NE(set, nullptr);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_FLOAT_EQ(set->GetVoxel(x, y, 0)->GetReal(0), float(x * c.stride[0] + y * c.stride[1]))
                    << c.order[0] << c.order[1] << c.order[2] << " voxel " << x << "," << y;
    }
    EXPECT_EQ(m_report.Count(), 0u);
    // A block that names no order (all zero, as a batch run leaves it) reads nothing, and says why.
    TCSIReadParams zero;
    EXPECT_EQ(ReadAs(kPre11, path, zero), nullptr);
    EXPECT_EQ(m_report.Messages(), std::vector<std::string>{"Data file " + path +
                                                            " is not read: the order of its axes must name x, y "
                                                            "and z once each."});
}

TEST_F(GEPre11Reader, DialogFlipsFollowTheTransform)
{
    const std::string path = m_folder.File("P11.7");
    TPfileHeader h = Pre11Header();
    h.dims[2] = 4;
    const int at[3] = {1, 6, 1};
    WriteBytes(path, PfileBytes(h, KSpaceLine(h.dims, 3, at, LineFid(h.points), (h.field56 & 1) == 0)));
    const auto plain = ReadAs(kPre11, path, DialogOrder(0, 1, 2));
    TCSIReadParams p = DialogOrder(0, 1, 2);
    p.m_bInvert[0] = p.m_bInvert[2] = 1;
    const auto flipped = ReadAs(kPre11, path, p);
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(flipped, nullptr);
    // Without dialog flips the line stays where the transform put it: no fixed flips.
    const float peak = plain->GetVoxel(at[0], at[1], at[2])->GetMaxMagnitude();
    EXPECT_GT(peak, 1000.0f);
    for (int z = 0; z < 4; ++z)
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                EXPECT_NEAR(flipped->GetVoxel(x, y, z)->GetMaxMagnitude(),
                            plain->GetVoxel(7 - x, y, 3 - z)->GetMaxMagnitude(), 1e-6 * peak)
                    << x << "," << y << "," << z;
    EXPECT_EQ(m_report.Count(), 0u);
}
