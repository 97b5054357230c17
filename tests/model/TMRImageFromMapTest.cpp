// An MR image made from one plane of a metabolite map.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "model/drawing/BitmapHelpers.h"
#include "model/TCSISet.h"
#include "model/TMRImage.h"
#include "model/TMap.h"
#include "model/TProject.h"
#include "model/math/TextHelpers.h"
#include "support/ScriptedReport.h"

namespace {

// Value of voxel (x, y, z).
TComplex Value(int x, int y, int z)
{
    return TComplex(static_cast<float>(x + 10 * y + 100 * z), -static_cast<float>(x + y));
}

// A 4 x 3 x 2 map over 40 x 30 x 20 mm with the values above.
void MakeMap(TMap& map)
{
    const int dim[3] = {4, 3, 2};
    std::vector<TComplex> values;
    for (int z = 0; z < 2; ++z)
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                values.push_back(Value(x, y, z));
    ASSERT_TRUE(map.SetGrid(dim, values));
    map.fov[0] = 40;
    map.fov[1] = 30;
    map.fov[2] = 20;
    map.name = "NAA_map";
    map.UpdateStatistics();
    map.displayMin = 13;
    map.displayMax = 113;
}

class MapImageTest : public ::testing::Test {
protected:
    void SetUp() override { m_project.m_strFolder = "/projects/p1"; }
    void TearDown() override { m_project.m_pWorkSet = nullptr; }
    TCSISet m_workSet;
    TProject m_project;
};

}  // namespace

TEST_F(MapImageTest, EveryPlaneAlongEveryAxisBecomesAnImage)
{
    TMap map;
    MakeMap(map);
    m_project.m_display.m_nFlags = TSpectrumDisplayParams::kGrid | TSpectrumDisplayParams::kReal;
    const double range = map.maxReal - map.minReal;  // 0 .. 123
    for (int axis = 0; axis < 3; ++axis) {
        const int a = axis == 0 ? 1 : 0, b = axis == 2 ? 1 : 2;
        const int n = map.size[axis];
        for (int k = 0; k < n; ++k) {
            SCOPED_TRACE("axis " + std::to_string(axis) + " plane " + std::to_string(k));
            TMRImage image(&m_project);
            const float centre = (static_cast<float>(k) - n / 2.0f + 0.5f) * map.fov[axis] / static_cast<float>(n);
            ASSERT_TRUE(image.CreateFromCSIMap(&map, axis, centre));
            EXPECT_EQ(image.GetName(), "NAA_map");
            EXPECT_EQ(image.GetPath(), "/projects/p1/NAA_map");
            EXPECT_EQ(image.GetOrientation(), axis);
            EXPECT_FLOAT_EQ(image.GetSlicePosition(), centre);
            ASSERT_EQ(image.GetWidth(), map.size[a]);
            ASSERT_EQ(image.GetHeight(), map.size[b]);
            EXPECT_FLOAT_EQ(image.GetFOVX(), map.fov[a]);
            EXPECT_FLOAT_EQ(image.GetFOVY(), map.fov[b]);
            EXPECT_TRUE(image.IsLoaded());
            for (int r = 0; r < image.GetHeight(); ++r)
                for (int c = 0; c < image.GetWidth(); ++c) {
                    int v[3];
                    v[axis] = k;
                    v[a] = c;
                    v[b] = r;
                    const float real = Value(v[0], v[1], v[2]).real();
                    EXPECT_EQ(image.GetFloatValues()[static_cast<size_t>(r * image.GetWidth() + c)], real);
                    EXPECT_EQ(image.GetPixel(c, r), static_cast<int>((real - map.minReal) * 1000 / range));
                }
            EXPECT_EQ(image.GetStoredWindowLow(), static_cast<int>(13 * 1000 / range));
            EXPECT_EQ(image.GetStoredWindowHigh(), static_cast<int>(113 * 1000 / range));
            EXPECT_FLOAT_EQ(image.GetValueMax(), map.maxReal);
            EXPECT_FLOAT_EQ(image.GetStoredMax(), 1000);
            // Shown in real units, the window is the map's display range again.
            EXPECT_NEAR(image.GetWindowHigh(), 113, 0.2);
        }
    }
}

TEST_F(MapImageTest, ThePartFollowsTheDisplayFlagsAndThePlaneIsPlacedInTheWorkSet)
{
    TMap map;
    MakeMap(map);
    m_workSet.m_fOffCentre[0] = 5;
    m_workSet.m_fOffCentre[1] = 6;
    m_workSet.m_fOffCentre[2] = 7;
    m_project.m_pWorkSet = &m_workSet;

    m_project.m_display.m_nFlags = TSpectrumDisplayParams::kGrid | TSpectrumDisplayParams::kMagnitude;
    TMRImage magnitude(&m_project);
    ASSERT_TRUE(magnitude.CreateFromCSIMap(&map, 2, 5));  // plane z = 1
    EXPECT_FLOAT_EQ(magnitude.GetFloatValues()[5], std::abs(Value(1, 1, 1)));
    EXPECT_FLOAT_EQ(magnitude.GetValueMin(), map.minMagnitude);
    float position[3];
    magnitude.GetPosition(position);
    EXPECT_FLOAT_EQ(position[0], 5);  // the set's frame negates z, then adds the off-centre
    EXPECT_FLOAT_EQ(position[1], 6);
    EXPECT_FLOAT_EQ(position[2], -5 + 7);

    m_project.m_display.m_nFlags = TSpectrumDisplayParams::kImaginary;
    TMRImage imaginary(&m_project);
    ASSERT_TRUE(imaginary.CreateFromCSIMap(&map, 2, -5));
    EXPECT_FLOAT_EQ(imaginary.GetFloatValues()[5], -2);
    EXPECT_FLOAT_EQ(imaginary.GetValueMax(), map.maxImag);
}

