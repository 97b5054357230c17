#pragma once
// The block of 29 words that describes one CSI read: what the Add CSI Set dialog or the
// project's exam scan fills in and every reader receives. The layout is fixed, since the
// block is copied word by word and handed to reader plug-ins field by field.
#include <cstddef>
#include <cstdint>

struct TCSIReadParams {
    float m_fFOV[3] = {0, 0, 0};     // mm
    float m_fFrequency = 0;          // MHz
    float m_fEchoPeakTime = 0;       // ms
    int32_t m_nDim[3] = {0, 0, 0};   // matrix size x, y, z
    int32_t m_nPoints = 0;           // complex points per voxel
    int32_t m_nSampleType = 0;       // 0 int16, 1 int32, 2 float32, 3 float64
    int32_t m_nSweepWidth = 0;       // Hz
    int32_t m_nHeaderSize = 0;       // bytes before the first sample
    int32_t m_nAxisOrder[3] = {0, 0, 0};  // file order: fastest, middle, slowest axis
    // The 17 option bytes (0 or 1), in this order.
    uint8_t m_bInvert[3] = {0, 0, 0};
    uint8_t m_bCenter[3] = {0, 0, 0};
    uint8_t m_bEchoAcquisition = 0;
    uint8_t m_bSwapBytes = 0;
    uint8_t m_bLoadRawData = 0;
    uint8_t m_bNormalize = 0;
    uint8_t m_bRemoveOffset = 0;
    uint8_t m_bFlipFrequency = 0;
    uint8_t m_bKSpaceCorrection = 0;
    uint8_t m_bHalfVoxelShift = 0;
    uint8_t m_bSpare = 0;            // no dialog control; set by the multi-slice exam scan
    uint8_t m_bFrequencyDomain = 0;
    uint8_t m_bSpaceDomain = 0;
    uint8_t m_padding[3] = {0, 0, 0};
    int32_t m_nSpatialDims = 0;      // dimension word: 2 or 3 (0 from the dialog)
    int32_t m_nFormat = 0;           // format index
    int32_t m_nOrientation = 0;      // slice orientation, also the slice axis
    float m_fAngulation[3] = {0, 0, 0};  // degrees
    float m_fOffCentre[3] = {0, 0, 0};   // mm
};

static_assert(sizeof(TCSIReadParams) == 29 * 4);
static_assert(offsetof(TCSIReadParams, m_bInvert) == 15 * 4);
static_assert(offsetof(TCSIReadParams, m_nSpatialDims) == 20 * 4);
static_assert(offsetof(TCSIReadParams, m_fOffCentre) == 26 * 4);
