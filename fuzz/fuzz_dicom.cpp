// DICOM image files through the standard and the GE DICOM image readers. The project holds
// one CSI set, so the GE reader's exam checks run too (the silent reports answer Yes).
// Then the file takes one road into a new project, which the input's length picks (modulo
// 4): Add Images as a standard or as a GE DICOM image, or Add Exam of GE type given the
// file "e1.dcm" or its folder (AddImagesThroughProject: save, open, pixels compared).
// An input whose first byte is 0xff is no file but the values of one that the target
// writes through the DICOM library (see ChosenImage): size, bits, transfer syntax, the
// first pixel's position, row and column directions, pixel spacings, patient position,
// times, texts and pixels. It takes the road its byte picks, and its image must hold what
// the standard's mapping gives those values: the orientation, the field of view, the
// centre, the rotation and its inverse, the patient's position and direction labels, the
// texts and times, and the pixels as written, never as the program's own pixel file.
// Scanner files make good seeds: build/fuzz/fuzz/fuzz_dicom corpus ../shared/data/dicom_ge/dcm_qa_ge
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcxfer.h"
#include "dcmtk/oflog/oflog.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageImportParams.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "readers/DicomImage.h"

namespace {

using vx::fuzz::Printed;
using vx::fuzz::Require;

// The values of an image the target writes, and its road.
struct TChosenImage : vx::fuzz::TDicomImageValues {
    int road = 0;
};

constexpr size_t kChosenBytes = 16;
constexpr const char* kCodes[] = {"HFS", "HFP", "HFDR", "HFDL", "FFS", "FFP", "FFDR", "FFDL", ""};

// 16 bytes after the first: rows and columns (1 to 16), the bits (8 or 16, with the
// transfer syntax: explicit or implicit little-endian, explicit big-endian or GE's
// private one) and the road, the first pixel's position (three bytes, -32 to 31.75 mm),
// the directions (ChosenDirections), the spacings (0.25 to 4 mm), the patient position
// (one of the eight codes or none), TR, TE and thickness (a byte each), the study's
// number and date; then the pixels (16-bit words or bytes, zero past the input's end).
TChosenImage ChosenImage(const uint8_t* data, size_t size)
{
    vx::fuzz::TChosen c(data, size);
    TChosenImage p;
    p.rows = 1 + c.Pick(16);
    p.columns = 1 + c.Pick(16);
    const uint8_t kind = c.Byte();
    p.bits = (kind & 1) ? 8 : 16;
    static constexpr E_TransferSyntax kSyntaxes[] = {EXS_LittleEndianExplicit, EXS_LittleEndianImplicit,
                                                     EXS_BigEndianExplicit, EXS_PrivateGE_LEI_WithBigEndianPixelData};
    p.syntax = int(kSyntaxes[(kind >> 1) & 3]);
    p.road = (kind >> 3) & 3;
    for (float& v : p.position)
        v = c.Signed(4.0f);
    vx::fuzz::ChosenDirections(c.Byte(), p.row, p.column);
    p.spacing[0] = float(1 + c.Pick(16)) / 4.0f;
    p.spacing[1] = float(1 + c.Pick(16)) / 4.0f;
    p.code = kCodes[c.Pick(9)];
    p.tr = float(c.Byte()) * 8.0f;
    p.te = float(c.Byte()) / 2.0f;
    p.thickness = float(c.Byte()) / 8.0f;
    p.studyId = std::to_string(c.Byte());
    p.studyDate = "2024" + Printed("%02d%02d", 1 + c.Pick(12), 1 + c.Pick(28));
    p.patientName = "Doe^" + p.studyId;
    for (int k = 0; k < p.rows * p.columns; ++k)
        p.pixels.push_back(p.bits == 8 ? c.Byte() : int16_t(c.Word()));
    return p;
}

// The image holds what the standard's mapping gives the values: the orientation of the
// slice axis, fields of view of the sizes times the spacings, the centre half the image
// from the first pixel's centre ((columns - 1) / 2 column spacings along the rows, (rows -
// 1) / 2 row spacings along the columns), the rotation of the directions onto the
// orientation's standard view (the axial one turned by the patient's direction labels)
// and its inverse, no angulation or off-centre, the patient's position texts, the texts
// and times, and the pixels.
void CheckChosen(TImageSet& images, const TChosenImage& p, const std::string& name, bool ge)
{
    Require(images.GetCount() == 1, "an image the standard describes is added");
    static constexpr const char* kLying[] = {"Supine", "Prone", "Right-D", "Left-D"};
    int code = 0;
    while (code < 8 && p.code != kCodes[code])
        ++code;
    const std::string lying = code < 8 ? kLying[code % 4] : "n/a", entry = code < 8 ? (code < 4 ? "HF" : "FF") : "n/a";
    static constexpr const char* kAxialLabels[] = {"RA", "LP", "AL", "PR"};
    const vx::fuzz::TPlaneGeometry plane =
        vx::fuzz::PlaneGeometry(p.row, p.column, code < 8 ? kAxialLabels[code % 4] : "");
    const int o = plane.sliceAxis;
    const std::string labels = code == 8 ? "BAD_ORIT" : o == 0 ? "AH" : o == 1 ? "RH" : kAxialLabels[code % 4];
    vx::fuzz::TExpectedImage e;
    e.name = name;
    e.width = p.columns;
    e.height = p.rows;
    e.orientation = o;
    e.texts[TMRImage::InfoPatientPosition] = lying;
    e.texts[TMRImage::InfoPatientEntry] = entry;
    e.texts[TMRImage::InfoDirectionCode] = labels;
    e.texts[TMRImage::InfoPatientName] = ge ? p.studyId : p.patientName;
    e.texts[TMRImage::InfoExamName] = "Chosen study";
    e.texts[TMRImage::InfoProtocolName] = "chosen";
    e.texts[TMRImage::InfoExamDate] =
        p.studyDate.substr(0, 4) + "." + p.studyDate.substr(4, 2) + "." + p.studyDate.substr(6, 2);
    e.fov[0] = float(p.columns) * p.spacing[1];
    e.fov[1] = float(p.rows) * p.spacing[0];
    for (int k = 0; k < 3; ++k)
        e.position[k] = double(p.position[k]) + 0.5 * (p.columns - 1) * p.spacing[1] * p.row[k] +
                        0.5 * (p.rows - 1) * p.spacing[0] * p.column[k];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            e.rotation[3 * i + j] = plane.rotation[i][j];
    e.tr = p.tr;
    e.te = p.te;
    e.thickness = p.thickness;
    e.pixels = p.pixels;
    vx::fuzz::CheckImage(**images.Begin(), e);
}

// Writes the file of chosen values and takes it on its road.
void AddChosen(const uint8_t* data, size_t size)
{
    const TChosenImage chosen = ChosenImage(data, size);
    // Add Exam of GE type takes the GE DICOM images by their names "e*.*".
    const bool exam = chosen.road >= 2;
    const std::string path = vx::JoinPath(vx::fuzz::ScratchFolder(), exam ? "e1.dcm" : "chosen.dcm");
    Require(vx::fuzz::WriteDicomImage(chosen, path), "the DICOM library writes the chosen image");
    TImageImportParams params;
    params.m_nImageType = chosen.road == 0 ? 4 : 2;
    const auto road = chosen.road < 2    ? vx::fuzz::TImageRoad::AddImages
                      : chosen.road == 2 ? vx::fuzz::TImageRoad::ExamFile
                                         : vx::fuzz::TImageRoad::ExamFolder;
    vx::fuzz::AddImagesThroughProject(path, params, road, 3, [&](TImageSet& images) {
        CheckChosen(images, chosen, vx::FileNameOf(path), chosen.road != 0);
    });
    vx::RemoveFile(path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vx::fuzz::PlanFault(data, size);
    static const bool quiet = [] {
        vx::fuzz::Prepare();
        OFLog::configure(OFLogger::FATAL_LOG_LEVEL);
        return true;
    }();
    (void)quiet;
    if (size >= 1 + kChosenBytes && data[0] == 0xff) {
        AddChosen(data + 1, size - 1);
        return 0;
    }
    const std::string path = vx::fuzz::WriteScratch("image.dcm", data, size);

    for (const bool ge : {false, true}) {
        TProject project;
        project.m_strFolder = vx::JoinPath(vx::fuzz::ScratchFolder(), "project");
        vx::MakeFolder(project.m_strFolder);
        auto* set = new TCSISet();
        set->m_strName = "csi";
        set->m_strPatientName.assign(1, '1');
        project.m_pCSISetList->Add(set);
        if (ge)
            ReadGEDicomImage(*project.m_pImageSet, path, TImageImportParams{}, &project);
        else
            ReadDicomImage(*project.m_pImageSet, path, TImageImportParams{}, &project);
    }
    TImageImportParams params;
    switch (size % 4) {
    case 0:
        params.m_nImageType = 4;
        vx::fuzz::AddImagesThroughProject(path, params, vx::fuzz::TImageRoad::AddImages);
        break;
    case 1:
        params.m_nImageType = 2;
        vx::fuzz::AddImagesThroughProject(path, params, vx::fuzz::TImageRoad::AddImages);
        break;
    default: {
        // Add Exam takes the GE DICOM images by their names "e*.*".
        const std::string exam = vx::fuzz::WriteScratch("e1.dcm", data, size);
        vx::fuzz::AddImagesThroughProject(
            exam, params, size % 4 == 2 ? vx::fuzz::TImageRoad::ExamFile : vx::fuzz::TImageRoad::ExamFolder, 3);
        vx::RemoveFile(exam);
        break;
    }
    }
    return 0;
}
