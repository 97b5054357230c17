#include "readers/ImageImport.h"

#include <algorithm>
#include <cmath>

#include "model/math/Geometry.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "platform/OpenToRead.h"
#include "platform/Paths.h"

namespace {

std::string TrimBlanks(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// What the user is told about one differing set: the batch-log line or the question.
struct TMismatchTexts {
    std::string warning;
    std::string question;
};

// Reports one difference: a batch-log line, or the question; false when the user said No.
bool ReportMismatch(const TMismatchTexts& t, vx::ReportAnswer defaultAnswer)
{
    if (g_bBatchMode) {
        vx::AppendBatchLog(t.warning, true);
        return true;
    }
    return vx::Ask(t.question, vx::ReportButtons::YesNo, defaultAnswer) == vx::ReportAnswer::Yes;
}

// Visits the sets first to last; `differs` says whether a set differs from the image.
// Returns false when the user answered No. With `stopAfterYes` a Yes ends the visit.
template <typename Differs, typename Texts>
bool CheckSets(TProject* pProject, Differs differs, Texts texts, vx::ReportAnswer defaultAnswer,
               bool stopAfterYes)
{
    if (!pProject || !pProject->m_pCSISetList)
        return true;
    for (TCSISet* pSet : *pProject->m_pCSISetList) {
        if (!differs(*pSet))
            continue;
        if (!ReportMismatch(texts(pSet->m_strName), defaultAnswer))
            return false;
        if (stopAfterYes && !g_bBatchMode)
            return true;
    }
    return true;
}

}  // namespace

std::string DirectionCodeOf(int orientation)
{
    switch (orientation) {
    case 0: return "AH";
    case 1: return "RH";
    case 2: return "RA";
    default: return "n/a";
    }
}

void ReportImageNotOpened(const std::string& path, const std::string& notAFile, vx::BatchPolicy policy)
{
    vx::Report(vx::NotOpenedText("Image file", path, notAFile), vx::ReportIcon::Exclamation, policy);
}

void ReportImageCutShort(const std::string& path, int64_t size, int sizeError, uint64_t needed,
                         const std::string& need, vx::BatchPolicy policy)
{
    vx::Report(vx::CutShortText("Image file", path, size, sizeError, needed, need), vx::ReportIcon::Exclamation,
               policy);
}

void ReportImageReadFailed(const std::string& path, int error, vx::BatchPolicy policy)
{
    vx::Report(vx::NotReadToEndText("Image file", path, error), vx::ReportIcon::Exclamation, policy);
}

std::string OversizedImageText(int64_t first, int64_t second)
{
    return "Images of " + std::to_string(first) + " x " + std::to_string(second) +
           " pixels are not supported: at most " + std::to_string(TMRImage::kMaxSide) + " pixels a side.";
}

std::string ImageFileName(const std::string& name)
{
    return vx::SanitizeFileComponent(name);
}

bool ImageNameExists(const TImageSet& images, const std::string& name)
{
    return std::any_of(images.Begin(), images.End(),
                       [&](const TMRImage* pImage) { return pImage->GetName() == name; });
}

bool AddNewImage(TImageSet& images, TProject* pProject, TNewImage values)
{
    if (!pProject)
        return false;
    const std::string name = ImageFileName(values.name);
    // The pixel file would be written over, and removed with the image.
    if (ImageNameExists(images, name) || pProject->IsAnotherFile(vx::JoinPath(pProject->m_strFolder, name))) {
        vx::Report("The image " + name + " already exists.", vx::ReportIcon::Exclamation, values.policy);
        return false;
    }
    if (values.width < 1 || values.width > TMRImage::kMaxSide || values.height < 1 ||
        values.height > TMRImage::kMaxSide ||
        values.pixels.size() != static_cast<size_t>(values.width) * static_cast<size_t>(values.height))
        return false;

    auto* pImage = new TMRImage(pProject);
    const std::string path = vx::JoinPath(pProject->m_strFolder, name);
    pImage->SetPath(path);
    pImage->SetName(name, true);
    if (values.placed) {
        pImage->SetCentre(TPoint2D(0.0f, 0.0f), true);
        pImage->SetOrientation(values.orientation, true);
    }
    pImage->SetWidth(values.width, true);
    pImage->SetHeight(values.height, true);
    for (int k = 0; k < TMRImage::InfoTextCount; ++k)
        pImage->SetInfoText(values.info[k], k, true);
    pImage->SetParameter(values.tr, TMRImage::ParamTR, true);
    pImage->SetParameter(values.thickness, TMRImage::ParamThickness, true);
    pImage->SetParameter(values.te, TMRImage::ParamTE, true);
    for (int k = 0; k < 2; ++k)
        if (std::isfinite(values.fov[k]) && values.fov[k] > 0.0f)
            pImage->SetParameter(values.fov[k], TMRImage::ParamFOVX + k, true);
    for (int k = 0; k < 3; ++k) {
        pImage->SetParameter(values.angulation[k], TMRImage::ParamAngulationX + k, true);
        pImage->SetParameter(values.offCentre[k], TMRImage::ParamOffCentreX + k, true);
    }
    if (values.placed) {
        for (int k = 0; k < 3; ++k)
            pImage->SetParameter(values.position[k], TMRImage::ParamPositionX + k, true);
        if (values.hasRotation) {
            pImage->SetRotation(values.rotation);
            pImage->SetInverseRotation(values.inverseRotation);
        } else {
            float rotation[9];
            float inverse[9];
            AngulationMatrix(values.angulation[0], values.angulation[1], values.angulation[2], rotation, 0);
            AngulationMatrixInverse(values.angulation[0], values.angulation[1], values.angulation[2], inverse, 0);
            pImage->SetRotation(rotation);
            pImage->SetInverseRotation(inverse);
        }
        pImage->LocateInCSISet(pProject->m_pWorkSet);
        pImage->ApplyDirectionCode(false);
    } else {
        pImage->SetPosition(values.position);
    }
    pImage->ResetShift();

    const auto [low, high] = std::minmax_element(values.pixels.begin(), values.pixels.end());
    const int minimum = *low;
    const int maximum = *high;
    pImage->SetStoredWindow(minimum, maximum);
    pImage->SetStoredRange(static_cast<float>(maximum), static_cast<float>(minimum));
    pImage->SetValueRange(static_cast<float>(maximum), static_cast<float>(minimum));
    pImage->SetPixels(std::move(values.pixels));

    // The pixel file waits in the project's work folder until the project file that lists
    // the image is saved; an image whose pixels cannot be written is not added.
    if (!images.AddNew(pImage, "The image " + name + " was not added"))
        return false;
    // The pixels are loaded from the file when the image is shown.
    pImage->FreePixels();
    return true;
}

bool CheckPatientNameAgainstSets(TProject* pProject, const std::string& patientName,
                                 const std::string& headerPath)
{
    return CheckSets(
        pProject, [&](const TCSISet& set) { return TrimBlanks(set.m_strPatientName) != patientName; },
        [&](const std::string& setName) {
            return TMismatchTexts{
                "Warning: Patient name in " + headerPath + " is not matched with" + " CSI data set: " +
                    setName + ".\r\n",
                "Patient name is not matched with CSI data set : " + setName +
                    ". Would you like to continue adding the new image?"};
        },
        vx::ReportAnswer::Yes, false);
}

bool CheckExamDateAgainstSets(TProject* pProject, const std::string& examDate,
                              const std::string& headerPath)
{
    return CheckSets(
        pProject, [&](const TCSISet& set) { return set.m_strExamDate != examDate; },
        [&](const std::string& setName) {
            return TMismatchTexts{
                "Warning: Exam date in " + headerPath + " is not matched with" + " CSI data set: " +
                    setName + ".\r\n",
                "Exam date is not matched with CSI data set : " + setName +
                    ". Would you like to continue adding the new image?"};
        },
        vx::ReportAnswer::Yes, false);
}

bool CheckGeometryAgainstSets(TProject* pProject, const float rotation[9],
                              const std::string& headerPath)
{
    return CheckSets(
        pProject,
        [&](const TCSISet& set) {
            float setRotation[3][3];
            set.GetRotation(setRotation);
            return !MatricesEqual3x3(rotation, &setRotation[0][0]);
        },
        [&](const std::string& setName) {
            return TMismatchTexts{
                "Warning: Geometry in " + headerPath + " is not consistent with" + " CSI data set: " +
                    setName + ".\r\n",
                "Image and CSI geometries are not consistent! Misregistration would happen! Would you "
                "like to continue adding the new image?"};
        },
        vx::ReportAnswer::No, true);
}

bool CheckExamNumberAndDateAgainstSets(TProject* pProject, const std::string& examNumber,
                                       const std::string& examDate)
{
    if (!pProject || !pProject->m_pCSISetList)
        return true;
    for (const TCSISet* pSet : *pProject->m_pCSISetList) {
        const std::string& name = pSet->m_strName;
        if (TrimBlanks(pSet->m_strPatientName) != examNumber &&
            !ReportMismatch({"Warning: Exam number is not matched with CSI data set: " + name + ".\r\n",
                             "Exam number is not matched with CSI data set : " + name +
                                 ". Would you like to continue adding the new image?"},
                            vx::ReportAnswer::Yes))
            return false;
        if (TrimBlanks(pSet->m_strExamDate) != examDate &&
            !ReportMismatch({"Warning: Exam date is not matched with CSI data set: " + name + ".\r\n",
                             "Exam date is not matched with CSI data set : " + name +
                                 ". Would you like to continue adding the new image?"},
                            vx::ReportAnswer::Yes))
            return false;
    }
    return true;
}
