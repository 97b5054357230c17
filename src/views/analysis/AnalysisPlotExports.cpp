#include "views/analysis/AnalysisPlotExports.h"

#include <sstream>

#include "model/TCSISet.h"
#include "model/math/TFloatMatrix.h"
#include "platform/FileChooser.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFile.h"

namespace vx::views {
namespace {

std::ostringstream SignedStream()
{
    std::ostringstream out;
    out.setf(std::ios::showpos | std::ios::showpoint);
    return out;
}

// "(x,y,z)" of image column x and row y of a slice along `orientation`.
void WriteVoxel(std::ostream& out, int orientation, int slice, int column, int row)
{
    static constexpr int kInPlane[3][2] = {{1, 2}, {0, 2}, {0, 1}};
    int e[3] = {0, 0, 0};
    const int o = std::clamp(orientation, 0, 2);
    e[o] = slice;
    e[kInPlane[o][0]] = column;
    e[kInPlane[o][1]] = row;
    out << "(" << e[0] << "," << e[1] << "," << e[2] << ")";
}

}  // namespace

std::string ComponentExportText(const TFloatMatrix& components, int firstPoint, const TCSISet* set)
{
    std::ostringstream out = SignedStream();
    out << "#PCA Principal Components \n\n";
    out << "PPM";
    for (uint32_t c = 0; c < components.Rows(); ++c)
        out << "\t\tPC " << static_cast<int>(c);
    out << "\n";
    for (uint32_t k = 0; k < components.Columns(); ++k) {
        const float point = static_cast<float>(firstPoint) + static_cast<float>(k);
        out << (set ? set->PointToUnit(point, 2) : point);
        for (uint32_t c = 0; c < components.Rows(); ++c)
            out << "\t" << components.At(c, k);
        out << "\n";
    }
    return out.str();
}

std::string ScoreExportText(const std::vector<const TFloatMatrix*>& images, int orientation, int slice)
{
    std::ostringstream out = SignedStream();
    out << "#PCA scores \n\n";
    out << "Index\t";
    for (size_t c = 0; c < images.size(); ++c)
        out << "\tscore " << static_cast<int>(c);
    out << "\n";
    if (images.empty() || !images.front())
        return out.str();
    const uint32_t rows = images.front()->Rows(), columns = images.front()->Columns();
    for (uint32_t x = 0; x < columns; ++x)
        for (uint32_t y = 0; y < rows; ++y) {
            WriteVoxel(out, orientation, slice, static_cast<int>(x), static_cast<int>(y));
            for (const TFloatMatrix* image : images) {
                out << "\t";
                // An image of another size has no value here.
                if (image && y < image->Rows() && x < image->Columns())
                    out << image->At(y, x);
            }
            out << "\n";
        }
    return out.str();
}

std::string NMFCorrectionExportText(const TFloatMatrix& errors, const TFloatMatrix& chiSquares)
{
    std::ostringstream out = SignedStream();
    out << "#NMF error convergence and chi-square curve\n\n";
    out << "Index\t\tError Convergence\t\tChi-Square\n";
    if (errors.Rows() == 0)
        return out.str();
    for (uint32_t k = 0; k < errors.Columns(); ++k) {
        out << static_cast<int>(k) << "\t\t" << errors.At(0, k);
        if (k < chiSquares.Columns() && chiSquares.Rows() > 0)
            out << "\t\t" << chiSquares.At(0, k);
        out << "\n";
    }
    return out.str();
}

std::string PCACorrectionExportText(const TFloatMatrix& first, const TFloatMatrix& second,
                                    const std::string& firstTitle, const std::string& secondTitle, int orientation,
                                    int slice)
{
    std::ostringstream out = SignedStream();
    out << "#PCA frequency correction (in point) and phase shift correction (in degree)\n\n";
    out << "Index\t\t" << firstTitle << "\t\t" << secondTitle << "\n";
    for (uint32_t x = 0; x < first.Columns(); ++x)
        for (uint32_t y = 0; y < first.Rows(); ++y) {
            WriteVoxel(out, orientation, slice, static_cast<int>(x), static_cast<int>(y));
            out << "\t" << first.At(y, x) << "\t\t";
            if (y < second.Rows() && x < second.Columns())
                out << second.At(y, x);
            out << "\n";
        }
    return out.str();
}

bool SaveExportText(const std::string& text)
{
    TFileRequest request;
    request.save = true;
    request.overwritePrompt = true;
    request.title = "Save as...";
    request.filter = "All Files (*.*)|*.*|Text Files(*.txt)|*.TXT";
    request.filterIndex = 1;
    request.folder = CurrentFolder();
    request.finalPath = [](const std::string& chosen) { return WithExtensionIfMissing(chosen, ".txt"); };
    const std::string path = ChooseFile(request);
    if (path.empty())
        return false;
    if (!WriteFileAtomically(path, text)) {
        Report("Cannot create text file " + path + ".", ReportIcon::Exclamation);
        return false;
    }
    return true;
}

}  // namespace vx::views
