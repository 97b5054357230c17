// The spectrum view's exports: the text table of the displayed points, the EPS plot, the
// metafile and the clipboard copy of the shown picture, the target names from the save
// dialog, and files that cannot be written.
#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QMdiArea>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <sys/wait.h>

#include "app/CommandIds.h"
#include "platform/Files.h"
#include "support/Bytes.h"
#include "support/GuiGrab.h"
#include "support/ScriptedFileChooser.h"
#include "support/TestFiles.h"
#include "views/spectrum/CVoxelWndDlgView.h"
#include "views/VoxelWindowFixture.h"

using namespace vx::test;

namespace {

std::vector<double> Numbers(const std::string& line)
{
    std::istringstream in(line);
    std::vector<double> out;
    for (std::string word; in >> word;)
        if (word != "moveto" && word != "lineto")
            out.push_back(std::stod(word));
    return out;
}

constexpr float kPointsPerPPM = TGuiFixture::kPoints * TGuiFixture::kFrequency / TGuiFixture::kSpectralWidth;

class SpectrumExportTest : public VoxelWindowTest {
protected:
    void SetUp() override
    {
        VoxelWindowTest::SetUp();
        window = Open(3, 2);
        ASSERT_NE(window, nullptr);
        view = window->View();
    }
    void Display(int flags, int first, int last)
    {
        TSpectrumDisplayParams display = view->GetDisplayParams();
        display.m_nFlags = flags;
        display.m_nXStart = first;
        display.m_nXEnd = last;
        window->SetDisplayParams(&display);
    }
    TTempFolder dir;
    CVoxelWindow* window = nullptr;
    CVoxelWndView* view = nullptr;
};

}  // namespace

TEST_F(SpectrumExportTest, TextTableHoldsTheDisplayedPointsInEitherDomain)
{
    const TSpectrum* voxel = Voxel(3, 2);
    struct Case {
        int frequency;
        std::string header;
        double (*at)(double i);
    };
    const Case cases[] = {
        {1, "PPM\tReal\tImaginary", [](double i) { return (TGuiFixture::kZeroPPMPoint - i) / kPointsPerPPM; }},
        {0, "MSec\tReal\tImaginary", [](double i) { return i / TGuiFixture::kSpectralWidth * 1000.0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        set->m_bFrequencyDomain = c.frequency;
        Display(TSpectrumDisplayParams::kReal, 100, 199);
        const std::string path = dir.File("table" + std::to_string(c.frequency) + ".txt");
        TScriptedFileChooser chooser(path);
        window->OutputTXT();
        ASSERT_EQ(chooser.Requests().size(), 1u);
        EXPECT_EQ(chooser.Requests()[0].title, "Export...");
        const std::vector<std::string> lines = ReadCrLfLines(path);
        ASSERT_EQ(lines.size(), 104u);
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4),
                  (std::vector<std::string>{"CSI set name: fixture_csi", "Voxel Index(3, 2, 0)",
                                            "Number of points: 100(100, 199)", c.header}));
        for (int i = 100; i <= 199; ++i) {
            const std::string& line = lines[static_cast<size_t>(4 + i - 100)];
            ASSERT_EQ(std::count(line.begin(), line.end(), '\t'), 2) << line;
            const std::vector<double> v = Numbers(line);
            ASSERT_EQ(v.size(), 3u) << line;
            EXPECT_NEAR(v[0], c.at(i), 1e-4 + 1e-5 * std::abs(c.at(i))) << line;
            EXPECT_NEAR(v[1], voxel->GetReal(i), 1e-5 * std::abs(voxel->GetReal(i)) + 1e-30) << line;
            EXPECT_NEAR(v[2], voxel->GetImag(i), 1e-5 * std::abs(voxel->GetImag(i)) + 1e-30) << line;
        }
    }
    EXPECT_TRUE(report.Messages().empty());
}

