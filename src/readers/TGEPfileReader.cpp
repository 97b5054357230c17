#include "readers/TGEPfileReader.h"

#include <cmath>
#include <vector>

#include "gehdr/GERawHdr.h"
#include "gehdr/GEftype.h"
#include "model/TMRImage.h"
#include "model/math/TMixedRadixFFT.h"
#include "platform/Report.h"
#include "readers/GEReaderHelpers.h"
#include "readers/ReaderHelpers.h"

namespace {

void Fail(const std::string& text)
{
    vx::Report(text, vx::ReportIcon::Exclamation);
}

}  // namespace

TCSISet* TGEPfileReader::Read(std::string path)
{
    return ReadPFile(path, TReadOptions::Excite);
}

TCSISet* TGEPfileReader::ReadPFile(const std::string& path, TReadOptions options)
{
    m_pCSISet = NewSetForFile(path, m_params.m_nFormat);
    TCSISet& set = *m_pCSISet;
    // An oblique plane of an unknown code keeps this axis.
    set.m_nSliceAxis = 0;

    if (!ParseHeader(path) || !ValidateHeader(path, HeaderKeys()))
        return DiscardSet();

    if (options != TReadOptions::Dialog) {
        SetSliceAxisOrder(m_params, set.m_nSliceAxis);
        // The multi-plane sequence alternates the signs along both in-plane axes and needs
        // no half-voxel correction; EXCITE takes the first axis's alternation from its header.
        const bool multiPlane = options == TReadOptions::MultiPlane;
        m_params.m_bKSpaceCorrection = multiPlane ? 0 : 1;
        if (multiPlane)
            m_params.m_bCenter[0] = 1;
        m_params.m_bCenter[1] = multiPlane ? 1 : 0;
        m_params.m_bCenter[2] = 0;
    }
    m_params.m_bFlipFrequency = 1;
    m_params.m_bEchoAcquisition = 0;
    SetSliceThicknessFromGrid(set);

    if (!ReadRawData(path) || !FillCSISet())
        return DiscardSet();
    // Without the transforms, a read of the header only still refuses what they would.
    if (HeaderOnly() && !m_params.m_bLoadRawData && !TransformLengthsFit())
        return DiscardSet();
    return CompleteRead(true);
}

bool TGEPfileReader::ParseHeader(const std::string& path)
{
    if (!m_pCSISet)
        return false;
    TCSISet& set = *m_pCSISet;
    GERawHdr header(-1, -1);
    int byteOrder = -1;
    if (!ReadRawHeader(path, header, byteOrder) || !CheckSoftwareVersion(header, path, TSoftware::Excite))
        return false;
    if (!SetSampleFormat(header, byteOrder, true) || !SetSliceAxisAndMatrix(header))
        return false;
    if (set.m_nDim[0] == 1 && set.m_nDim[1] == 1 && set.m_nDim[2] == 1) {
        Fail("This is a single voxel data file. Use the GE Single Voxel option.");
        return false;
    }
    SetAcquisition(header);
    const GEMRImgData& image = header.mr_img_data;
    SetSliceFOV(set.m_nSpatialDims == 3 ? image.fov() : image.slice_thickness());
    m_fFOVRatio = header.rdb_hdr.field_868();
    if (image.plane() == 16 && !SetObliqueRotation(image, path))
        return false;

    const bool selected = GESequenceSelectsVolume(image.sequence_name(), true);
    GESetVolume(image, selected, set);
    if (selected && set.m_nSpatialDims == 3) {
        // A 3-D grid covers the excited volume: it is centred there, and its extent
        // along z is the slab of all its partitions.
        GEVolumeCentre(image, set.m_fOffCentre);
        set.m_fFOV[2] = image.field26() * static_cast<float>(set.m_nDim[2]);
    }
    return true;
}

bool TGEPfileReader::ReadRawHeader(const std::string& path, GERawHdr& header, int& byteOrder)
{
    const std::vector<int> type = GEftype(path);
    if (type[0] != 0) {
        Fail("The file " + path + " is not a recognized GE raw CSI data file.");
        return false;
    }
    if (header.assign(path) == -1) {
        Fail("Fail to read the header of " + path);
        return false;
    }
    byteOrder = type[3];
    return true;
}

