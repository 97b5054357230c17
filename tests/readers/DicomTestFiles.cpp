#include "readers/DicomTestFiles.h"

#include "dcmtk/dcmdata/dcdatset.h"
#include "dcmtk/dcmdata/dcfilefo.h"
#include "dcmtk/dcmdata/dcrleerg.h"
#include "dcmtk/dcmdata/dcuid.h"

namespace vx::test {

bool WriteDicom(const std::string& path, const TSynthDicom& image, E_TransferSyntax syntax)
{
    DcmFileFormat file;
    DcmDataset& data = *file.getDataset();
    data.putAndInsertString(DCM_SOPClassUID, UID_MRImageStorage);
    data.putAndInsertString(DCM_SOPInstanceUID, "1.2.826.0.1.3680043.2.1125.1.41");
    data.putAndInsertString(DCM_PhotometricInterpretation, "MONOCHROME2");
    data.putAndInsertUint16(DCM_SamplesPerPixel, 1);
    for (const auto& [tag, text] : image.texts)
        data.putAndInsertString(tag, text.c_str());
    for (const auto& [tag, word] : image.words)
        data.putAndInsertUint16(tag, word);
    if (image.pixels && image.words.count(DCM_BitsAllocated) && image.words.at(DCM_BitsAllocated) == 8) {
        const std::vector<Uint8> bytes(image.pixels->begin(), image.pixels->end());
        data.putAndInsertUint8Array(DCM_PixelData, bytes.data(), bytes.size());
    } else if (image.pixels) {
        const std::vector<Uint16> words(image.pixels->begin(), image.pixels->end());
        data.putAndInsertUint16Array(DCM_PixelData, words.data(), words.size());
    }
    if (syntax != EXS_RLELossless)
        return file.saveFile(path.c_str(), syntax).good();
    DcmRLEEncoderRegistration::registerCodecs();
    const bool saved = data.chooseRepresentation(syntax, nullptr).good() && file.saveFile(path.c_str(), syntax).good();
    DcmRLEEncoderRegistration::cleanup();
    return saved;
}

}  // namespace vx::test
