#include "readers/TMPCSIReader.h"

#include <algorithm>
#include <memory>

#include "gehdr/GERawHdr.h"
#include "model/TMRImage.h"
#include "platform/Report.h"
#include "platform/TFile.h"
#include "readers/GEReaderHelpers.h"
#include "readers/ReaderHelpers.h"

bool TMPCSIReader::IsSampled(int i, int j, int na, int nb)
{
    // A centre of 0 (an axis of size 1) would make its term 0 / 0.
    const auto term = [](int index, int size) {
        const double centre = (size - 1) * 0.5;
        return centre > 0 ? (index - centre) * (index - centre) / (centre * centre) : 0.0;
    };
    return term(i, na) + term(j, nb) <= 1.01;
}

std::vector<int> TMPCSIReader::SliceOrder(int slices)
{
    std::vector<int> order(static_cast<size_t>(std::max(slices, 0)));
    for (int k = 0; k < slices; ++k)
        order[size_t(k)] = k % 2 == 0 ? k / 2 : (slices + 1) / 2 + (k - 1) / 2;
    return order;
}

TCSISet* TMPCSIReader::Read(std::string path)
{
    return ReadPFile(path, TReadOptions::MultiPlane);
}

bool TMPCSIReader::ParseHeader(const std::string& path)
{
    if (!m_pCSISet)
        return false;
    TCSISet& set = *m_pCSISet;
    GERawHdr header(-1, -1);
    int byteOrder = -1;
    if (!ReadRawHeader(path, header, byteOrder) || !CheckSoftwareVersion(header, path, TSoftware::Excite) ||
        !SetSampleFormat(header, byteOrder, false))
        return false;
    const GEMRImgData& image = header.mr_img_data;
    if (!SetSliceAxis(image))
        return false;
    set.m_nSpatialDims = m_params.m_nSpatialDims = 2;
    set.m_bMultiSlice = 1;

    const GERdbHdr& rdb = header.rdb_hdr;
    const int s = set.m_nSliceAxis;
    int a = 0, b = 1;
    TMRImage::InPlaneAxes(s, a, b);
    const int slices = rdb.field_68();
    set.m_nDim[a] = m_params.m_nDim[a] = CheckedFloatToInt(rdb.field_256());
    set.m_nDim[b] = m_params.m_nDim[b] = CheckedFloatToInt(rdb.field_260());
    set.m_nDim[s] = m_params.m_nDim[s] = slices;
    // The centre frequency is stored in units of 0.1 Hz.
    set.m_fFrequency = m_params.m_fFrequency = static_cast<float>(rdb.center_freq() * 1e-7);
    set.m_nSpectralWidth = m_params.m_nSweepWidth = CheckedFloatToInt(rdb.field_252());
    SetPoints(CheckedFloatToInt(rdb.field_1016()));
    set.m_slicePhases.assign(static_cast<size_t>(std::max(slices, 0)), TSlicePhase{});

    // An echo acquisition's top lies where half the echo time (microseconds, as the
    // sequence's own timing field) has passed since the acquisition began.
    set.m_bEchoShifted = rdb.field_1000() != 0.0f ? 1 : 0;
    const double echoMilliseconds = 0.5 * rdb.echo_time() * 0.001 - rdb.field_1004() * 0.001;
    set.m_nEchoPosition = set.m_bEchoShifted ? CheckedFloatToInt(set.m_nSpectralWidth * echoMilliseconds * 0.001) : 0;
    SetPatientPosition(set, GEPatientPosition(rdb.patient_position(), rdb.patient_entry()));

    // The slab spans every slice with its gap; the grid's centre lies 1.5 slices along the
    // normal from the centre of the header's image plane.
    const float spacing = image.field26() + image.slice_thickness();
    SetInPlaneFOV(image);
    SetSliceFOV(static_cast<float>(slices) * spacing);
    const float normal[3] = {-image.normal_x(), -image.normal_y(), image.normal_z()};
    set.m_fOffCentre[0] = -image.center_x();
    set.m_fOffCentre[1] = -image.center_y();
    set.m_fOffCentre[2] = image.center_z();
    if (image.plane() == 16 && !SetObliqueRotation(image, path))
        return false;
    for (int k = 0; k < 3; ++k)
        set.m_fOffCentre[k] += 1.5f * spacing * normal[k];

    GESetVolume(image, GESequenceSelectsVolume(image.sequence_short_name(), false), set);
    GESetExamTexts(header, set);
    return true;
}

