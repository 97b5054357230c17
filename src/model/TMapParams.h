#pragma once
// The parameter block of a metabolite map: what the map is made from (peak intervals,
// method, flags), the quantitation settings, the geometry copied from its CSI set and
// the statistics of its values. Passed by value to TMap::Create; the map file stores
// most fields one by one (never the block as it lies in memory).
#include <cstdint>
#include <string>

class TCSISet;

// How a map's values are made.
enum : int32_t {
    kMapAreaIntegration = 0,  // sum of the samples of the peak interval
    kMapPrincipalComponent = 1,  // area under the leading principal component of the interval
    kMapFromAnalysis = 2,     // scores of one component of an analysis (TComponentMap)
};

struct TMapParams {
    int32_t size[3] = {0, 0, 0};  // grid x, y, z
    int32_t centreOnPeak = 0;     // sum a window of the interval's width around each voxel's peak
    int32_t aux1 = 0;             // carried values: kept and stored, read by no operation here
    int32_t aux2 = 0;
    int32_t selectedOnly = 0;     // only selected voxels receive values; the others stay 0
    int32_t ratioOfPeaks = 0;     // 1: the first interval divided by the second
    float peakStartPPM = 0.0f;
    float peakEndPPM = 0.0f;
    float refPeakStartPPM = 0.0f;  // the second (denominator) interval
    float refPeakEndPPM = 0.0f;
    int32_t method = kMapAreaIntegration;
    int32_t aux3 = 0;
    std::string name;
    TCSISet* csiSet = nullptr;  // the set the map belongs to; not owned
    float maxMagnitude = 0.0f, minMagnitude = 0.0f;
    float maxReal = 0.0f, minReal = 0.0f;
    float maxImag = 0.0f, minImag = 0.0f;
    float fov[3] = {0, 0, 0};         // mm, copied from the set
    float voxelShift[3] = {0, 0, 0};  // mm
    float angulation[3] = {0, 0, 0};  // degrees
    float offCentre[3] = {0, 0, 0};   // mm
    float displayMin = 0.0f;  // value range the views spread over the colours
    float displayMax = 0.0f;
    int32_t useInternalReference = 0;  // scale so that the reference voxel equals referenceConcentration
    int32_t useReferenceMap = 0;       // scale through the map referenceMapName of set referenceSetName
    int32_t relaxationCorrection = 0;  // correct for T1 and T2 with the set's TR and TE
    int32_t molarUnit = 0;             // 1 molarity, 0 moles (values divided by the voxel volume)
    int32_t voxelByVoxel = 0;          // normalise each voxel against the reference map's voxel
    float t1 = 0.0f;  // ms
    float t2 = 0.0f;  // ms
    float referenceConcentration = 0.0f;
    int32_t aux4 = 1;
    float quantScale = 1.0f;  // factor found by the internal-reference scaling
    float aux5 = 1.0f;
    float aux6 = 1.0f;
    std::string referenceSetName;
    std::string referenceMapName;
    int32_t referenceVoxel[3] = {0, 0, 0};  // x, y, z
};
