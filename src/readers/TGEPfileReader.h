#pragma once
// Format 15, "GE 2D/3D P file (EXCITE 11.0 or later)": a GE raw data file (P-file) of a
// 2-D or 3-D CSI acquisition, and the base of the other P-file readers.
//
// The file is the versioned raw header, one frame of point_count complex samples that is
// skipped, then the k-space spectra with the header's x index fastest, then y, then z.
// The header's x, y and z are the first in-plane axis, the second and the slice axis of
// the slice plane. Samples are int16 or int32 (real, imaginary) pairs in the file's byte
// order. The read reconstructs voxel space, transforms the spectra to the frequency
// domain and turns the grid into the program's orientation.
#include <cstdint>
#include <string>

#include "model/TCSIReader.h"

class GEMRImgData;
class GERawHdr;

class TGEPfileReader : public TCSIReader {
public:
    explicit TGEPfileReader(const TCSIReadParams* pParams) : TCSIReader(pParams) {}

    TCSISet* Read(std::string path) override;
    // Decodes the spectra behind the header and the skipped frame into m_pRawData.
    // Reports a file that cannot be opened or is too short for the grid.
    bool ReadRawData(const std::string& path) override;
    // k-space to voxel space, the spectral transform, the fixed flips, the header's
    // transposes and the in-plane field-of-view ratio.
    bool PostRead() override;
    // Parses the header into the read parameters and the set being built. Reports what
    // it refuses.
    virtual bool ParseHeader(const std::string& path);

protected:
    // What Read fixes after the parse: the EXCITE and multi-plane readers store the file's
    // axis order and their reconstruction flags; the pre-11.0 reader keeps the dialog's
    // order and flags.
    enum class TReadOptions { Excite, MultiPlane, Dialog };
    TCSISet* ReadPFile(const std::string& path, TReadOptions options);

    // Identifies the file as a GE raw file and reads its header; reports a refusal.
    // `byteOrder` receives the file's byte order code.
    bool ReadRawHeader(const std::string& path, GERawHdr& header, int& byteOrder);
    // The scanner software a reader takes: 11.0 (EXCITE) or later, named as EXCITE 11.0
    // or as "11.0 or later" in the refusal, or older than 11.0.
    enum class TSoftware { Excite, ExciteOrLater, Pre11 };
    // Whether the header's software version is one the reader takes; reports it if not.
    bool CheckSoftwareVersion(const GERawHdr& header, const std::string& path, TSoftware software);
    // Sample type, data offset (the header, plus the first frame when `skipFirstFrame`)
    // and byte swap. A sample size other than 2 or 4 bytes and an unknown byte order are
    // reported.
    bool SetSampleFormat(const GERawHdr& header, int byteOrder, bool skipFirstFrame);
    // Slice axis and orientation from the plane codes; reports an unknown plane code.
    bool SetSliceAxis(const GEMRImgData& image);
    // Slice axis and orientation from the plane codes, then the matrix (header x, y, z on
    // the first in-plane axis, the second and the slice axis) and the spatial dimensions
    // it spans. Reports an unknown plane code.
    bool SetSliceAxisAndMatrix(const GERawHdr& header);
    // The steps every P-file parse shares after the matrix: spectral width, frequency,
    // points, in-plane fields of view, echo, off-centre, patient position, exam texts and
    // times, and the header's sign alternation, transpose and reorientation codes.
    void SetAcquisition(const GERawHdr& header);
    // Points per spectrum with their point range and ppm reference, in block and set.
    void SetPoints(int points);
    // Fields of view of the two in-plane axes (mm), in block and set: the square field of
    // view, or for a rectangular one the second axis from the image matrix.
    void SetInPlaneFOV(const GEMRImgData& image);
    // The field of view along the slice axis (mm), in block and set.
    void SetSliceFOV(float fov);
    // The oblique rotation of plane code 16; false, said, when it has no inverse.
    bool SetObliqueRotation(const GEMRImgData& image, const std::string& path);
    // The header fields that give what the set's check refuses, for its message.
    virtual TParameterKeys HeaderKeys() const;
    // Offset removal, k-space to voxel space with the sign alternation of m_bCenter, the
    // half-voxel correction when asked, and the spectral transform with the halves swapped.
    bool ReconstructGrid();
    // The lengths ReconstructGrid transforms (the spatial axes of a 2-D or 3-D grid, then
    // the points) are lengths the FFT takes; the first that is not is reported.
    bool TransformLengthsFit() const;

    bool m_bTranspose = false;   // exchange the in-plane axes after the transform
    int32_t m_nReorientMode = 0; // 1, 2, 3: the header's extra transposes and flips
    float m_fFOVRatio = 1.0f;    // second in-plane field of view against the first
};