bool TGEPfileReader::CheckSoftwareVersion(const GERawHdr& header, const std::string& path, TSoftware software)
{
    const bool excite = GESoftwareVersion(header.exam_data) >= 11;
    if (excite == (software != TSoftware::Pre11))
        return true;
    const char* kind = software == TSoftware::Excite          ? " is not EXCITE 11.0 version."
                       : software == TSoftware::ExciteOrLater ? " is not EXCITE 11.0 or later version."
                                                              : " is not GE pre 11.0 version.";
    Fail("The data file  " + path + kind);
    return false;
}

bool TGEPfileReader::SetSampleFormat(const GERawHdr& header, int byteOrder, bool skipFirstFrame)
{
    const GERdbHdr& rdb = header.rdb_hdr;
    // The sample size is checked first: any other than 2 or 4 bytes (a negative one too,
    // which would give a negative offset) is named.
    int sampleType = 0;
    switch (rdb.point_size()) {
    case 2: sampleType = 0; break;
    case 4: sampleType = 1; break;
    default: Fail("Wrong data type(it should be int16 or int32)."); return false;
    }
    int64_t offset = header.size();
    if (skipFirstFrame)
        offset += 2 * int64_t(rdb.point_size()) * int64_t(rdb.point_count());
    if (offset < 0)
        return false;
    if (byteOrder != 0 && byteOrder != 1) {
        Fail("Wrong byte order (it shoulbe be Big Endian or Little Endian).");
        return false;
    }
    // With 2 or 4 bytes per value and at most 65535 points the offset fits easily.
    m_params.m_nHeaderSize = static_cast<int32_t>(offset);
    m_params.m_nSampleType = sampleType;
    // The decoders read little-endian values unless told to swap.
    m_params.m_bSwapBytes = byteOrder == 0;
    return true;
}

bool TGEPfileReader::SetSliceAxisAndMatrix(const GERawHdr& header)
{
    if (!SetSliceAxis(header.mr_img_data))
        return false;
    TCSISet& set = *m_pCSISet;
    const int s = set.m_nSliceAxis;
    int a = 0, b = 1;
    TMRImage::InPlaneAxes(s, a, b);
    const GERdbHdr& rdb = header.rdb_hdr;
    set.m_nDim[a] = m_params.m_nDim[a] = rdb.csi_dim_x();
    set.m_nDim[b] = m_params.m_nDim[b] = rdb.csi_dim_y();
    set.m_nDim[s] = m_params.m_nDim[s] = rdb.csi_dim_z();
    set.m_nSpatialDims = m_params.m_nSpatialDims = SpatialDimsOf(set.m_nDim);
    return true;
}

bool TGEPfileReader::SetSliceAxis(const GEMRImgData& image)
{
    int axis = -1;
    if (!GESliceAxisOfPlane(image.plane(), image.oblique_plane(), axis)) {
        Fail("Invalid slice orientation.");
        return false;
    }
    // An oblique plane of another code keeps the new set's axis and the dialog's orientation.
    if (axis >= 0) {
        m_pCSISet->m_nSliceAxis = axis;
        m_params.m_nOrientation = axis;
    }
    return true;
}

void TGEPfileReader::SetAcquisition(const GERawHdr& header)
{
    TCSISet& set = *m_pCSISet;
    const GERdbHdr& rdb = header.rdb_hdr;
    const GEMRImgData& image = header.mr_img_data;

    set.m_nSpectralWidth = m_params.m_nSweepWidth = CheckedFloatToInt(rdb.spectral_width());
    // The centre frequency is stored in units of 0.1 Hz.
    set.m_fFrequency = m_params.m_fFrequency = static_cast<float>(rdb.center_freq() * 1e-7);
    SetPoints(rdb.point_count());
    SetInPlaneFOV(image);
    if (rdb.echo_flag() == 0) {
        set.m_bEchoShifted = 0;
        set.m_nEchoPosition = 0;
    } else {
        set.m_bEchoShifted = 1;
        set.m_nEchoPosition = set.m_nPoints / 2;
    }
    set.m_fOffCentre[0] = -image.center_x();
    set.m_fOffCentre[1] = -image.center_y();
    set.m_fOffCentre[2] = image.center_z();
    SetPatientPosition(set, GEPatientPosition(rdb.patient_position(), rdb.patient_entry()));
    GESetExamTexts(header, set);

    m_params.m_bCenter[0] = (rdb.field_56() & 1) == 0;
    m_bTranspose = rdb.field_178() == 0;
    m_nReorientMode = rdb.field_176();
}

void TGEPfileReader::SetPoints(int points)
{
    TCSISet& set = *m_pCSISet;
    set.m_nPoints = m_params.m_nPoints = points;
    set.m_nFirstPoint = 0;
    set.m_nLastPoint = points - 1;
    set.m_fPPMCentrePoint = static_cast<float>(points / 2);
    set.m_fPPMCentreValue = 0.0f;
}

