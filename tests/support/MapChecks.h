#pragma once
// Comparisons of metabolite maps for the tests of the map file and of projects with maps.
#include <gtest/gtest.h>

#include <string>

#include "model/TMap.h"

namespace vx::test {

// Every field the map file stores: `got` equals `want`; the fields a layout of `version`
// lacks equal those of `kept` (the map's values before it was read).
inline void ExpectStoredMapFields(const TMapParams& got, const TMapParams& want, const TMapParams& kept, int version)
{
    const TMapParams& v3 = version >= 3 ? want : kept;
    const TMapParams& v8 = version >= 8 ? want : kept;
    for (int d = 0; d < 3; ++d) {
        EXPECT_EQ(got.voxelShift[d], want.voxelShift[d]) << d;
        EXPECT_EQ(got.fov[d], want.fov[d]) << d;
        EXPECT_EQ(got.size[d], want.size[d]) << d;
        EXPECT_EQ(got.angulation[d], v3.angulation[d]) << d;
        EXPECT_EQ(got.offCentre[d], v3.offCentre[d]) << d;
        EXPECT_EQ(got.referenceVoxel[d], v8.referenceVoxel[d]) << d;
    }
    EXPECT_EQ(got.selectedOnly, want.selectedOnly);
    EXPECT_EQ(got.aux1, want.aux1);
    EXPECT_EQ(got.peakEndPPM, want.peakEndPPM);
    EXPECT_EQ(got.peakStartPPM, want.peakStartPPM);
    EXPECT_EQ(got.aux2, want.aux2);
    EXPECT_EQ(got.method, want.method);
    EXPECT_EQ(got.aux3, want.aux3);
    EXPECT_EQ(got.centreOnPeak, want.centreOnPeak);
    EXPECT_EQ(got.ratioOfPeaks, want.ratioOfPeaks);
    EXPECT_EQ(got.refPeakEndPPM, want.refPeakEndPPM);
    EXPECT_EQ(got.refPeakStartPPM, want.refPeakStartPPM);
    EXPECT_EQ(got.maxMagnitude, want.maxMagnitude);
    EXPECT_EQ(got.maxImag, want.maxImag);
    EXPECT_EQ(got.maxReal, want.maxReal);
    EXPECT_EQ(got.minMagnitude, want.minMagnitude);
    EXPECT_EQ(got.minImag, want.minImag);
    EXPECT_EQ(got.minReal, want.minReal);
    EXPECT_EQ(got.useInternalReference, v8.useInternalReference);
    EXPECT_EQ(got.useReferenceMap, v8.useReferenceMap);
    EXPECT_EQ(got.molarUnit, v8.molarUnit);
    EXPECT_EQ(got.relaxationCorrection, v8.relaxationCorrection);
    EXPECT_EQ(got.quantScale, v8.quantScale);
    EXPECT_EQ(got.aux5, v8.aux5);
    EXPECT_EQ(got.aux6, v8.aux6);
    EXPECT_EQ(got.referenceConcentration, v8.referenceConcentration);
    EXPECT_EQ(got.aux4, v8.aux4);
    EXPECT_EQ(got.t1, v8.t1);
    EXPECT_EQ(got.t2, v8.t2);
    // The names are stored as "n/a" when no reference map is used.
    auto stored = [](const TMapParams& p, const std::string& name) { return p.useReferenceMap ? name : "n/a"; };
    EXPECT_EQ(stored(got, got.referenceSetName), stored(v8, v8.referenceSetName));
    EXPECT_EQ(stored(got, got.referenceMapName), stored(v8, v8.referenceMapName));
}

// The stored fields and every value of two maps are equal.
inline void ExpectSameStoredMap(const TMap& got, const TMap& want)
{
    ExpectStoredMapFields(got, want, want, 9);
    ASSERT_EQ(got.ValueCount(), want.ValueCount());
    for (size_t i = 0; i < got.ValueCount(); ++i)
        EXPECT_EQ(got.Values()[i], want.Values()[i]) << i;
}

}  // namespace vx::test