TEST_F(SpectrumExportTest, TargetNamesGetTheirExtensionOnlyWhenMissing)
{
    using W = CVoxelWindow;
    const struct {
        void (W::*command)();
        std::string answer, written;
    } cases[] = {
        {&W::OutputTXT, "plain", "plain.txt"}, {&W::OutputTXT, "UPPER.TXT", "UPPER.TXT"},
        {&W::OutputTXT, "lower.txt", "lower.txt"}, {&W::OutputEPS, "plot", "plot.eps"},
        {&W::OutputEPS, "PLOT2.EPS", "PLOT2.EPS"}, {&W::OutputEMF, "pic", "pic.emf"},
        {&W::OutputEMF, "PIC2.EMF", "PIC2.EMF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        TScriptedFileChooser chooser(dir.File(c.answer));
        // Through a local: GCC 12's vptr check misfires on a member access inside a ->* call.
        W* const target = window;
        (target->*c.command)();
        EXPECT_TRUE(vx::FileExists(dir.File(c.written)));
        ASSERT_EQ(chooser.Requests().size(), 1u);
        EXPECT_EQ(chooser.Requests()[0].filterIndex, 1);
    }
    TScriptedFileChooser cancelled;
    window->OutputTXT();
    window->OutputEPS();
    window->OutputEMF();
    EXPECT_EQ(vx::test::ListedEntries(dir.Path()).size(), std::size(cases));
    EXPECT_TRUE(report.Messages().empty());
}

TEST_F(SpectrumExportTest, UnwritableTargetsAreReportedAndLeaveNoFile)
{
    const std::string txt = dir.File("no/such/folder/t.txt"), eps = dir.File("no/such/folder/p.eps"),
                      emf = dir.File("no/such/folder/p.emf");
    for (const auto& [path, command] : {std::pair{txt, &CVoxelWindow::OutputTXT}, std::pair{eps, &CVoxelWindow::OutputEPS},
                                        std::pair{emf, &CVoxelWindow::OutputEMF}}) {
        TScriptedFileChooser chooser(path);
        // Through a local: GCC 12's vptr check misfires on a member access inside a ->* call.
        CVoxelWindow* const target = window;
        (target->*command)();
    }
    EXPECT_EQ(report.Messages(), (std::vector<std::string>{"Cannot create Txt File" + txt, "Cannot create EPS File" + eps,
                                                           "Cannot create EMF File" + emf}));
    EXPECT_TRUE(vx::test::ListedEntries(dir.Path()).empty());
}

TEST_F(SpectrumExportTest, EpsPlotsTheChosenPartOverTheClientSize)
{
    TSpectrum* voxel = Voxel(3, 2);
    const int n = voxel->m_nPoints, w = view->width(), h = view->height();
    ASSERT_GT(w, 41);
    ASSERT_GT(h, 30);
    const auto part = [&](int flags, int i) {
        return flags & TSpectrumDisplayParams::kMagnitude ? std::abs(voxel->Data()[i])
               : flags & TSpectrumDisplayParams::kReal    ? voxel->GetReal(i)
                                                          : voxel->GetImag(i);
    };
    const int flagsCases[] = {TSpectrumDisplayParams::kMagnitude, TSpectrumDisplayParams::kReal,
                              TSpectrumDisplayParams::kImaginary, TSpectrumDisplayParams::kGrid, -1};
    for (int flags : flagsCases) {
        SCOPED_TRACE(flags);
        if (flags == -1) {  // an all-zero spectrum scales as if its peak were 1
            voxel->AllocateZeroed(n);
            flags = TSpectrumDisplayParams::kReal;
        }
        Display(flags, 0, n - 1);
        const std::string path = dir.File("plot" + std::to_string(flags) + ".eps");
        TScriptedFileChooser chooser(path);
        window->OutputEPS();
        const std::vector<std::string> lines = ReadCrLfLines(path);
        ASSERT_GE(lines.size(), 10u);
        EXPECT_EQ(lines[2], "%%BoundingBox: 0 0 " + std::to_string(w) + " " + std::to_string(h));
        if (!(flags & TSpectrumDisplayParams::kPartBits)) {
            EXPECT_EQ(lines.size(), 12u) << "header, defaults and showpage only";
            continue;
        }
        ASSERT_EQ(lines.size(), 17u);
        EXPECT_EQ(lines.back(), "showpage");
        EXPECT_EQ(lines[12], "% plot a one-dimension array of " + std::to_string(n) + " points");
        const std::vector<double> xy = Numbers(lines[14]);
        ASSERT_EQ(xy.size(), 2u * n);
        float peak = voxel->GetMaxMagnitude();
        if (peak == 0.0f)
            peak = 1.0f;
        const double scale = (h - 30) / (2.0 * peak);
        for (int i = 0; i < n; ++i) {
            EXPECT_NEAR(xy[2 * i], i * (w - 41.0) / n, 1e-3 * (1 + i)) << i;
            EXPECT_NEAR(xy[2 * i + 1], (peak + part(flags, i)) * scale, 1e-4 * h) << i;
        }
    }
    const std::string gsRun = "gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=nullpage '" + dir.File("plot2.eps") + "' 2>&1";
    EXPECT_EQ(std::system(gsRun.c_str()), 0) << "ghostscript reads the plot (scripts/deps installs it)";
}

TEST_F(SpectrumExportTest, OutputPopupOffersEveryFormat)
{
    window->Panel()->UpdateCommandStates();
    using P = CVoxelWndDlgView;
    for (int command : {P::kCmdTXT, P::kCmdEMF, P::kCmdEPS})
        EXPECT_TRUE(window->Panel()->CommandAction(command)->isEnabled()) << command;
}

// The metafile and Edit > Copy of the main menu both carry what the view paints (its tool
// bars are controls of their own and stay out): here the phase tool's copies, texts and
// pivot over the read-out picture.
TEST_F(SpectrumExportTest, MetafileAndCopyHoldTheShownPictureWithToolOverlays)
{
    const auto painted = [this] {
        QImage image(view->size(), QImage::Format_RGB32);
        view->render(&image, {}, {}, QWidget::DrawWindowBackground);
        return image;
    };
    const QImage readout = painted();
    window->StartPhaseTool();
    QApplication::processEvents();
    const QImage shown = painted();
    ASSERT_NE(shown, readout) << "the tool draws over the picture";
    EXPECT_FALSE(GrabToPng(view, "spectrum_view_phase_tool").isEmpty());

    const std::string path = dir.File("shown.emf");
    TScriptedFileChooser chooser(path);
    window->OutputEMF();
    // One bitmap record after the 140-byte header: its 32-bit pixels, bottom row first, at
    // 120 bytes into the record.
    const std::string bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 140 + 120 + 4u * shown.width() * shown.height() + 20);
    EXPECT_EQ(Int32LEAt(bytes, 48), static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(Int32LEAt(bytes, 52), 3);
    EXPECT_EQ(Int32LEAt(bytes, 140), 81);
    ASSERT_EQ(Int32LEAt(bytes, 140 + 84), shown.width());
    ASSERT_EQ(Int32LEAt(bytes, 140 + 88), shown.height());
    const QImage fromFile = QImage(reinterpret_cast<const uchar*>(bytes.data()) + 260, shown.width(), shown.height(),
                                   QImage::Format_RGB32).mirrored();
    EXPECT_EQ(fromFile, shown);

    QApplication::clipboard()->clear();
    Frame().MdiArea()->setActiveSubWindow(window);
    Frame().UpdateCommandStates();
    QAction* copy = Frame().Action(cmd::EditCopy);
    ASSERT_TRUE(copy->isEnabled());
    copy->trigger();
    EXPECT_EQ(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), shown);
    EXPECT_TRUE(report.Messages().empty());
}

