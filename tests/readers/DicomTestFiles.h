#pragma once
// DICOM MR image files for the reader tests, written with DCMTK from the elements a test
// gives.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcxfer.h"

namespace vx::test {

// An MR image of 2 rows and 3 columns; tests change or drop its elements.
struct TSynthDicom {
    std::map<DcmTagKey, std::string> texts = {
        {DCM_Modality, "MR"}, {DCM_ImagePositionPatient, "-10\\20.5\\30"},
        {DCM_ImageOrientationPatient, "1\\0\\0\\0\\1\\0"}, {DCM_PixelSpacing, "1.5\\2"}, {DCM_PatientPosition, "HFS"}};
    std::map<DcmTagKey, Uint16> words = {{DCM_Rows, 2}, {DCM_Columns, 3}, {DCM_BitsAllocated, 16}};
    // 16-bit words, or bytes when 8 bits are allocated.
    std::optional<std::vector<int>> pixels = std::vector<int>{1, -2, 300, 32767, -32768, 0x0102};
};

// Writes the image in the transfer syntax; RLE lossless compresses the pixels.
bool WriteDicom(const std::string& path, const TSynthDicom& image, E_TransferSyntax syntax = EXS_LittleEndianExplicit);

}  // namespace vx::test
