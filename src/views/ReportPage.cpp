#include "views/ReportPage.h"

#include <algorithm>
#include <cctype>
#include <iomanip>
#include <locale>
#include <sstream>

#include "model/TCSISet.h"
#include "model/TCSISlice.h"
#include "model/TMRImage.h"
#include "model/TMap.h"
#include "model/math/TextHelpers.h"

namespace vx::report {

namespace {

const char* const kAlt = "Click to display original size, click again to restore";

std::string Tabs(int depth)
{
    return std::string(static_cast<size_t>(std::max(depth, 0)), '\t');
}

std::string Value(float value, int decimals = 5)
{
    return FloatToString(value, decimals);
}

std::string Pair(float a, float b)
{
    return Value(a) + " x " + Value(b);
}

std::string OrientationText(int orientation)
{
    switch (orientation) {
    case 0: return "Sagittal";
    case 1: return "Coronal";
    case 2: return "Transverse";
    default: return "Invalid";
    }
}

// Position of ".html" or ".HTML" in a file name, whichever comes first; npos for neither.
size_t ExtensionAt(const std::string& name)
{
    return std::min(name.find(".html"), name.find(".HTML"));
}

size_t NameStart(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

void WriteTable(std::ostream& out, int depth, const std::string& id, const std::optional<TParamRows>& rows,
                const std::string& missing)
{
    const std::string t = Tabs(depth);
    out << t << "<div id=\"h_" << id << "\" class=help>"
        << (rows ? "click the button on the left to display details" : "n/a") << "</div>\n";
    out << t << "<table class=param id=\"" << id << "\" style=\"display: none\">\n";
    if (!rows) {
        out << t << "\t<tr class=shade><td>" << missing << "</td></tr>\n";
    } else {
        for (size_t k = 0; k < rows->size(); ++k)
            out << t << '\t' << (k % 2 == 0 ? "<tr class=shade>" : "<tr>") << "<td class=name>"
                << EscapeHtml((*rows)[k].first) << "</td><td>" << EscapeHtml((*rows)[k].second) << "</td></tr>\n";
    }
    out << t << "</table>\n";
}

}  // namespace

std::string EscapeHtml(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string WithHtmlExtension(const std::string& path)
{
    return ExtensionAt(path.substr(NameStart(path))) == std::string::npos ? path + ".html" : path;
}

TReportPaths SplitReportPath(const std::string& path)
{
    const size_t start = NameStart(path);
    const size_t extension = ExtensionAt(path.substr(start));
    const size_t end = extension == std::string::npos ? path.size() : start + extension;
    return {path.substr(start, end - start), path.substr(0, end) + "_files"};
}

std::string TReportPaths::Url(const std::string& picture) const
{
    // Letters that a relative URL would read otherwise ("#", "?", "%", blanks) are encoded.
    static const char* const hex = "0123456789ABCDEF";
    std::string url;
    for (unsigned char c : title + "_files/" + picture) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' || c == '/') {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return EscapeHtml(url);
}

std::string Number(int n)
{
    return FloatToString(static_cast<float>(n), 5);
}

TParamTables MakeParamTables(const TMRImage* image, const TCSISlice* slice, const TMRImage* overlay,
                             const TMap* map)
{
    const int orientation = image     ? image->GetOrientation()
                            : slice   ? slice->GetSliceAxis()
                            : overlay ? overlay->GetOrientation()
                                      : -1;
    const std::string orientationText = OrientationText(orientation);
    TParamTables tables;
    if (image) {
        tables.image = TParamRows{
            {"Subject name", image->GetInfoText(TMRImage::InfoPatientName)},
            {"Examination name", image->GetInfoText(TMRImage::InfoExamName)},
            {"Examination time", image->GetInfoText(TMRImage::InfoExamDate)},
            {"Protocol name", image->GetInfoText(TMRImage::InfoProtocolName)},
            {"Repetition time (ms)", Value(image->GetTR())},
            {"Echo time (ms)", Value(image->GetTE())},
            {"Slice orientation", orientationText},
            {"Field of View (mm)", Pair(image->GetFOVX(), image->GetFOVY())},
            {"Slice thickness(mm)", Value(image->GetThickness())},
            {"Resolution", Pair(static_cast<float>(image->GetWidth()), static_cast<float>(image->GetHeight()))},
            {"Slice position(mm)", Value(image->GetSlicePosition())},
        };
    }
    if (const TCSISet* set = slice ? slice->GetSet() : nullptr) {
        tables.csi = TParamRows{
            {"Subject name", set->m_strPatientName},
            {"Examination name", set->m_strExamName},
            {"Examination time", set->m_strExamDate},
            {"Nucleus", set->m_strNucleus},
            {"Repetition time (ms)", Value(set->m_fTR)},
            {"Echo time (ms)", Value(set->m_fTE)},
            {"Slice orientation", orientationText},
            {"Field of View (mm)", Pair(slice->GetFOVX(), slice->GetFOVY())},
            {"Slice thickness(mm)", Value(slice->GetThickness())},
            {"Resolution", Pair(static_cast<float>(slice->GetColumns()), static_cast<float>(slice->GetRows()))},
            {"Slice position(mm)", Value(slice->GetSlicePosition())},
        };
    }
    if (overlay && map) {
        const std::string method = map->method == kMapAreaIntegration     ? "Area integration"
                                   : map->method == kMapPrincipalComponent ? "Principal Component Analysis"
                                                                           : "n/a";
        // A map without cells along the axis has no slice thickness to show.
        const bool axis = orientation >= 0 && orientation < 3 && map->size[orientation] > 0;
        tables.map = TParamRows{
            {"Map name", map->GetName()},
            {"Peak name", map->GetName()},
            {"Peak interval(ppm)", Value(map->peakStartPPM, 2) + " ~ " + Value(map->peakEndPPM, 2)},
            {"Quantification method", method},
            {"Map Value", "n/a"},
            // The map block's word after the method holds the iteration count.
            {"Number of iterations", std::to_string(map->aux3)},
            {"Slice orientation", orientationText},
            {"Field of View (mm)", Pair(overlay->GetFOVX(), overlay->GetFOVY())},
            {"Resolution", Pair(static_cast<float>(overlay->GetWidth()), static_cast<float>(overlay->GetHeight()))},
            {"Slice thickness(mm)",
             axis ? Value(map->fov[orientation] / static_cast<float>(map->size[orientation]), 2) : "n/a"},
        };
    }
    return tables;
}

void WriteHead(std::ostream& out, const std::string& projectName, bool estimation, const std::tm& now)
{
    const std::string name = EscapeHtml(projectName);
    const char* const size = estimation ? "height" : "width";
    const char* const big = "250px";
    const char* const small = estimation ? "160px" : "100px";
    out << "<html>\n<head>\n<title>" << name << " project report</title>\n";
    out << "<style type=\"text/css\">\n"
        << "\th4 {text-align: center}\n"
        << "\timg {float: middle; margin: 5pt; " << size << ": " << big << "}\n"
        << "\timg.vox {float: middle; margin: 5pt; width: auto; height: " << small << "}\n"
        << "\tbody {text-align: center; font-size: x-small; font-family: Verdana, Georgia, Serif}\n"
        << "\ttd {vertical-align: top; font-size: x-small; padding: 4pt; text-align: center}\n"
        << "\ttd.name {font-weight: bold}\n"
        << "\ttr {background-color: white}\n"
        << "\ttr.shade {background-color: #c0d5ed}\n"
        << "\ttable.outer {background-color: #2e5f9c}\n"
        << "\ttable.param {padding: 3pt}\n"
        << "\tbutton {width: 25ex}\n"
        << "\ttd.title {background-color: #2e5f9c; color: white; font-size: small; font-weight: bold; "
           "text-align: center}\n"
        << "\ttd.info {font-size: xx-small; text-align: center}\n"
        << "\ttd.detail {vertical-align: middle}\n"
        << "\tdiv.help {font-style: italic}\n"
        << "</style>\n";
    out << "<script type=\"text/javascript\">\n"
        << "\tfunction toggle(e,id)\n\t{\n"
        << "\t\tvar table = document.getElementById(id);\n"
        << "\t\tvar help = document.getElementById(\"h_\" + id);\n"
        << "\t\tif (table.style.display == \"\") {\n"
        << "\t\t\ttable.style.display = \"none\";\n"
        << "\t\t\thelp.style.display = \"\";\n"
        << "\t\t\te.style.fontWeight = \"normal\";\n"
        << "\t\t} else {\n"
        << "\t\t\ttable.style.display = \"\";\n"
        << "\t\t\thelp.style.display = \"none\";\n"
        << "\t\t\te.style.fontWeight = \"bold\";\n"
        << "\t\t}\n\t}\n"
        << "\tfunction restore(e)\n\t{\n"
        << "\t\te.style." << size << " = e.style." << size << " == \"auto\" ? \"" << big << "\" : \"auto\";\n\t}\n"
        << "\tfunction restoreVox(e)\n\t{\n"
        << "\t\te.style.height = e.style.height == \"auto\" ? \"" << small << "\" : \"auto\";\n\t}\n"
        << "</script>\n</head>\n";
    std::ostringstream generated;
    generated.imbue(std::locale::classic());
    generated << std::put_time(&now, "generated in %A, %b, %d, %Y by Vexara");
    out << "<body>\n<table align=\"center\" class=\"outer\">\n";
    out << "\t<tr>\n\t\t<td class=title colspan=2>" << name << " project report</td>\n\t</tr>\n";
    out << "\t<tr>\n\t\t<td class=info colspan=2>" << EscapeHtml(generated.str()) << "</td>\n\t</tr>\n";
}

void WriteTail(std::ostream& out)
{
    out << "</table>\n</body>\n</html>\n";
}

void WritePictureRow(std::ostream& out, int depth, const std::string& image, const std::vector<std::string>& voxels)
{
    const std::string t = Tabs(depth);
    const std::string img = "<img onClick=\"restore(this)\" src=\"" + image + "\" alt=\"" + kAlt + "\">";
    out << t << "<tr>\n";
    if (voxels.empty()) {
        out << t << "\t<td colspan=2>" << img << "</td>\n";
    } else {
        out << t << "\t<td>" << img << "</td>\n";
        out << t << "\t<td>\n" << t << "\t\t<table>\n";
        for (const std::string& voxel : voxels)
            out << t << "\t\t\t<tr><td><img class=vox onClick=\"restoreVox(this)\" src=\"" << voxel << "\" alt=\""
                << kAlt << "\"></td></tr>\n";
        out << t << "\t\t</table>\n" << t << "\t</td>\n";
    }
    out << t << "</tr>\n";
}

void WriteVoxelRow(std::ostream& out, int depth, const std::string& voxel)
{
    const std::string t = Tabs(depth);
    out << t << "<tr>\n"
        << t << "\t<td colspan=2><img class=vox onClick=\"restoreVox(this)\" src=\"" << voxel << "\" alt=\"" << kAlt
        << "\"></td>\n"
        << t << "</tr>\n";
}

void WriteInfoRow(std::ostream& out, int depth, const std::string& text)
{
    const std::string t = Tabs(depth);
    out << t << "<tr>\n" << t << "\t<td class=info colspan=2>" << EscapeHtml(text) << "</td>\n" << t << "</tr>\n";
}

void WriteParamRows(std::ostream& out, int depth, const std::string& suffix, const TParamTables& tables)
{
    const struct {
        const char* id;
        const char* label;
        const std::optional<TParamRows>& rows;
        const char* missing;
    } rows[] = {
        {"imgparam", "Image Parameters", tables.image, "No image is available"},
        {"csiparam", "CSI Parameters", tables.csi, "No CSI is available"},
        {"mapparam", "Map Parameters", tables.map, "No map is available"},
    };
    const std::string t = Tabs(depth);
    for (const auto& row : rows) {
        const std::string id = row.id + EscapeHtml(suffix);
        out << t << "<tr>\n"
            << t << "\t<td style=\"width: 40%\"><button onClick=\"toggle(this,'" << id << "')\">" << row.label
            << "</button></td>\n"
            << t << "\t<td class=detail>\n";
        WriteTable(out, depth + 2, id, row.rows, row.missing);
        out << t << "\t</td>\n" << t << "</tr>\n";
    }
}

}  // namespace vx::report
