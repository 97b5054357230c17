// Grid operations of a metabolite map: per-axis FFTs and half swaps of the values, and
// the resampling to another matrix through the spatial frequencies.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "model/math/GridShape.h"
#include "model/TMap.h"
#include "model/math/TMixedRadixFFT.h"
#include "platform/Globals.h"
#include "platform/Report.h"

void TMap::ShiftGridAxis(int axis, int direction)
{
    ShiftGridLines(m_values, size, axis, direction);
}

bool TMap::TransformAxis(int axis, bool forward)
{
    return TransformGridLines(m_values, size, axis, forward);
}

bool TMap::ForwardFFTAxis(int axis) { return TransformAxis(axis, true); }

bool TMap::InverseFFTAxis(int axis) { return TransformAxis(axis, false); }

void TMap::HalfVoxelPhase(int sign, double scale)
{
    size_t v = 0;
    for (int z = 0; z < size[2]; ++z)
        for (int y = 0; y < size[1]; ++y)
            for (int x = 0; x < size[0]; ++x, ++v) {
                const int index[3] = {x, y, z};
                // An even axis has its centre between two voxels: half a voxel of phase
                // per axis moves the origin of the transform there.
                double sum = 0;
                for (int d = 0; d < 3; ++d)
                    if (size[d] % 2 == 0)
                        sum += CentredIndex(index[d], size[d]) / size[d];
                const double a = sign * std::numbers::pi * sum;
                const std::complex<double> factor = std::polar(scale, a);
                const std::complex<double> value(m_values[v].real(), m_values[v].imag());
                const std::complex<double> result = value * factor;
                m_values[v] = TComplex(static_cast<float>(result.real()), static_cast<float>(result.imag()));
            }
}

void TMap::EnlargeTo(int nx, int ny, int nz)
{
    const int dim[3] = {nx, ny, nz};
    Resample(dim, true);
}

void TMap::ShrinkTo(int nx, int ny, int nz)
{
    const int dim[3] = {nx, ny, nz};
    Resample(dim, false);
}

void TMap::ResampleTo(const int dim[3])
{
    if (dim[0] < 1 || dim[1] < 1 || dim[2] < 1)
        return;  // no size to go back to
    bool grows = false, shrinks = false;
    for (int d = 0; d < 3; ++d) {
        grows = grows || dim[d] > size[d];
        shrinks = shrinks || dim[d] < size[d];
    }
    Resample(dim, !shrinks || grows);
}

void TMap::Resample(const int dim[3], bool enlarge)
{
    if (std::equal(dim, dim + 3, size))
        return;
    for (int d = 0; d < 3; ++d)
        if (enlarge ? dim[d] < size[d] : dim[d] > size[d]) {
            if (!g_bBatchMode)
                vx::Report(enlarge ? "New size must be larger than original size."
                                   : "New size must be smaller than original size.");
            return;
        }
    const size_t oldCount = m_values.size();
    if (oldCount == 0 || oldCount != static_cast<size_t>(size[0]) * size[1] * size[2])
        return;
    if (dim[0] < 1 || dim[1] < 1 || dim[2] < 1 ||
        static_cast<double>(dim[0]) * dim[1] * dim[2] > static_cast<double>(kMaxValues)) {
        if (!g_bBatchMode)
            vx::Report("The new map size is invalid.");
        return;
    }
    for (int d = 0; d < 3; ++d)
        if (!TMixedRadixFFT::CheckFFTLength(size[d]) || !TMixedRadixFFT::CheckFFTLength(dim[d]))
            return;
    const size_t newCount = static_cast<size_t>(dim[0]) * dim[1] * dim[2];
    // Keeps the values' level: the inverse transform divides by the new voxel count, the
    // forward one did not divide by the old.
    const double scale = static_cast<double>(newCount) / static_cast<double>(oldCount);

    // To the centred spatial frequencies of the old grid.
    for (int d = 0; d < 3; ++d)
        ShiftGridAxis(d, 0);
    for (int d = 0; d < 3; ++d)
        ForwardFFTAxis(d);
    HalfVoxelPhase(-1, 1.0);
    for (int d = 0; d < 3; ++d)
        ShiftGridAxis(d, 1);

    // Zero filled around them, or their centre block. The zero frequency sits at index
    // floor(n/2) of a line of either grid; the offset keeps it there. (Half the size
    // difference, rounded up, would move it by one from an even to an odd length and
    // turn the values into a phase ramp.)
    int offset[3];
    for (int d = 0; d < 3; ++d)
        offset[d] = enlarge ? dim[d] / 2 - size[d] / 2 : size[d] / 2 - dim[d] / 2;
    std::vector<TComplex> grid(newCount, TComplex(0.0f, 0.0f));
    const int* from = enlarge ? size : dim;  // the smaller grid, walked whole
    const int* to = enlarge ? dim : size;
    for (int z = 0; z < from[2]; ++z)
        for (int y = 0; y < from[1]; ++y)
            for (int x = 0; x < from[0]; ++x) {
                const size_t small = (static_cast<size_t>(z) * from[1] + y) * from[0] + x;
                const size_t large = (static_cast<size_t>(z + offset[2]) * to[1] + (y + offset[1])) * to[0] +
                                     (x + offset[0]);
                if (enlarge)
                    grid[large] = m_values[small];
                else
                    grid[small] = m_values[large];
            }
    SetGrid(dim, std::move(grid));

    // Back to the grid of the new size.
    for (int d = 0; d < 3; ++d)
        ShiftGridAxis(d, 0);
    HalfVoxelPhase(+1, scale);
    for (int d = 0; d < 3; ++d)
        InverseFFTAxis(d);
    for (int d = 0; d < 3; ++d)
        ShiftGridAxis(d, 1);
    UpdateStatistics();
    MarkChanged();
}
