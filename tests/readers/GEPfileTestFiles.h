#pragma once
// Synthetic GE P-files for the P-file reader tests, packed byte by byte from the raw
// header layouts of revisions 9.0, 11.0 and 14.3 written out here by hand, in either byte
// order, with k-space grids whose reconstruction puts one spectral line at a chosen voxel.
#include <array>
#include <complex>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/TCSIReadParams.h"
#include <gtest/gtest.h>

#include "gehdr/GETestSupport.h"
#include "model/TCSISet.h"
#include "readers/ReaderTestSupport.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

namespace vx::test {

// Raw version keys of the three revisions.
inline constexpr int kRev9 = 5, kRev11 = 8, kRev14 = 10;
// Byte offsets of the frame count (16-bit) and the leading frames to skip (float) in
// every raw header, for patching real files.
inline constexpr int kFrameCountOffset = 74, kSkipFramesOffset = 292;

// The header values a test controls; the defaults describe an axial 2-D 8 x 8 CSI scan.
struct TPfileHeader {
    int revision = kRev11;  // kRev9, kRev11 or kRev14
    int order = 1;          // 0 big-endian, 1 little-endian
    std::string swVersion = "11";
    // GERdbHdr
    int pointSize = 2;  // bytes per value
    int points = 64;
    int dims[3] = {8, 8, 1};  // header x, y, z
    int spatialDims = 2;
    int frameCount = 1;
    float skipFrames = 0.0f;  // field 292
    float spectralWidth = 2000.0f;
    int32_t centreFrequency = 1277346000;  // 0.1 Hz
    int echoFlag = 0;
    float fovRatio = 1.0f;  // field 868
    int field56 = 1;        // bit 0 clear: alternate the signs along x
    int field176 = 0;       // reorientation mode
    int field178 = 1;       // 0: transpose
    int32_t echoTime = 35000;  // us
    int32_t patientPosition = 1;
    int32_t patientEntry = 1;
    // Fields of the multi-plane CSI sequence: slices (16-bit), then floats
    int mpSlices = 4;               // field 68
    float mpSpectralWidth = 2500;   // field 252
    float mpMatrix[2] = {8, 8};     // fields 256, 260
    float mpEcho = 0;               // field 1000: nonzero for an echo acquisition
    float mpEchoTiming = 0;         // field 1004, microseconds
    float mpPoints = 32;            // field 1016
    // Exam and series blocks
    int examNumber = 4321;
    int32_t examTime = 1118943391;  // 2005-06-16 17:36 UTC
    std::string seriesDescription = "CSI 2D";
    // Image block
    int plane = 2;
    int32_t obliquePlane = 0;
    float sliceThickness = 10.0f;
    float fov = 160.0f;
    float rectFov = 0.0f;
    int imageDimY = 256;
    float pixelSizeY = 0.5f;
    float field26 = 12.0f;
    std::array<float, 3> centre{1.5f, -2.5f, 20.0f};
    std::array<float, 3> normal{0.0f, 0.0f, 1.0f};
    std::array<float, 3> corner1{0.0f, 0.0f, 0.0f};
    std::array<float, 3> corner2{0.0f, 0.0f, 0.0f};
    int32_t repetitionTime = 1500000;  // us
    std::string sequenceName = "csi2d";
    std::string sequenceShortName = "csi2d";
    std::array<float, 3> voxelSize{80.0f, 70.0f, 10.0f};
    std::array<float, 3> voxelCentre{4.0f, -6.0f, 18.0f};
};

// Bytes of the whole raw header of the revision.
std::string PfileHeaderBytes(const TPfileHeader& h);
// Size of the revision's raw header.
int PfileHeaderSize(int revision);
// Complex values as (real, imaginary) integers of `pointSize` bytes in the byte order,
// rounded to the nearest integer.
std::string PfileSamples(const std::vector<std::complex<double>>& values, int pointSize, int order);
// The header, one skipped frame of junk and the samples.
std::string PfileBytes(const TPfileHeader& h, const std::vector<std::complex<double>>& samples);

// k-space spectra (header x fastest, then y, then z; `points` each) whose voxel-space
// reconstruction by the EXCITE reader puts `fid` at header voxel `at` and nothing
// elsewhere. `alternateX` matches a header whose field 56 asks for alternated signs
// along x, `alternateY` a reader that alternates them along y too. The reconstruction
// is undone axis by axis from its documented steps: the grid shift, the forward spatial
// FFT scaled by 1/n, the sign alternation and the half-voxel phase ramp of every
// even-sized transformed axis.
std::vector<std::complex<double>> KSpaceLine(const int dims[3], int spatialDims, const int at[3],
                                             const std::vector<std::complex<double>>& fid, bool alternateX,
                                             bool alternateY = false);

// One line of `amplitude` counts at +1/8 of the sampling rate.
std::vector<std::complex<double>> LineFid(int points, double amplitude = 1000.0);
// A multi-plane CSI P-file: the header and, behind it, the sampled points of the k-space
// grid (x first in-plane index, y second, z the file's slice; `mpPoints` values each), y
// outer, x inner, every slice of a point after the other. Sampled: inside the ellipse
// through the edge centres.
std::string MPCSIBytes(const TPfileHeader& h, const std::vector<std::complex<double>>& grid);
// The header with an all-zero grid behind it.
std::string EmptyGrid(const TPfileHeader& h);

// A P-file reader test: reports scripted, the header library's lines kept off stderr, a
// folder for the files.
class PfileReaderTest : public ::testing::Test {
protected:
    TScriptedReport m_report;
    getest::TCapturedStderr m_quiet;
    TTempFolder m_folder;
};

// Sets the time zone for local dates while it lives.
class TTimeZone {
public:
    explicit TTimeZone(const char* zone);
    ~TTimeZone();
    TTimeZone(const TTimeZone&) = delete;
    TTimeZone& operator=(const TTimeZone&) = delete;

private:
    std::string m_old;
    bool m_had = false;
};

}  // namespace vx::test
