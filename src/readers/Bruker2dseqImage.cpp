#include "readers/Bruker2dseqImage.h"

#include <cmath>
#include <utility>
#include <vector>

#include "model/math/Geometry.h"
#include "model/TMRImage.h"
#include "model/math/TextHelpers.h"
#include "platform/FileChooser.h"
#include "platform/Globals.h"
#include "platform/Numbers.h"
#include "platform/OpenToRead.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFile.h"
#include "readers/BrukerGeometry.h"
#include "readers/ImageImport.h"
#include "readers/RawImage.h"
#include "readers/ReaderHelpers.h"
#include "readers/TBrukerParameterFile.h"

namespace {

// What the image reader takes from the method file.
struct TImageMethod {
    float tr = 0.0f;             // ms
    float te = 0.0f;             // ms
    float fov[2] = {0.0f, 0.0f};  // mm, read and phase direction
    int width = 0;               // pixels along the read direction
    int height = 0;              // pixels along the phase direction
    float thickness = 0.0f;      // mm
    int slices = 0;
    float sliceDistance = 0.0f;  // mm
    TBrukerSlicePackage package;
};

bool ParseImageMethod(const std::string& path, TImageMethod& m)
{
    TBrukerParameterFile file;
    if (!file.Open(path))
        return false;
    std::string valueLine;
    std::vector<std::string> values;
    // Key lines split as value lines do: parentheses stay in the tokens.
    return ScanMethodKeys(file, " =\t\r\n", m.package, [&](const std::vector<std::string>& tokens) {
        const std::string& key = tokens[0];
        const std::string& value = tokens[1];
        const bool arrayKey = key == "##$PVM_Fov" || key == "##$PVM_Matrix" || key == "##$PVM_SPackArrNSlices" ||
                              key == "##$PVM_SPackArrSliceDistance";
        if (arrayKey && !file.ReadValues(valueLine, values)) {
            file.ReportMissingValues(key);
            return false;
        }
        if (key == "##$PVM_RepetitionTime") {
            m.tr = static_cast<float>(vx::LeadingDouble(value));
        } else if (key == "##$PVM_EchoTime") {
            m.te = static_cast<float>(vx::LeadingDouble(value));
        } else if (key == "##$PVM_SliceThick") {
            m.thickness = static_cast<float>(vx::LeadingDouble(value));
        } else if (key == "##$PVM_Fov") {
            m.fov[0] = static_cast<float>(BrukerEntryDouble(values, 0));
            m.fov[1] = static_cast<float>(BrukerEntryDouble(values, 1));
        } else if (key == "##$PVM_Matrix") {
            m.width = BrukerEntryInt(values, 0);
            m.height = BrukerEntryInt(values, 1);
        } else if (key == "##$PVM_SPackArrNSlices") {
            m.slices = vx::LeadingInt(valueLine);
        } else if (key == "##$PVM_SPackArrSliceDistance") {
            m.sliceDistance = static_cast<float>(vx::LeadingDouble(valueLine));
        }
        return true;
    });
}

bool IsUsableLength(float value)
{
    return value != 0.0f && std::isfinite(value);
}

}  // namespace

