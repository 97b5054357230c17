#include "readers/TGEPre11Reader.h"

#include "gehdr/GERawHdr.h"
#include "readers/GEReaderHelpers.h"
#include "readers/ReaderHelpers.h"

TCSISet* TGEPre11Reader::Read(std::string path)
{
    return ReadPFile(path, TReadOptions::Dialog);
}

bool TGEPre11Reader::ParseHeader(const std::string& path)
{
    if (!m_pCSISet)
        return false;
    TCSISet& set = *m_pCSISet;
    GERawHdr header(-1, -1);
    int byteOrder = -1;
    if (!ReadRawHeader(path, header, byteOrder) || !CheckSoftwareVersion(header, path, TSoftware::Pre11))
        return false;
    if (!SetSampleFormat(header, byteOrder, true) || !SetSliceAxisAndMatrix(header))
        return false;
    SetAcquisition(header);
    const GEMRImgData& image = header.mr_img_data;
    SetSliceFOV(image.slice_thickness() * static_cast<float>(set.m_nDim[set.m_nSliceAxis]));
    if (image.plane() == 16 && !SetObliqueRotation(image, path))
        return false;

    const bool selected = GESequenceSelectsVolume(image.sequence_short_name(), false);
    GESetVolume(image, selected, set);
    if (selected && set.m_nSpatialDims == 3)
        GEVolumeCentre(image, set.m_fOffCentre);
    return true;
}

bool TGEPre11Reader::PostRead()
{
    if (!m_pCSISet || !m_pCSISet->IsLoaded())
        return false;
    if (!ReconstructGrid())
        return false;
    FinishPostRead(*m_pCSISet, m_params);
    return true;
}
