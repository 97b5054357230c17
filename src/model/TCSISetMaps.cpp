// The maps of a CSI set, the volume of its voxels and the parameters that the parameter
// dialog reads and writes by number.
#include <cmath>
#include <algorithm>

#include "model/TCSISet.h"
#include "model/TMRImage.h"
#include "model/TMap.h"
#include "model/TMapList.h"
#include "platform/Numbers.h"
#include "platform/Report.h"

TMap* TCSISet::FindMap(const std::string& name) const
{
    return m_pMapList ? m_pMapList->Find(name) : nullptr;
}

bool TCSISet::HasMaps() const
{
    return m_pMapList && m_pMapList->GetCount() > 0;
}

std::vector<std::string> TCSISet::ListedMapNames() const
{
    const std::vector<std::string> saved = m_pMapList ? m_pMapList->ListedNames() : std::vector<std::string>();
    const auto has = [](const std::vector<std::string>& names, const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    // The names the project file gave, in its order, as far as they are still listed;
    // then the maps saved since.
    std::vector<std::string> names;
    for (const std::string& name : m_recordMapNames)
        if ((has(saved, name) || has(m_unreadMapNames, name)) && !has(names, name))
            names.push_back(name);
    for (const std::vector<std::string>* more : {&saved, &m_unreadMapNames})
        for (const std::string& name : *more)
            if (!has(names, name))
                names.push_back(name);
    return names;
}

void TCSISet::UpdateMaps()
{
    if (HasMaps())
        m_pMapList->UpdateAll();
}

void TCSISet::RereferenceMaps(float oldCentre, float newCentre)
{
    if (!HasMaps() || !(m_fFrequency > 0.0f) || m_nSpectralWidth <= 0 || m_nPoints < 1)
        return;
    // Points per ppm; the point of each bound is kept in double, not rounded to a float.
    const double pointsPerPPM = static_cast<double>(m_nPoints) * m_fFrequency / m_nSpectralWidth;
    for (TMap* pMap : *m_pMapList)
        for (float* ppm : {&pMap->peakStartPPM, &pMap->peakEndPPM, &pMap->refPeakStartPPM, &pMap->refPeakEndPPM}) {
            const double point = oldCentre - pointsPerPPM * *ppm;
            *ppm = static_cast<float>(-(point - newCentre) / pointsPerPPM);
        }
}

void TCSISet::AddMap(TMap* pMap)
{
    if (!pMap)
        return;
    if (!m_pMapList)
        m_pMapList = new TMapList;
    std::erase(m_unreadMapNames, pMap->GetName());
    std::erase(m_mapsNotGiven, pMap->GetName());
    // A map is computed from the set that holds it, and goes with it.
    pMap->csiSet = this;
    m_pMapList->Add(pMap);
}

float TCSISet::GetVoxelVolume() const
{
    int a, b;
    if (!TMRImage::InPlaneAxes(m_nSliceAxis, a, b) || m_nDim[a] < 1 || m_nDim[b] < 1)
        return 0.0f;
    // mm^3 to millilitres.
    return m_fFOV[a] / static_cast<float>(m_nDim[a]) * (m_fFOV[b] / static_cast<float>(m_nDim[b])) *
           m_fSliceThickness * 0.001f;
}

bool TCSISet::SetScalarParam(int index, float value)
{
    switch (index) {
    case 0: m_fExtra[1] = value; return true;
    case 1: m_fExtra[2] = value; return true;
    case 2: m_fFrequency = value; return true;
    case 3: m_nSpectralWidth = vx::TruncateToInt(value); return true;
    case 4:
        if (m_bAllocated && vx::TruncateToInt(value) != m_nPoints) {
            vx::Report("The number of points can not be changed while the CSI set holds spectra.");
            return false;
        }
        m_nPoints = vx::TruncateToInt(value);
        return true;
    default: return false;
    }
}

float TCSISet::GetScalarParam(int index) const
{
    switch (index) {
    case 0: return m_fExtra[1];
    case 1: return m_fExtra[2];
    case 2: return m_fFrequency;
    case 3: return static_cast<float>(m_nSpectralWidth);
    case 4: return static_cast<float>(m_nPoints);
    default: return 0.0f;
    }
}

bool TCSISet::SetVectorParam(int index, const float value[3])
{
    float* target = nullptr;
    switch (index) {
    case 5: target = m_fFOV; break;
    case 6: target = m_fOffCentre; break;
    case 7: target = m_fAngulation; break;
    case 8: {
        const int dim[3] = {vx::TruncateToInt(value[0]), vx::TruncateToInt(value[1]), vx::TruncateToInt(value[2])};
        if (m_bAllocated && !std::equal(dim, dim + 3, m_nDim)) {
            vx::Report("The matrix size can not be changed while the CSI set holds spectra.");
            return false;
        }
        std::copy(dim, dim + 3, m_nDim);
        return true;
    }
    default: return false;
    }
    std::copy(value, value + 3, target);
    return true;
}

void TCSISet::GetVectorParam(int index, float value[3]) const
{
    switch (index) {
    case 5: std::copy(m_fFOV, m_fFOV + 3, value); break;
    case 6: std::copy(m_fOffCentre, m_fOffCentre + 3, value); break;
    case 7: std::copy(m_fAngulation, m_fAngulation + 3, value); break;
    case 8:
        for (int d = 0; d < 3; ++d)
            value[d] = static_cast<float>(m_nDim[d]);
        break;
    default: break;
    }
}

void TCSISet::UpdateVoxelGeometryAll()
{
    for (const std::unique_ptr<TSpectrum>& s : m_voxels)
        if (s)
            s->UpdateVoxelGeometry();
}
