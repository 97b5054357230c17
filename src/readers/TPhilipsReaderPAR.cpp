// The PAR file of a metabolic map, read for its geometry: the angulation of the middle
// slice, the field of view, the slice count and the slice thickness and gap.
#include <cmath>
#include <string>
#include <vector>

#include "model/math/TextHelpers.h"
#include "platform/Numbers.h"
#include "readers/PhilipsPARImage.h"
#include "readers/TPhilipsReader.h"

namespace {

enum Axis { LR = 0, AP = 1, FH = 2 };

// What a PAR file gives, kept apart until the whole file has been read.
struct TPARGeometry {
    float angulation[3] = {};
    float fov[3] = {};
    bool hasAngulation = false;
    bool hasFOV = false;
    int slices = 0;
    bool hasSlices = false;
    float thickness = 0.0f;
    bool hasThickness = false;
    float gap = 0.0f;
    bool hasGap = false;
};

// One general-information line: the first label the line contains decides.
void TakeGeneralLine(const std::string& line, const std::vector<std::string>& words, TPARGeometry& g)
{
    if (line.find("Angulation midslice") != std::string::npos) {
        TPhilipsReader::PARTriple(words, g.angulation);
        g.hasAngulation = true;
    } else if (line.find("FOV (ap,fh,rl) [mm]") != std::string::npos) {
        TPhilipsReader::PARTriple(words, g.fov);
        g.hasFOV = true;
    } else if (line.find("Max. number of slices/locations") != std::string::npos) {
        g.slices = vx::LeadingInt(words.back());
        g.hasSlices = true;
    } else if (line.find("Slice thickness [mm]") != std::string::npos) {
        g.thickness = PARFloat(words.back());
        g.hasThickness = true;
    } else if (line.find("Slice gap [mm]") != std::string::npos) {
        g.gap = PARFloat(words.back());
        g.hasGap = true;
    }
}

}  // namespace

void TPhilipsReader::PARTriple(const std::vector<std::string>& words, float out[3])
{
    const size_t n = words.size();
    out[AP] = PARFloat(words[n - 3]);
    out[FH] = PARFloat(words[n - 2]);
    out[LR] = PARFloat(words[n - 1]);
}

bool TPhilipsReader::ForEachPARLine(const std::string& path, const TPARGeneralFn& onGeneral,
                                    const TPARImageFn& onImage)
{
    std::string text;
    if (!ReadPARText(path, text))
        return false;
    bool versionSeen = false;
    bool version3 = false;
    std::vector<std::string> words;
    for (const std::string& line : SplitPARLines(text)) {
        if (line.empty())
            continue;
        if (line[0] == '#') {
            if (const int version = PARVersionOfCommentLine(line, false)) {
                versionSeen = true;
                version3 = version == 3;
            }
            continue;
        }
        SplitString(line, words, " \t\r\n");
        if (line[0] == '.') {
            // Without a version the labels cannot be trusted.
            if (!versionSeen)
                return false;
            if (words.size() >= 3 && !onGeneral(line, words))
                return true;
            continue;
        }
        if (!onImage(words, version3 ? 3 : 4))
            return true;
    }
    return true;
}

bool TPhilipsReader::ParsePAR(std::string path)
{
    if (!m_pCSISet)
        return false;
    TPARGeometry g;
    auto onGeneral = [&](const std::string& line, const std::vector<std::string>& words) {
        TakeGeneralLine(line, words, g);
        return true;
    };
    // Image lines: version 4 lines of 41 columns carry thickness and gap in columns 22
    // and 23; the last such line wins.
    auto onImage = [&](const std::vector<std::string>& words, int version) {
        if (version == 4 && words.size() == 41) {
            g.thickness = PARFloat(words[22]);
            g.gap = PARFloat(words[23]);
            g.hasThickness = g.hasGap = true;
        }
        return true;
    };
    if (!ForEachPARLine(path, onGeneral, onImage))
        return false;

    // A field of view that is not positive would place the grid nowhere.
    if (g.hasFOV)
        for (float f : g.fov)
            if (!(f > 0.0f))
                return false;

    TCSISet& set = *m_pCSISet;
    for (int k = 0; k < 3; ++k) {
        if (g.hasAngulation)
            set.m_fAngulation[k] = g.angulation[k];
        if (g.hasFOV)
            set.m_fFOV[k] = g.fov[k];
    }
    if (g.hasSlices) {
        m_nSlices = g.slices;
        m_bSlicesFromPAR = true;
    }
    if (g.hasThickness)
        set.m_fSliceThickness = g.thickness;
    if (g.hasGap)
        set.m_fSliceGap = g.gap;
    return true;
}
