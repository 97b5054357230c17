#include "readers/RawImage.h"

#include "model/TMRImage.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFile.h"
#include "readers/ImageImport.h"

std::vector<int16_t> DecodeRawSamples(const unsigned char* data, size_t count, bool bigEndian)
{
    std::vector<int16_t> samples(count);
    for (size_t k = 0; k < count; ++k) {
        const unsigned first = data[2 * k];
        const unsigned second = data[2 * k + 1];
        const unsigned value = bigEndian ? (first << 8) | second : (second << 8) | first;
        samples[k] = static_cast<int16_t>(static_cast<uint16_t>(value));
    }
    return samples;
}

bool ReadRawImage(TImageSet& images, const std::string& path, TImageImportParams params,
                  TProject* pProject)
{
    const auto box = vx::BatchPolicy::AlwaysBox;
    if (params.m_nWidth < 1 || params.m_nHeight < 1) {
        vx::Report("The size of the image must be positive.", vx::ReportIcon::Exclamation, box);
        return false;
    }
    if (params.m_nWidth > TMRImage::kMaxSide || params.m_nHeight > TMRImage::kMaxSide) {
        vx::Report("The size of the image must not be larger than " + std::to_string(TMRImage::kMaxSide) +
                       " pixels.",
                   vx::ReportIcon::Exclamation, box);
        return false;
    }
    vx::TFile file;
    if (!file.Open(path, vx::TFile::Mode::Read)) {
        ReportImageNotOpened(path, file.NotAFile(), box);
        return false;
    }
    const int64_t fileBytes = file.Size();
    if (!file.Seek(params.m_nHeaderSize)) {
        vx::Report("Header size is larger than file size", vx::ReportIcon::Exclamation, box);
        return false;
    }
    // A file shorter than header + image is refused before anything is allocated. A header
    // that reaches past the end of the file is a file too short for it.
    const int64_t count = int64_t{params.m_nWidth} * int64_t{params.m_nHeight};
    const int64_t left = file.BytesLeft();
    if (left < 2 * count) {
        ReportImageCutShort(path, left < 0 ? left : fileBytes, file.LastError(), uint64_t(params.m_nHeaderSize + 2 * count),
                            params.m_nHeaderSize > 0 ? "its header and pixels need" : "its pixels need", box);
        return false;
    }
    std::vector<unsigned char> bytes(static_cast<size_t>(2 * count));
    if (!file.ReadExact(bytes.data(), bytes.size())) {
        ReportImageReadFailed(path, file.LastError(), box);
        return false;
    }
    file.Close();

    TNewImage image;
    image.name = vx::FileNameOf(path);
    image.placed = false;
    image.width = params.m_nWidth;
    image.height = params.m_nHeight;
    image.pixels = DecodeRawSamples(bytes.data(), static_cast<size_t>(count), (params.m_bSwapBytes & 0xff) != 0);
    image.policy = box;
    return AddNewImage(images, pProject, std::move(image));
}
