#include "readers/PluginRecords.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "model/TCSISet.h"

namespace {

// Longest text taken from a plug-in's text object.
constexpr size_t kMaxPluginText = 4096;

template <typename T>
void Put(unsigned char* record, size_t offset, T value)
{
    std::memcpy(record + offset, &value, sizeof(T));
}

template <typename T>
T Get(const unsigned char* record, size_t offset)
{
    T value;
    std::memcpy(&value, record + offset, sizeof(T));
    return value;
}

// Visits every field of the parameter record with its offset; the same walk packs the
// record (a writing visitor) and reads it back (a reading one). P is the block or its
// const form.
template <class Visitor, class P>
void WalkParams(Visitor& v, P& p)
{
    v.Int(0, p.m_nOrientation);
    for (int k = 0; k < 3; ++k) {
        v.Int(4 + 4 * k, p.m_nDim[k]);
        v.Float(28 + 4 * k, p.m_fFOV[k]);
        v.Float(40 + 4 * k, p.m_fAngulation[k]);
        v.Float(52 + 4 * k, p.m_fOffCentre[k]);
        v.Int(88 + 4 * k, p.m_nAxisOrder[k]);
        v.Byte(100 + k, p.m_bInvert[k]);
        v.Byte(103 + k, p.m_bCenter[k]);
    }
    v.Int(16, p.m_nPoints);
    v.Int(20, p.m_nSweepWidth);
    v.Float(24, p.m_fFrequency);
    v.Byte(64, p.m_bEchoAcquisition);
    v.Float(68, p.m_fEchoPeakTime);
    v.Byte(72, p.m_bSpare);
    v.Int(76, p.m_nSampleType);
    v.Int(80, p.m_nHeaderSize);
    v.Byte(84, p.m_bSwapBytes);
    v.Byte(106, p.m_bNormalize);
    v.Byte(107, p.m_bRemoveOffset);
    v.Byte(108, p.m_bFlipFrequency);
    v.Byte(109, p.m_bKSpaceCorrection);
    v.Byte(110, p.m_bHalfVoxelShift);
    v.Byte(111, p.m_bFrequencyDomain);
    v.Byte(112, p.m_bSpaceDomain);
    v.Byte(113, p.m_bLoadRawData);
}

struct TPacker {
    unsigned char* record;
    void Int(size_t offset, int32_t value) { Put(record, offset, value); }
    void Float(size_t offset, float value) { Put(record, offset, value); }
    void Byte(size_t offset, uint8_t value) { record[offset] = value; }
};

struct TUnpacker {
    const unsigned char* record;
    void Int(size_t offset, int32_t& value) { value = Get<int32_t>(record, offset); }
    void Float(size_t offset, float& value) { value = Get<float>(record, offset); }
    void Byte(size_t offset, uint8_t& value) { value = record[offset]; }
};

std::string TextAt(const unsigned char* record, size_t offset)
{
    const char* chars = Get<const char*>(record, offset + 8);
    if (!chars)
        return {};
    return std::string(chars, strnlen(chars, kMaxPluginText));
}

}  // namespace

void PackPluginParams(const TCSIReadParams& params, unsigned char record[kPluginParamsBytes])
{
    std::memset(record, 0, kPluginParamsBytes);
    TPacker packer{record};
    WalkParams(packer, params);
}

void UnpackPluginParams(const unsigned char record[kPluginParamsBytes], TCSIReadParams& params)
{
    TUnpacker unpacker{record};
    WalkParams(unpacker, params);
}

void CopyPluginSetRecord(const unsigned char* r, TCSISet& set)
{
    for (int k = 0; k < 3; ++k) {
        set.m_nDim[k] = Get<int32_t>(r, 4 * k);
        set.m_fFOV[k] = Get<float>(r, 28 + 4 * k);
        set.m_fAngulation[k] = Get<float>(r, 40 + 4 * k);
        set.m_fOffCentre[k] = Get<float>(r, 52 + 4 * k);
        for (int c = 0; c < 3; ++c) {
            set.m_fRotation[k][c] = Get<float>(r, 64 + 12 * k + 4 * c);
            set.m_fRotationInverse[k][c] = Get<float>(r, 100 + 12 * k + 4 * c);
        }
        set.m_fVolOffCentre[k][0] = Get<float>(r, 288 + 4 * k);
        set.m_fVolAngulation[k][0] = Get<float>(r, 300 + 4 * k);
        set.m_fVolSize[k][0] = Get<float>(r, 312 + 4 * k);
        set.m_fExtra[k] = Get<float>(r, 324 + 4 * k);
    }
    set.m_nPoints = Get<int32_t>(r, 12);
    set.m_nSliceAxis = Get<int32_t>(r, 16);
    set.m_nSpectralWidth = Get<int32_t>(r, 20);
    set.m_fFrequency = Get<float>(r, 24);
    // Flag bytes: any value but 0 is set. The project and data-set files keep flags as 0
    // or 1, so another value would come back changed after a save.
    set.m_bEchoShifted = r[136] != 0 ? 1 : 0;
    set.m_nEchoPosition = Get<int32_t>(r, 140);
    set.m_bMultiSlice = r[144] != 0 ? 1 : 0;
    set.m_fSliceThickness = Get<float>(r, 148);
    set.m_fSliceGap = Get<float>(r, 152);
    set.m_bFrequencyDomain = r[156] != 0 ? 1 : 0;
    set.m_bKSpace = r[157] != 0 ? 1 : 0;
    std::string* texts[7] = {&set.m_strExamName,         &set.m_strExamDate,           &set.m_strPatientName,
                             &set.m_strPatientBirthDate, &set.m_strPatientPosition,    &set.m_strPatientOrientation,
                             &set.m_strNucleus};
    for (int i = 0; i < 7; ++i)
        *texts[i] = TextAt(r, kPluginSetTextOffset[i]);
    set.m_fAverages = Get<float>(r, 272);
    set.m_fTR = Get<float>(r, 276);
    set.m_fTE = Get<float>(r, 280);
    set.m_nVolumes = std::clamp(Get<int32_t>(r, 284), 0, 2);  // the box tables hold two
}

const float* PluginSetSamples(const unsigned char* record)
{
    return Get<const float*>(record, kPluginSetSamplesOffset);
}
