#pragma once
// Format 16, "GE MPCSI (NIH) P file": a GE P-file of the multi-slice 2-D CSI sequence. Its
// header keeps the matrix, spectral width, points and echo timing in fields of its own.
// Every slice samples only the ellipse of k-space inscribed in the in-plane matrix, and the
// slices are acquired interleaved. Behind the raw header come, for each sampled grid point
// (second in-plane index outer, first inner) and each acquired slice, the spectrum's
// (real, imaginary) int16 or int32 pairs in the file's byte order. The read zero-fills the
// unsampled points, puts the slices in their order, transforms the in-plane axes to voxel
// space and the spectra to the frequency domain.
#include <string>
#include <vector>

#include "readers/TGEPfileReader.h"

class TMPCSIReader : public TGEPfileReader {
public:
    explicit TMPCSIReader(const TCSIReadParams* pParams) : TGEPfileReader(pParams) {}

    TCSISet* Read(std::string path) override;
    // Parses the header; reports what it refuses.
    bool ParseHeader(const std::string& path) override;
    // Decodes the sampled spectra into a zeroed grid in acquisition order. Reports a file
    // that cannot be opened, is too short for the samples or fails while read, and a
    // matrix too large or with no point inside its ellipse.
    bool ReadRawData(const std::string& path) override;
    // Fills the voxels with the slices in their spatial order.
    bool FillCSISet() override;
    // In-plane k-space to voxel space, the spectral transform and the flip of axis x.
    bool PostRead() override;

    // Whether in-plane point (i, j) of an na x nb matrix is sampled: it lies within the
    // ellipse through the matrix's edge centres (a little beyond, so that the edge centres
    // count). An axis of size 1 limits nothing.
    static bool IsSampled(int i, int j, int na, int nb);
    // The interleaved order of the slices in the file: entry k is k / 2 for even k and
    // ceil(n / 2) + (k - 1) / 2 for odd k; slice s of the set holds the file's slice
    // SliceOrder(n)[n - 1 - s].
    static std::vector<int> SliceOrder(int slices);

protected:
    TParameterKeys HeaderKeys() const override;
};
