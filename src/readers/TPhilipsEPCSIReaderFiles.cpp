// The files of an EPCSI read: the PAR file of the examination, the LIST index of the raw
// data and the DATA file of readout vectors.
#include <climits>
#include <cmath>
#include <new>
#include <string>
#include <vector>

#include "model/math/TextHelpers.h"
#include "platform/Numbers.h"
#include "platform/Report.h"
#include "platform/TFile.h"
#include "readers/PhilipsPARImage.h"
#include "readers/ReaderHelpers.h"
#include "readers/TPhilipsEPCSIReader.h"

namespace {

// A k-space grid may hold positions no vector reaches, but buffers far larger than the
// samples of the DATA file come from a header that is not to be believed.
constexpr uint64_t kMaxBufferSamplesPerFileSample = 16;

// What a PAR file gives, kept apart until the slice axis has been found.
struct TEPCSIPAR {
    std::string patientName, examName, examDate, prepDirection;
    bool hasPatientName = false, hasExamName = false, hasExamDate = false, hasPrepDirection = false;
    float angulation[3] = {}, fov[3] = {}, offCentre[3] = {};
    bool hasAngulation = false, hasFOV = false, hasOffCentre = false;
    float thickness = 0.0f, gap = 0.0f;
    bool hasThickness = false, hasGap = false;
    int sliceAxis = 0;
    bool hasSliceAxis = false;
};

// One general-information line: the first label the line contains decides.
void TakeGeneralLine(const std::string& line, const std::vector<std::string>& words, TEPCSIPAR& g)
{
    auto has = [&](const char* label) { return line.find(label) != std::string::npos; };
    if (has("Patient name")) {
        g.patientName = TPhilipsReader::TextAfterColon(line);
        g.hasPatientName = true;
    } else if (has("Examination name")) {
        g.examName = TPhilipsReader::TextAfterColon(line);
        g.hasExamName = true;
    } else if (has("Examination date/time")) {
        // The date word only.
        std::vector<std::string> pieces;
        SplitString(TPhilipsReader::TextAfterColon(line), pieces, " \t\r\n");
        if (!pieces.empty()) {
            g.examDate = pieces[0];
            g.hasExamDate = true;
        }
    } else if (has("Preparation direction")) {
        g.prepDirection = words.back();
        g.hasPrepDirection = true;
    } else if (has("Technique")) {
        // Its value is not used, and no later label of the line counts.
    } else if (has("Angulation midslice")) {
        TPhilipsReader::PARTriple(words, g.angulation);
        g.hasAngulation = true;
    } else if (has("FOV (ap,fh,rl) [mm]")) {
        TPhilipsReader::PARTriple(words, g.fov);
        g.hasFOV = true;
    } else if (has("Off Centre midslice")) {
        TPhilipsReader::PARTriple(words, g.offCentre);
        g.hasOffCentre = true;
    } else if (has("Slice thickness [mm]")) {
        g.thickness = PARFloat(words.back());
        g.hasThickness = true;
    } else if (has("Slice gap [mm]")) {
        g.gap = PARFloat(words.back());
        g.hasGap = true;
    }
}

// The slice axis of a PAR slice orientation code (1 transverse, 2 sagittal, 3 coronal
// give 2, 0, 1); a negative code gives a negative axis, which the read refuses.
int SliceAxisOfCode(const std::string& word)
{
    return static_cast<int>((int64_t(vx::LeadingInt(word)) + 1) % 3);
}

// high - low + 1 of a LIST range; 0 when it does not fit an int.
int RangeSize(const std::string& low, const std::string& high)
{
    const int64_t n = int64_t(vx::LeadingInt(high)) - int64_t(vx::LeadingInt(low)) + 1;
    return n < INT_MIN || n > INT_MAX ? 0 : static_cast<int>(n);
}

}  // namespace

