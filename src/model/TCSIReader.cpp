#include "model/TCSIReader.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/OpenToRead.h"
#include "platform/Report.h"
#include "platform/TFile.h"

namespace {

// One value of `bytes` bytes at p, little-endian, or big-endian when `swap` is set,
// assembled byte by byte so that the host's own order does not matter.
uint64_t AssembleBits(const unsigned char* p, int bytes, bool swap)
{
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) {
        const int from = swap ? i : bytes - 1 - i;
        v = (v << 8) | p[from];
    }
    return v;
}

float DecodeValue(const unsigned char* p, int sampleType, bool swap)
{
    switch (sampleType) {
    case 0:
        return static_cast<float>(static_cast<int16_t>(static_cast<uint16_t>(AssembleBits(p, 2, swap))));
    case 1:
        return static_cast<float>(static_cast<int32_t>(static_cast<uint32_t>(AssembleBits(p, 4, swap))));
    case 2: {
        const uint32_t bits = static_cast<uint32_t>(AssembleBits(p, 4, swap));
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    case 3: {
        const uint64_t bits = AssembleBits(p, 8, swap);
        double d;
        std::memcpy(&d, &bits, 8);
        return static_cast<float>(d);
    }
    default:
        return 0.0f;
    }
}

bool IsAxisPermutation(const int32_t order[3])
{
    bool seen[3] = {false, false, false};
    for (int i = 0; i < 3; ++i) {
        if (order[i] < 0 || order[i] > 2 || seen[order[i]])
            return false;
        seen[order[i]] = true;
    }
    return true;
}

// Frees any old spectra, then one new empty spectrum per grid point with its indices.
bool FreshVoxels(TCSISet& set)
{
    set.FreeSpectra();
    if (!set.AllocateVoxels())
        return false;
    set.InitVoxels();
    return true;
}

}  // namespace

TCSIReader::TCSIReader(const TCSIReadParams* pParams)
{
    if (pParams)
        m_params = *pParams;
}

TCSIReader::~TCSIReader() = default;

TCSISet* TCSIReader::DiscardSet()
{
    m_pCSISet.reset();
    return nullptr;
}

bool TCSIReader::OpenVoxelDataFile(const std::string& path, vx::TFile& file)
{
    if (file.Open(path, vx::TFile::Mode::Read))
        return true;
    vx::Report("Can not open CSI data set file " + path + vx::NotOpenedNote(path, file.NotAFile(), file.LastError()),
               vx::ReportIcon::Exclamation);
    return false;
}

bool TCSIReader::HasAxisPermutation() const
{
    return IsAxisPermutation(m_params.m_nAxisOrder);
}

TCSISet* TCSIReader::CompleteRead(bool maskFromData)
{
    if (m_pCSISet && m_bHeaderOnly)
        return HandOverSet();
    if (!m_pCSISet || (!m_params.m_bLoadRawData && !PostRead()))
        return DiscardSet();
    m_pCSISet->BuildKSpaceMask(maskFromData);
    return HandOverSet();
}

int TCSIReader::SampleValueBytes(int sampleType)
{
    switch (sampleType) {
    case 0: return 2;
    case 1: return 4;
    case 2: return 4;
    case 3: return 8;
    default: return 0;
    }
}

uint64_t TCSIReader::GridFloatCount(const TCSISet& set)
{
    if (set.m_nDim[0] < 1 || set.m_nDim[1] < 1 || set.m_nDim[2] < 1 || set.m_nPoints < 1)
        return 0;
    // Multiplied one axis at a time against the limit: three sizes of up to 2^31 would
    // overflow 64 bits (and could wrap to a small count).
    uint64_t voxels = 1;
    for (int k = 0; k < 3; ++k) {
        voxels *= uint64_t(set.m_nDim[k]);
        if (voxels > TCSISet::kMaxVoxels)
            return 0;
    }
    // voxels < 2^24 and points < 2^31: the product stays below 2^56.
    return voxels * uint64_t(set.m_nPoints) * 2;
}

