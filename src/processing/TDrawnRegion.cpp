#include "processing/TDrawnRegion.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "model/TCSISlice.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "processing/IImagePlaneFrame.h"
#include "processing/IRegionView.h"

namespace {

bool IsAxis(int axis) { return axis >= 0 && axis < 3; }

// Points map to cells through single-precision millimetres; a coordinate this close
// below a cell's edge is taken to lie on it.
constexpr double kCellTolerance = 1e-4;

}  // namespace

void TDrawnRegion::AddPoint(int x, int y) { m_points.push_back({x, y}); }

void TDrawnRegion::SetImagePlane(const IImagePlaneFrame& frame)
{
    TMRImage* image = frame.GetImage();
    if (!image)
        return;
    m_nOrientation = frame.GetOrientation();
    frame.GetSlicePosition(m_fSlicePosition);
    m_pImage = image;
}

float TDrawnRegion::GetSlicePosition(int axis) const { return IsAxis(axis) ? m_fSlicePosition[axis] : 0.0f; }

float TDrawnRegion::GetPlanePosition() const { return GetSlicePosition(m_nOrientation); }

void TDrawnRegion::Draw(IRegionView& view) const
{
    if (!m_pImage || view.GetImage() != m_pImage)
        return;
    std::vector<vx::TPointI> scaled;
    scaled.reserve(m_points.size());
    for (const vx::TPointI& p : m_points)
        scaled.push_back({view.ZoomLength(p.x), view.ZoomLength(p.y)});
    DrawShape(view.GetRegionLayer(), scaled);
}

int TDrawnRegion::CellIndex(double coordinate)
{
    const double cell = std::floor(coordinate + kCellTolerance);
    // Far outside any mask; kept inside int.
    return static_cast<int>(std::clamp(cell, -1.0, 1.0e9));
}

bool TDrawnRegion::BeginMask(uint8_t* mask, int width, int height, const std::vector<vx::TPointI>& points,
                             std::vector<TPointD>& cells) const
{
    if (!mask || width < 1 || height < 1 || !m_pImage || !IsAxis(m_nOrientation))
        return false;
    const TProject* project = m_pImage->GetProject();
    if (!project || !project->m_pWorkSet)
        return false;
    TCSISlice slice;
    if (!slice.SetByPosition(project->m_pWorkSet, m_nOrientation, GetPlanePosition()))
        return false;
    const double fov[2] = {slice.GetFOVX(), slice.GetFOVY()};
    const double centre[2] = {slice.GetCentre().x, slice.GetCentre().y};
    const int size[2] = {width, height};
    cells.clear();
    for (const vx::TPointI& p : points) {
        if (!InRange(p.x, m_pImage->GetWidth()) || !InRange(p.y, m_pImage->GetHeight()))
            return false;
        const TPoint2D mm = m_pImage->PixelToWorld(TPoint2D(static_cast<float>(p.x), static_cast<float>(p.y)));
        const double at[2] = {mm.x, mm.y};
        double cell[2];
        for (int d = 0; d < 2; ++d)
            cell[d] = ((fov[d] * 0.5 + at[d] - centre[d]) / fov[d]) * size[d];
        cells.push_back({cell[0], cell[1]});
    }
    std::memset(mask, 0, static_cast<size_t>(width) * static_cast<size_t>(height));
    return true;
}

bool TDrawnRegion::BeginTwoPointMask(uint8_t* mask, int width, int height, const std::vector<vx::TPointI>& points,
                                     vx::TPointI& first, vx::TPointI& second) const
{
    std::vector<TPointD> cells;
    if (points.size() != 2 || !BeginMask(mask, width, height, points, cells))
        return false;
    first = {CellIndex(cells[0].x), CellIndex(cells[0].y)};
    second = {CellIndex(cells[1].x), CellIndex(cells[1].y)};
    return InRange(first.x, width) && InRange(second.x, width) && InRange(first.y, height) &&
           InRange(second.y, height);
}
