#pragma once
// The HTML report page of the image windows, as text: the head with its style sheet and
// script, the title rows, the picture and parameter rows of a section, and the closing
// tags; the report's picture folder and picture names; the parameter tables of an image,
// a CSI slice and a map. Every inserted text is HTML-escaped. Lines end in "\n"; the
// caller writes the page as a text file.
#include <ctime>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

class TCSISlice;
class TMap;
class TMRImage;

namespace vx::report {

// &, <, > and " replaced by their entities.
std::string EscapeHtml(const std::string& text);

// The chosen path with ".html" appended when its file name holds neither ".html" nor ".HTML".
std::string WithHtmlExtension(const std::string& path);

// Title and picture folder of a report path: the title is the file name up to its
// ".html" (or ".HTML"), the folder the path up to there followed by "_files".
struct TReportPaths {
    std::string title;
    std::string folder;
    // The picture's file and the page's relative, URL-encoded and escaped reference to it.
    std::string File(const std::string& picture) const { return folder + "/" + picture; }
    std::string Url(const std::string& picture) const;
};
TReportPaths SplitReportPath(const std::string& path);

// A section index or running number as picture names write it.
std::string Number(int n);

// Label and value rows of one parameter table; none: the object is not there.
using TParamRows = std::vector<std::pair<std::string, std::string>>;
struct TParamTables {
    std::optional<TParamRows> image, csi, map;
};
// The tables of an image window: its image, its CSI slice, its first map overlay and the
// map of the overlay's name (the map table needs both).
TParamTables MakeParamTables(const TMRImage* image, const TCSISlice* slice, const TMRImage* overlay,
                             const TMap* map);

// "<html>" up to the "generated in" row. `estimation`: the sheet and script of the
// spectral-estimation report. `now` is local time.
void WriteHead(std::ostream& out, const std::string& projectName, bool estimation, const std::tm& now);
// "</table>", "</body>", "</html>".
void WriteTail(std::ostream& out);

// Rows of the outer table, `depth` tabs in. `voxels` are the references of the pictures
// shown beside the image in a nested table.
void WritePictureRow(std::ostream& out, int depth, const std::string& image, const std::vector<std::string>& voxels);
void WriteVoxelRow(std::ostream& out, int depth, const std::string& voxel);
void WriteInfoRow(std::ostream& out, int depth, const std::string& text);
// The three rows of buttons and hidden tables, their ids ending in `suffix`.
void WriteParamRows(std::ostream& out, int depth, const std::string& suffix, const TParamTables& tables);

}  // namespace vx::report