std::unique_ptr<float[]> TCSIReader::DecodeSamples(vx::TFile& file, int sampleType)
{
    if (!m_pCSISet || !HasAxisPermutation())
        return nullptr;
    const int width = SampleValueBytes(sampleType);
    const uint64_t values = GridFloatCount(*m_pCSISet);
    if (width == 0 || values == 0)
        return nullptr;
    const uint64_t bytes = values * uint64_t(width);
    const int64_t left = file.BytesLeft();
    if (left < 0 || bytes > uint64_t(left))
        return nullptr;

    std::vector<unsigned char> raw;
    raw.resize(static_cast<size_t>(bytes));
    if (!file.ReadExact(raw.data(), raw.size()))
        return nullptr;

    const int n[3] = {m_pCSISet->m_nDim[0], m_pCSISet->m_nDim[1], m_pCSISet->m_nDim[2]};
    const int32_t* order = m_params.m_nAxisOrder;
    uint64_t stride[3];
    stride[order[0]] = 1;
    stride[order[1]] = uint64_t(n[order[0]]);
    stride[order[2]] = uint64_t(n[order[0]]) * uint64_t(n[order[1]]);

    const uint64_t perVoxel = uint64_t(m_pCSISet->m_nPoints) * 2;
    const bool swap = m_params.m_bSwapBytes != 0;
    std::unique_ptr<float[]> out(new float[static_cast<size_t>(values)]);
    float* dst = out.get();
    for (int z = 0; z < n[2]; ++z)
        for (int y = 0; y < n[1]; ++y)
            for (int x = 0; x < n[0]; ++x) {
                const uint64_t fileVoxel = uint64_t(x) * stride[0] + uint64_t(y) * stride[1] + uint64_t(z) * stride[2];
                const unsigned char* src = raw.data() + fileVoxel * perVoxel * uint64_t(width);
                for (uint64_t v = 0; v < perVoxel; ++v, src += width)
                    *dst++ = DecodeValue(src, sampleType, swap);
            }
    return out;
}

std::unique_ptr<float[]> TCSIReader::DecodeInt16Samples(vx::TFile& file)
{
    return DecodeSamples(file, 0);
}

std::unique_ptr<float[]> TCSIReader::DecodeInt32Samples(vx::TFile& file)
{
    return DecodeSamples(file, 1);
}

std::unique_ptr<float[]> TCSIReader::DecodeFloat32Samples(vx::TFile& file)
{
    return DecodeSamples(file, 2);
}

std::unique_ptr<float[]> TCSIReader::DecodeFloat64Samples(vx::TFile& file)
{
    return DecodeSamples(file, 3);
}

bool TCSIReader::ReadRawData(const std::string& path)
{
    return ReadRawDataFrom(path, 0);
}

bool TCSIReader::ReadRawDataFrom(const std::string& path, int64_t offset)
{
    vx::TFile file;
    if (!file.Open(path, vx::TFile::Mode::Read)) {
        vx::Report(vx::NotOpenedText("Data file", path, file.NotAFile()), vx::ReportIcon::Exclamation);
        return false;
    }
    m_pRawData.reset();
    m_nRawFloats = 0;
    if (!DataFileHoldsGrid(file, path, offset, m_params.m_nSampleType) || !file.Seek(offset))
        return false;
    if (m_bHeaderOnly) {
        m_nRawFloats = static_cast<size_t>(GridFloatCount(*m_pCSISet));
        return true;
    }
    switch (m_params.m_nSampleType) {
    case 0: m_pRawData = DecodeInt16Samples(file); break;
    case 1: m_pRawData = DecodeInt32Samples(file); break;
    case 2: m_pRawData = DecodeFloat32Samples(file); break;
    case 3: m_pRawData = DecodeFloat64Samples(file); break;
    default: break;
    }
    if (!m_pRawData) {
        // The file was long enough a moment ago: it was cut or failed while being read, or
        // its size could not be looked up again.
        if (file.SizeFailed())
            vx::Report(vx::SizeNotReadText("Data file", path, file.LastError()), vx::ReportIcon::Exclamation);
        else
            ReportDataFileReadFailed(path, file.LastError());
        return false;
    }
    m_nRawFloats = static_cast<size_t>(GridFloatCount(*m_pCSISet));
    return true;
}