bool TMPCSIReader::ReadRawData(const std::string& path)
{
    if (!m_pCSISet)
        return false;
    vx::TFile file;
    if (!file.Open(path, vx::TFile::Mode::Read)) {
        vx::Report("Data file " + path + " does not exist or cannot be read.", vx::ReportIcon::Exclamation);
        return false;
    }
    m_pRawData.reset();
    m_nRawFloats = 0;
    const TCSISet& set = *m_pCSISet;
    const int s = set.m_nSliceAxis;
    int a = 0, b = 1;
    if (!TMRImage::InPlaneAxes(s, a, b) || m_params.m_nHeaderSize < 0 || !GridFits(path))
        return false;
    const int na = set.m_nDim[a], nb = set.m_nDim[b], slices = set.m_nDim[s];
    const uint64_t floats = GridFloatCount(set);
    const int width = m_params.m_nSampleType <= 2 ? SampleValueBytes(m_params.m_nSampleType) : 0;
    if (width == 0)
        return false;
    uint64_t sampled = 0;
    for (int j = 0; j < nb; ++j)
        for (int i = 0; i < na; ++i)
            sampled += IsSampled(i, j, na, nb) ? 1 : 0;
    // A matrix without a sampled point has nothing to read.
    if (sampled == 0) {
        ReportDataFileNotRead(path, "no point of its " + std::to_string(na) + " x " + std::to_string(nb) +
                                        " matrix lies inside the sampled ellipse.");
        return false;
    }
    // The samples must lie in the file before the grid is allocated.
    const uint64_t perSpectrum = uint64_t(set.m_nPoints) * 2;
    const uint64_t needed =
        uint64_t(m_params.m_nHeaderSize) + sampled * uint64_t(slices) * perSpectrum * uint64_t(width);
    const int64_t size = file.Size();
    if (size < 0 || needed > uint64_t(size)) {
        ReportDataFileCutShort(path, size, file.LastError(), needed, true);
        return false;
    }
    if (!file.Seek(m_params.m_nHeaderSize))
        return false;

    std::unique_ptr<float[]> grid(new float[floats]());
    int at[3] = {0, 0, 0};
    for (int j = 0; j < nb; ++j)
        for (int i = 0; i < na; ++i) {
            if (!IsSampled(i, j, na, nb))
                continue;
            at[a] = i;
            at[b] = j;
            for (int k = 0; k < slices; ++k) {
                at[s] = k;
                float* spectrum = grid.get() + set.VoxelIndex(at[0], at[1], at[2]) * perSpectrum;
                const bool read = m_params.m_nSampleType == 0   ? ReadInt16Spectrum(file, spectrum)
                                  : m_params.m_nSampleType == 1 ? ReadInt32Spectrum(file, spectrum)
                                                                : ReadFloat32Spectrum(file, spectrum);
                if (!read) {
                    ReportDataFileReadFailed(path, file.LastError());
                    return false;
                }
            }
        }
    m_pRawData = std::move(grid);
    m_nRawFloats = size_t(floats);
    return true;
}

TCSIReader::TParameterKeys TMPCSIReader::HeaderKeys() const
{
    return {"field_1016", "", "field_256, field_260, field_68", "fov, field26, slice_thickness", "center_freq",
            "field_252"};
}

bool TMPCSIReader::FillCSISet()
{
    if (!m_pRawData || !m_pCSISet)
        return false;
    const TCSISet& set = *m_pCSISet;
    const int s = set.m_nSliceAxis;
    if (s < 0 || s > 2 || GridFloatCount(set) != m_nRawFloats)
        return false;
    // Moves every slice of the buffer to its place in space, then fills the voxels from it.
    const std::vector<int> order = SliceOrder(set.m_nDim[s]);
    const size_t perSpectrum = size_t(set.m_nPoints) * 2;
    std::unique_ptr<float[]> placed(new float[m_nRawFloats]);
    const int n = set.m_nDim[s];
    for (int z = 0; z < set.m_nDim[2]; ++z)
        for (int y = 0; y < set.m_nDim[1]; ++y)
            for (int x = 0; x < set.m_nDim[0]; ++x) {
                int from[3] = {x, y, z};
                from[s] = order[size_t(n - 1 - from[s])];
                std::copy_n(m_pRawData.get() + set.VoxelIndex(from[0], from[1], from[2]) * perSpectrum, perSpectrum,
                            placed.get() + set.VoxelIndex(x, y, z) * perSpectrum);
            }
    m_pRawData = std::move(placed);
    return TGEPfileReader::FillCSISet();
}

bool TMPCSIReader::PostRead()
{
    if (!m_pCSISet || !m_pCSISet->IsLoaded() || !ReconstructGrid())
        return false;
    m_pCSISet->FlipAxis(0);
    FinishSetData(*m_pCSISet, m_params.m_bNormalize != 0);
    return true;
}
