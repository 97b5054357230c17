#pragma once
// The image import record of 14 words: the image type and the numbers of the Import
// dialog, passed from the dialog (or the exam scan) through the project to the image reader.
#include <cstdint>

struct TImageImportParams {
    int32_t m_nImageType = 0;   // 0 Philips PAR/REC, 1 GE Genesis, 2 GE DICOM, 3 Siemens,
                                // 4 standard DICOM, 5 Bruker 2dseq, 6 raw
    int32_t m_nHeaderSize = 0;  // bytes before the pixels
    int32_t m_nWidth = 0;
    int32_t m_nHeight = 0;
    int32_t m_bSwapBytes = 0;   // 16-bit samples are big-endian
    float m_fShiftZ = 0;        // position adjustment, mm (stored Z, X, Y)
    float m_fShiftX = 0;
    float m_fShiftY = 0;
    float m_fAngleX = 0;        // degrees
    float m_fAngleY = 0;
    float m_fAngleZ = 0;
    int32_t m_nReserved[3] = {0, 0, 0};
};

static_assert(sizeof(TImageImportParams) == 14 * 4);