// The EPS file chosen from the panel's Output menu is a page Ghostscript crops to its
// bounding box; the dark pixels of the rendered page lie on the exported curve, and the
// curve is there across its whole width.
TEST_F(SpectrumExportTest, GhostscriptRendersTheExportedCurveAsAnEpsPage)
{
    if (RunShell("gs --version").first != 0)
        GTEST_SKIP() << "ghostscript (gs) is missing: run scripts/deps";
    Display(TSpectrumDisplayParams::kReal, 0, TGuiFixture::kPoints - 1);
    const std::string eps = dir.File("curve.eps"), png = dir.File("curve.png");
    TScriptedFileChooser chooser(eps);
    QAction* output = window->Panel()->CommandAction(CVoxelWndDlgView::kCmdEPS);
    ASSERT_NE(output, nullptr);
    ASSERT_TRUE(output->isEnabled());
    output->trigger();
    EXPECT_EQ(ReadCrLfLines(eps).front(), "%!PS-Adobe-3.0 EPSF-3.0");

    const auto [rc, out] = RunShell("gs -q -dSAFER -dBATCH -dNOPAUSE -dEPSCrop -r72 -sDEVICE=png16m -sOutputFile='" +
                                    png + "' '" + eps + "'");
    ASSERT_EQ(rc, 0) << out;
    const QImage page(QString::fromStdString(png));
    ASSERT_FALSE(page.isNull()) << "ghostscript wrote no page";
    const int w = view->width(), h = view->height();
    ASSERT_EQ(page.size(), QSize(w, h));

    // The curve in page pixels (y down): point i at (i * dx, h - (peak + value) * scale).
    const TSpectrum* voxel = Voxel(3, 2);
    const int n = voxel->m_nPoints;
    const double dx = (w - 41.0) / n, peak = voxel->GetMaxMagnitude(), scale = (h - 30) / (2.0 * peak);
    const auto yAt = [&](int i) { return h - (peak + voxel->GetReal(i)) * scale; };
    int dark = 0, top = h;
    for (int px = 0; px < w; ++px) {
        // The rows the curve passes through over this pixel column; the line's width and the
        // mitred tips of the narrow peak reach a few pixels beyond.
        double low = h, high = -1;
        for (int i = 0; i + 1 < n; ++i) {
            if ((i + 1) * dx < px || i * dx > px + 1)
                continue;
            low = std::min({low, yAt(i), yAt(i + 1)});
            high = std::max({high, yAt(i), yAt(i + 1)});
        }
        bool any = false;
        for (int py = 0; py < h; ++py) {
            if (qGray(page.pixel(px, py)) >= 128)
                continue;
            ++dark;
            any = true;
            top = std::min(top, py);
            EXPECT_TRUE(py + 1 >= low - 4 && py <= high + 4)
                << "dark pixel (" << px << "," << py << ") off the curve's rows " << low << " ... " << high;
        }
        if (px + 1 < (n - 1) * dx) {
            EXPECT_TRUE(any) << "no curve in column " << px;
        }
    }
    EXPECT_GT(dark, w / 2);
    EXPECT_NEAR(top, h - 2 * peak * scale, 4.0) << "the peak reaches its height";
    EXPECT_TRUE(report.Messages().empty());
}