bool TCSIReader::DataFileHoldsGrid(vx::TFile& file, const std::string& path, int64_t offset, int sampleType) const
{
    if (!m_pCSISet || !GridFits(path))
        return false;
    const uint64_t floats = GridFloatCount(*m_pCSISet);
    const int width = SampleValueBytes(sampleType);
    if (!HasAxisPermutation()) {
        ReportDataFileNotRead(path, "the order of its axes must name x, y and z once each.");
        return false;
    }
    if (width == 0) {
        ReportDataFileNotRead(path, "its sample type " + std::to_string(sampleType) +
                                        " is none of Int*16, Int*32, Float*32 and Float*64.");
        return false;
    }
    // Below 2^56 bytes for the grid, and the offset is a 32-bit header size.
    const uint64_t needed = uint64_t(offset < 0 ? 0 : offset) + floats * uint64_t(width);
    const int64_t size = file.Size();
    if (offset < 0 || size < 0 || uint64_t(size) < needed) {
        ReportDataFileCutShort(path, size, file.LastError(), needed, offset > 0);
        return false;
    }
    return true;
}

bool TCSIReader::GridFits(const std::string& path) const
{
    if (!m_pCSISet)
        return false;
    if (GridFloatCount(*m_pCSISet) != 0)
        return true;
    ReportDataFileNotRead(path, "its grid of " + GridSizeText(*m_pCSISet) + " is larger than a set can hold.");
    return false;
}

void TCSIReader::ReportDataFileNotRead(const std::string& path, const std::string& why)
{
    vx::Report("Data file " + path + " is not read: " + why, vx::ReportIcon::Exclamation);
}

void TCSIReader::ReportDataFileReadFailed(const std::string& path, int error)
{
    vx::Report(vx::NotReadToEndText("Data file", path, error), vx::ReportIcon::Exclamation);
}

std::string TCSIReader::GridSizeText(const TCSISet& set)
{
    return std::to_string(set.m_nDim[0]) + " x " + std::to_string(set.m_nDim[1]) + " x " +
           std::to_string(set.m_nDim[2]) + " voxels of " + std::to_string(set.m_nPoints) + " points";
}

void TCSIReader::ReportDataFileCutShort(const std::string& path, int64_t size, int sizeError, uint64_t needed,
                                        bool withHeader)
{
    vx::Report(vx::CutShortText("Data file", path, size, sizeError, needed,
                                withHeader ? "its header and samples need" : "its samples need"),
               vx::ReportIcon::Exclamation);
}

bool TCSIReader::PostRead()
{
    return true;
}

bool TCSIReader::Validate()
{
    return FirstInvalidParameter() == TInvalidParameter::None;
}

bool TCSIReader::ValidateHeader(const std::string& path, const TParameterKeys& keys)
{
    if (Validate())
        return true;
    vx::Report("The header of " + path + " is invalid. " + InvalidParameterText(keys), vx::ReportIcon::Exclamation);
    return false;
}

TCSIReader::TInvalidParameter TCSIReader::FirstInvalidParameter() const
{
    const TCSISet* s = m_pCSISet.get();
    if (!s)
        return TInvalidParameter::NoSet;
    if (s->m_nPoints < 1)
        return TInvalidParameter::Points;
    if (s->m_nSpatialDims == 0)
        return TInvalidParameter::SpatialDims;
    if (s->m_nEchoPosition < 0 || s->m_nEchoPosition >= s->m_nPoints)
        return TInvalidParameter::EchoPosition;
    for (int k = 0; k < 3; ++k)
        if (s->m_nDim[k] < 1)
            return TInvalidParameter::Matrix;
    for (int k = 0; k < 3; ++k)
        if (!(s->m_fFOV[k] > 0.0f) || !std::isfinite(s->m_fFOV[k]))
            return TInvalidParameter::FOV;
    if (!(s->m_fFrequency > 0.0f) || !std::isfinite(s->m_fFrequency))
        return TInvalidParameter::Frequency;
    if (s->m_nSpectralWidth < 1)
        return TInvalidParameter::SpectralWidth;
    return TInvalidParameter::None;
}

