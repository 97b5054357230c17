// An MR image made from one plane of a metabolite map, so that a map is drawn, fused
// over images and read out like any other image.
#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "model/TCSISet.h"
#include "model/TMRImage.h"
#include "model/TMap.h"
#include "model/TProject.h"
#include "model/TSpectrumDisplayParams.h"
#include "platform/Paths.h"
#include "platform/Report.h"

namespace {

// Stored pixel units of a value: 0..1000 over the value range. A map of one value
// throughout has no range to spread over and lies at 0.
int StoredUnits(double v, double minimum, double maximum)
{
    const double span = maximum - minimum;
    const double units = span > 0 ? std::trunc((v - minimum) * 1000.0 / span) : 0.0;
    if (std::isnan(units))
        return 0;
    return static_cast<int>(std::clamp(units, -32768.0, 32767.0));
}

}  // namespace

bool TMRImage::CreateFromCSIMap(const TMap* map, int axis, float position)
{
    if (!map)
        return false;
    if (axis < 0 || axis > 2) {
        vx::Report("Slice dimension is not valid.", vx::ReportIcon::Exclamation);
        return false;
    }
    int xa = 0, ya = 0;
    InPlaneAxes(axis, xa, ya);
    const int n = map->size[axis], width = map->size[xa], height = map->size[ya];
    const double fov = map->fov[axis];
    const double k = fov > 0 && n > 0 ? std::floor((position / fov + 0.5) * n) : -1.0;
    // The plane must exist and the grid must hold the values its sizes promise.
    const bool usable = width >= 1 && width <= kMaxSide && height >= 1 && height <= kMaxSide && n >= 1 &&
                        map->ValueCount() == static_cast<size_t>(width) * static_cast<size_t>(height) *
                                                 static_cast<size_t>(n);
    if (!(k >= 0 && k < n) || !usable) {
        vx::Report("There is no CSI map available for this image.", vx::ReportIcon::Exclamation);
        return false;
    }
    const int index = static_cast<int>(k);

    // The part of the values that the spectra are shown in, with its range.
    const int flags = m_pProject ? m_pProject->m_display.m_nFlags : TSpectrumDisplayParams::kReal;
    enum { kRealPart, kImaginaryPart, kMagnitudePart } part = kRealPart;
    float valueMax = map->maxReal, valueMin = map->minReal;
    if (flags & TSpectrumDisplayParams::kMagnitude) {
        part = kMagnitudePart;
        valueMax = map->maxMagnitude;
        valueMin = map->minMagnitude;
    } else if (!(flags & TSpectrumDisplayParams::kReal) && (flags & TSpectrumDisplayParams::kImaginary)) {
        part = kImaginaryPart;
        valueMax = map->maxImag;
        valueMin = map->minImag;
    }

    std::vector<float> values(static_cast<size_t>(width) * static_cast<size_t>(height));
    std::vector<int16_t> pixels(values.size());
    const TComplex* grid = map->Values();
    int voxel[3];
    voxel[axis] = index;
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            voxel[xa] = c;
            voxel[ya] = r;
            const TComplex v = grid[map->ValueIndex(voxel[0], voxel[1], voxel[2])];
            const float value = part == kMagnitudePart ? std::abs(v) : part == kRealPart ? v.real() : v.imag();
            const size_t at = static_cast<size_t>(r) * static_cast<size_t>(width) + static_cast<size_t>(c);
            values[at] = value;
            pixels[at] = static_cast<int16_t>(StoredUnits(value, valueMin, valueMax));
        }

    // The plane's place: its centre in the map's grid, in the work set's patient frame.
    const std::string folder = m_pProject ? m_pProject->GetFolder() : std::string();
    const std::string name = map->GetName();
    float centre[3] = {0, 0, 0};
    centre[axis] = static_cast<float>((index - n / 2.0 + 0.5) * fov / n);
    const float slicePosition = centre[axis];
    if (m_pProject && m_pProject->m_pWorkSet)
        m_pProject->m_pWorkSet->TransformPoint(centre, 3);

    m_strName = name;
    m_strPath = vx::JoinPath(folder, vx::SanitizeFileComponent(name));
    m_nId = 0;
    SetOrientation(axis, false);
    m_centre = TPoint2D(0.0f, 0.0f);
    m_shift = TPoint2D(0.0f, 0.0f);
    SetParameter(slicePosition, ParamSlicePosition, false);
    std::copy(centre, centre + 3, m_fPosition);
    m_nWidth = width;
    m_nHeight = height;
    SetParameter(map->fov[xa], ParamFOVX, false);
    SetParameter(map->fov[ya], ParamFOVY, false);
    m_pixels = std::move(pixels);
    m_bLoaded = true;
    m_floatValues = std::move(values);
    SetValueRange(valueMax, valueMin);
    SetStoredRange(1000.0f, 0.0f);
    SetStoredWindow(StoredUnits(map->displayMin, valueMin, valueMax), StoredUnits(map->displayMax, valueMin, valueMax));
    static const std::string kMolar = "M", kMoles = "moles";
    m_strValueUnit.clear();
    if (map->useReferenceMap)
        m_strValueUnit = kMolar;
    if (map->useInternalReference)
        m_strValueUnit = map->molarUnit == 1 ? kMolar : kMoles;
    return true;
}
