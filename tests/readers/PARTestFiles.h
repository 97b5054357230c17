#pragma once
// Synthetic Philips PAR/REC pairs for the image reader tests. The header text is written
// from the documented line layouts (column numbers counted from 0) and the REC bytes are
// packed byte by byte here, independently of the reader's decoder.
#include <cstdint>
#include <string>
#include <vector>

#include "support/Bytes.h"

namespace vx::test {

struct TSynthPARImage {
    std::string index = "0";    // REC index column
    int bits = 16;              // version 4 only (version 3: header "Image pixel size")
    int width = 4;              // version 4 only (version 3: header "Recon resolution")
    int height = 2;
    float offAp = 0, offFh = 0, offRl = 0;   // mm
    float thickness = 5.0f;     // version 4 only
    int sliceOrientation = 1;   // 1 transverse, 2 sagittal, 3 coronal
    float spacingX = 1.0f, spacingY = 1.0f;  // mm
    float te = 10.0f;           // ms
};

struct TSynthPAR {
    int version = 4;                 // 3 or 4: which layout
    std::string versionWord = "V4.2";  // eighth word of the tool line
    std::string patientName = "Doe John";
    std::string examName = "Brain exam";
    std::string protocolName = "T1W SE";
    std::string examDateTime = "2021.03.04 / 10:11:12";
    std::string repetitionTime = "550.000";
    std::string fov = "200.000  250.000  230.000";      // ap fh rl
    std::string angulation = "0.000  0.000  0.000";     // ap fh rl
    std::string offCentre = "0.000  0.000  0.000";      // ap fh rl
    // Version 3 header lines ("" leaves the line out).
    std::string pixelSize = "16";
    std::string reconResolution = "4  2";
    std::string sliceThickness = "5.000";
    bool withFOVLine = true;
    int v3Columns = 29;              // 29 or 31
    int v4Columns = 49;              // 41 (V4), 48 (V4.1), 49 (V4.2)
    std::string lineEnd = "\r\n";
    std::vector<TSynthPARImage> images;
};

std::string BuildPARText(const TSynthPAR& par);
// One image line as the header holds it.
std::string BuildPARImageLine(const TSynthPAR& par, const TSynthPARImage& image);

// REC blocks: bytes as they lie in the file (16-bit blocks: Int16LE of support/Bytes.h).
std::string PackREC8(const std::vector<int>& values);

}  // namespace vx::test
