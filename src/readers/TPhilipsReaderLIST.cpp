// The LIST file that indexes a DATA file of raw samples: the scanner release, the sizes
// of the acquisition, and one k-space record per stored data vector.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "model/TMRImage.h"
#include "model/math/TextHelpers.h"
#include "platform/Numbers.h"
#include "platform/Report.h"
#include "platform/TTextFile.h"
#include "readers/TPhilipsReader.h"

namespace {

constexpr char kBlanks[] = " \t\r\n";

}  // namespace

bool TPhilipsReader::VectorOffset(const std::vector<std::string>& words, int64_t& offset)
{
    return !words.empty() && vx::ParseInt64(words.back(), offset) && offset >= 0;
}

bool TPhilipsReader::VectorsInsideFile(int64_t fileSize, uint64_t vectorBytes) const
{
    return fileSize >= 0 && std::all_of(m_kSpaceLines.begin(), m_kSpaceLines.end(), [&](const TKSpaceLine& record) {
               return record.offset >= 0 && record.offset <= fileSize &&
                      vectorBytes <= uint64_t(fileSize - record.offset);
           });
}

bool TPhilipsReader::ForEachLISTLine(const std::string& path, const TLISTLineFn& onHeader,
                                     const TLISTLineFn& onVector)
{
    vx::TTextFile file;
    if (!file.Open(path, vx::TTextFile::Mode::Read)) {
        vx::Report("LIST file " + path + " does not exist or cannot be read.", vx::ReportIcon::Exclamation);
        return false;
    }
    std::string line;
    std::vector<std::string> pieces;
    while (file.ReadString(line)) {
        if (line.empty())
            continue;
        switch (line[0]) {
        case '#':
            if (line.find("Gyroscan SW release") != std::string::npos) {
                SplitString(line, pieces, " \t\r\n.");
                if (pieces.size() >= 6)
                    m_nRelease = vx::LeadingInt(pieces[5]);  // the major number
            }
            break;
        case '.':
            SplitString(line, pieces, kBlanks);
            // Header lines of the first mix only.
            if (pieces.size() >= 2 && pieces[1] == "0" && !onHeader(pieces))
                return false;
            break;
        case ' ':
            SplitString(line, pieces, kBlanks);
            if (!onVector(pieces))
                return false;
            break;
        default:
            break;
        }
    }
    return true;
}

bool TPhilipsReader::ParseLIST(std::string path)
{
    if (!m_pCSISet)
        return false;
    TCSISet& set = *m_pCSISet;
    // The slice axis decides which set axes the LIST sizes go to; it stays fixed for
    // the whole file.
    const int s = set.m_nSliceAxis;
    int a = 0, b = 1;
    if (!TMRImage::InPlaneAxes(s, a, b))
        return false;

    bool firstVector = true;
    auto onHeader = [&](const std::vector<std::string>& pieces) {
        if (pieces.size() != 7)
            return true;
        const std::string& key = pieces[4];
        const int value = vx::LeadingInt(pieces[6]);
        if (key == "number_of_encoding_dimensions") {
            set.m_nSpatialDims = value;
        } else if (key == "number_of_locations") {
            set.m_nDim[s] = value;
        } else if (key == "F-resolution") {
            SetPointCount(value);
        } else if (key == "X-resolution") {
            set.m_nDim[a] = value;
        } else if (key == "Y-resolution") {
            set.m_nDim[b] = value;
        }
        return true;
    };
    auto onVector = [&](const std::vector<std::string>& pieces) {
        if (pieces.size() != 20 && pieces.size() != 21)
            return false;
        // Standard vectors of the first mix only: noise, correction and navigator
        // vectors share the DATA file but are no spectra of the grid.
        if (pieces[0] != "STD" || pieces[1] != "0")
            return true;
        int64_t offset = 0;
        if (!VectorOffset(pieces, offset))
            return false;
        if (firstVector) {
            m_nDataOffset = vx::LeadingInt(pieces.back());
            firstVector = false;
        }
        // The file's k indices run from minus half the size; 64-bit so that no
        // value of the file overflows.
        const int64_t location = vx::LeadingInt(pieces[5]);
        const int64_t ka = int64_t(vx::LeadingInt(pieces[9])) + set.m_nDim[a] / 2;
        const int64_t kb = int64_t(vx::LeadingInt(pieces[10])) + set.m_nDim[b] / 2;
        if (location < 0 || location >= set.m_nDim[s] || ka < 0 || ka >= set.m_nDim[a] || kb < 0 ||
            kb >= set.m_nDim[b])
            return false;
        m_kSpaceLines.push_back({int32_t(location), int32_t(ka), int32_t(kb), offset});
        return true;
    };
    return ForEachLISTLine(path, onHeader, onVector);
}