bool TPhilipsEPCSIReader::ParsePAR(std::string path)
{
    if (!m_pCSISet)
        return false;
    TEPCSIPAR g;
    auto onGeneral = [&](const std::string& line, const std::vector<std::string>& words) {
        TakeGeneralLine(line, words, g);
        return true;
    };
    // The first image line that gives the slice orientation ends the file.
    auto onImage = [&](const std::vector<std::string>& words, int version) {
        if (version == 3) {
            if (words.size() < 29)
                return true;
            g.sliceAxis = SliceAxisOfCode(words[19]);
            g.hasSliceAxis = true;
            return false;
        }
        if (words.size() < 41)
            return true;
        g.thickness = PARFloat(words[22]);
        g.gap = PARFloat(words[23]);
        g.hasThickness = g.hasGap = true;
        g.sliceAxis = SliceAxisOfCode(words[25]);
        g.hasSliceAxis = true;
        return false;
    };
    if (!ForEachPARLine(path, onGeneral, onImage) || !g.hasSliceAxis)
        return false;

    TCSISet& set = *m_pCSISet;
    if (g.hasPatientName)
        set.m_strPatientName = g.patientName;
    if (g.hasExamName)
        set.m_strExamName = g.examName;
    if (g.hasExamDate)
        set.m_strExamDate = g.examDate;
    if (g.hasPrepDirection)
        m_strPrepDirection = g.prepDirection;
    for (int k = 0; k < 3; ++k) {
        if (g.hasAngulation)
            set.m_fAngulation[k] = g.angulation[k];
        if (g.hasFOV)
            set.m_fFOV[k] = g.fov[k];
        if (g.hasOffCentre)
            set.m_fOffCentre[k] = g.offCentre[k];
    }
    if (g.hasThickness)
        set.m_fSliceThickness = g.thickness;
    if (g.hasGap)
        set.m_fSliceGap = g.gap;
    set.m_nSliceAxis = g.sliceAxis;
    return true;
}

bool TPhilipsEPCSIReader::ParseLIST(std::string path)
{
    if (!m_pCSISet || !HasAxisPermutation())
        return false;
    TCSISet& set = *m_pCSISet;
    const int kx = m_params.m_nAxisOrder[0], ky = m_params.m_nAxisOrder[1], kz = m_params.m_nAxisOrder[2];

    auto onHeader = [&](const std::vector<std::string>& pieces) {
        if (pieces.size() != 7 && pieces.size() != 8)
            return true;
        const std::string& key = pieces[4];
        if (pieces.size() == 7) {
            const int value = vx::LeadingInt(pieces[6]);
            if (key == "number_of_encoding_dimensions") {
                set.m_nSpatialDims = value;
            } else if (key == "number_of_cardiac_phases") {
                m_nCardiacPhases = value;
            } else if (key == "number_of_echoes") {
                m_nEchoes = value;
            } else if (key == "number_of_signal_averages") {
                // No averages is one: the sum of the vectors is the signal.
                m_nSignalAverages = value < 1 ? 1 : value;
                set.m_fAverages = static_cast<float>(m_nSignalAverages);
            } else if (key == "kx_oversample_factor") {
                m_fOversample[0] = PARFloat(pieces[6]);
            } else if (key == "ky_oversample_factor") {
                m_fOversample[1] = PARFloat(pieces[6]);
            } else if (key == "kz_oversample_factor") {
                m_fOversample[2] = PARFloat(pieces[6]);
            }
        } else {
            if (key == "kx_range")
                set.m_nDim[kx] = RangeSize(pieces[6], pieces[7]);
            else if (key == "ky_range")
                set.m_nDim[ky] = RangeSize(pieces[6], pieces[7]);
            else if (key == "kz_range")
                set.m_nDim[kz] = RangeSize(pieces[6], pieces[7]);
        }
        return true;
    };
    auto onVector = [&](const std::vector<std::string>& pieces, int64_t offset) {
        // The file's k indices run from minus half the size; 64-bit so that no value of
        // the file overflows.
        const int64_t kzIndex = int64_t(vx::LeadingInt(pieces[10])) + set.m_nDim[kz] / 2;
        const int64_t t = int64_t(vx::LeadingInt(pieces[4])) * m_nCardiacPhases + vx::LeadingInt(pieces[3]);
        const int64_t kyIndex = int64_t(vx::LeadingInt(pieces[9])) + set.m_nDim[ky] / 2;
        if (kzIndex < 0 || kzIndex >= set.m_nDim[kz] || t < 0 || t >= TimeIndexCount() || kyIndex < 0 ||
            kyIndex >= set.m_nDim[ky])
            return false;
        m_kSpaceLines.push_back({int32_t(kzIndex), int32_t(t), int32_t(kyIndex), offset});
        return true;
    };
    if (!ForEachLISTLine(path, onHeader, onVector))
        return false;

    // Even and odd time indices share a point: an odd count rounds up, so that its
    // last time index has a place too.
    const int64_t times = TimeIndexCount();
    const int64_t points = times > 0 ? (times + 1) / 2 : 0;
    SetPointCount(points <= INT_MAX ? static_cast<int>(points) : 0);
    m_fReadoutDwell = ReadoutDwell(set.m_nSpectralWidth, set.m_nDim[kx], set.m_fFOV[kx]);
    return true;
}

