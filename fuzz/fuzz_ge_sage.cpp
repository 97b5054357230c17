// GE SAGE pairs through the SAGE reader. The first two input bytes give the length of the
// ".shf" text header; the rest is the ".sdf" data file. The first input byte also picks
// the options "Load raw data" (bit 0) and "Remove offset" (bit 1). A length of 65535 (more
// than an input holds) makes the target write the pair itself: the 12 bytes after the
// length give parameters (TR, TE, centre frequency, points, sweep width, study number; see
// ParametersOf), from which it writes a single-voxel header of six frames, two of them
// references, in the format's own layout, followed by the samples of the rest of the input;
// the pair must read, and the set hold those parameters.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "readers/ReaderFactory.h"

namespace {

struct TSageParameters {
    float tr = 0, te = 0, frequency = 0;
    int points = 0, width = 0, study = 0;
};

constexpr size_t kParameterBytes = 12;
constexpr int kFrames = 6;

// TR (16 bits, 1/8 ms), TE (16 bits, 1/16 ms), centre frequency (16 bits, 1 + 1/64 MHz),
// points (4 to 64, a power of two), sweep width (one of eight) and study number (16 bits);
// the last three bytes are not used yet.
TSageParameters ParametersOf(const uint8_t* b)
{
    static constexpr int kWidths[] = {1000, 2000, 2500, 4000, 5000, 500, 1250, 8000};
    TSageParameters p;
    p.tr = float(b[0] | (b[1] << 8)) / 8.0f;
    p.te = float(b[2] | (b[3] << 8)) / 16.0f;
    p.frequency = 1.0f + float(b[4] | (b[5] << 8)) / 64.0f;
    p.points = 1 << (2 + b[6] % 5);
    p.width = kWidths[b[7] % 8];
    p.study = b[8] | (b[9] << 8);
    return p;
}

// The ".shf" header of a probe-p single voxel in float samples, with the chosen values.
std::string SageHeader(const TSageParameters& p)
{
    char text[1024];
    std::snprintf(text, sizeof text,
                  "# SAGE Data Header (sdbm)\ndata_type       Complex\ndata_precision  Float\n"
                  "offset_to_data  0\nstudy_number    %d\ndate_acquired   04/02/2001\npsd_name        probe-p\n"
                  "TR  %.3f\nTE  %.4f\ncenter_freq  %.6f\nposition  1\nentry  1\nplane  2\nnum_ref_frames  2\n"
                  "opuser8   20\nopuser9   22\nopuser10  18\nopuser11  3.5\nopuser12  -4\nopuser13  6.5\n"
                  "dimen_num  0\ndomain     Time\nnum_pts    %d\nwidth      %d\n"
                  "dimen_num  1\ndomain     None\nnum_pts    %d\n"
                  "dimen_num  2\ndomain     None\nnum_pts    1\ndimen_num  3\ndomain     None\nnum_pts    1\n",
                  p.study, double(p.tr), double(p.te), double(p.frequency), p.points, p.width, kFrames);
    return text;
}

// The samples of every frame as complex floats, from the input's bytes as 16-bit numbers
// (zero where it has no more).
std::string SageData(const TSageParameters& p, const uint8_t* data, size_t size)
{
    std::string bytes;
    const size_t values = size_t(2) * size_t(p.points) * kFrames;
    for (size_t k = 0; k < values; ++k) {
        const float value = vx::fuzz::ChosenSample(std::string_view(reinterpret_cast<const char*>(data), size), k);
        char four[4];
        std::memcpy(four, &value, 4);
        bytes.append(four, 4);
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vx::fuzz::PlanFault(data, size);
    static const bool silenced = (vx::fuzz::Prepare(), true);
    (void)silenced;
    if (size < 2)
        return 0;
    TCSIReadParams params;
    params.m_nFormat = 14;
    params.m_bLoadRawData = data[0] & 1;
    params.m_bRemoveOffset = (data[0] >> 1) & 1;
    size_t headerBytes = size_t(data[0]) | (size_t(data[1]) << 8);
    data += 2;
    size -= 2;
    const bool fromParameters = headerBytes == 0xffff;
    std::string header;
    TSageParameters chosen;
    if (fromParameters) {
        if (size < kParameterBytes)
            return 0;
        chosen = ParametersOf(data);
        header = vx::fuzz::WriteScratch("scan.shf", SageHeader(chosen));
        vx::fuzz::WriteScratch("scan.sdf", SageData(chosen, data + kParameterBytes, size - kParameterBytes));
    } else {
        if (headerBytes > size)
            headerBytes = size;
        header = vx::fuzz::WriteScratch("scan.shf", data, headerBytes);
        vx::fuzz::WriteScratch("scan.sdf", data + headerBytes, size - headerBytes);
    }
    std::unique_ptr<TCSIReader> reader(CreateReader(14, &params));
    std::unique_ptr<TCSISet> set(reader->Read(header));
    if (fromParameters) {
        // A pair a scanner could have written is read, with what its header says.
        if (!set || set->m_fTR != chosen.tr || set->m_fTE != chosen.te || set->m_fFrequency != chosen.frequency ||
            set->m_nPoints != chosen.points || set->m_nSpectralWidth != chosen.width ||
            set->m_strPatientName != std::to_string(chosen.study))
            __builtin_trap();
    }
    vx::fuzz::AddThroughProject(set.get(), header, params);
    return 0;
}
