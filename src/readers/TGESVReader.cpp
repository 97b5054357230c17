#include "readers/TGESVReader.h"

#include <vector>

#include "gehdr/GERawHdr.h"
#include "platform/Report.h"
#include "platform/TFile.h"
#include "readers/GEReaderHelpers.h"
#include "readers/ReaderHelpers.h"

bool TGESVReader::ParseHeader(const std::string& path)
{
    if (!m_pCSISet)
        return false;
    TCSISet& set = *m_pCSISet;
    GERawHdr header(-1, -1);
    int byteOrder = -1;
    if (!ReadRawHeader(path, header, byteOrder) || !CheckSoftwareVersion(header, path, TSoftware::ExciteOrLater))
        return false;
    m_nFrames = header.rdb_hdr.frame_count();
    m_nSkipFrames = CheckedFloatToInt(header.rdb_hdr.field_292());
    if (!FramesLeftToAverage(path))
        return false;
    if (!SetSampleFormat(header, byteOrder, true) || !SetSliceAxisAndMatrix(header))
        return false;
    if (set.m_nDim[0] != 1 || set.m_nDim[1] != 1 || set.m_nDim[2] != 1) {
        vx::Report("This is not a single voxel data file.", vx::ReportIcon::Exclamation);
        return false;
    }
    set.m_nSpatialDims = m_params.m_nSpatialDims = 1;
    SetAcquisition(header);
    const GEMRImgData& image = header.mr_img_data;
    SetSliceFOV(image.slice_thickness());
    if (image.plane() == 16 && !SetObliqueRotation(image, path))
        return false;

    const bool selected = GESequenceSelectsVolume(image.sequence_name(), false);
    GESetVolume(image, selected, set);
    if (selected) {
        // The voxel is the excited volume; the block keeps the imaging slice's fields.
        GEVolumeCentre(image, set.m_fOffCentre);
        set.m_fFOV[0] = image.voxel_size_x();
        set.m_fFOV[1] = image.voxel_size_y();
        set.m_fFOV[2] = image.voxel_size_z();
    }
    return true;
}

bool TGESVReader::ReadRawData(const std::string& path)
{
    if (!m_pCSISet)
        return false;
    vx::TFile file;
    if (!file.Open(path, vx::TFile::Mode::Read)) {
        vx::Report("Can not open CSI data set file " + path, vx::ReportIcon::Exclamation);
        return false;
    }
    m_pRawData.reset();
    m_nRawFloats = 0;
    const int type = m_params.m_nSampleType;
    const int points = m_pCSISet->m_nPoints;
    const int averaged = m_nFrames - m_nSkipFrames;
    if (type < 0 || type > 2 || points < 1 || averaged < 1 || m_nSkipFrames < 0 || m_params.m_nHeaderSize < 0)
        return false;
    // Every frame must lie in the file before anything is read.
    const int64_t frameBytes = int64_t(points) * 2 * SampleValueBytes(type);
    const int64_t start = int64_t(m_params.m_nHeaderSize) + int64_t(m_nSkipFrames) * frameBytes;
    const int64_t size = file.Size();
    if (size < 0 || start + int64_t(averaged) * frameBytes > size) {
        ReportDataFileCutShort(path, size, file.LastError(), uint64_t(start + int64_t(averaged) * frameBytes), true);
        return false;
    }
    if (!file.Seek(start))
        return false;

    const size_t values = size_t(points) * 2;
    std::vector<float> frame(values);
    std::vector<double> sum(values, 0.0);
    for (int f = 0; f < averaged; ++f) {
        bool read = false;
        switch (type) {
        case 0: read = ReadInt16Spectrum(file, frame.data()); break;
        case 1: read = ReadInt32Spectrum(file, frame.data()); break;
        default: read = ReadFloat32Spectrum(file, frame.data()); break;
        }
        if (!read) {
            ReportDataFileReadFailed(path, file.LastError());
            return false;
        }
        for (size_t v = 0; v < values; ++v)
            sum[v] += frame[v];
    }
    std::unique_ptr<float[]> average(new float[values]);
    for (size_t v = 0; v < values; ++v)
        average[v] = static_cast<float>(sum[v] / averaged);
    m_pRawData = std::move(average);
    m_nRawFloats = values;
    return true;
}

bool TGESVReader::FramesLeftToAverage(const std::string& path) const
{
    if (m_nFrames >= 0 && m_nSkipFrames >= 0 && m_nFrames > m_nSkipFrames)
        return true;
    vx::Report("The header of " + path + " gives " + std::to_string(m_nFrames) + " frames and " +
                   std::to_string(m_nSkipFrames) + " frames to skip: no frame is left to average.",
               vx::ReportIcon::Exclamation);
    return false;
}

bool TGESVReader::PostRead()
{
    if (!m_pCSISet || !m_pCSISet->IsLoaded())
        return false;
    TCSISet& set = *m_pCSISet;
    if (m_params.m_bRemoveOffset)
        set.RemoveDCOffset();
    set.m_bKSpace = 0;
    if (set.m_bFrequencyDomain)
        set.ConjugateAll();
    else if (!SpectraToFrequencyDomain(set, m_params.m_bFlipFrequency != 0))
        return false;
    FinishSetData(set, m_params.m_bNormalize != 0);
    return true;
}
