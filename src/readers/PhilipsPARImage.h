#pragma once
// Philips PAR/REC images (image type 0). A PAR/REC export is a pair of files with one
// base name: a text header (.PAR) of comment lines, general-information lines that begin
// with "." and one line of blank-separated columns per image, and a binary .REC that
// holds the pixels of all images one after the other, in the order of the image lines.
// Headers of version 3 and 4 (4.1 and 4.2 read as 4) are understood.
//
// The parsing steps are plain functions on text and bytes; the readers at the end run
// them over a file pair, check the header against the project's CSI sets and add one
// image per image line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/TImageImportParams.h"
#include "platform/Files.h"

class TImageSet;
class TProject;

// The lines of a text; "\n" and "\r\n" both end a line.
std::vector<std::string> SplitPARLines(const std::string& text);

// The header version named by the eighth word of the first comment line of exactly eight
// words whose eighth word contains "v3" or "v4" (any case): 3 or 4; 0 when there is none.
int DetectPARVersion(const std::string& text);
// The version one comment line names: 3 or 4 when it splits into exactly eight words
// and the eighth contains "V3" or "V4" (in any case when `anyCase`), else 0.
int PARVersionOfCommentLine(const std::string& line, bool anyCase);

// A number of a PAR file as a float; anything that is not a finite float gives 0.
float PARFloat(const std::string& text);
// The whole header text of a nominal header path (found exactly, then in any case);
// false when it does not read or is too large to be a header. *listingError (when given)
// is the error of a listing of its folder that failed, the file not being there by its
// exact name; 0 otherwise. *failure (when given) says why a file found did not read.
bool ReadPARText(const std::string& headerPath, std::string& text, int* listingError = nullptr,
                 vx::TWholeFileFailure* failure = nullptr);

enum class TPARLineKind { Comment, General, Image };
// Empty lines and lines beginning with "#" are comments, lines beginning with "." general
// information, every other line an image line.
TPARLineKind ClassifyPARLine(const std::string& line);

enum class TPARKey {
    None,
    PatientName,
    ExamName,
    ProtocolName,
    ExamDate,
    Slices,
    PixelSize,        // version 3
    ReconResolution,  // version 3
    RepetitionTime,
    FOV,
    SliceThickness,   // version 3
    SliceGap,         // version 3
    Angulation,
    OffCentre
};

// What the general-information lines say, with the values that hold before any is read.
// Triples are in the file's order (ap, fh, rl).
struct TPARGeneralInfo {
    std::string patientName = "n/a";
    std::string examName = "n/a";
    std::string protocolName = "n/a";
    std::string examDate = "n/a";   // the date word only
    float tr = 0.0f;                // ms
    float angulation[3] = {};       // degrees
    float offCentre[3] = {};        // mm
    // Version 3 only: the image format comes from the header.
    int bits = 8;
    int width = 0;                  // "Recon resolution"; the import record's size before it
    int height = 0;
    float fov[3] = {};              // mm
    bool hasFOV = false;
    float thickness = 0.0f;         // mm
};

// The first key of the version's table whose text the line contains; None when none does.
TPARKey MatchPARKey(const std::string& line, int version);
// Stores the value of the key's line into the info (keys whose value is ignored change
// nothing). A line with fewer words than the value needs leaves the value as it was.
void ApplyPARGeneralLine(const std::string& line, TPARKey key, TPARGeneralInfo& info);

// The values of one image line that the reader uses. Triples in the file's order (ap, fh, rl).
struct TPARImageLine {
    std::string recIndex;       // the REC index column, used only in the image name
    int bits = 8;
    int width = 0;
    int height = 0;
    float offCentre[3] = {};    // mm
    float thickness = 0.0f;     // mm
    int sliceOrientation = 0;   // 1 transverse, 2 sagittal, 3 coronal
    float spacing[2] = {};      // mm per pixel, x and y
    float te = 0.0f;            // ms
};

// Parses the columns of an image line (version 3 takes bits, size and thickness from the
// header info). False for a wrong number of columns (version 4: at least 41; version 3:
// exactly 29 or 31) and for an image the reader cannot hold: bits other than 8 or 16, a
// side outside 1..TMRImage::kMaxSide, a slice orientation other than 1, 2 or 3, a negative
// slice thickness.
bool ParsePARImageLine(const std::vector<std::string>& columns, int version,
                       const TPARGeneralInfo& info, TPARImageLine& line);

// Bytes of one image in the REC file: width x height x bits / 8, rounded down.
int64_t RECBlockBytes(int width, int height, int bits);
// One REC block to width x height 16-bit values: 8-bit pixels become 0..255, 16-bit pixels
// are little-endian signed values. False when the block has not exactly the needed bytes
// or bits is neither 8 nor 16.
bool DecodeRECBlock(const unsigned char* data, size_t bytes, int bits, int width, int height,
                    std::vector<int16_t>& pixels);

// The orientation of the program (0 sagittal, 1 coronal, 2 axial) of a PAR slice
// orientation (1 transverse, 2 sagittal, 3 coronal).
int OrientationOfPARSlice(int sliceOrientation);

// The image readers of type 0. ReadPhilipsPAR finds the version and calls the reader of
// that version with the same arguments. The path may name the .PAR or the .REC file.
bool ReadPhilipsPAR(TImageSet& images, const std::string& path, TImageImportParams params,
                    TProject* pProject);
bool ReadPhilipsPARv3(TImageSet& images, const std::string& path, TImageImportParams params,
                      TProject* pProject);
bool ReadPhilipsPARv4(TImageSet& images, const std::string& path, TImageImportParams params,
                      TProject* pProject);