std::string TCSIReader::InvalidParameterText(const TParameterKeys& keys) const
{
    const auto sentence = [](const char* text, const std::string& key) {
        return std::string(text) + (key.empty() ? "" : " (" + key + ")") + ".";
    };
    switch (FirstInvalidParameter()) {
    case TInvalidParameter::None:
    case TInvalidParameter::NoSet: return {};
    case TInvalidParameter::Points: return sentence("It gives no number of points", keys.points);
    case TInvalidParameter::SpatialDims: return sentence("It gives no spatial dimensions", keys.spatialDims);
    case TInvalidParameter::EchoPosition: return "Its echo position lies outside the spectrum.";
    case TInvalidParameter::Matrix: return sentence("It gives a matrix size below 1", keys.matrix);
    case TInvalidParameter::FOV: return sentence("It gives no positive field of view", keys.fov);
    case TInvalidParameter::Frequency: return sentence("It gives no spectrometer frequency", keys.frequency);
    case TInvalidParameter::SpectralWidth: return sentence("It gives no spectral width", keys.spectralWidth);
    }
    return {};
}

bool TCSIReader::FillCSISet()
{
    // Reading the header only, the samples were counted and not read.
    const bool counted = m_bHeaderOnly && !m_pRawData;
    if ((!m_pRawData && !counted) || !m_pCSISet)
        return false;
    TCSISet& set = *m_pCSISet;
    const uint64_t needed = GridFloatCount(set);
    // The buffer must hold the whole grid the set now describes.
    if (needed == 0 || needed > m_nRawFloats)
        return false;
    if (counted)
        return true;
    if (!FreshVoxels(set))
        return false;
    const size_t perVoxel = static_cast<size_t>(set.m_nPoints) * 2;
    for (size_t i = 0; i < set.VoxelCount(); ++i)
        set.GetVoxel(i)->SetData(m_pRawData.get() + i * perVoxel);
    set.m_bLoaded = true;
    return true;
}

bool TCSIReader::ReadSpectrum(vx::TFile& file, float* buffer, int sampleType)
{
    if (!m_pCSISet || !buffer || m_pCSISet->m_nPoints < 1)
        return false;
    const int width = SampleValueBytes(sampleType);
    if (width == 0)
        return false;
    const size_t values = static_cast<size_t>(m_pCSISet->m_nPoints) * 2;
    std::vector<unsigned char> raw(values * static_cast<size_t>(width));
    if (!file.ReadExact(raw.data(), raw.size()))
        return false;
    const bool swap = m_params.m_bSwapBytes != 0;
    for (size_t v = 0; v < values; ++v)
        buffer[v] = DecodeValue(raw.data() + v * static_cast<size_t>(width), sampleType, swap);
    return true;
}

bool TCSIReader::ReadInt16Spectrum(vx::TFile& file, float* buffer)
{
    return ReadSpectrum(file, buffer, 0);
}

bool TCSIReader::ReadInt32Spectrum(vx::TFile& file, float* buffer)
{
    return ReadSpectrum(file, buffer, 1);
}

bool TCSIReader::ReadFloat32Spectrum(vx::TFile& file, float* buffer)
{
    return ReadSpectrum(file, buffer, 2);
}

bool TCSIReader::ReadFloat64Spectrum(vx::TFile& file, float* buffer)
{
    return ReadSpectrum(file, buffer, 3);
}

bool TCSIReader::ReadRawDataToVoxels(const std::string& path)
{
    vx::TFile file;
    if (!m_pCSISet || !OpenVoxelDataFile(path, file))
        return false;
    TCSISet& set = *m_pCSISet;
    // The whole grid must lie in the file before anything is allocated.
    if (!DataFileHoldsGrid(file, path, m_params.m_nHeaderSize, m_params.m_nSampleType))
        return false;
    if (m_bHeaderOnly)
        return true;
    if (!file.Seek(m_params.m_nHeaderSize))
        return false;

    if (!FreshVoxels(set))
        return false;

    const int32_t* order = m_params.m_nAxisOrder;
    const int nFast = set.m_nDim[order[0]], nMid = set.m_nDim[order[1]], nSlow = set.m_nDim[order[2]];
    std::vector<float> buffer(static_cast<size_t>(set.m_nPoints) * 2);
    for (int s = 0; s < nSlow; ++s)
        for (int m = 0; m < nMid; ++m)
            for (int f = 0; f < nFast; ++f) {
                if (!ReadSpectrum(file, buffer.data(), m_params.m_nSampleType)) {
                    ReportDataFileReadFailed(path, file.LastError());
                    return false;
                }
                int index[3];
                index[order[0]] = f;
                index[order[1]] = m;
                index[order[2]] = s;
                set.GetVoxel(index[0], index[1], index[2])->SetData(buffer.data());
            }
    set.m_bLoaded = true;
    return true;
}
