// The LIST file that indexes a DATA file of raw samples: the scanner release, the sizes
// of the acquisition, and one k-space record per stored data vector.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "model/TMRImage.h"
#include "model/math/TextHelpers.h"
#include "platform/Numbers.h"
#include "platform/OpenToRead.h"
#include "platform/Report.h"
#include "platform/TTextFile.h"
#include "readers/TPhilipsReader.h"

namespace {

constexpr char kBlanks[] = " \t\r\n";

// The readers take the k indices from columns 9 and 10; a column header that puts the
// offset among them describes no layout they can read.
constexpr size_t kLastIndexColumn = 10;

// The column a column-header comment ("# typ mix dyn ... size offset") names "offset";
// 0 when the line is no such header.
size_t OffsetColumnOfHeader(const std::string& line)
{
    std::vector<std::string> names;
    SplitString(line, names, " \t\r\n#");
    if (names.empty() || names[0] != "typ")
        return 0;
    const auto at = std::find(names.begin(), names.end(), "offset");
    const size_t column = static_cast<size_t>(at - names.begin());
    return at == names.end() || column <= kLastIndexColumn ? 0 : column;
}

}  // namespace

bool TPhilipsReader::VectorsInsideFile(int64_t fileSize, uint64_t vectorBytes) const
{
    return fileSize >= 0 && std::all_of(m_kSpaceLines.begin(), m_kSpaceLines.end(), [&](const TKSpaceLine& record) {
               return record.offset >= 0 && record.offset <= fileSize &&
                      vectorBytes <= uint64_t(fileSize - record.offset);
           });
}

bool TPhilipsReader::VectorsInsideDataFile(const std::string& path, int64_t fileSize, int sizeError,
                                           uint64_t vectorBytes) const
{
    if (VectorsInsideFile(fileSize, vectorBytes))
        return true;
    uint64_t end = 0;
    for (const TKSpaceLine& record : m_kSpaceLines) {
        if (record.offset < 0) {
            vx::Report("The LIST file of " + path + " gives a data vector the negative offset " +
                           std::to_string(record.offset) + ".",
                       vx::ReportIcon::Exclamation);
            return false;
        }
        end = std::max(end, uint64_t(record.offset) + vectorBytes);
    }
    ReportDataFileCutShort(path, fileSize, sizeError, end, false);
    return false;
}

bool TPhilipsReader::RefuseVectorOutsideGrid(const std::string& path) const
{
    vx::Report("The LIST file of " + path + " places a data vector outside its grid of " + GridSizeText(*m_pCSISet) +
                   ".",
               vx::ReportIcon::Exclamation);
    return false;
}

bool TPhilipsReader::ForEachLISTLine(const std::string& path, const TLISTLineFn& onHeader,
                                     const TLISTVectorFn& onVector)
{
    vx::TTextFile file;
    if (!file.Open(path, vx::TTextFile::Mode::Read)) {
        vx::Report("LIST file " + path + " does not exist or cannot be read.", vx::ReportIcon::Exclamation);
        return false;
    }
    size_t headerOffsetColumn = 0;  // 0 until a column header names the offset
    bool firstVector = true;
    std::string line;
    std::vector<std::string> pieces;
    // A line that a failed read cut short is not taken: the file is refused as one that
    // cannot be read to its end.
    while (file.ReadString(line) && !file.Failed()) {
        if (line.empty())
            continue;
        switch (line[0]) {
        case '#':
            if (line.find("Gyroscan SW release") != std::string::npos) {
                SplitString(line, pieces, " \t\r\n.");
                if (pieces.size() >= 6)
                    m_nRelease = vx::LeadingInt(pieces[5]);  // the major number
            } else if (const size_t column = OffsetColumnOfHeader(line)) {
                headerOffsetColumn = column;
            }
            break;
        case '.':
            SplitString(line, pieces, kBlanks);
            // Header lines of the first mix only.
            if (pieces.size() >= 2 && pieces[1] == "0" && !onHeader(pieces))
                return false;
            break;
        case ' ': {
            SplitString(line, pieces, kBlanks);
            // Without a column header: the 21-column layout, or the 20 columns of older releases.
            const size_t offsetColumn = headerOffsetColumn ? headerOffsetColumn : pieces.size() == 20 ? 19 : 20;
            if (pieces.size() <= offsetColumn) {
                vx::Report("The LIST file " + path + " has a data vector line of " + std::to_string(pieces.size()) +
                               " words, without the offset of word " + std::to_string(offsetColumn + 1) + ".",
                           vx::ReportIcon::Exclamation);
                return false;
            }
            // Standard vectors of the first mix only: noise, correction and navigator
            // vectors share the DATA file but hold no samples of the grid.
            if (pieces[0] != "STD" || pieces[1] != "0")
                break;
            int64_t offset = 0;
            if (!vx::ParseInt64(pieces[offsetColumn], offset) || offset < 0) {
                vx::Report("The LIST file " + path + " gives a data vector the offset \"" + pieces[offsetColumn] +
                               "\", which is no position in its DATA file.",
                           vx::ReportIcon::Exclamation);
                return false;
            }
            if (firstVector) {
                m_nDataOffset = static_cast<int32_t>(std::min<int64_t>(offset, INT32_MAX));
                firstVector = false;
            }
            if (!onVector(pieces, offset)) {
                vx::Report("The LIST file " + path +
                               " lists a data vector outside the sizes, echoes or phases its header lines give.",
                           vx::ReportIcon::Exclamation);
                return false;
            }
            break;
        }
        default:
            break;
        }
    }
    if (file.Failed()) {
        vx::Report(vx::NotReadToEndText("LIST file", path, file.LastError()), vx::ReportIcon::Exclamation);
        return false;
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
    auto onVector = [&](const std::vector<std::string>& pieces, int64_t offset) {
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
