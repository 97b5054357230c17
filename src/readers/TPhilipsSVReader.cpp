#include "readers/TPhilipsSVReader.h"

bool TPhilipsSVReader::PostRead()
{
    if (!m_pCSISet || !m_pCSISet->IsLoaded())
        return false;
    if (m_params.m_bRemoveOffset)
        m_pCSISet->RemoveDCOffset();
    m_pCSISet->m_bKSpace = 0;  // one voxel: the samples are in voxel space
    return TransformAndNormalize();
}

bool TPhilipsSVReader::Validate()
{
    if (!m_pCSISet)
        return false;
    for (int k = 0; k < 3; ++k)
        if (m_pCSISet->m_nDim[k] != 1) {
            m_strParameterFault = "It gives a grid of more than one voxel where a single voxel has one.";
            return false;
        }
    return TPhilipsSdatReader::Validate();
}

bool TPhilipsSVReader::ParseSPAR(std::string path)
{
    return ParseSdatSPAR(path, false);
}

bool TPhilipsSVReader::ParseSdatSPAR(const std::string& path, bool timeSeries)
{
    if (!m_pCSISet)
        return false;
    TCSISet& set = *m_pCSISet;
    for (int k = 0; k < 3; ++k) {
        set.m_fFOV[k] = 240.0f;
        set.m_nDim[k] = 1;
    }
    set.m_nSpatialDims = 1;
    set.m_nSliceAxis = timeSeries ? 0 : 2;
    m_strParameterFault.clear();
    TSPARState state;
    state.sliceAxis = set.m_nSliceAxis;

    return ForEachSPARLine(path, [&](const TSPARLine& line) {
        if (ApplyCommonSPARKey(line, state) || ApplyVolumeKey(line, state, true, !timeSeries))
            return true;
        if (line.Key() == "rows") {
            const int rows = line.Integer();
            if (!timeSeries && rows != 1) {
                m_strParameterFault = "It gives " + std::to_string(rows) + " rows where a single voxel has one.";
                return false;
            }
            if (!timeSeries)
                return true;
            set.m_nDim[1] = rows;  // the spectra of the series lie along the second axis
        } else if (line.Key() == "echo_acquisition") {
            set.m_nEchoPosition = 0;
            set.m_bEchoShifted = 0;
        }
        return true;
    }, &m_strParameterFault);
}