bool ReadBruker2dseqImage(TImageSet& images, const std::string& path, TImageImportParams, TProject* pProject)
{
    if (vx::ToLowerAscii(vx::FileNameOf(path)) != "2dseq") {
        vx::Report("Bruker image should be 2dseq files.", vx::ReportIcon::Exclamation);
        return false;
    }
    vx::TFile file;
    if (!file.Open(path, vx::TFile::Mode::Read)) {
        ReportImageNotOpened(path, file.NotAFile());
        return false;
    }
    // A batch run has no one to name the method file, so it cannot place the images.
    if (g_bBatchMode) {
        vx::Report("The images of " + path + " need their \"method\" file, which no one can name during a batch run.",
                   vx::ReportIcon::Exclamation);
        return false;
    }
    if (vx::Ask("For Bruker image, \"method\" file is required. Click Yes to select the method file, No to cancel.",
                vx::ReportButtons::YesNo, vx::ReportAnswer::Yes, vx::ReportIcon::Exclamation) != vx::ReportAnswer::Yes)
        return false;
    vx::TFileRequest request;
    request.title = "Please select method file...";
    request.filter = "All Files (*.*)|*.*";
    request.folder = vx::FolderOf(path);
    const std::string methodPath = vx::ChooseFile(request);
    if (methodPath.empty()) {
        vx::Report("No \"method\" file was chosen for " + path + ".", vx::ReportIcon::Exclamation);
        return false;
    }

    TImageMethod m;
    if (!ParseImageMethod(methodPath, m))
        return false;
    if (m.slices <= 0 || m.width <= 0 || m.height <= 0 || m.width > TMRImage::kMaxSide ||
        m.height > TMRImage::kMaxSide || !IsUsableLength(m.fov[0]) || !IsUsableLength(m.fov[1]) ||
        !IsUsableLength(m.thickness)) {
        vx::Report("Invalid parameters.", vx::ReportIcon::None, vx::BatchPolicy::AlwaysBox);
        return false;
    }
    TBrukerPlacement place;
    if (!PlaceSlicePackage(m.package, place, methodPath))
        return false;
    // Images run along the lower of the two in-plane axes first.
    if (place.readAxis > place.phaseAxis) {
        std::swap(m.fov[0], m.fov[1]);
        std::swap(m.width, m.height);
    }
    const int o = place.sliceAxis;
    float offCentre[3];
    place.OffCentre(offCentre);
    const std::string baseName = NameFromLastComponents(path, 4);

    const size_t pixels = static_cast<size_t>(m.width) * static_cast<size_t>(m.height);
    std::vector<unsigned char> bytes;
    for (int i = 0; i < m.slices; ++i) {
        const std::string name = baseName + "_" + FloatToString(static_cast<float>(i), 1);
        // A short file ends the import; the images of earlier slices stay.
        const int64_t left = file.BytesLeft();
        const bool holdsSlice = left >= static_cast<int64_t>(2 * pixels);
        if (holdsSlice)
            bytes.resize(2 * pixels);
        if (!holdsSlice || !file.ReadExact(bytes.data(), bytes.size())) {
            const std::string kept = i == 0   ? ", and no image was added"
                                     : i == 1 ? "; the image of the slice before it was added"
                                              : "; the images of the " + std::to_string(i) +
                                                    " slices before it were added";
            if (holdsSlice) {
                // Long enough, but failing while it is read.
                std::string text = vx::NotReadToEndText("Data file", path, file.LastError());
                text.pop_back();
                ReportBrukerMessage(text + "; it fails in slice " + name + kept + ".");
                return false;
            }
            const int64_t size = left < 0 ? left : file.Size();
            ReportShortDataFile(path, size, file.LastError(), uint64_t(m.slices) * 2 * pixels,
                                "it ends in slice " + name + kept);
            return false;
        }
        TNewImage image;
        image.name = name;
        image.width = m.width;
        image.height = m.height;
        image.orientation = o;
        image.fov[0] = m.fov[0];
        image.fov[1] = m.fov[1];
        image.tr = m.tr;
        image.te = m.te;
        image.thickness = m.thickness;
        image.info[TMRImage::InfoDirectionCode] = DirectionCodeOf(o);
        for (int k = 0; k < 3; ++k)
            image.offCentre[k] = offCentre[k];
        image.hasRotation = true;
        for (int k = 0; k < 9; ++k) {
            image.rotation[k] = place.rotation[k];
            image.inverseRotation[k] = place.inverse[k];
        }
        // The slices lie evenly about the package's centre along the slice direction.
        float position[3] = {0.0f, 0.0f, 0.0f};
        position[o] = static_cast<float>((i - (m.slices - 1) * 0.5) * static_cast<double>(m.sliceDistance));
        TransformPoint(place.rotation, place.inverse, place.offset, position, 1);
        image.position[0] = -position[0];
        image.position[1] = -position[1];
        image.position[2] = position[2];
        image.pixels = DecodeRawSamples(bytes.data(), pixels, false);
        if (!AddNewImage(images, pProject, std::move(image)))
            return false;
    }
    return true;
}