float TPhilipsEPCSIReader::ReadoutDwell(int spectralWidth, int nx, float fovX)
{
    if (spectralWidth <= 0 || nx <= 0 || !(fovX > 0.0f))
        return 0.0f;
    // The readout gradient's strength for the field of view (kHz/mT at 42.58 MHz/T) and
    // half the spectral dwell in ms; r is the ramp time (ms) that fits both, at least
    // 0.12 ms.
    const double a = double(nx) / (double(fovX * 0.001f) * 42.58);
    const double halfDwell = (1.0 / spectralWidth) * 499.9999762512755;
    const double discriminant = halfDwell * halfDwell - 4.0 * 0.02 * a;
    double ramp = discriminant >= 0.0 ? (halfDwell - std::sqrt(discriminant)) * 0.25 : 0.0;
    if (discriminant < 0.0 || ramp < double(0.12f))
        ramp = double(0.12f);
    return static_cast<float>((1000.0 / spectralWidth - 4.0 * ramp) * 0.5 * 0.001 / nx);
}

bool TPhilipsEPCSIReader::ReadRawData(const std::string& path)
{
    if (!m_pCSISet || m_kSpaceLines.empty())
        return false;
    vx::TFile file;
    if (!file.Open(path, vx::TFile::Mode::Read)) {
        vx::Report("Data file " + path + " does not exist or cannot be read.", vx::ReportIcon::Exclamation);
        return false;
    }
    ReleaseBuffers();
    const TCSISet& set = *m_pCSISet;
    const uint64_t gridFloats = GridFloatCount(set);
    if (gridFloats == 0 || !HasAxisPermutation())
        return false;
    const int kx = m_params.m_nAxisOrder[0], ky = m_params.m_nAxisOrder[1], kz = m_params.m_nAxisOrder[2];
    const int64_t n[3] = {set.m_nDim[0], set.m_nDim[1], set.m_nDim[2]};
    const size_t nx = size_t(n[kx]);
    const uint64_t vectorBytes = uint64_t(nx) * 8;
    const uint64_t records = m_kSpaceLines.size();
    const int64_t size = file.Size();
    // The two buffers hold as many samples as the grid has floats.
    if (gridFloats > kMaxBufferSamplesPerFileSample * records * nx) {
        vx::Report("The LIST file of " + path + " lists " + std::to_string(records) + " data vectors of " +
                       std::to_string(nx) + " samples, far too few for a grid of " + GridSizeText(set) + ".",
                   vx::ReportIcon::Exclamation);
        return false;
    }
    if (!VectorsInsideDataFile(path, size, file.LastError(), vectorBytes))
        return false;

    const size_t samples = size_t(gridFloats / 2);
    const int64_t points = set.m_nPoints;
    std::unique_ptr<TComplex[]> even(new (std::nothrow) TComplex[samples]());
    std::unique_ptr<TComplex[]> odd(new (std::nothrow) TComplex[samples]());
    if (!even || !odd)
        return false;
    std::vector<unsigned char> bytes(static_cast<size_t>(vectorBytes));
    std::vector<float> values(nx * 2);
    for (const TKSpaceLine& record : m_kSpaceLines) {
        // Each vector from its own offset: noise and correction vectors lie between them.
        if (!file.Seek(record.offset) || !file.ReadExact(bytes.data(), bytes.size())) {
            ReportDataFileReadFailed(path, file.LastError());
            return false;
        }
        DecodeFloat32LE(bytes.data(), values.size(), values.data());
        // The sizes may have changed after a record was checked (header lines after the
        // data vectors), so every record is checked against the final ones.
        const int64_t kzIndex = record.location, t = record.k1, kyIndex = record.k2;
        if (kzIndex < 0 || kzIndex >= n[kz] || kyIndex < 0 || kyIndex >= n[ky] || t < 0 ||
            t >= TimeIndexCount() || t / 2 >= points)
            return RefuseVectorOutsideGrid(path);
        // Vectors of odd kz come with the opposite sign.
        const float sign = kzIndex % 2 == 0 ? 1.0f : -1.0f;
        TComplex* target = t % 2 == 0 ? even.get() : odd.get();
        int64_t c[3];
        c[kz] = kzIndex;
        c[ky] = kyIndex;
        for (size_t x = 0; x < nx; ++x) {
            c[kx] = int64_t(x);
            const int64_t v = (c[2] * n[1] + c[1]) * n[0] + c[0];
            target[v * points + t / 2] += sign * TComplex(values[2 * x], values[2 * x + 1]);
        }
    }
    if (m_nSignalAverages > 1) {
        const float averages = static_cast<float>(m_nSignalAverages);
        for (size_t i = 0; i < samples; ++i) {
            even[i] /= averages;
            odd[i] /= averages;
        }
    }
    m_pEvenData = std::move(even);
    m_pOddData = std::move(odd);
    m_nBufferSamples = samples;
    return true;
}
