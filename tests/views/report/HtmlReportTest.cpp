// The image windows' HTML report: pages read back with Python's HTML parser, pictures
// decoded with libjpeg, the report's file names, and files that cannot be written.
#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <iomanip>
#include <map>
#include <regex>
#include <sstream>

#include "app/dialogs/DialogRunner.h"
#include "app/QtServices.h"
#include "model/TMRImage.h"
#include "model/TMap.h"
#include "platform/Files.h"
#include "processing/TDrawnRegionRect.h"
#include "processing/TRegionEstimate.h"
#include "support/GuiGrab.h"
#include "support/InstalledProcessing.h"
#include "support/JpegDecoder.h"
#include "support/ScriptedFileChooser.h"
#include "support/TestFiles.h"
#include "views/picture/CMainPicView.h"
#include "views/picture/RegionPainters.h"
#include "views/ReportPage.h"
#include "views/VoxelWindowFixture.h"

using namespace vx::test;

namespace {

// Dumps a page as tab-separated lines: "id" tag id style, "img" id class src onclick,
// "text" id tag data (id: the innermost element with one, else "-"), "error" text for
// an end tag that closes no open element or elements left open.
const char* const kParser = R"(import sys
from html.parser import HTMLParser
class P(HTMLParser):
    stack = []
    def ctx(s): return next((a['id'] for t, a in reversed(s.stack) if 'id' in a), '-')
    def handle_starttag(s, tag, attrs):
        a = {k: v or '' for k, v in attrs}
        if tag == 'img': return print('img', s.ctx(), a.get('class', ''), a.get('src', ''), a.get('onclick', ''), sep='\t')
        if 'id' in a: print('id', tag, a['id'], a.get('style', ''), sep='\t')
        s.stack.append((tag, a))
    def handle_endtag(s, tag):
        if s.stack and s.stack[-1][0] == tag: s.stack.pop()
        else: print('error\tunexpected </' + tag + '>')
    def handle_data(s, d):
        if d.strip() and s.stack and s.stack[-1][0] not in ('style', 'script'):
            print('text', s.ctx(), s.stack[-1][0], d.strip(), sep='\t')
p = P(); p.feed(open(sys.argv[1], encoding='utf-8').read()); p.close()
if p.stack: print('error\tunclosed')
)";

struct TPage {
    std::vector<std::vector<std::string>> items;
    std::vector<std::string> Of(const std::string& kind, size_t field) const
    {
        std::vector<std::string> out;
        for (const auto& item : items)
            if (item[0] == kind)
                out.push_back(item.size() > field ? item[field] : "");
        return out;
    }
    // The texts inside the element with that id.
    std::vector<std::string> TextsIn(const std::string& id) const
    {
        std::vector<std::string> out;
        for (const auto& item : items)
            if (item[0] == "text" && item[1] == id)
                out.push_back(item[3]);
        return out;
    }
    // A table's value of a label ("" when the label is not there).
    std::string Value(const std::string& id, const std::string& label) const
    {
        const std::vector<std::string> texts = TextsIn(id);
        for (size_t k = 0; k + 1 < texts.size(); ++k)
            if (texts[k] == label)
                return texts[k + 1];
        return {};
    }
};

