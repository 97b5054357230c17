#include <QClipboard>
#include <QGuiApplication>

#include <algorithm>
#include <memory>
#include <string>

#include "model/TCSISet.h"
#include "model/TSpectrum.h"
#include "platform/FileChooser.h"
#include "platform/Files.h"
#include "platform/Numbers.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TEMFWriter.h"
#include "platform/TEPSWriter.h"
#include "platform/TTextFile.h"
#include "views/spectrum/CVoxelWndView.h"
#include "views/TPainterCanvas.h"

namespace {

// The export target from the save dialog, with `extension` appended when the file name
// holds it in neither case; "" when cancelled.
std::string AskExportPath(const std::string& filter, const std::string& extension)
{
    vx::TFileRequest request;
    request.save = true;
    request.title = "Export...";
    request.filter = filter;
    request.filterIndex = 1;
    request.folder = vx::CurrentFolder();
    request.finalPath = [extension](const std::string& chosen) {
        std::string upper = extension;
        std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
        const std::string name = vx::FileNameOf(chosen);
        if (name.find(extension) == std::string::npos && name.find(upper) == std::string::npos)
            return chosen + extension;
        return chosen;
    };
    return vx::ChooseFile(request);
}

}  // namespace

std::string CVoxelWndView::ExportText(const TSpectrum& voxel, const TSpectrumDisplayParams& display)
{
    const TCSISet* set = voxel.m_pDataSet;
    if (!set)
        return {};
    const bool frequency = set->m_bFrequencyDomain != 0;
    const int first = display.m_nXStart, last = display.m_nXEnd;
    std::string text = "CSI set name: " + set->GetName() + "\r\n";
    text += "Voxel Index(" + std::to_string(voxel.m_nX) + ", " + std::to_string(voxel.m_nY) + ", " +
            std::to_string(voxel.m_nZ) + ")\r\n";
    text += "Number of points: " + std::to_string(last - first + 1) + "(" + std::to_string(first) + ", " +
            std::to_string(last) + ")\r\n";
    text += frequency ? "PPM\tReal\tImaginary\r\n" : "MSec\tReal\tImaginary\r\n";
    const int unit = frequency ? kUnitPPM : kUnitMs;
    for (int i = first; i <= last; ++i) {
        // GetReal and GetImag give 0 for a point the spectrum does not hold.
        text += vx::FormatGeneral(set->PointToUnit(static_cast<float>(i), unit)) + "\t" +
                vx::FormatGeneral(voxel.GetReal(i)) + "\t" + vx::FormatGeneral(voxel.GetImag(i)) + "\r\n";
    }
    return text;
}

void CVoxelWndView::OnOutputTXTFile()
{
    const std::string path = AskExportPath("All Files (*.*)|*.*|Text Files(*.txt)|*.TXT", ".txt");
    if (path.empty())
        return;
    vx::TTextFile file;
    const TSpectrum* voxel = GetCurrentVoxel();
    // TTextFile stores "\n" as "\r\n": hand it the text with plain line ends.
    std::string text = voxel ? ExportText(*voxel, m_display) : std::string();
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    const bool written = file.Open(path, vx::TTextFile::Mode::Write) && file.WriteString(text) && file.Close();
    if (!written)
        vx::Report("Cannot create Txt File" + path);
}

void CVoxelWndView::OnOutputEPSFile()
{
    const std::string path = AskExportPath("All Files (*.*)|*.*|Encapsulated Postscript(*.EPS)|*.EPS", ".eps");
    if (path.empty())
        return;
    const int width = std::max(this->width(), 0), height = std::max(this->height(), 0);
    vx::TEPSWriter eps(path, static_cast<unsigned>(width), static_cast<unsigned>(height));
    const TSpectrum* voxel = GetCurrentVoxel();
    const int n = voxel ? voxel->m_nPoints : 0;
    if (n > 0) {
        // An all-zero spectrum is scaled as if its largest magnitude were 1.
        float maxMagnitude = voxel->GetMaxMagnitude();
        if (!(maxMagnitude > 0.0f))
            maxMagnitude = 1.0f;
        const float dx = static_cast<float>(width - 41) / static_cast<float>(n);
        const float yScale = static_cast<float>(height - 30) / (2.0f * maxMagnitude);
        std::unique_ptr<float[]> values;
        if (m_display.m_nFlags & TSpectrumDisplayParams::kMagnitude)
            values = voxel->GetMagnitudeRange(0, n - 1);
        else if (m_display.m_nFlags & TSpectrumDisplayParams::kReal)
            values = voxel->GetRealRange(0, n - 1);
        else if (m_display.m_nFlags & TSpectrumDisplayParams::kImaginary)
            values = voxel->GetImagRange(0, n - 1);
        if (values)
            eps.PlotArray(values.get(), n, dx, maxMagnitude, yScale, 0);
    }
    if (!eps.Close())
        vx::Report("Cannot create EPS File" + path);
}

QImage CVoxelWndView::ShownPicture() const
{
    if (!m_pMemDC.isNull())
        return m_pMemDC.convertToFormat(QImage::Format_RGB32);
    // Without a picture the window shows its background.
    QImage background(size(), QImage::Format_RGB32);
    background.fill(vx::ToQColor(m_crBackground));
    return background;
}

void CVoxelWndView::OnOutputEMFFile()
{
    const std::string path =
        AskExportPath("All Files (*.*)|*.*|Enhanced Windows MetaFiles(*.emf)|*.EMF", ".emf");
    if (path.empty())
        return;
    const QImage picture = ShownPicture();
    const int w = picture.width(), h = picture.height();
    vx::TEMFWriter emf(path, w, h, u"Kolvo Program");
    if (!picture.isNull())
        emf.StretchDIBits(0, 0, w, h, reinterpret_cast<const uint32_t*>(picture.constBits()), w, h,
                          static_cast<int>(picture.bytesPerLine() / 4));
    if (!emf.Close())
        vx::Report("Cannot create EMF File" + path);
}

void CVoxelWndView::OnEditCopy()
{
    const QImage picture = ShownPicture();
    if (!picture.isNull())
        QGuiApplication::clipboard()->setImage(picture);
}
