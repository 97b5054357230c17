#include "readers/GEReaderHelpers.h"

#include <ctime>

#include "gehdr/GERawHdr.h"
#include "gehdr/GEcleanstr.h"
#include "model/math/Geometry.h"
#include "model/math/MatrixHelpers.h"
#include "model/TCSIParams.h"
#include "model/TMRImage.h"
#include "model/math/TextHelpers.h"
#include "platform/Numbers.h"
#include "platform/Paths.h"

int GESoftwareVersion(const GEExamData& exam)
{
    // The raw field may hold NUL bytes; the number ends at the first non-digit anyway.
    return vx::LeadingInt(exam.sw_version());
}

std::string GEExamNumberText(const GEExamData& exam)
{
    return FloatToString(static_cast<float>(exam.exam_number()), 5);
}

std::string GEExamDateText(const GEExamData& exam)
{
    const std::time_t seconds = static_cast<std::time_t>(exam.exam_time());
    std::tm local{};
    if (!localtime_r(&seconds, &local))
        return "n/a";
    char text[128];
    const size_t n = std::strftime(text, sizeof text, "%Y.%m.%d", &local);
    return std::string(text, n);
}

bool GESliceAxisOfPlane(int plane, int obliquePlane, int& axis)
{
    switch (plane) {
    case 2: axis = 2; return true;
    case 4: axis = 0; return true;
    case 8: axis = 1; return true;
    case 16:
        switch (obliquePlane) {
        case 18: axis = 2; break;
        case 20: axis = 0; break;
        case 24: axis = 1; break;
        default: break;
        }
        return true;
    default: return false;
    }
}

TPatientPosition GEPatientPosition(int32_t position, int32_t entry)
{
    TPatientPosition p;
    p.headFeet = entry == 2 ? "FF" : "HF";
    switch (position) {
    case 2: p.lying = "Prone"; break;
    case 4: p.lying = "Left-D"; break;
    case 8: p.lying = "Right-D"; break;
    default: p.lying = "Supine"; break;
    }
    return p;
}

bool GEObliqueRotation(const GEMRImgData& image, TCSIParams& set)
{
    const int s = set.m_nSliceAxis;
    int a = 0, b = 1;
    TMRImage::InPlaneAxes(s, a, b);
    const float halfA = set.m_fFOV[a] / 2, halfB = set.m_fFOV[b] / 2;
    const float* c = set.m_fOffCentre;
    // Header positions have x and y negated against the set's patient coordinates.
    const float u1[3] = {-image.corner1_x() - c[0], -image.corner1_y() - c[1], image.corner1_z() - c[2]};
    const float u2[3] = {-image.corner2_x() - c[0], -image.corner2_y() - c[1], image.corner2_z() - c[2]};
    const float n[3] = {-image.normal_x(), -image.normal_y(), image.normal_z()};

    float p1[3] = {0, 0, 0}, p2[3] = {0, 0, 0}, e[3] = {0, 0, 0};
    if (s == 2) {
        const std::string labels =
            PatientAxisLabels(set.m_strPatientPosition, set.m_strPatientOrientation, 2, 15);
        p1[0] = -halfA;
        p1[1] = -halfB;
        p2[0] = halfA;
        p2[1] = -halfB;
        OrientToStandardView(labels, 2, &p1[0], &p1[1], 1);
        OrientToStandardView(labels, 2, &p2[0], &p2[1], 1);
        e[2] = 1;
    } else if (s == 1) {
        p1[0] = -halfA;
        p1[2] = halfB;
        p2[0] = halfA;
        p2[2] = halfB;
        e[1] = -1;
    } else {
        p1[1] = -halfA;
        p1[2] = halfB;
        p2[1] = halfA;
        p2[2] = halfB;
        e[0] = -1;
    }
    // R (u1 u2 n) = (p1 p2 e): the matrices hold the vectors as their columns.
    float u[9], p[9];
    for (int r = 0; r < 3; ++r) {
        u[3 * r] = u1[r];
        u[3 * r + 1] = u2[r];
        u[3 * r + 2] = n[r];
        p[3 * r] = p1[r];
        p[3 * r + 1] = p2[r];
        p[3 * r + 2] = e[r];
    }
    SolveTransposed3x3(u, p, &set.m_fRotation[0][0], FailureMessage::None);
    return InvertMatrix3x3(&set.m_fRotation[0][0], &set.m_fRotationInverse[0][0], FailureMessage::None);
}

bool GESequenceSelectsVolume(const std::string& rawName, bool withProse)
{
    const std::string name = vx::ToLowerAscii(GEcleanstr(rawName));
    for (const char* word : {"press", "probe", "steam"})
        if (name.find(word) != std::string::npos)
            return true;
    return withProse && name.find("prose") != std::string::npos;
}

void GEVolumeCentre(const GEMRImgData& image, float centre[3])
{
    centre[0] = -image.voxel_center_x();
    centre[1] = -image.voxel_center_y();
    centre[2] = image.voxel_center_z();
}

void GESetVolume(const GEMRImgData& image, bool selected, TCSIParams& set)
{
    for (int k = 0; k < 3; ++k)
        set.m_fVolAngulation[k][0] = 0.0f;
    if (!selected) {
        set.m_nVolumes = 0;
        return;
    }
    set.m_nVolumes = 1;
    const float size[3] = {image.voxel_size_x(), image.voxel_size_y(), image.voxel_size_z()};
    float centre[3];
    GEVolumeCentre(image, centre);
    for (int k = 0; k < 3; ++k) {
        set.m_fVolSize[k][0] = size[k];
        set.m_fVolOffCentre[k][0] = centre[k];
    }
}

void GESetExamTexts(const GERawHdr& header, TCSIParams& set)
{
    set.m_strExamName = GEcleanstr(header.series_data.series_description());
    set.m_strPatientName = GEExamNumberText(header.exam_data);
    set.m_strExamDate = GEExamDateText(header.exam_data);
    // Microseconds in the header.
    set.m_fTR = static_cast<float>(header.mr_img_data.repetition_time() * 0.001);
    set.m_fTE = static_cast<float>(header.rdb_hdr.echo_time() * 0.001);
}
