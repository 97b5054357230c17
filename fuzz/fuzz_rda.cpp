// RDA spectroscopy exports through the format-18 reader. The first input byte picks the
// dialog's options (bit 0 "Load raw data", bit 1 "Remove offset", bit 2 "Apply
// normalization"), in bits 3-6 the header size used when the end line is missing, and in
// bit 7 where the file comes from:
//  - bit 7 clear: the rest is the file;
//  - bit 7 set: 12 bytes of parameters (TE, TR, averages, frequency, sweep width, points,
//    grid, voxel spacing and nucleus; see ParametersOf), then two parts split by Sections:
//    the patient name and the samples. The target writes the header from them in the
//    format's own layout; the file must read, and the set hold those parameters.
// Either way the set read goes on the road of Add CSI Set (AddThroughProject).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "readers/TRDAReader.h"

namespace {

// The values of a header the target writes, each from a few input bytes and always one a
// scanner could write: numbers exact in a float and in the text written for them.
struct TRdaParameters {
    float te = 0, tr = 0, averages = 0, frequency = 0;
    int width = 0, points = 0, matrix[3] = {1, 1, 1};
    float spacingRow = 1, spacingColumn = 1, spacing3D = 1;
    std::string nucleus, patientName;
};

constexpr size_t kParameterBytes = 12;

// The parameters from 12 bytes and a text: TE (16 bits, 1/16 ms), TR (16 bits, 1/8 ms),
// averages (8 bits), frequency (16 bits, 1 + 1/64 MHz), sweep width (one of eight), points
// (1 to 64, a power of two), the grid (1-4 by 1-4 by 1-2), the spacings (1 to 8 mm, two
// bytes) and the nucleus (one of four, with the points byte); the patient name is the
// letters and digits of the text's first 64 characters (one "X" when it has none).
TRdaParameters ParametersOf(const uint8_t* b, std::string_view name)
{
    static constexpr int kWidths[] = {1000, 2000, 2500, 4000, 5000, 500, 1250, 8000};
    static constexpr const char* kNuclei[] = {"1H", "31P", "13C", "19F"};
    TRdaParameters p;
    p.te = float(b[0] | (b[1] << 8)) / 16.0f;
    p.tr = float(b[2] | (b[3] << 8)) / 8.0f;
    p.averages = float(b[4]);
    p.frequency = 1.0f + float(b[5] | (b[6] << 8)) / 64.0f;
    p.width = kWidths[b[7] % 8];
    p.points = 1 << (b[8] % 7);
    p.nucleus = kNuclei[(b[8] >> 4) % 4];
    p.matrix[0] = 1 + b[9] % 4;
    p.matrix[1] = 1 + (b[9] >> 2) % 4;
    p.matrix[2] = 1 + (b[9] >> 4) % 2;
    p.spacingColumn = float(1 + b[10] % 8);
    p.spacingRow = float(1 + (b[10] >> 3) % 8);
    p.spacing3D = float(1 + b[11] % 8);
    p.patientName = vx::fuzz::ChosenText(name, 64, "X");
    return p;
}

// The file as a scanner writes it: the header's lines between its markers (an axial grid:
// rows along x, columns along y), then 2 * points complex float64 samples per voxel, taken
// from the input's bytes as 16-bit numbers (zero where it has no more).
std::string RdaFile(const TRdaParameters& p, std::string_view samples)
{
    std::string text = ">>> Begin of header <<<\r\n";
    const auto line = [&](const char* format, auto... values) {
        char buffer[160];
        std::snprintf(buffer, sizeof buffer, format, values...);
        text += buffer;
        text += "\r\n";
    };
    line("PatientName: %s", p.patientName.c_str());
    line("TR: %.4f", double(p.tr));
    line("TE: %.4f", double(p.te));
    line("DwellTime: %d", 1000000 / p.width);
    line("NumberOfAverages: %.1f", double(p.averages));
    line("MRFrequency: %.6f", double(p.frequency));
    line("Nucleus: %s", p.nucleus.c_str());
    line("VectorSize: %d", p.points);
    line("CSIMatrixSize[0]: %d", p.matrix[0]);
    line("CSIMatrixSize[1]: %d", p.matrix[1]);
    line("CSIMatrixSize[2]: %d", p.matrix[2]);
    line("PixelSpacingRow: %.1f", double(p.spacingRow));
    line("PixelSpacingCol: %.1f", double(p.spacingColumn));
    line("PixelSpacing3D: %.1f", double(p.spacing3D));
    line("SliceThickness: %.1f", double(p.spacing3D));
    line("PositionVector[0]: 0.0");
    line("PositionVector[1]: 0.0");
    line("PositionVector[2]: 0.0");
    line("RowVector[0]: 1.0");
    line("RowVector[1]: 0.0");
    line("RowVector[2]: 0.0");
    line("ColumnVector[0]: 0.0");
    line("ColumnVector[1]: 1.0");
    line("ColumnVector[2]: 0.0");
    text += ">>> End of header <<<\r\n";
    const size_t values = size_t(2) * size_t(p.points) * size_t(p.matrix[0] * p.matrix[1] * p.matrix[2]);
    for (size_t k = 0; k < values; ++k) {
        const double value = vx::fuzz::ChosenSample(samples, k);
        char bytes[8];
        std::memcpy(bytes, &value, 8);
        text.append(bytes, 8);
    }
    return text;
}

// The set holds what its header said.
void CheckParameters(const TCSISet& set, const TRdaParameters& p)
{
    const bool same = set.m_fTE == p.te && set.m_fTR == p.tr && set.m_fAverages == p.averages &&
                      set.m_fFrequency == p.frequency && set.m_nSpectralWidth == p.width &&
                      set.m_nPoints == p.points && set.m_strNucleus == p.nucleus &&
                      set.m_strPatientName == p.patientName && set.m_nSliceAxis == 2 &&
                      set.m_nDim[0] == p.matrix[0] && set.m_nDim[1] == p.matrix[1] && set.m_nDim[2] == p.matrix[2] &&
                      set.m_fFOV[0] == float(p.matrix[0]) * p.spacingColumn &&
                      set.m_fFOV[1] == float(p.matrix[1]) * p.spacingRow &&
                      set.m_fFOV[2] == float(p.matrix[2]) * p.spacing3D;
    if (!same)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vx::fuzz::PlanFault(data, size);
    static const bool silenced = (vx::fuzz::Prepare(), true);
    (void)silenced;
    if (size < 1)
        return 0;
    TCSIReadParams params;
    params.m_nFormat = 18;
    params.m_bLoadRawData = data[0] & 1;
    params.m_bRemoveOffset = (data[0] >> 1) & 1;
    params.m_bNormalize = (data[0] >> 2) & 1;
    params.m_nHeaderSize = ((data[0] >> 3) & 15) * 64;
    const bool fromParameters = data[0] & 128;
    std::string path;
    TRdaParameters chosen;
    if (fromParameters) {
        if (size < 1 + kParameterBytes)
            return 0;
        const auto parts = vx::fuzz::Sections(data + 1 + kParameterBytes, size - 1 - kParameterBytes, 2);
        chosen = ParametersOf(data + 1, parts[0]);
        path = vx::fuzz::WriteScratch("input.rda", RdaFile(chosen, parts[1]));
    } else {
        path = vx::fuzz::WriteScratch("input.rda", data + 1, size - 1);
    }
    TRDAReader reader(&params);
    std::unique_ptr<TCSISet> set(reader.Read(path));
    if (fromParameters) {
        // A file a scanner could have written is read, with what its header says.
        if (!set)
            __builtin_trap();
        CheckParameters(*set, chosen);
    }
    vx::fuzz::AddThroughProject(set.get(), path, params);
    return 0;
}
