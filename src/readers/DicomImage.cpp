#include "readers/DicomImage.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdatset.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcfilefo.h"
#include "dcmtk/dcmdata/dcmetinf.h"
#include "dcmtk/dcmdata/dcuid.h"
#include "dcmtk/dcmdata/dcxfer.h"
#include "dcmtk/oflog/appender.h"
#include "dcmtk/oflog/spi/logevent.h"
#include "dcmtk/oflog/oflog.h"
#include "model/math/Geometry.h"
#include "model/math/MatrixHelpers.h"
#include "model/TMRImage.h"
#include "platform/OpenToRead.h"
#include "platform/Paths.h"
#include "platform/ProgramLog.h"
#include "platform/Report.h"
#include "readers/ImageImport.h"
#include "readers/ReaderHelpers.h"

namespace {

// DCMTK logs what it meets in a file (a value longer than the rest of the file, an element
// found twice): its lines go to the program's log, never into the reader's message, which
// says why a file is refused in its own words.
class TProgramLogAppender : public dcmtk::log4cplus::Appender {
public:
    ~TProgramLogAppender() override { destructorImpl(); }
    void close() override {}

protected:
    void append(const dcmtk::log4cplus::spi::InternalLoggingEvent& event) override
    {
        const int level = event.getLogLevel();
        const char* kind = level >= dcmtk::log4cplus::ERROR_LOG_LEVEL  ? "error"
                           : level >= dcmtk::log4cplus::WARN_LOG_LEVEL ? "warning"
                                                                       : "note";
        vx::WriteToLog(std::string("DICOM library ") + kind + ": " + event.getMessage().c_str());
    }
};

bool RouteLibraryLogToProgramLog()
{
    // The library set up its own console output when it was loaded; this takes its place.
    dcmtk::log4cplus::Logger root = dcmtk::log4cplus::Logger::getRoot();
    root.removeAllAppenders();
    root.addAppender(dcmtk::log4cplus::SharedAppenderPtr(new TProgramLogAppender));
    return true;
}

// Why the library could not load the file, in plain words.
std::string WhyNotLoaded(DcmFileFormat& file, const OFCondition& condition)
{
    const bool cut = condition == EC_StreamNotifyClient || condition == EC_EndOfStream;
    const bool damaged = condition == EC_InvalidStream || condition == EC_InvalidTag || condition == EC_InvalidVR ||
                         condition == EC_UnknownVR || condition == EC_CorruptedData ||
                         condition == EC_ElemLengthLargerThanItem || condition == EC_SeqOrItemContentOverflow ||
                         condition == EC_SequDelimitationItemMissing || condition == EC_ItemDelimitationItemMissing ||
                         condition == EC_PrematureSequDelimitationItem;
    // Files without the header are read as bare DICOM data, which any other file fails as one cut or damaged.
    const DcmMetaInfo* pMeta = file.getMetaInfo();
    if ((cut || damaged) && (!pMeta || pMeta->card() == 0))
        return "it has no DICOM file header, and it does not read as DICOM data either";
    if (cut)
        return "it ends before its data do, as a file cut short";
    if (damaged)
        return "its elements are damaged";
    if (condition == EC_UnknownTransferSyntax || condition == EC_UnsupportedEncoding)
        return "its data are encoded in a way the program does not know";
    return condition.text();
}

// Values longer than this stay in the file until they are asked for, so that the header
// is checked before the pixel data are read into memory.
constexpr Uint32 kMaxReadLength = 4096;

// One value of an element of the data set (sequences are not searched). False when the
// element or the value is missing or empty.
bool TextValue(DcmItem& item, const DcmTagKey& tag, unsigned long position, std::string& text)
{
    OFString value;
    if (item.findAndGetOFString(tag, value, position).bad() || value.empty())
        return false;
    text.assign(value.c_str(), value.length());
    return true;
}

std::string TextOrNA(DcmItem& item, const DcmTagKey& tag)
{
    std::string text;
    return TextValue(item, tag, 0, text) ? text : "n/a";
}

// The first `count` values of a decimal element, each a finite float.
bool Decimals(DcmItem& item, const DcmTagKey& tag, int count, float* values)
{
    for (int k = 0; k < count; ++k) {
        Float64 value = 0.0;
        if (item.findAndGetFloat64(tag, value, static_cast<unsigned long>(k)).bad() || !std::isfinite(value) ||
            std::fabs(value) > 3.0e38)
            return false;
        values[k] = static_cast<float>(value);
    }
    return true;
}

// A decimal that the image keeps as a parameter: 0 when it is missing or not a number.
float OptionalDecimal(DcmItem& item, const DcmTagKey& tag)
{
    float value = 0.0f;
    return Decimals(item, tag, 1, &value) ? value : 0.0f;
}

// "YYYYMMDD" as "YYYY.MM.DD"; "n/a" for any other length.
std::string DateText(DcmItem& item)
{
    std::string date;
    if (!TextValue(item, DCM_StudyDate, 0, date) || date.size() != 8)
        return "n/a";
    return date.substr(0, 4) + "." + date.substr(4, 2) + "." + date.substr(6, 2);
}

// What the reader takes from the file before the GE checks.
struct TDicomHeader {
    Uint16 rows = 0;
    Uint16 columns = 0;
    Uint16 bitsAllocated = 0;
    float firstPixel[3] = {};   // mm, patient coordinates of the first pixel
};

// Says why a file is refused (the caller names the file); false.
bool Refuse(const std::string& why)
{
    vx::Report(why, vx::ReportIcon::Exclamation);
    return false;
}

// "ImagePositionPatient (0020,0032)".
std::string TagText(const DcmTagKey& key)
{
    DcmTag tag(key);
    return std::string(tag.getTagName()) + " " + key.toString().c_str();
}

bool RefuseMissing(const DcmTagKey& key)
{
    return Refuse("The file has no valid " + TagText(key) + ".");
}

// The private objects in which scanners keep spectra: Siemens's non-image object (whose
// data type then names a spectrum) and Philips's spectrum object.
const char* const kSiemensNonImageStorage = "1.3.12.2.1107.5.9.1";
const char* const kPhilipsSpectrumStorage = "1.3.46.670589.11.0.0.12.1";

// True when a Siemens private block gives the data type of spectra; the blocks are found
// through their private creators, which each file places where it likes.
bool SiemensTypeIsSpectra(DcmItem& item)
{
    for (Uint16 block = 0x10; block <= 0xff; ++block) {
        std::string creator;
        if (!TextValue(item, DcmTagKey(0x0029, block), 0, creator) ||
            (creator != "SIEMENS CSA NON-IMAGE" && creator != "SIEMENS CSA HEADER"))
            continue;
        std::string type;
        if (TextValue(item, DcmTagKey(0x0029, Uint16(block << 8 | 0x08)), 0, type) && type.rfind("SPEC", 0) == 0)
            return true;
    }
    return false;
}

// A spectroscopy object holds spectra where an image holds pixels: the standard MR
// spectroscopy object, the vendors' private ones, and any whose image type says so.
bool HoldsSpectroscopy(DcmItem& item, const std::string& sopClass)
{
    if (sopClass == UID_MRSpectroscopyStorage || sopClass == kPhilipsSpectrumStorage)
        return true;
    OFString value;
    for (unsigned long k = 0; item.findAndGetOFString(DCM_ImageType, value, k).good(); ++k)
        if (value == "SPECTROSCOPY")
            return true;
    return sopClass == kSiemensNonImageStorage && SiemensTypeIsSpectra(item);
}

// Kinds of file the reader does not take, told apart before the single-frame header is
// looked for: spectroscopy holds no image, an enhanced (multi-frame) image keeps its
// geometry elsewhere, and an encapsulated transfer syntax holds compressed pixels.
bool RefuseUnsupportedKind(DcmFileFormat& file, DcmItem& item)
{
    std::string sopClass;
    TextValue(item, DCM_SOPClassUID, 0, sopClass);
    if (HoldsSpectroscopy(item, sopClass))
        return Refuse("The file holds MR spectroscopy data, not an image.");
    Sint32 frames = 1;
    if (item.findAndGetSint32(DCM_NumberOfFrames, frames).bad())
        frames = 1;
    frames = std::max<Sint32>(frames, 1);
    if (sopClass == UID_EnhancedMRImageStorage || frames > 1)
        return Refuse("Multi-frame images (Enhanced MR) are not supported: the file holds " + std::to_string(frames) +
                      " frame" + (frames == 1 ? "." : "s."));
    const DcmXfer syntax(file.getDataset()->getOriginalXfer());
    if (syntax.isEncapsulated())
        return Refuse("Compressed images are not supported: the file's transfer syntax is " +
                      std::string(syntax.getXferName()) + ".");
    return true;
}

bool ReadHeader(DcmItem& item, TDicomHeader& header)
{
    std::string modality;
    if (!TextValue(item, DCM_Modality, 0, modality))
        return Refuse("The file is not an MR image: it has no modality.");
    if (modality != "MR")
        return Refuse("The file is not an MR image: its modality is " + modality + ".");
    if (item.findAndGetUint16(DCM_Rows, header.rows).bad())
        return RefuseMissing(DCM_Rows);
    if (item.findAndGetUint16(DCM_Columns, header.columns).bad())
        return RefuseMissing(DCM_Columns);
    if (item.findAndGetUint16(DCM_BitsAllocated, header.bitsAllocated).bad())
        return RefuseMissing(DCM_BitsAllocated);
    if (!Decimals(item, DCM_ImagePositionPatient, 3, header.firstPixel))
        return RefuseMissing(DCM_ImagePositionPatient);
    return true;
}

// Rows x Columns pixel values: 16-bit values keep their bits as signed 16-bit pixels,
// 8-bit values become 0..255. The element's length is compared with the image size before
// its value is loaded, so compressed, multi-frame and cut files are refused without
// reading their pixels into memory. An 8-bit image of an odd pixel count carries one pad
// byte, as every DICOM value has an even length.
bool ReadPixels(DcmItem& item, const TDicomHeader& header, bool swapBytes, std::vector<int16_t>& pixels)
{
    const std::string size = std::to_string(header.rows) + " x " + std::to_string(header.columns);
    if (header.rows < 1 || header.columns < 1)
        return Refuse("The image has no pixels (" + size + ").");
    if (header.rows > TMRImage::kMaxSide || header.columns > TMRImage::kMaxSide)
        return Refuse(OversizedImageText(header.rows, header.columns));
    if (header.bitsAllocated != 8 && header.bitsAllocated != 16)
        return Refuse("Images of " + std::to_string(header.bitsAllocated) +
                      " bits allocated are not supported: only 8 and 16.");
    const uint64_t count = uint64_t{header.rows} * uint64_t{header.columns};
    DcmElement* pElement = nullptr;
    if (item.findAndGetElement(DCM_PixelData, pElement).bad() || !pElement)
        return RefuseMissing(DCM_PixelData);
    const uint64_t length = pElement->getLength();
    const uint64_t expected = header.bitsAllocated == 16 ? 2 * count : count + (count & 1);
    if (length != expected)
        return Refuse("The pixel data hold " + std::to_string(length) + " bytes, not the " +
                      std::to_string(expected) + " of one " + size + " image of " +
                      std::to_string(header.bitsAllocated) + " bits.");
    if (header.bitsAllocated == 16) {
        const Uint16* pValues = nullptr;
        unsigned long n = 0;
        if (length != 2 * count || item.findAndGetUint16Array(DCM_PixelData, pValues, &n).bad() || !pValues ||
            n != count)
            return RefuseMissing(DCM_PixelData);
        pixels.resize(count);
        for (uint64_t i = 0; i < count; ++i) {
            const uint16_t v = swapBytes ? static_cast<uint16_t>((pValues[i] >> 8) | (pValues[i] << 8)) : pValues[i];
            pixels[i] = static_cast<int16_t>(v);
        }
        return true;
    }
    if (header.bitsAllocated == 8) {
        const uint64_t padded = count + (count & 1);
        const Uint8* pValues = nullptr;
        unsigned long n = 0;
        if (length != padded || item.findAndGetUint8Array(DCM_PixelData, pValues, &n).bad() || !pValues ||
            n != padded)
            return RefuseMissing(DCM_PixelData);
        pixels.assign(pValues, pValues + count);
        return true;
    }
    return false;
}

// DCMTK reads the GE private syntax with big-endian pixel data and hands its pixels over in
// host order; they are exchanged here only when it did not read the file with that syntax.
bool GEPixelsNeedSwap(DcmFileFormat& file)
{
    DcmMetaInfo* pMeta = file.getMetaInfo();
    std::string syntax;
    if (!pMeta || !TextValue(*pMeta, DCM_TransferSyntaxUID, 0, syntax) ||
        syntax != UID_PrivateGE_LEI_WithBigEndianPixelDataTransferSyntax)
        return false;
    return file.getDataset()->getOriginalXfer() != EXS_PrivateGE_LEI_WithBigEndianPixelData;
}

// The orientation (0 sagittal, 1 coronal, 2 axial) of an image whose rows run along r and
// whose columns run along c: the patient axis k with the smallest |r_k| + |c_k|, the lower
// axis on a tie.
int DicomOrientation(const float r[3], const float c[3])
{
    int axis = 0;
    float smallest = std::fabs(r[0]) + std::fabs(c[0]);
    for (int k = 1; k < 3; ++k) {
        const float d = std::fabs(r[k]) + std::fabs(c[k]);
        if (d < smallest) {
            smallest = d;
            axis = k;
        }
    }
    return axis;
}

// The world-to-image rotation R of an image of that orientation, with its inverse: R maps
// the row direction, the column direction and the slice normal (r x c, for coronal images
// c x r) onto the axes of the orientation's standard view; the axial view follows the
// image's direction code. False when the directions give no rotation (r parallel to c).
bool DicomImageRotation(const float r[3], const float c[3], int orientation,
                        const std::string& directionCode, float rotation[9], float inverse[9])
{
    float n[3];
    if (orientation == 1)
        CrossProduct(c, r, n);
    else
        CrossProduct(r, c, n);
    // Columns r, c, n.
    const float a[9] = {r[0], c[0], n[0], r[1], c[1], n[1], r[2], c[2], n[2]};
    float b[9];
    if (orientation == 0) {
        const float sagittal[9] = {0, 0, -1, 1, 0, 0, 0, -1, 0};
        std::copy(sagittal, sagittal + 9, b);
    } else if (orientation == 1) {
        const float coronal[9] = {1, 0, 0, 0, 0, -1, 0, -1, 0};
        std::copy(coronal, coronal + 9, b);
    } else {
        // The image axes in the axial standard view, turned as the CSI readers turn theirs.
        float p[2] = {1.0f, 0.0f};
        float q[2] = {0.0f, 1.0f};
        OrientToStandardView(directionCode, 2, &p[0], &p[1], 1);
        OrientToStandardView(directionCode, 2, &q[0], &q[1], 1);
        const float axial[9] = {p[0], q[0], 0, p[1], q[1], 0, 0, 0, 1};
        std::copy(axial, axial + 9, b);
    }
    float solved[9];
    float solvedInverse[9];
    if (!SolveTransposed3x3(a, b, solved, FailureMessage::None) ||
        !InvertMatrix3x3(solved, solvedInverse, FailureMessage::None))
        return false;
    std::copy(solved, solved + 9, rotation);
    std::copy(solvedInverse, solvedInverse + 9, inverse);
    return true;
}

bool ReadDicomFile(TImageSet& images, const std::string& path, TProject* pProject, bool geFile)
{
    static const bool routed = RouteLibraryLogToProgramLog();
    (void)routed;
    // Only a regular file, opened without waiting on a FIFO. The library reads the very
    // file that was checked, through its descriptor, which stays open as long as the
    // library may read the large elements it left in the file.
    std::string notAFile;
    struct TOpenFile {
        int fd;
        ~TOpenFile()
        {
            if (fd >= 0)
                ::close(fd);
        }
    } const checked{vx::OpenFileToRead(path, &notAFile)};
    if (checked.fd < 0 && !notAFile.empty())
        return Refuse("The file cannot be read as DICOM: it is " + notAFile + ", not a file.");
    DcmFileFormat file;
    const std::string name = checked.fd < 0 ? path : vx::NameOfOpenDescriptor(checked.fd);
    const OFCondition loaded = file.loadFile(name.c_str(), EXS_Unknown, EGL_noChange, kMaxReadLength, ERM_autoDetect);
    if (loaded.bad())
        return Refuse("The file cannot be read as DICOM: " + WhyNotLoaded(file, loaded) + ".");
    DcmDataset* pData = file.getDataset();
    if (!pData)
        return false;
    DcmItem& item = *pData;
    if (!RefuseUnsupportedKind(file, item))
        return false;
    TDicomHeader header;
    if (!ReadHeader(item, header))
        return false;

    bool swapBytes = false;
    std::string examNumber;
    if (geFile) {
        swapBytes = GEPixelsNeedSwap(file);
        examNumber = TextOrNA(item, DCM_StudyID);
        if (!CheckExamNumberAndDateAgainstSets(pProject, examNumber, DateText(item)))
            return false;
    }

    float cosines[6];
    float spacing[2];   // mm between rows, between columns
    if (!Decimals(item, DCM_ImageOrientationPatient, 6, cosines))
        return RefuseMissing(DCM_ImageOrientationPatient);
    if (!Decimals(item, DCM_PixelSpacing, 2, spacing))
        return RefuseMissing(DCM_PixelSpacing);
    // An image without a positive pixel size has no field of view to place it by.
    if (!(spacing[0] > 0.0f) || !(spacing[1] > 0.0f))
        return Refuse("The image's pixel spacing is not positive.");
    TNewImage image;
    if (!ReadPixels(item, header, swapBytes, image.pixels))
        return false;

    const float* r = cosines;
    const float* c = cosines + 3;
    image.name = vx::FileNameOf(path);
    image.width = header.columns;
    image.height = header.rows;
    image.orientation = DicomOrientation(r, c);
    image.fov[0] = header.columns * spacing[1];
    image.fov[1] = header.rows * spacing[0];
    // Image Position (Patient) is the centre of the first pixel: the image's centre lies
    // (columns - 1) / 2 column spacings along the rows and (rows - 1) / 2 row spacings
    // along the columns from it.
    const float alongRow = 0.5f * static_cast<float>(header.columns - 1) * spacing[1];
    const float alongColumn = 0.5f * static_cast<float>(header.rows - 1) * spacing[0];
    for (int k = 0; k < 3; ++k)
        image.position[k] = header.firstPixel[k] + alongRow * r[k] + alongColumn * c[k];
    // Sizes beyond the float range cannot place the image.
    const float placement[5] = {image.fov[0], image.fov[1], image.position[0], image.position[1], image.position[2]};
    if (!std::all_of(placement, placement + 5, [](float v) { return std::isfinite(v); }))
        return Refuse("The image's size or position lies beyond the numbers the program holds.");

    std::string code;
    TextValue(item, DCM_PatientPosition, 0, code);
    const TPatientPosition patient = PatientPositionFromCode(code, {"n/a", "n/a"});
    const std::string directionCode = PatientAxisLabels(patient.lying, patient.headFeet, image.orientation, 15);
    image.info[TMRImage::InfoPatientPosition] = patient.lying;
    image.info[TMRImage::InfoPatientEntry] = patient.headFeet;
    image.info[TMRImage::InfoDirectionCode] = directionCode;
    if (!DicomImageRotation(r, c, image.orientation, directionCode, image.rotation, image.inverseRotation))
        return Refuse("The image's row and column directions give no plane.");
    image.hasRotation = true;

    image.info[TMRImage::InfoExamName] = TextOrNA(item, DCM_StudyDescription);
    image.info[TMRImage::InfoPatientName] = geFile ? examNumber : TextOrNA(item, DCM_PatientName);
    image.info[TMRImage::InfoProtocolName] = TextOrNA(item, DCM_ProtocolName);
    image.info[TMRImage::InfoExamDate] = DateText(item);
    image.tr = OptionalDecimal(item, DCM_RepetitionTime);
    image.te = OptionalDecimal(item, DCM_EchoTime);
    // A negative thickness would make the image's record invalid in the project file.
    image.thickness = std::max(0.0f, OptionalDecimal(item, DCM_SliceThickness));
    return AddNewImage(images, pProject, std::move(image));
}

bool ReadDicomGuarded(TImageSet& images, const std::string& path, TProject* pProject, bool geFile)
{
    try {
        return ReadDicomFile(images, path, pProject, geFile);
    } catch (const std::bad_alloc&) {
        return Refuse("Insufficient Memory.");
    }
}

}  // namespace

bool ReadDicomImage(TImageSet& images, const std::string& path, TImageImportParams, TProject* pProject)
{
    return ReadDicomGuarded(images, path, pProject, false);
}

bool ReadGEDicomImage(TImageSet& images, const std::string& path, TImageImportParams, TProject* pProject)
{
    return ReadDicomGuarded(images, path, pProject, true);
}