TEST_F(MapImageTest, UnitsOfQuantifiedMaps)
{
    const struct {
        int referenceMap, internalReference, molar;
        const char* unit;
    } cases[] = {{0, 0, 1, ""}, {1, 0, 0, "M"}, {0, 1, 1, "M"}, {1, 1, 0, "moles"}};
    for (const auto& c : cases) {
        TMap map;
        MakeMap(map);
        map.useReferenceMap = c.referenceMap;
        map.useInternalReference = c.internalReference;
        map.molarUnit = c.molar;
        TMRImage image(&m_project);
        ASSERT_TRUE(image.CreateFromCSIMap(&map, 2, 5));
        EXPECT_EQ(image.GetValueUnit(), c.unit);
        EXPECT_EQ(image.GetPixelValueText(1, 1), FloatToStringG(Value(1, 1, 1).real(), 3) + c.unit);
    }
}

TEST_F(MapImageTest, RefusalsLeaveTheImageAsItWas)
{
    vx::test::TScriptedReport report;
    TMap map;
    MakeMap(map);
    TMRImage image(&m_project);
    image.SetName("kept", false);
    EXPECT_FALSE(image.CreateFromCSIMap(nullptr, 2, 0));
    EXPECT_FALSE(image.CreateFromCSIMap(&map, 3, 0));
    EXPECT_FALSE(image.CreateFromCSIMap(&map, 2, 10));  // the upper edge of the map
    EXPECT_FALSE(image.CreateFromCSIMap(&map, 0, std::nanf("")));
    TMap empty;  // no values
    empty.size[0] = empty.size[1] = empty.size[2] = 4;
    empty.fov[0] = empty.fov[1] = empty.fov[2] = 40;
    EXPECT_FALSE(image.CreateFromCSIMap(&empty, 2, 0));
    EXPECT_EQ(report.Messages(), (std::vector<std::string>{"Slice dimension is not valid.",
                                                           "There is no CSI map available for this image.",
                                                           "There is no CSI map available for this image.",
                                                           "There is no CSI map available for this image."}));
    EXPECT_EQ(image.GetName(), "kept");
    EXPECT_FALSE(image.IsLoaded());

    // A map of one value throughout has no range: every pixel lies at 0.
    const int dim[3] = {2, 2, 1};
    TMap flat;
    ASSERT_TRUE(flat.SetGrid(dim, std::vector<TComplex>(4, TComplex(3, 0))));
    flat.fov[0] = flat.fov[1] = flat.fov[2] = 10;
    flat.name = "flat";
    flat.UpdateStatistics();
    ASSERT_TRUE(image.CreateFromCSIMap(&flat, 2, 0));
    EXPECT_EQ(image.GetPixels(), std::vector<int16_t>(4, 0));
}

TEST_F(MapImageTest, AMapImageFusedOverA64By64Image)
{
    // A 64 x 64 image of constant grey 100 of 200 under the plane z = 0 of the map.
    TMap map;
    MakeMap(map);
    TMRImage map0(&m_project);
    ASSERT_TRUE(map0.CreateFromCSIMap(&map, 2, -5));
    TMRImage image(nullptr);
    image.SetWidth(64, false);
    image.SetHeight(64, false);
    image.SetParameter(40, TMRImage::ParamFOVX, false);
    image.SetParameter(30, TMRImage::ParamFOVY, false);
    ASSERT_TRUE(image.SetPixels(std::vector<int16_t>(64 * 64, 100)));
    image.SetStoredWindow(0, 200);
    const std::vector<uint32_t> picture = image.RenderMapOverlay({&map0}, 0.5f, 0.5f, kColourGray);
    // The centre of pixel (x, y) lies in map voxel (x / 16, (y + 0.5) * 3 / 64); its grey level in the map's
    // window 13..113 (stored units) is added at half weight to half of 127.
    const int samples[][2] = {{0, 0}, {20, 30}, {63, 63}, {47, 21}};
    for (const auto& s : samples) {
        const int cx = s[0] / 16, cy = (2 * s[1] + 1) * 3 / 128;
        const int stored = map0.GetPixel(cx, cy);
        const int low = map0.GetStoredWindowLow(), high = map0.GetStoredWindowHigh();
        const int grey = stored < low ? 0 : stored > high ? 255 : (stored - low) * 255 / (high - low);
        const int expected = std::min(255, static_cast<int>(grey * 0.5 + static_cast<int>(127 * 0.5)));
        const uint32_t c = picture[static_cast<size_t>(s[1] * 64 + s[0])];
        EXPECT_EQ(static_cast<int>(c & 0xff), expected) << s[0] << "," << s[1];
        EXPECT_EQ(static_cast<int>(c >> 16 & 0xff), expected);
    }
}