void TGEPfileReader::SetInPlaneFOV(const GEMRImgData& image)
{
    TCSISet& set = *m_pCSISet;
    int a = 0, b = 1;
    TMRImage::InPlaneAxes(set.m_nSliceAxis, a, b);
    set.m_fFOV[a] = m_params.m_fFOV[a] = image.fov();
    set.m_fFOV[b] = m_params.m_fFOV[b] = std::fabs(image.rect_fov()) < 0.001f
                                             ? image.fov()
                                             : static_cast<float>(image.image_dim_y()) * image.pixel_size_y();
}

void TGEPfileReader::SetSliceFOV(float fov)
{
    const int s = m_pCSISet->m_nSliceAxis;
    m_pCSISet->m_fFOV[s] = m_params.m_fFOV[s] = fov;
}

bool TGEPfileReader::SetObliqueRotation(const GEMRImgData& image, const std::string& path)
{
    if (GEObliqueRotation(image, *m_pCSISet))
        return true;
    Fail("The oblique plane of " + path +
         " gives a rotation that cannot be inverted: its corners, normal and field of view span no volume.");
    return false;
}

TCSIReader::TParameterKeys TGEPfileReader::HeaderKeys() const
{
    return {"point_count", "", "csi_dim_x, csi_dim_y, csi_dim_z", "fov, slice_thickness", "center_freq",
            "spectral_width"};
}

bool TGEPfileReader::ReadRawData(const std::string& path)
{
    return ReadRawDataFrom(path, m_params.m_nHeaderSize);
}

bool TGEPfileReader::ReconstructGrid()
{
    TCSISet& set = *m_pCSISet;
    if (m_params.m_bRemoveOffset)
        set.RemoveDCOffset();
    const bool alternate[3] = {m_params.m_bCenter[0] != 0, m_params.m_bCenter[1] != 0, m_params.m_bCenter[2] != 0};
    if (!KSpaceGridToVoxelSpace(set, alternate))
        return false;
    if (m_params.m_bKSpaceCorrection)
        set.ApplyHalfVoxelShift();
    return SpectraToFrequencyDomain(set, m_params.m_bFlipFrequency != 0);
}

bool TGEPfileReader::TransformLengthsFit() const
{
    const TCSISet& set = *m_pCSISet;
    std::vector<int> lengths;
    int a = 0, b = 1;
    if (TMRImage::InPlaneAxes(set.m_nSliceAxis, a, b)) {
        if (set.m_nSpatialDims == 3)
            lengths = {set.m_nDim[0], set.m_nDim[1], set.m_nDim[2]};
        else if (set.m_nSpatialDims == 2)
            lengths = {set.m_nDim[a], set.m_nDim[b]};
    }
    lengths.push_back(set.m_nPoints);
    for (int n : lengths)
        if (!TMixedRadixFFT::CheckFFTLength(n))
            return false;
    return true;
}

bool TGEPfileReader::PostRead()
{
    if (!m_pCSISet || !m_pCSISet->IsLoaded())
        return false;
    TCSISet& set = *m_pCSISet;
    const int s = set.m_nSliceAxis;
    int a = 0, b = 1;
    TMRImage::InPlaneAxes(s, a, b);
    if (!ReconstructGrid())
        return false;

    set.FlipAxis(b);
    if (m_bTranspose)
        set.TransposeInPlane(s);
    switch (m_nReorientMode) {
    case 1:
        set.TransposeInPlane(s);
        set.FlipAxis(b);
        break;
    case 2:
        set.FlipAxis(a);
        set.FlipAxis(b);
        break;
    case 3:
        set.TransposeInPlane(s);
        set.FlipAxis(a);
        break;
    default: break;
    }
    if (set.m_nSliceAxis == 2)
        set.FlipAxis(2);

    // The smaller in-plane matrix covers the ratio of the larger one's field of view. A
    // header without a usable ratio (absent, zero, not finite) keeps the fields it gave.
    const int nA = set.m_nDim[a], nB = set.m_nDim[b];
    if (nA != nB) {
        const int from = nA > nB ? a : b, to = nA > nB ? b : a;
        const float fov = set.m_fFOV[from] * m_fFOVRatio;
        if (std::isfinite(fov) && fov > 0.0f)
            set.m_fFOV[to] = fov;
    }
    FinishSetData(set, m_params.m_bNormalize != 0);
    return true;
}
