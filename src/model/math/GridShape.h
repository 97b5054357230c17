#pragma once
// Walking the lines of a three-dimensional grid stored x fastest (index (z*ny + y)*nx + x),
// the circular half swap of those lines and their Fourier transform, for every grid of the
// program: the voxels of a CSI set, the values of a map, the weights of a region estimate.
#include <complex>
#include <cstddef>
#include <utility>
#include <vector>

#include "model/math/TMixedRadixFFT.h"

// Strides of the grid and the lines along each axis.
struct TGridShape {
    int n[3];
    size_t stride[3];
    explicit TGridShape(const int dim[3])
    {
        for (int d = 0; d < 3; ++d)
            n[d] = dim[d];
        stride[0] = 1;
        stride[1] = static_cast<size_t>(dim[0]);
        stride[2] = static_cast<size_t>(dim[0]) * static_cast<size_t>(dim[1]);
    }
    size_t LineCount(int axis) const
    {
        return static_cast<size_t>(n[(axis + 1) % 3]) * static_cast<size_t>(n[(axis + 2) % 3]);
    }
    // Index of the first element of line `line` along `axis`.
    size_t LineStart(int axis, size_t line) const
    {
        const int o1 = (axis + 1) % 3, o2 = (axis + 2) % 3;
        const size_t i = line % static_cast<size_t>(n[o1]);
        const size_t j = line / static_cast<size_t>(n[o1]);
        return i * stride[o1] + j * stride[o2];
    }
};

// The rotation m of a half swap of a line of n elements, new[i] = old[(i + m) mod n]:
// an even length swaps the halves whatever the direction; an odd length moves by
// ceil(n/2) with direction 1 (element 0 lands in the middle, the usual fftshift) and by
// floor(n/2) with direction 0 (its inverse); any other direction leaves it alone.
inline int HalfShiftAmount(int n, int direction)
{
    if (n < 2)
        return 0;
    if (n % 2 == 0)
        return n / 2;
    return direction == 1 ? (n + 1) / 2 : direction == 0 ? n / 2 : 0;
}

// Centred index of element i of an axis of length n: the upper half counts from -n.
inline double CentredIndex(int i, int n)
{
    return i < (n + 1) / 2 ? i : i - n;
}

// Half swap of every line along `axis` of the grid `data` (dim[0]*dim[1]*dim[2]
// elements). Nothing for another element count or an axis outside 0..2.
template <typename T>
void ShiftGridLines(std::vector<T>& data, const int dim[3], int axis, int direction)
{
    if (axis < 0 || axis > 2 || dim[0] < 1 || dim[1] < 1 || dim[2] < 1)
        return;
    const TGridShape g(dim);
    if (data.size() != g.stride[2] * static_cast<size_t>(dim[2]))
        return;
    const int n = dim[axis];
    const int m = HalfShiftAmount(n, direction);
    if (m == 0)
        return;
    std::vector<T> line(static_cast<size_t>(n));
    for (size_t l = 0; l < g.LineCount(axis); ++l) {
        const size_t start = g.LineStart(axis, l);
        for (int i = 0; i < n; ++i)
            line[static_cast<size_t>(i)] = std::move(data[start + static_cast<size_t>((i + m) % n) * g.stride[axis]]);
        for (int i = 0; i < n; ++i)
            data[start + static_cast<size_t>(i) * g.stride[axis]] = std::move(line[static_cast<size_t>(i)]);
    }
}

// The transform of every line along `axis` of a grid of complex values: forward
// (exp(-i...), unscaled) or inverse (exp(+i...), times 1/n), as TMixedRadixFFT does them.
// False, nothing changed, for an axis outside 0..2, another element count or a length the
// transform refuses (silently: the caller reports).
template <typename T>
bool TransformGridLines(std::vector<std::complex<T>>& data, const int dim[3], int axis, bool forward)
{
    if (axis < 0 || axis > 2 || dim[0] < 1 || dim[1] < 1 || dim[2] < 1)
        return false;
    const TGridShape g(dim);
    const int n = dim[axis];
    if (data.empty() || data.size() != g.stride[2] * static_cast<size_t>(dim[2]) || !TMixedRadixFFT::IsFFTLength(n))
        return false;
    const size_t count = static_cast<size_t>(n);
    std::vector<double> re(count), im(count);
    TMixedRadixFFT fft;
    for (size_t l = 0; l < g.LineCount(axis); ++l) {
        const size_t start = g.LineStart(axis, l);
        for (size_t i = 0; i < count; ++i) {
            const std::complex<T> v = data[start + i * g.stride[axis]];
            re[i] = v.real();
            im[i] = v.imag();
        }
        if (!(forward ? fft.Forward(n, re.data(), im.data(), re.data(), im.data())
                      : fft.Inverse(n, re.data(), im.data(), re.data(), im.data())))
            return false;  // not reached: the length was checked
        for (size_t i = 0; i < count; ++i)
            data[start + i * g.stride[axis]] = std::complex<T>(static_cast<T>(re[i]), static_cast<T>(im[i]));
    }
    return true;
}
