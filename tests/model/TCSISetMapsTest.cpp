// Parameters of a CSI set by number and its voxel volume.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "support/CSISetBuilders.h"
#include "support/ScriptedReport.h"

using namespace vx;

TEST(CSISetParams, ByNumber)
{
    TCSISet set;
    const float v[3] = {200.5f, -12.0f, 3.75f};
    struct Case {
        int index;
        float value, readBack;
    };
    // Spectral width and points are integers: the value is truncated.
    for (const Case c : {Case{0, 2.5f, 2.5f}, Case{1, -6.0f, -6.0f}, Case{2, 127.75f, 127.75f},
                         Case{3, 1999.9f, 1999.0f}, Case{4, 512.7f, 512.0f}}) {
        EXPECT_TRUE(set.SetScalarParam(c.index, c.value)) << c.index;
        EXPECT_EQ(set.GetScalarParam(c.index), c.readBack) << c.index;
    }
    EXPECT_EQ(set.m_fExtra[1], 2.5f);   // coil quality factor
    EXPECT_EQ(set.m_fExtra[2], -6.0f);  // receiver gain
    EXPECT_EQ(set.m_nSpectralWidth, 1999);
    EXPECT_EQ(set.GetScalarParam(5), 0.0f);
    EXPECT_FALSE(set.SetScalarParam(9, 3.0f));
    set.SetScalarParam(3, 1e20f);  // beyond the int range: no undefined conversion
    EXPECT_EQ(set.m_nSpectralWidth, 2147483647);

    for (int index : {5, 6, 7, 8})
        EXPECT_TRUE(set.SetVectorParam(index, v)) << index;
    float out[3] = {9, 9, 9};
    set.GetVectorParam(8, out);
    EXPECT_EQ(std::vector<float>(out, out + 3), (std::vector<float>{200.0f, -12.0f, 3.0f}));
    EXPECT_EQ(set.m_fFOV[0], 200.5f);
    EXPECT_EQ(set.m_fOffCentre[1], -12.0f);
    EXPECT_EQ(set.m_fAngulation[2], 3.75f);
    set.GetVectorParam(4, out);  // another index leaves the output alone
    EXPECT_EQ(out[0], 200.0f);
    EXPECT_FALSE(set.SetVectorParam(2, v));
}

TEST(CSISetParams, PointsAndMatrixStayWhileTheSpectraExist)
{
    TCSISet set;
    test::FillSet(set, 4, 3, 2, 64, [](int, int) { return TComplex(1, 0); });
    test::TScriptedReport report;
    const float bigger[3] = {8, 3, 2}, same[3] = {4.5f, 3, 2};
    EXPECT_FALSE(set.SetScalarParam(4, 128.0f));
    EXPECT_FALSE(set.SetVectorParam(8, bigger));
    EXPECT_EQ(set.m_nPoints, 64);
    EXPECT_EQ(set.m_nDim[0], 4);
    EXPECT_EQ(report.Messages(),
              (std::vector<std::string>{"The number of points can not be changed while the CSI set holds spectra.",
                                        "The matrix size can not be changed while the CSI set holds spectra."}));
    EXPECT_TRUE(set.SetScalarParam(4, 64.0f));  // no change
    EXPECT_TRUE(set.SetVectorParam(8, same));
    set.FreeSpectra();
    EXPECT_TRUE(set.SetVectorParam(8, bigger));
    EXPECT_EQ(set.m_nDim[0], 8);
    EXPECT_EQ(report.Count(), 2u);
}

TEST(CSISetParams, VoxelVolumeInMillilitres)
{
    // FOV 200 x 150 x 40 mm over 10 x 5 x 4 voxels: 20 x 30 x 10 mm; thickness 8 mm.
    const std::pair<int, float> cases[] = {{2, 20 * 30 * 8e-3f}, {1, 20 * 10 * 8e-3f}, {0, 30 * 10 * 8e-3f}, {3, 0}};
    for (const auto& [sliceAxis, volume] : cases) {
        TCSISet set;
        const float fov[3] = {200, 150, 40}, dim[3] = {10, 5, 4};
        set.SetVectorParam(5, fov);
        set.SetVectorParam(8, dim);
        set.m_fSliceThickness = 8;
        set.m_nSliceAxis = sliceAxis;
        EXPECT_FLOAT_EQ(set.GetVoxelVolume(), volume) << sliceAxis;
    }
}