class HtmlReportTest : public VoxelWindowTest {
protected:
    void SetUp() override
    {
        VoxelWindowTest::SetUp();
        if (std::system("python3 -c 'import html.parser' >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "python3 with html.parser is not installed; the report pages cannot be read back";
        session->Project()->m_strName = "R&D <fix>";
    }
    // The popup entry chosen in the axial window with the save dialog answering `answer`.
    void Choose(const std::string& entry, const std::string& answer)
    {
        TScriptedFileChooser chooser(answer);
        const vx::app::MenuRunner old = vx::app::SetMenuRunner([entry](QMenu& menu, const QPoint&) -> QAction* {
            for (QAction* action : menu.actions())
                if (action->text().toStdString() == entry && action->isEnabled())
                    return action;
            return nullptr;
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(5, 5));
        QApplication::sendEvent(axial->View()->viewport(), &event);
        vx::app::SetMenuRunner(old);
        ASSERT_EQ(chooser.Requests().size(), 1u);
        EXPECT_EQ(chooser.Requests()[0].title, "Save as...");
        EXPECT_EQ(chooser.Requests()[0].filter, "Html Files(*.html)|*.HTML|All Files (*.*)|*.*");
    }
    TPage Read(const std::string& page)
    {
        const std::string script = dir.File("parse.py");
        WriteBytes(script, kParser);
        TPage out;
        const auto [status, text] = RunShell("python3 '" + script + "' '" + page + "'");
        EXPECT_EQ(status, 0) << text;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            std::vector<std::string> fields;
            std::istringstream in(line);
            for (std::string field; std::getline(in, field, '\t');)
                fields.push_back(field);
            out.items.push_back(fields);
        }
        EXPECT_TRUE(out.Of("error", 1).empty()) << text;
        return out;
    }
    // Every picture of the page decodes at the size of the picture it was taken from.
    void ExpectPictures(const TPage& page, const std::map<std::string, QSize>& sizes)
    {
        const std::vector<std::string> sources = page.Of("img", 3);
        EXPECT_EQ(sources.size(), sizes.size());
        for (const std::string& source : sources) {
            SCOPED_TRACE(source);
            ASSERT_EQ(sizes.count(source), 1u);
            const TDecodedJpeg jpeg = DecodeJpeg(dir.File(source));
            EXPECT_EQ(QSize(jpeg.width, jpeg.height), sizes.at(source));
        }
    }
    std::string Today() const
    {
        const std::time_t now = std::time(nullptr);
        std::ostringstream text;
        text.imbue(std::locale::classic());
        text << std::put_time(std::localtime(&now), "generated in %A, %b, %d, %Y by Vexara");
        return text.str();
    }
    // The project deletes the region estimates a test hands it through the processing.
    TInstalledProcessing processing;
    TTempFolder dir;
};

TEST(ReportPageTest, PathsNamesAndEscapes)
{
    const struct {
        std::string chosen, page, title, folder;
    } paths[] = {
        {"/r/scan", "/r/scan.html", "scan", "/r/scan_files"},
        {"/r/Scan.HTML", "/r/Scan.HTML", "Scan", "/r/Scan_files"},
        {"/r/a.html.bak", "/r/a.html.bak", "a", "/r/a_files"},
        {"/r.html/x", "/r.html/x.html", "x", "/r.html/x_files"},
    };
    for (const auto& p : paths) {
        SCOPED_TRACE(p.chosen);
        EXPECT_EQ(vx::report::WithHtmlExtension(p.chosen), p.page);
        const vx::report::TReportPaths split = vx::report::SplitReportPath(p.page);
        EXPECT_EQ(split.title, p.title);
        EXPECT_EQ(split.folder, p.folder);
    }
    EXPECT_EQ(vx::report::SplitReportPath("/r/a b#1&.html").Url("a b#1&_Img0.jpg"),
              "a%20b%231%26_files/a%20b%231%26_Img0.jpg");
    EXPECT_EQ(vx::report::EscapeHtml("<a href=\"x\">&amp;</a> plain"),
              "&lt;a href=&quot;x&quot;&gt;&amp;amp;&lt;/a&gt; plain");
}

// The page's script, run by Node with stand-in elements: toggle shows a hidden table and
// hides its help, and back; the pictures switch between their original and shown sizes.
TEST(ReportPageTest, ScriptTogglesTablesAndPictureSizes)
{
    if (std::system("node -e 0 >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "node is not installed; the page's script cannot be run";
    const std::string check = R"(
const els = {t: {style: {display: 'none'}}, h_t: {style: {display: ''}}};
const document = {getElementById: id => els[id]};
const b = {style: {}}, img = {style: {width: '', height: ''}}, vox = {style: {height: ''}};
const seen = [];
const note = () => seen.push(els.t.style.display + '/' + els.h_t.style.display + '/' + b.style.fontWeight);
toggle(b, 't'); note(); toggle(b, 't'); note();
restore(img); seen.push(img.style[SIZE]); restore(img); seen.push(img.style[SIZE]);
restoreVox(vox); seen.push(vox.style.height); restoreVox(vox); seen.push(vox.style.height);
console.log(seen.join(' '));)";
    for (const bool estimation : {false, true}) {
        std::ostringstream page;
        vx::report::WriteHead(page, "p", estimation, std::tm{});
        const std::string head = page.str(), open = "<script type=\"text/javascript\">";
        const size_t from = head.find(open) + open.size(), to = head.find("</script>");
        ASSERT_LT(from, to);
        vx::test::TTempFolder dir;
        WriteBytes(dir.File("page.js"), head.substr(from, to - from) + "const SIZE = '" +
                                            (estimation ? "height" : "width") + "';" + check);
        EXPECT_EQ(RunShell("node '" + dir.File("page.js") + "'"),
                  std::pair(0, std::string("/none/bold none//normal auto 250px auto ") +
                                   (estimation ? "160px" : "100px") + "\n"));
    }
}

// The size a browser gives a 692 x 137 voxel picture of either page: the style sheet's
// "img" rule, over it the more specific "img.vox", over both the inline style the picture's
// click sets (run by Node); a side that is unset or "auto" follows the other side in the
// picture's own proportion.
TEST(ReportPageTest, VoxelPicturesKeepTheirShapeAndTheClickShowsTheRealSize)
{
    if (std::system("node -e 0 >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "node is not installed; the page's script cannot be run";
    const QSize real(692, 137);
    using TStyle = std::map<std::string, std::string>;
    for (const bool estimation : {false, true}) {
        SCOPED_TRACE(estimation);
        std::ostringstream out;
        vx::report::WriteHead(out, "p", estimation, std::tm{});
        vx::report::WriteVoxelRow(out, 0, "v.jpg");
        const std::string page = out.str();

        std::map<std::string, TStyle> rules;
        const std::regex rule(R"(\n\s*([\w.]+) \{([^}]*)\})"), declaration(R"(\s*([\w-]+):\s*([^;]+))");
        for (std::sregex_iterator r(page.begin(), page.end(), rule), end; r != end; ++r) {
            const std::string body = (*r)[2];
            for (std::sregex_iterator d(body.begin(), body.end(), declaration); d != end; ++d)
                rules[(*r)[1]][(*d)[1]] = (*d)[2];
        }
        ASSERT_EQ(rules.count("img.vox"), 1u);
        std::smatch click;
        ASSERT_TRUE(std::regex_search(page, click, std::regex(R"re(<img class=vox onClick="(\w+)\(this\)")re")));

        const std::string open = "<script type=\"text/javascript\">";
        const size_t from = page.find(open) + open.size(), to = page.find("</script>");
        ASSERT_LT(from, to);
        vx::test::TTempFolder dir;
        WriteBytes(dir.File("click.js"), page.substr(from, to - from) +
                                             "const e = {style: {width: '', height: ''}}; const seen = [];\n"
                                             "for (let k = 0; k < 2; ++k) { " + click.str(1) +
                                             "(e); seen.push(e.style.width + '|' + e.style.height); }\n"
                                             "console.log(seen.join(' '));\n");
        const auto [status, clicked] = RunShell("node '" + dir.File("click.js") + "'");
        ASSERT_EQ(status, 0) << clicked;
        std::vector<TStyle> inline_ = {{}};
        std::istringstream states(clicked);
        for (std::string state; states >> state;) {
            const size_t bar = state.find('|');
            inline_.push_back({{"width", state.substr(0, bar)}, {"height", state.substr(bar + 1)}});
        }
        ASSERT_EQ(inline_.size(), 3u) << clicked;

        std::vector<QSize> shown;
        for (const TStyle& style : inline_) {
            const auto side = [&](const std::string& name) {
                for (const TStyle* layer : std::initializer_list<const TStyle*>{&style, &rules["img.vox"], &rules["img"]}) {
                    const auto it = layer->find(name);
                    if (it != layer->end() && !it->second.empty())
                        return it->second == "auto" ? -1 : std::stoi(it->second);
                }
                return -1;
            };
            const int w = side("width"), h = side("height");
            shown.push_back(w >= 0 && h >= 0 ? QSize(w, h)
                            : w >= 0         ? QSize(w, qRound(double(w) * real.height() / real.width()))
                            : h >= 0         ? QSize(qRound(double(h) * real.width() / real.height()), h)
                                             : real);
        }
        EXPECT_NEAR(double(shown[0].width()) / shown[0].height(), double(real.width()) / real.height(), 0.05)
            << shown[0].width() << " x " << shown[0].height();
        EXPECT_EQ(shown[1], real) << "the click shows the real size";
        EXPECT_EQ(shown[2], shown[0]) << "the next click restores";
    }
}

TEST_F(HtmlReportTest, CurrentWindowShowsItsPictureVoxelsAndTables)
{
    axial->GetImage()->SetInfoText("<b>\"Doe\"</b>", TMRImage::InfoPatientName, false);
    TMap* map = AddRisingMap(*set, "NAA&Cr");
    map->peakStartPPM = 1.9f;
    map->peakEndPPM = 2.1f;
    ASSERT_TRUE(axial->AddMapOverlay(map, 2, 0.0f));
    axial->UpdateView(false, true, false, false, false);
    CVoxelWindow* first = Open(3, 2);
    CVoxelWindow* second = Open(5, 6, TMouseEvent::kShift);
    ASSERT_NE(first, second);
    Choose("Report Current Window", dir.File("scan"));

    const TPage page = Read(dir.File("scan.html"));
    EXPECT_EQ(page.TextsIn("-"), (std::vector<std::string>{"R&D <fix> project report", "R&D <fix> project report", Today(),
                                                           "click on the image to show the original size, click again to restore.",
                                                           "Image Parameters", "CSI Parameters", "Map Parameters"}));
    EXPECT_EQ(page.Of("id", 2), (std::vector<std::string>{"h_imgparam0", "imgparam0", "h_csiparam0", "csiparam0",
                                                          "h_mapparam0", "mapparam0"}));
    for (const std::string id : {"imgparam0", "csiparam0", "mapparam0"}) {
        EXPECT_EQ(page.TextsIn("h_" + id), std::vector<std::string>{"click the button on the left to display details"});
        EXPECT_EQ(page.Value(id, "Slice orientation"), "Transverse") << id;
    }
    EXPECT_EQ(page.Of("id", 3), (std::vector<std::string>{"", "display: none", "", "display: none", "", "display: none"}));
    EXPECT_EQ(page.Value("imgparam0", "Subject name"), "<b>\"Doe\"</b>");
    EXPECT_EQ(page.Value("imgparam0", "Resolution"), "64 x 64");
    EXPECT_EQ(page.Value("csiparam0", "Resolution"), "8 x 8");
    EXPECT_EQ(page.Value("csiparam0", "Field of View (mm)"), "240 x 240");
    EXPECT_EQ(page.Value("mapparam0", "Map name"), "NAA&Cr");
    EXPECT_EQ(page.Value("mapparam0", "Peak interval(ppm)"), "1.9 ~ 2.1");
    EXPECT_EQ(page.Value("mapparam0", "Quantification method"), "Area integration");
    EXPECT_EQ(page.Value("mapparam0", "Slice thickness(mm)"), "5");
    EXPECT_EQ(page.Of("img", 4), (std::vector<std::string>{"restore(this)", "restoreVox(this)", "restoreVox(this)"}));
    ExpectPictures(page, {{"scan_files/scan_Img0.jpg", axial->View()->Picture().size()},
                          {"scan_files/scan_Img0_Vox0.jpg", first->GetPlotBitmap().size()},
                          {"scan_files/scan_Img0_Vox1.jpg", second->GetPlotBitmap().size()}});
    EXPECT_TRUE(report.Messages().empty());
}

TEST_F(HtmlReportTest, AllWindowsGivesEverySectionItsIdsAndMissingTables)
{
    const std::vector<CChildFrame*> frames = session->ImageFrames();
    ASSERT_EQ(frames.size(), 3u);
    Choose("Report All Windows", dir.File("all.HTML"));
    const TPage page = Read(dir.File("all.HTML"));
    std::map<std::string, QSize> pictures;
    for (size_t n = 0; n < frames.size(); ++n) {
        const std::string k = std::to_string(n);
        SCOPED_TRACE(k);
        pictures["all_files/all_Img" + k + ".jpg"] = frames[n]->View()->Picture().size();
        EXPECT_EQ(page.TextsIn("mapparam" + k), std::vector<std::string>{"No map is available"});
        EXPECT_EQ(page.TextsIn("h_mapparam" + k), std::vector<std::string>{"n/a"});
        if (!frames[n]->GetImage())
            EXPECT_EQ(page.TextsIn("imgparam" + k), std::vector<std::string>{"No image is available"});
        else
            EXPECT_EQ(page.Value("imgparam" + k, "Subject name"), frames[n]->GetImage()->GetInfoText(TMRImage::InfoPatientName));
    }
    ExpectPictures(page, pictures);
    EXPECT_TRUE(report.Messages().empty());
}

TEST_F(HtmlReportTest, SpectralEstimationHighlightsTheRegionsInItsPictures)
{
    const CMainPicView::TRegionPainters old = InstallRegionPainters();
    auto* rect = new TDrawnRegionRect;
    rect->AddPoint(10, 12);
    rect->AddPoint(30, 40);
    rect->SetImagePlane(*axial);
    std::map<int, TDrawnRegion*> drawn{{0, rect}};
    auto* estimate = new TRegionEstimate;
    ASSERT_TRUE(estimate->SetRegions(drawn));
    ASSERT_TRUE(estimate->Estimate());
    session->Project()->m_regionEstimates.push_back(estimate);
    Frame().OpenRegionEstimateWindow(estimate);
    auto* window = dynamic_cast<CVoxelWindow*>(Frame().EstimateWindows().GetLast());
    ASSERT_NE(window, nullptr);
    Frame().MdiArea()->setActiveSubWindow(axial);
    ASSERT_EQ(estimate->m_bHighlight, 0);

    Choose("Report Spectral Estimation", dir.File("est"));
    const TPage page = Read(dir.File("est.html"));
    EXPECT_EQ(page.Of("id", 2), (std::vector<std::string>{"h_imgparam_0_0", "imgparam_0_0", "h_csiparam_0_0", "csiparam_0_0",
                                                          "h_mapparam_0_0", "mapparam_0_0"}));
    const std::vector<std::string> texts = page.TextsIn("-");
    EXPECT_EQ(texts.back(), "The estimated voxel for the highlighted region(yellow).");
    ExpectPictures(page, {{"est_files/est_Vox0_Img0.jpg", axial->View()->Picture().size()},
                          {"est_files/est_Vox0.jpg", window->GetPlotBitmap().size()}});
    EXPECT_EQ(estimate->m_bHighlight, 0) << "the highlight lasts while the pictures are taken";
    // The picture is the window's picture with the regions highlighted, not the plain one.
    const TDecodedJpeg jpeg = DecodeJpeg(dir.File("est_files/est_Vox0_Img0.jpg"));
    const auto picture = [&](uint8_t lit) {
        estimate->m_bHighlight = lit;
        axial->UpdateView(false, false, true, false, false);
        return axial->View()->Picture().convertToFormat(QImage::Format_RGB888);
    };
    ASSERT_EQ(QSize(jpeg.width, jpeg.height), axial->View()->Picture().size());
    const QImage lit = picture(1), plain = picture(0);
    // Over the pixels where the two differ, the JPEG's brightness (kept at full resolution,
    // unlike its colours) is nearer to the highlighted picture's.
    long toLit = 0, toPlain = 0, differing = 0;
    for (int y = 0; y < jpeg.height; ++y)
        for (int x = 0; x < jpeg.width * 3; x += 3) {
            const uint8_t *j = &jpeg.rgb[size_t(y) * jpeg.width * 3 + x], *l = lit.constScanLine(y) + x,
                          *p = plain.constScanLine(y) + x;
            auto d = [](const uint8_t* a, const uint8_t* b) {
                return std::abs(299 * (a[0] - b[0]) + 587 * (a[1] - b[1]) + 114 * (a[2] - b[2])) / 1000;
            };
            const bool counts = d(l, p) >= 40;
            differing += counts;
            toLit += counts ? d(j, l) : 0;
            toPlain += counts ? d(j, p) : 0;
        }
    EXPECT_GT(differing, 20);
    EXPECT_LT(toLit * 2, toPlain);
    EXPECT_FALSE(GrabToPng(window, "report_estimate_window").isEmpty());
    EXPECT_TRUE(report.Messages().empty());
    CMainPicView::SetRegionPainters(old);
}

// The report's own save dialog, as the user meets it: asked to replace a file, it names the
// page the report would write (the typed name with ".html"), and No keeps the dialog open
// and the page as it was; a name whose page is new is not asked about, even where a file
// of that very name (a set's data-set file) exists.
TEST_F(HtmlReportTest, TheSaveDialogAsksAboutThePageItWouldReplace)
{
    WriteBytes(dir.File("old.html"), "an earlier report");
    WriteBytes(dir.File("scan"), "a data-set file");
    // The dialog opens in the program's current folder.
    vx::SetCurrentFolder(dir.Path());
    const vx::FileChooserHandler scripted = vx::app::InstallQtFileChooser();
    // Each time the dialog is up: the next name typed and Save pressed.
    const std::vector<std::string> names = {"old", "scan"};
    size_t typed = 0;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        if (typed == names.size()) {
            dialog->reject();
            return;
        }
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        auto* buttons = dialog->findChild<QDialogButtonBox*>("buttonBox");
        ASSERT_TRUE(name && buttons);
        name->selectAll();
        QTest::keyClicks(name, QString::fromStdString(names[typed++]));
        buttons->button(QDialogButtonBox::Save)->click();
    });
    user.start(20);
    report.PlanAnswer(vx::ReportAnswer::No);
    const vx::app::MenuRunner old = vx::app::SetMenuRunner([](QMenu& menu, const QPoint&) -> QAction* {
        for (QAction* action : menu.actions())
            if (action->text() == "Report Current Window")
                return action;
        return nullptr;
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(5, 5));
    QApplication::sendEvent(axial->View()->viewport(), &event);
    vx::app::SetMenuRunner(old);
    user.stop();
    vx::SetFileChooserHandler(scripted);

    EXPECT_EQ(typed, 2u);
    EXPECT_EQ(report.Questions(), std::vector<std::string>{"old.html already exists.\nDo you want to replace it?"});
    EXPECT_EQ(ReadBytes(dir.File("old.html")), "an earlier report");
    EXPECT_EQ(ReadBytes(dir.File("scan")), "a data-set file");
    EXPECT_FALSE(Read(dir.File("scan.html")).Of("img", 3).empty());
}

TEST_F(HtmlReportTest, EmptyReportsAndFailuresLeaveWholePagesOrNone)
{
    // Without estimate windows the page holds its frame only.
    Choose("Report Spectral Estimation", dir.File("none.html"));
    const std::string bytes = ReadBytes(dir.File("none.html"));
    const std::string tail = "generated in ";
    ASSERT_NE(bytes.find(tail), std::string::npos);
    EXPECT_EQ(bytes.substr(bytes.find('\n', bytes.find(tail))), "\n\t</tr>\r\n</table>\r\n</body>\r\n</html>\r\n");
    EXPECT_TRUE(Read(dir.File("none.html")).Of("img", 3).empty());

    // A page that cannot be created, and a picture folder that cannot be: reported, and
    // the page keeps its frame without the section.
    const std::string nowhere = dir.File("no/such/r.html"), blocked = dir.File("blocked.html");
    WriteBytes(dir.File("blocked_files"), "a file in the folder's place");
    Choose("Report Current Window", nowhere);
    Choose("Report All Windows", blocked);
    EXPECT_EQ(report.Messages(), (std::vector<std::string>{"Cannot create html File" + nowhere,
                                                           "Cannot save the image as JPEG File" + blocked,
                                                           "Cannot save the image as JPEG File" + blocked,
                                                           "Cannot save the image as JPEG File" + blocked}));
    EXPECT_FALSE(vx::FolderExists(dir.File("no")));
    const TPage page = Read(blocked);
    EXPECT_TRUE(page.Of("id", 2).empty());
    EXPECT_EQ(page.TextsIn("-").size(), 3u) << "the title and the two title rows";
    EXPECT_EQ(vx::test::ListedEntries(dir.Path()).size(), 4u) << "none.html, blocked.html, blocked_files, parse.py";
}

}  // namespace
