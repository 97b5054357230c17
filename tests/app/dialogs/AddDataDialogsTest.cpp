// The Add CSI Set, Add Images, Import and Increment dialogs: their enabling rules and
// remembered values, and the road from a new project through both imports of real scanner
// files to a saved project that the recent list opens again.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <set>

#include "dcmtk/config/osconfig.h"
#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcfilefo.h"
#include "dcmtk/dcmdata/dcuid.h"

#include "app/dialogs/CAddCSISetDlg.h"
#include "app/dialogs/CAddImagesDlg.h"
#include "app/dialogs/CImportImageDlg.h"
#include "app/dialogs/CIncSlicePosDlg.h"
#include "app/dialogs/CNewProjectDlg.h"
#include "app/dialogs/CNumEdit.h"
#include "app/CPrjExpFrame.h"
#include "app/CPrjExpTree.h"
#include "app/CVexaraApp.h"
#include "app/CommandIds.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/ReaderHooks.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/FileChooser.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/PluginTable.h"
#include "app/QtServices.h"
#include "gehdr/GESyntheticHeaders.h"
#include "readers/BrukerTestFiles.h"
#include "readers/DicomTestFiles.h"
#include "readers/PhilipsTestFiles.h"
#include "readers/ReaderFactory.h"
#include "readers/SiemensTestFiles.h"
#include "support/Bytes.h"
#include "support/CSISetBuilders.h"
#include "support/DialogScript.h"
#include "support/FolderKill.h"
#include "support/GuiFixture.h"
#include "support/GuiGrab.h"
#include "support/ScriptedFileChooser.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"
#include "app/FakeShell.h"
#include "app/AppSessionTest.h"
#include "app/ProjectShellTest.h"
#include "app/Shown.h"

using namespace vx::test;
using Dlg = CAddCSISetDlg;

namespace {

const char* const kSummary = "The following files could not be opened or were already added:\n";

QString Text(const CAddCSISetDlg& d, int id)
{
    if (auto* edit = qobject_cast<CNumEdit*>(d.Control(id)))
        return edit->GetText();
    return qobject_cast<QLineEdit*>(d.Control(id))->text();
}
bool Checked(const CAddCSISetDlg& d, int id) { return qobject_cast<QAbstractButton*>(d.Control(id))->isChecked(); }
std::set<int> EnabledParameterControls(const CAddCSISetDlg& d)
{
    std::set<int> out;
    for (int id : CAddCSISetDlg::ParameterControls())
        if (d.Control(id)->isEnabled())
            out.insert(id);
    return out;
}
void ChooseFormat(CAddCSISetDlg& d, int format)
{
    auto* list = qobject_cast<QComboBox*>(d.Control(Dlg::IdFormat));
    list->setCurrentIndex(format);
    emit list->activated(format);
}

// Published plug-in records for the life of the object (no libraries behind them: the
// dialog reads only the names and the controls flags).
class TPluginTableScope {
public:
    explicit TPluginTableScope(std::vector<TPluginRecord> records) : m_old(vx::PluginTable())
    {
        vx::PublishPluginTable(records);
    }
    ~TPluginTableScope() { vx::PublishPluginTable(m_old); }

private:
    std::vector<TPluginRecord> m_old;
};

class AddCSISetDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_nCSIImportCount = 1;
        g_lastReadParams = TCSIReadParams{};
    }
    void TearDown() override { g_nCSIImportCount = 1; }
    TScriptedReport report;
};

TEST_F(AddCSISetDialogTest, FirstUseShowsFactoryDefaultsAndTheFormatDecidesTheControls)
{
    CAddCSISetDlg dialog;
    dialog.m_params.m_nFormat = 9;  // not shown before the first import
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_FALSE(GrabToPng(&dialog, "addcsiset_first_use").isEmpty());
    auto* formats = qobject_cast<QComboBox*>(dialog.Control(Dlg::IdFormat));
    EXPECT_EQ(formats->count(), 23);
    EXPECT_EQ(formats->itemText(21), "Unknown");
    const auto c = [&](int id) { return dialog.Control(id); };
    EXPECT_EQ(Shown({c(Dlg::IdFormat), c(Dlg::IdOrientation), c(Dlg::IdDimX), c(Dlg::IdDimZ), c(Dlg::IdFOVY),
                     c(Dlg::IdPoints), c(Dlg::IdSweepWidth), c(Dlg::IdFrequency), c(Dlg::IdHeaderSize),
                     c(Dlg::IdOffCentreZ), c(Dlg::IdEchoPosition)}),
              "Philips Single Voxel Transverse- 8- 8- 240- 512- 1000- 64- 0- 0- 0-");
    EXPECT_EQ(Shown({c(Dlg::IdInt32), c(Dlg::IdSwapBytes), c(Dlg::IdFastestX), c(Dlg::IdSlowestZ),
                     c(Dlg::IdFlipFrequency), c(Dlg::IdInt16), c(Dlg::IdNormalize), c(Dlg::IdLoadRaw),
                     c(Dlg::IdFrequencyDomain), c(Dlg::IdInvertX)}),
              "[x]- [x]- [x]- [x]- [x]- [ ]- [ ] [ ] [ ]- [ ]-");
    EXPECT_TRUE(EnabledParameterControls(dialog).empty());
    for (int id : {Dlg::IdFormat, Dlg::IdNormalize, Dlg::IdRemoveOffset, Dlg::IdLoadRaw})
        EXPECT_TRUE(dialog.Control(id)->isEnabled()) << id;
    dialog.hide();

    // Two plug-ins follow the built-in formats; the controls flag of each decides.
    TPluginRecord reads, ignores;
    reads.strFormat = "Lab raw";
    reads.bControls = true;
    ignores.strFormat = "Lab header";
    TPluginTableScope plugins({reads, ignores});
    dialog.show();
    ASSERT_EQ(formats->count(), 25);
    EXPECT_EQ(formats->itemText(24), "Lab header");

    const std::set<int> all(CAddCSISetDlg::ParameterControls().begin(), CAddCSISetDlg::ParameterControls().end());
    const std::set<int> none;
    // In order: each row starts from what the row before left.
    const struct {
        int format;
        std::set<int> enabled;
    } rows[] = {
        {21, all},
        {11, {Dlg::IdFrequency, Dlg::IdSweepWidth}},
        {8, {Dlg::IdFOVX, Dlg::IdFOVY, Dlg::IdFOVZ, Dlg::IdAngulationX, Dlg::IdAngulationY, Dlg::IdAngulationZ,
             Dlg::IdOffCentreX, Dlg::IdOffCentreY, Dlg::IdOffCentreZ, Dlg::IdFrequency, Dlg::IdSweepWidth,
             Dlg::IdOrientation}},
        {12, {Dlg::IdFastestX, Dlg::IdFastestY, Dlg::IdFastestZ, Dlg::IdSlowestX, Dlg::IdSlowestY, Dlg::IdSlowestZ,
              Dlg::IdInvertX, Dlg::IdInvertY, Dlg::IdInvertZ, Dlg::IdCentreX, Dlg::IdCentreY, Dlg::IdCentreZ,
              Dlg::IdKSpaceSymmetric}},
        {18, none},
        {23, all},
        {24, none},
        {22, none},
    };
    for (const auto& row : rows) {
        ChooseFormat(dialog, row.format);
        EXPECT_EQ(EnabledParameterControls(dialog), row.enabled) << "format " << row.format;
        // An index beyond the last plug-in changes nothing.
        dialog.EnableControlsForFormat(25);
        EXPECT_EQ(EnabledParameterControls(dialog), row.enabled) << "format " << row.format;
    }
}

TEST_F(AddCSISetDialogTest, SlowestAxisStaysOffTheFastestAndOKReadsTheOrder)
{
    CAddCSISetDlg dialog;
    dialog.show();
    ChooseFormat(dialog, 21);
    const int fastest[3] = {Dlg::IdFastestX, Dlg::IdFastestY, Dlg::IdFastestZ};
    const int slowest[3] = {Dlg::IdSlowestX, Dlg::IdSlowestY, Dlg::IdSlowestZ};
    const struct {
        int slowestBefore;
        int fastestChosen;
        int slowestAfter;
    } cases[] = {
        {1, 1, 0},  // Fastest Y while Slowest Y: Slowest moves to X
        {2, 2, 0},
        {0, 0, 1},
        {2, 1, 2},  // no clash: Slowest stays
    };
    for (const auto& c : cases) {
        qobject_cast<QAbstractButton*>(dialog.Control(slowest[c.slowestBefore]))->click();
        qobject_cast<QAbstractButton*>(dialog.Control(fastest[c.fastestChosen]))->click();
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(Checked(dialog, slowest[k]), k == c.slowestAfter) << c.fastestChosen << " " << k;
            EXPECT_EQ(dialog.Control(slowest[k])->isEnabled(), k != c.fastestChosen) << c.fastestChosen << " " << k;
        }
    }

    // OK reads the block; a cancelled file dialog keeps the dialog open with what it read.
    TScriptedFileChooser chooser;
    qobject_cast<QLineEdit*>(dialog.Control(Dlg::IdPoints))->setText("1024");
    QTest::keyClicks(dialog.Control(Dlg::IdFOVX), "5");  // "2405"
    dialog.Buttons()->button(QDialogButtonBox::Ok)->click();
    ASSERT_EQ(chooser.Requests().size(), 1u);
    EXPECT_EQ(chooser.Requests()[0].title, "Import...");
    EXPECT_TRUE(chooser.Requests()[0].multiple);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(g_nCSIImportCount, 1);
    const TCSIReadParams& p = dialog.m_params;
    EXPECT_EQ(p.m_nFormat, 21);
    EXPECT_EQ(p.m_nPoints, 1024);
    EXPECT_FLOAT_EQ(p.m_fFOV[0], 2405.0f);
    EXPECT_EQ(p.m_nAxisOrder[0], 1);  // fastest Y
    EXPECT_EQ(p.m_nAxisOrder[2], 2);  // slowest Z
    EXPECT_EQ(p.m_nAxisOrder[1], 0);
    EXPECT_EQ(p.m_nSampleType, 1);
    EXPECT_EQ(p.m_bSwapBytes, 1);
    EXPECT_EQ(p.m_bFlipFrequency, 1);
    EXPECT_EQ(p.m_nOrientation, 2);
}

TEST_F(AddCSISetDialogTest, SizesOfZeroOrBelowOrTooLargeKeepTheDialogOpenWithoutAFileDialog)
{
    CAddCSISetDlg dialog;
    dialog.show();
    ChooseFormat(dialog, 21);  // user-described data: every size is typed
    TScriptedFileChooser chooser;
    const struct {
        int id;
        const char* text;
        const char* message;
    } refused[] = {{Dlg::IdPoints, "0", "Number of points in voxel: Please enter an integer between 1 and 2147483647."},
                   {Dlg::IdSweepWidth, "0", "Sweep Width (Hz): Please enter an integer between 1 and 2147483647."},
                   {Dlg::IdFOVX, "0", "Please enter a number larger than 0."},
                   {Dlg::IdFOVZ, "-10", "Please enter a number larger than 0."},
                   // Sizes beyond what their fields hold never become other numbers.
                   {Dlg::IdHeaderSize, "99999999999", "Header Size ( in Bytes): Please enter an integer between 0 and 2147483647."},
                   {Dlg::IdDimY, "99999999999999999999", "Dimensions Y: Please enter an integer between 1 and 16777216."},
                   // Nor do keys a whole number cannot hold: "1e400" is not 1400.
                   {Dlg::IdDimX, "1e400", "Dimensions X: Please enter an integer between 1 and 16777216."},
                   {Dlg::IdDimZ, "0", "Dimensions Z: Please enter an integer between 1 and 16777216."}};
    for (const auto& r : refused) {
        report.Clear();
        auto* edit = qobject_cast<QLineEdit*>(dialog.Control(r.id));
        const QString old = Text(dialog, r.id);
        edit->selectAll();
        QTest::keyClicks(edit, r.text);
        dialog.Buttons()->button(QDialogButtonBox::Ok)->click();
        EXPECT_EQ(report.Messages(), std::vector<std::string>{r.message}) << r.id;
        EXPECT_TRUE(dialog.isVisible()) << r.id;
        if (!qobject_cast<CNumEdit*>(edit)) {
            EXPECT_EQ(edit->text(), old) << r.id;  // shown again as before the edit
        }
        if (auto* number = qobject_cast<CNumEdit*>(edit))
            number->SetText(old);
        else
            edit->setText(old);
    }
    EXPECT_TRUE(chooser.Requests().empty());
    EXPECT_EQ(g_nCSIImportCount, 1);
}

TEST(ImportImageDialog, TheImageTypeDecidesTheRawControls)
{
    const TImageImportParams saved = CImportImageDlg::s_last;
    CImportImageDlg dialog;
    dialog.show();
    EXPECT_EQ(dialog.TypeList()->count(), 7);
    EXPECT_EQ(dialog.TypeList()->currentText(), "Philips (PAR/REC file)");
    EXPECT_EQ(dialog.WidthEdit()->text(), "256");
    EXPECT_TRUE(dialog.SwapBox()->isChecked());
    const auto choose = [&](int type) {
        dialog.TypeList()->setCurrentIndex(type);
        emit dialog.TypeList()->activated(type);
    };
    const struct {
        int type;
        bool raw;         // header, size, swap and angulation
        bool adjustment;  // position adjustment
    } rows[] = {{6, true, false}, {0, false, true}, {3, false, false}, {5, false, false}};
    for (const auto& row : rows) {
        dialog.HeaderEdit()->setText("12");
        dialog.SwapBox()->setChecked(false);
        choose(row.type);
        for (QWidget* w : {static_cast<QWidget*>(dialog.HeaderEdit()), static_cast<QWidget*>(dialog.WidthEdit()),
                           static_cast<QWidget*>(dialog.HeightEdit()), static_cast<QWidget*>(dialog.SwapBox())})
            EXPECT_EQ(w->isEnabled(), row.raw) << row.type;
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(dialog.AngulationEdit(k)->isEnabled(), row.raw) << row.type;
            EXPECT_EQ(dialog.PositionEdit(k)->isEnabled(), row.adjustment) << row.type;
        }
        // Only the raw type resets the header and the byte order.
        EXPECT_EQ(dialog.HeaderEdit()->text(), row.raw ? "0" : "12") << row.type;
        EXPECT_EQ(dialog.SwapBox()->isChecked(), row.raw) << row.type;
    }
    CImportImageDlg::s_last = saved;
}

// A raw image's sizes beyond what their fields hold keep the dialog open, before any file
// dialog, instead of becoming other numbers.
TEST(ImportImageDialog, SizesTooLargeForTheirFieldsAreRefused)
{
    TScriptedReport report;
    TScriptedFileChooser chooser;
    const TImageImportParams saved = CImportImageDlg::s_last;
    CImportImageDlg dialog;
    dialog.show();
    dialog.TypeList()->setCurrentIndex(6);
    emit dialog.TypeList()->activated(6);
    const struct {
        QLineEdit* edit;
        const char* typed;
        const char* message;
    } refused[] = {{dialog.HeaderEdit(), "99999999999", "Header (Bytes): Please enter an integer between 0 and 2147483647."},
                   {dialog.WidthEdit(), "99999999999", "Size (pixels) X: Please enter an integer between 1 and 16384."},
                   {dialog.HeightEdit(), "99999999999", "Size (pixels) Y: Please enter an integer between 1 and 16384."},
                   {dialog.WidthEdit(), "1e400", "Size (pixels) X: Please enter an integer between 1 and 16384."},
                   {dialog.HeightEdit(), "16385", "Size (pixels) Y: Please enter an integer between 1 and 16384."}};
    for (const auto& r : refused) {
        report.Clear();
        const QString old = r.edit->text();
        r.edit->selectAll();
        QTest::keyClicks(r.edit, r.typed);
        QTest::mouseClick(dialog.Buttons()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        EXPECT_EQ(report.Messages(), std::vector<std::string>{r.message}) << r.typed;
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(r.edit->text(), old) << r.typed;
    }
    EXPECT_TRUE(chooser.Requests().empty());
    CImportImageDlg::s_last = saved;
}

// A number the user typed and left with Tab stays the box's number: a later refusal on OK
// puts that number back, never the refused one, in either dialog.
TEST(WholeNumberBoxes, ARefusedNumberGivesWayToTheNumberLeftBeforeIt)
{
    TScriptedReport report;
    TScriptedFileChooser chooser;
    const TImageImportParams saved = CImportImageDlg::s_last;
    const TCSIReadParams savedParams = g_lastReadParams;
    CImportImageDlg images;
    CAddCSISetDlg sets;
    const struct {
        QDialog* dialog;
        QLineEdit* edit;
        QPushButton* ok;
        const char* left;
        const char* refused;
    } rows[] = {
        {&images, images.WidthEdit(), images.Buttons()->button(QDialogButtonBox::Ok), "300", "16385"},
        {&images, images.HeightEdit(), images.Buttons()->button(QDialogButtonBox::Ok), "300", "0"},
        {&sets, qobject_cast<QLineEdit*>(sets.Control(Dlg::IdPoints)), sets.Buttons()->button(QDialogButtonBox::Ok),
         "1024", "0"},
        {&sets, qobject_cast<QLineEdit*>(sets.Control(Dlg::IdSweepWidth)),
         sets.Buttons()->button(QDialogButtonBox::Ok), "2000", "99999999999"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.refused);
        row.dialog->show();
        if (row.dialog == &sets) {
            ChooseFormat(sets, 21);  // user-described data: every size is typed
        } else {
            images.TypeList()->setCurrentIndex(6);  // raw pixels: the sizes are typed
            emit images.TypeList()->activated(6);
        }
        QApplication::setActiveWindow(row.dialog);
        ASSERT_TRUE(QTest::qWaitForWindowActive(row.dialog));
        const auto typeOver = [&](const char* text) {
            row.edit->setFocus();
            row.edit->selectAll();
            QTest::keyClicks(row.edit, text);
        };
        typeOver(row.left);
        QTest::keyClick(row.edit, Qt::Key_Tab);
        ASSERT_FALSE(row.edit->hasFocus());
        typeOver(row.refused);
        report.Clear();
        QTest::mouseClick(row.ok, Qt::LeftButton);
        ASSERT_EQ(report.Messages().size(), 1u);
        EXPECT_TRUE(row.dialog->isVisible());
        EXPECT_EQ(row.edit->text(), row.left);
        EXPECT_TRUE(row.edit->hasFocus());
        row.dialog->hide();
    }
    EXPECT_TRUE(chooser.Requests().empty());
    CImportImageDlg::s_last = saved;
    g_lastReadParams = savedParams;
}

class AddDataFlowTest : public TImportShellTest {
protected:
    void NewProject(const std::string& name) { RunWithName(cmd::FileNewProject, name); }
    // Project > Add Images with the files the chooser answers, the import dialog set by `setUp`.
    void AddImages(const std::function<void(CImportImageDlg&)>& setUp = [](CImportImageDlg&) {})
    {
        TDialogScript images([&](QDialog& d) {
            if (dynamic_cast<CImportImageDlg*>(&d))
                return ShowAndAct<CImportImageDlg>(d, [&](CImportImageDlg& dialog) {
                    setUp(dialog);
                    dialog.accept();
                });
            return ShowAndAct<CAddImagesDlg>(d, [](CAddImagesDlg& dialog) {
                dialog.AddImagesButton()->click();
                dialog.accept();
            });
        });
        frame->Action(cmd::ProjectAddImages)->trigger();
    }
};

TEST_F(AddDataFlowTest, NewProjectTakesRealCSISetsAndImagesWithOneSummaryOfTheFailures)
{
    const std::string ws = "spar_sdat/spant/philips_spar_sdat_WS.SPAR";
    const std::string w = "spar_sdat/spant/philips_spar_sdat_W.SPAR";
    const std::string rec = "parrec/nibabel/phantom_EPI_asc_CLEAR_2_1.REC";
    for (const std::string& sample : {ws, w, rec, std::string("parrec/nibabel/phantom_EPI_asc_CLEAR_2_1.PAR")})
        VX_REQUIRE_SAMPLE(sample);
    EXPECT_FALSE(frame->Action(cmd::ProjectAddCSISet)->isEnabled()) << "no project to add to";
    NewProject("study");
    ASSERT_NE(g_pProject, nullptr);
    ASSERT_TRUE(frame->Action(cmd::ProjectAddCSISet)->isEnabled());
    const std::string bogus = root.File("bogus.SPAR");
    WriteBytes(bogus, "not a header");

    // First Add CSI Set: the file dialog is cancelled once, then three files are chosen,
    // of which one cannot be read: one summary, the set of the others in the project.
    TScriptedFileChooser chooser;
    TDialogScript script([&](QDialog& d) {
        return ShowAndAct<CAddCSISetDlg>(d, [&](CAddCSISetDlg& dialog) {
            qobject_cast<QComboBox*>(dialog.Control(Dlg::IdOrientation))->setCurrentIndex(1);
            dialog.accept();
            EXPECT_TRUE(dialog.isVisible()) << "a cancelled file dialog keeps the dialog";
            chooser.Answer({SampleDataPath(ws), bogus, SampleDataPath(w)});
            dialog.accept();
        });
    });
    frame->Action(cmd::ProjectAddCSISet)->trigger();
    ASSERT_EQ(chooser.Requests().size(), 2u);
    EXPECT_EQ(chooser.Requests()[1].filter, "All Files (*.*)|*.*|Philips SPAR file(*.SPAR)|*.SPAR");
    EXPECT_EQ(chooser.Requests()[1].filterIndex, 1);
    const std::vector<std::string> messages = report.Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), std::string(kSummary) + "bogus.SPAR (Parameter file " + bogus +
                                   " cannot be read or is invalid. It gives no number of points (samples).); ");
    EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                            [](const std::string& m) { return m.rfind(kSummary, 0) == 0; }),
              1);
    EXPECT_EQ(g_pProject->m_pCSISetList->GetCount(), 2);
    EXPECT_EQ(g_lastReadParams.m_nOrientation, 1);
    EXPECT_EQ(g_nCSIImportCount, 2);
    EXPECT_FALSE(g_pProject->IsModified()) << "the command saves the project";

    // The next dialog shows what was accepted; one file that fails has its own message;
    // a dialog cancelled after that keeps the remembered block.
    report.Clear();
    chooser.Answer(SampleDataPath(ws));
    int runs = 0;
    TDialogScript again([&](QDialog& d) {
        return ShowAndAct<CAddCSISetDlg>(d, [&](CAddCSISetDlg& dialog) {
            EXPECT_EQ(qobject_cast<QComboBox*>(dialog.Control(Dlg::IdOrientation))->currentText(), "Coronal");
            EXPECT_EQ(Text(dialog, Dlg::IdFOVX), "240");
            qobject_cast<QLineEdit*>(dialog.Control(Dlg::IdPoints))->setText("64");
            if (++runs == 1)
                dialog.accept();
            else
                dialog.reject();
        });
    });
    frame->Action(cmd::ProjectAddCSISet)->trigger();
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"Fail to add CSI set from philips_spar_sdat_WS.SPAR.\n"
                                                          "philips_spar_sdat_WS already exists."});
    EXPECT_EQ(g_pProject->m_pCSISetList->GetCount(), 2);
    EXPECT_EQ(g_lastReadParams.m_nPoints, 64);
    frame->Action(cmd::ProjectAddCSISet)->trigger();
    EXPECT_EQ(g_lastReadParams.m_nPoints, 64);
    EXPECT_EQ(g_nCSIImportCount, 3);

    // Add Images: the Import dialog adds the PAR/REC pair after the project's questions on
    // the differing patient, date and geometry, and the list shows its images.
    report.Clear();
    for (int k = 0; k < 5; ++k)
        report.PlanAnswer(vx::ReportAnswer::Yes);
    chooser.Answer(SampleDataPath(rec));
    int listed = 0;
    TDialogScript images([&](QDialog& d) {
        if (dynamic_cast<CImportImageDlg*>(&d))
            return ShowAndAct<CImportImageDlg>(d, [](CImportImageDlg& dialog) { dialog.accept(); });
        return ShowAndAct<CAddImagesDlg>(d, [&](CAddImagesDlg& dialog) {
            EXPECT_EQ(dialog.List()->topLevelItemCount(), 0);
            dialog.AddImagesButton()->click();
            listed = dialog.List()->topLevelItemCount();
            dialog.accept();
        });
    });
    frame->Action(cmd::ProjectAddImages)->trigger();
    EXPECT_EQ(chooser.Requests().back().filter, "Philips Files(*.rec)|*.rec|All Files (*.*)|*.*");
    EXPECT_EQ(report.Questions().size(), 5u) << "patient, date (one per set) and geometry";
    EXPECT_TRUE(report.Messages().empty());
    EXPECT_EQ(listed, 27);
    EXPECT_EQ(g_pProject->m_pImageSet->GetCount(), 27);
    EXPECT_FALSE(g_pProject->IsModified());
    // Saving and opening again are the vendor flow's; the recent list the project commands'.
}

TEST_F(AddDataFlowTest, AFileIsCheckedBeforeTheQuestionsAndAFailureIsNamedOnceWithItsReason)
{
    const std::string ws = "spar_sdat/spant/philips_spar_sdat_WS.SPAR";
    const std::string par = "parrec/nibabel/phantom_EPI_asc_CLEAR_2_1.PAR";
    const std::string rec = "parrec/nibabel/phantom_EPI_asc_CLEAR_2_1.REC";
    for (const std::string& sample : {ws, par, rec})
        VX_REQUIRE_SAMPLE(sample);
    NewProject("study");
    ASSERT_NE(g_pProject, nullptr);
    TScriptedFileChooser chooser;
    {
        TDialogScript sets([&](QDialog& d) {
            return ShowAndAct<CAddCSISetDlg>(d, [&](CAddCSISetDlg& dialog) { dialog.accept(); });
        });
        // A set first, so that images are checked against it.
        chooser.Answer(SampleDataPath(ws));
        frame->Action(cmd::ProjectAddCSISet)->trigger();
        ASSERT_EQ(g_pProject->m_pCSISetList->GetCount(), 1);
        // A file that is no header: one message, the program's text and then the reader's.
        const std::string bogus = root.File("bogus.SPAR");
        WriteBytes(bogus, "not a header");
        report.Clear();
        chooser.Answer(bogus);
        frame->Action(cmd::ProjectAddCSISet)->trigger();
        const std::vector<std::string> messages = report.Messages();
        ASSERT_EQ(messages.size(), 1u);
        const std::string lead = "Fail to add CSI set from bogus.SPAR.\n";
        EXPECT_EQ(messages[0].substr(0, lead.size()), lead);
        EXPECT_GT(messages[0].size(), lead.size() + 5) << messages[0];
    }

    // A valid PAR whose REC was cut short: refused before any question about the patient,
    // the date or the geometry, in one message that names the REC.
    const std::string pixels = ReadBytes(SampleDataPath(rec));
    WriteBytes(root.File("cut.PAR"), ReadBytes(SampleDataPath(par)));
    WriteBytes(root.File("cut.REC"), pixels.substr(0, pixels.size() / 2));
    report.Clear();
    chooser.Answer(root.File("cut.REC"));
    AddImages();
    EXPECT_EQ(report.Questions(), std::vector<std::string>{});
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"Fail to add image from cut.REC.\nThe REC file " +
                                                          root.File("cut.REC") +
                                                          " is shorter than its PAR file describes."});
    EXPECT_EQ(g_pProject->m_pImageSet->GetCount(), 0);
}

// Two SPAR files chosen at once beside an image of another patient, date and geometry: each
// question names the file it is about; one file chosen alone keeps the plain question.
TEST_F(AddDataFlowTest, QuestionsAboutSeveralChosenFilesNameTheirFile)
{
    const std::string act = "spar_sdat/tarquin/svs_30_WS.SPAR";
    const std::string ref = "spar_sdat/tarquin/svs_30_ref.SPAR";
    const std::string alone = "spar_sdat/tarquin/svs_135_WS.SPAR";
    const std::string rec = "parrec/nibabel/phantom_EPI_asc_CLEAR_2_1.REC";
    for (const std::string& sample : {act, ref, alone, rec, std::string("parrec/nibabel/phantom_EPI_asc_CLEAR_2_1.PAR")})
        VX_REQUIRE_SAMPLE(sample);
    NewProject("study");
    ASSERT_NE(g_pProject, nullptr);
    TScriptedFileChooser chooser;
    chooser.Answer(SampleDataPath(rec));
    AddImages();
    ASSERT_EQ(g_pProject->m_pImageSet->GetCount(), 27);
    const std::vector<std::string> questions = {
        "Patient name is not matched with that of the images! Would you like to continue adding the new CSI set?",
        "Exam date is not matched with that of the images! Would you like to continue adding the new CSI set?",
        "Image and CSI geometries are not consistent! Misregistration would happen! Would you like to continue "
        "adding the CSI set?"};
    TDialogScript sets([&](QDialog& d) {
        return ShowAndAct<CAddCSISetDlg>(d, [](CAddCSISetDlg& dialog) { dialog.accept(); });
    });
    // Each question answered with its default, No at the geometry: the user declined all
    // three, and no message names them as files that could not be opened.
    report.Clear();
    report.AllowDefaults();
    chooser.Answer({SampleDataPath(alone), SampleDataPath(ref), SampleDataPath(act)});
    frame->Action(cmd::ProjectAddCSISet)->trigger();
    EXPECT_EQ(report.Questions().size(), 9u);
    EXPECT_EQ(report.Messages(), std::vector<std::string>{});
    EXPECT_EQ(g_pProject->m_pCSISetList->GetCount(), 0);
    report.AllowDefaults(false);

    std::vector<std::string> expected;
    for (const char* name : {"svs_30_WS.SPAR", "svs_30_ref.SPAR"})
        for (const std::string& question : questions)
            expected.push_back(name + std::string(": ") + question);
    report.Clear();
    for (int k = 0; k < 6; ++k)
        report.PlanAnswer(vx::ReportAnswer::Yes);
    chooser.Answer({SampleDataPath(act), SampleDataPath(ref)});
    frame->Action(cmd::ProjectAddCSISet)->trigger();
    EXPECT_EQ(report.Questions(), expected);
    EXPECT_EQ(g_pProject->m_pCSISetList->GetCount(), 2);

    // Alone, the file needs no name: it is the one just chosen.
    report.Clear();
    for (int k = 0; k < 3; ++k)
        report.PlanAnswer(vx::ReportAnswer::Yes);
    chooser.Answer(SampleDataPath(alone));
    frame->Action(cmd::ProjectAddCSISet)->trigger();
    EXPECT_EQ(report.Questions(), questions);
    EXPECT_EQ(g_pProject->m_pCSISetList->GetCount(), 3);
}

// Several SPAR files chosen at once beside images of another geometry, each question answered
// with its default (No at the geometry): the sets the user declined are not named as files that
// could not be opened, and a file that really cannot be is named alone. (The scanner's files
// are declined in QuestionsAboutSeveralChosenFilesNameTheirFile.)
TEST_F(AddDataFlowTest, SetsDeclinedAtTheirQuestionsAreNotNamedAsUnreadable)
{
    TGuiFixture fixture;
    ASSERT_TRUE(fixture.Ok());
    RegisterReaders();  // as the program started; the fixture took them away
    ASSERT_TRUE(app.OpenProject(fixture.ProjectPath()));
    std::vector<std::string> generated;
    for (const char* name : {"a", "b", "c"}) {  // angulated 1, 2 and 3 degrees
        WriteBytes(root.File(std::string(name) + ".SPAR"), SparText(SingleVoxelLines(64)));
        WriteBytes(root.File(std::string(name) + ".SDAT"), SdatBytes(Fid(64, 100.0, 2000.0)));
        generated.push_back(root.File(std::string(name) + ".SPAR"));
    }
    WriteBytes(root.File("bogus.SPAR"), "not a header");
    const std::string bogus = std::string(kSummary) + "bogus.SPAR (Parameter file " + root.File("bogus.SPAR") +
                              " cannot be read or is invalid. It gives no number of points (samples).); ";
    const struct {
        std::vector<std::string> chosen;
        std::vector<std::string> messages;
    } rows[] = {
        {generated, {}},
        {{generated[0], root.File("bogus.SPAR"), generated[1]}, {bogus}},
    };
    TDialogScript sets([&](QDialog& d) {
        return ShowAndAct<CAddCSISetDlg>(d, [](CAddCSISetDlg& dialog) { dialog.accept(); });
    });
    report.AllowDefaults();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.chosen.front());
        report.Clear();
        TScriptedFileChooser chooser;
        chooser.Answer(row.chosen);
        frame->Action(cmd::ProjectAddCSISet)->trigger();
        const std::vector<std::string> questions = report.Questions();
        ASSERT_FALSE(questions.empty());
        EXPECT_NE(questions.back().find("Image and CSI geometries are not consistent!"), std::string::npos);
        EXPECT_EQ(report.Messages(), row.messages);
        EXPECT_EQ(g_pProject->m_pCSISetList->GetCount(), 1);
    }
}

TEST_F(AddDataFlowTest, AnImagingScanAddedAsABrukerFidIsRefusedWithTheReason)
{
    const std::string fid = "bruker/brukerMRI/100/fid";
    VX_REQUIRE_SAMPLE(fid);
    NewProject("study");
    ASSERT_NE(g_pProject, nullptr);
    TScriptedFileChooser chooser;
    chooser.Answer(SampleDataPath(fid));
    TDialogScript script([&](QDialog& d) {
        return ShowAndAct<CAddCSISetDlg>(d, [](CAddCSISetDlg& dialog) {
            ChooseFormat(dialog, 20);  // "Bruker 3D CSI Raw (fid file)"
            dialog.accept();
        });
    });
    frame->Action(cmd::ProjectAddCSISet)->trigger();
    EXPECT_EQ(report.Messages(),
              std::vector<std::string>{"Fail to add CSI set from fid.\nMethod file " +
                                       SampleDataPath("bruker/brukerMRI/100/method") +
                                       " is of a mic_flash scan, not of a CSI scan: it has none of ##$CSITotalMatrix, "
                                       "##$PVM_SpecMatrix and ##$PVM_SpecSWH."});
    EXPECT_EQ(g_pProject->m_pCSISetList->GetCount(), 0);
}

// A DICOM image cut in its pixel data, through both DICOM types of the Import dialog: the
// message says why in plain words, and what the DICOM library logs about it stays out.
TEST_F(AddDataFlowTest, ACutDicomFileIsRefusedInPlainWordsWithoutTheLibrarysLog)
{
    NewProject("study");
    ASSERT_NE(g_pProject, nullptr);
    TSynthDicom image;
    image.words[DCM_Rows] = 64;
    image.words[DCM_Columns] = 64;
    image.pixels = std::vector<int>(64 * 64, 100);
    ASSERT_TRUE(WriteDicom(root.File("whole.dcm"), image));
    const std::string bytes = ReadBytes(root.File("whole.dcm"));
    WriteBytes(root.File("cut.dcm"), bytes.substr(0, bytes.size() - 4096));
    for (const int type : {4, 2}) {  // "Standard DICOM file", "GE Excite 11.0 or later (DICOM)"
        SCOPED_TRACE(type);
        report.Clear();
        TScriptedFileChooser chooser;
        chooser.Answer(root.File("cut.dcm"));
        AddImages([type](CImportImageDlg& dialog) {
            dialog.TypeList()->setCurrentIndex(type);
            emit dialog.TypeList()->activated(type);
        });
        EXPECT_EQ(report.Messages(), std::vector<std::string>{"Fail to add image from cut.dcm.\nThe file cannot be read "
                                                              "as DICOM: it ends before its data do, as a file cut short."});
        EXPECT_EQ(g_pProject->m_pImageSet->GetCount(), 0);
    }
}

// A faulty file of each type refused with its reader's reason after the program's words,
// in one message, and nothing added: an RDA file that is none, or whose header or samples
// are cut short, chosen through Add CSI Set, and an image of each type chosen through the
// Import dialog's OK.
TEST_F(AddDataFlowTest, AFaultyFileOfEachTypeIsRefusedWithItsReason)
{
    NewProject("study");
    ASSERT_NE(g_pProject, nullptr);
    const std::string bad = root.File("bad.rda");
    const std::string header = RDAHeader(RDALines(64, TRDAGrid{}));
    const std::string samples = Float64Pairs(RDAFid(64, 250.0));
    KeyLines noPoints = RDALines(64, TRDAGrid{});
    noPoints.erase(std::find_if(noPoints.begin(), noPoints.end(), [](const auto& l) { return l.first == "VectorSize"; }));
    TMAGFields mag;
    mag.fields[0] = "TR 0.0";
    const std::string genesis = getest::MakeGenesis(11, 1, 100);  // 256 x 192 pixels need 98304 bytes
    WriteBytes(root.File("plain.REC"), "");
    ASSERT_TRUE(vx::MakeFolder(root.File("scan")));
    constexpr int kRDASet = -1;
    const struct {
        const char* what;
        int type;  // the Import dialog's image type, or kRDASet: a CSI set of "Siemens .RDA Files"
        std::string file, bytes, reason;
    } cases[] = {
        {"no RDA file", kRDASet, "bad.rda", "Patient notes\r\n",
         bad + " is not an RDA file: its first line does not contain \">>> Begin of header <<<\"."},
        {"RDA header cut short", kRDASet, "bad.rda", header.substr(0, header.find("RowVector")),
         "The header of " + bad +
             " ends before its row and column vectors and its line \">>> End of header <<<\": the file is cut short."},
        {"no point count", kRDASet, "bad.rda", RDAHeader(noPoints) + samples,
         "The header of " + bad + " is invalid. It gives no number of points (VectorSize)."},
        {"RDA samples cut short", kRDASet, "bad.rda", header + samples.substr(0, 1000),
         "Data file " + bad + " holds " + std::to_string(header.size() + 1000) + " bytes, fewer than the " +
             std::to_string(header.size() + samples.size()) + " bytes its header and samples need."},
        {"MAG", 3, "zero.MAG", MAGHeader(mag) + Int16LE(std::vector<int>(16, 7)),
         "The header of " + root.File("zero.MAG") + " gives TR \"0.0\": it must be a number above 0."},
        {"Genesis", 1, "cut.MR", genesis,
         "Image file " + root.File("cut.MR") + " holds " + std::to_string(genesis.size()) + " bytes, fewer than the " +
             std::to_string(genesis.size() - 100 + 2 * 256 * 192) + " bytes its header and pixels need."},
        // 4 x 2 pixels need 16 bytes.
        {"raw", 6, "short.raw", Int16LE(std::vector<int>(7, 1)),
         "Image file " + root.File("short.raw") + " holds 14 bytes, fewer than the 16 bytes its pixels need."},
        {"PAR", 0, "plain.PAR", "# a comment\n. Patient name : x\n",
         "The PAR file " + root.File("plain.PAR") + " names no version: none of its comment lines has eight words of "
                                                    "which the last holds V3 or V4."},
        // The method file's dialog cancelled.
        {"2dseq", 5, "scan/2dseq", Int16LE(std::vector<int>(12, 1)),
         "No \"method\" file was chosen for " + root.File("scan/2dseq") + "."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const bool set = c.type == kRDASet;
        WriteBytes(root.File(c.file), c.bytes);
        report.Clear();
        // The file chooser of Add CSI Set and the Import dialog's take the file; the one for
        // a method file is cancelled.
        const vx::FileChooserHandler previous =
            vx::SetFileChooserHandler([&](const vx::TFileRequest& request) -> std::vector<std::string> {
                if (set || request.title == "Import...")
                    return {root.File(c.file)};
                return {};
            });
        if (c.type == 5)
            report.PlanAnswer(vx::ReportAnswer::Yes);
        TDialogScript script([&](QDialog& d) {
            if (dynamic_cast<CAddCSISetDlg*>(&d))
                return ShowAndAct<CAddCSISetDlg>(d, [](CAddCSISetDlg& dialog) {
                    ChooseFormat(dialog, 18);  // "Siemens .RDA Files"
                    dialog.accept();
                });
            if (dynamic_cast<CImportImageDlg*>(&d))
                return ShowAndAct<CImportImageDlg>(d, [&](CImportImageDlg& dialog) {
                    dialog.TypeList()->setCurrentIndex(c.type);
                    emit dialog.TypeList()->activated(c.type);
                    if (c.type == CImportImageDlg::kRawImageType) {
                        dialog.HeaderEdit()->setText("0");
                        dialog.WidthEdit()->setText("4");
                        dialog.HeightEdit()->setText("2");
                    }
                    QTest::mouseClick(dialog.Buttons()->button(QDialogButtonBox::Ok), Qt::LeftButton);
                });
            return ShowAndAct<CAddImagesDlg>(d, [](CAddImagesDlg& dialog) {
                QTest::mouseClick(dialog.AddImagesButton(), Qt::LeftButton);
                QTest::mouseClick(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
            });
        });
        frame->Action(set ? cmd::ProjectAddCSISet : cmd::ProjectAddImages)->trigger();
        vx::SetFileChooserHandler(previous);
        const std::string failed = set ? "Fail to add CSI set from " : "Fail to add image from ";
        EXPECT_EQ(report.Messages(), std::vector<std::string>{failed + vx::FileNameOf(c.file) + ".\n" + c.reason});
        EXPECT_EQ(g_pProject->m_pCSISetList->GetCount(), 0);
        EXPECT_EQ(g_pProject->m_pImageSet->GetCount(), 0);
    }
}

// A 2dseq file too short for one slice, its method file chosen in the program's own file
// dialog, as an ordinary user in a tree that may not be listed: the message gives the
// reader's reason alone, none of the warnings of the dialog, which may not watch the folder.
TEST_F(AddDataFlowTest, AReadersRefusalHoldsNoneOfTheFileDialogsWarnings)
{
    ASSERT_EQ(::chmod(root.Path().c_str(), 0777), 0);
    const std::vector<std::string> tree = {root.File("scan"), root.File("scan/pdata"), root.File("scan/pdata/1")};
    for (const std::string& folder : tree)
        ASSERT_TRUE(vx::MakeFolder(folder));
    const std::string seq = root.File("scan/pdata/1/2dseq"), method = root.File("scan/method");
    WriteBytes(method, JcampText(ImageMethodLines()));
    WriteBytes(seq, Int16LE(std::vector<int>(5, 1)));
    for (const std::string& folder : tree)
        ASSERT_EQ(::chmod(folder.c_str(), 0311), 0);
    const vx::FileChooserHandler scripted = vx::app::InstallQtFileChooser();
    // Each file dialog gets its file typed and Open pressed.
    std::vector<std::string> titles;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        titles.push_back(dialog->windowTitle().toStdString());
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(titles.size() == 1 ? seq : method));
        dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Open)->click();
    });
    user.start(20);
    EXPECT_EQ(AsAnOrdinaryUserHere([&] {
                  NewProject("study");
                  report.PlanAnswer(vx::ReportAnswer::Yes);  // "method" file is required
                  AddImages([](CImportImageDlg& dialog) {
                      dialog.TypeList()->setCurrentIndex(5);  // "Bruker (2dseq file)"
                      emit dialog.TypeList()->activated(5);
                  });
                  return std::string();
              }),
              "");
    user.stop();
    vx::SetFileChooserHandler(scripted);
    EXPECT_EQ(titles, (std::vector<std::string>{"Import...", "Please select method file..."}));
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"Fail to add image from 2dseq.\nData file " + seq +
                                                          " is shorter than its parameter files describe (10 of 72 "
                                                          "bytes): it ends in slice scan_pdata_1_2dseq_0, and no "
                                                          "image was added."});
}

TEST_F(AddDataFlowTest, AnImageNamedLikeAnotherFileOfTheProjectIsRefusedAndThatFileKept)
{
    const std::string dicom = "dicom_mr/suspect/T1.0001.IMA";
    VX_REQUIRE_SAMPLE(dicom);
    NewProject("study");
    ASSERT_NE(g_pProject, nullptr);
    // Set a with its map NAA, whose file is a_NAA.
    const std::string folder = root.File("study");
    TCSISet* set = AddWrittenSet(*g_pProject, folder, "a", 4, 4, 1);
    g_pProject->SetWorkSet(set);
    AddValuedMap(*set, "NAA", [](int v) { return TComplex(float(v), 1.0f); });
    ASSERT_TRUE(g_pProject->SaveWorkSetAndProject(false));
    const TFolderBytes before = ReadFolderTree(folder, true);
    ASSERT_EQ(before.count("a_NAA"), 1u);

    // A DICOM slice named like the map file, then like the folder's lock file.
    for (const std::string name : {"a_NAA", ".vexara.lock"}) {
        SCOPED_TRACE(name);
        WriteBytes(root.File(name), ReadBytes(SampleDataPath(dicom)));
        TScriptedFileChooser chooser;
        chooser.Answer(root.File(name));
        report.Clear();
        report.AllowDefaults();
        AddImages([](CImportImageDlg& dialog) {
            dialog.TypeList()->setCurrentIndex(4);  // "Standard DICOM file"
            emit dialog.TypeList()->activated(4);
        });
        EXPECT_EQ(g_pProject->m_pImageSet->GetCount(), 0);
        EXPECT_EQ(report.Messages(), std::vector<std::string>{"Fail to add image from " + name + ".\nThe image " +
                                                              name + " already exists."});
        EXPECT_TRUE(ReadFolderTree(folder, true) == before) << "a file of the project changed";
    }
    ASSERT_TRUE(app.OpenProject(folder + "/study.tpj"));
    TCSISet* kept = g_pProject->m_pCSISetList->FindByName("a");
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->ListedMapNames(), std::vector<std::string>{"NAA"});
}

// A multi-frame Enhanced MR file added beside a cut one: each is named with why it is refused.
TEST_F(AddDataFlowTest, EveryRefusedDicomFileIsNamedWithItsReason)
{
    const std::string dicom = "dicom_mr/suspect/T1.0001.IMA";
    VX_REQUIRE_SAMPLE(dicom);
    NewProject("study");
    ASSERT_NE(g_pProject, nullptr);
    // The scanner's slice made an Enhanced MR image of two frames.
    DcmFileFormat enhanced;
    ASSERT_TRUE(enhanced.loadFile(SampleDataPath(dicom).c_str()).good());
    DcmDataset& data = *enhanced.getDataset();
    ASSERT_TRUE(data.putAndInsertString(DCM_SOPClassUID, UID_EnhancedMRImageStorage).good());
    ASSERT_TRUE(data.putAndInsertString(DCM_NumberOfFrames, "2").good());
    ASSERT_TRUE(enhanced.saveFile(root.File("T1.dcm").c_str(), EXS_LittleEndianExplicit).good());
    const std::string bytes = ReadBytes(SampleDataPath(dicom));
    WriteBytes(root.File("cut.IMA"), bytes.substr(0, bytes.size() * 2 / 3));
    TScriptedFileChooser chooser;
    chooser.Answer({root.File("T1.dcm"), root.File("cut.IMA")});
    AddImages([](CImportImageDlg& dialog) {
        dialog.TypeList()->setCurrentIndex(4);  // "Standard DICOM file"
        emit dialog.TypeList()->activated(4);
    });
    const std::vector<std::string> messages = report.Messages();
    ASSERT_EQ(messages.size(), 1u);
    const std::string multiFrame =
        std::string(kSummary) + "T1.dcm (Multi-frame images (Enhanced MR) are not supported: the file holds 2 frames.); ";
    EXPECT_EQ(messages[0].substr(0, multiFrame.size()), multiFrame) << messages[0];
    EXPECT_NE(messages[0].find("cut.IMA (The file cannot be read as DICOM"), std::string::npos) << messages[0];
    EXPECT_EQ(g_pProject->m_pImageSet->GetCount(), 0);
}

// Spectroscopy files of three makers chosen in Add Images: each is named as holding
// spectroscopy data, whichever object keeps the spectra.
TEST_F(AddDataFlowTest, DicomSpectroscopyIsRefusedAsNoImage)
{
    const std::vector<std::string> files = {
        "dicom_mrs/suspect/SVS_XA60.dcm",  // the standard spectroscopy object
        "dicom_mrs/suspect/IM-0001-0002.dcm",
        "dicom_mrs/dcm_qa_spec/30001_1.3.12.2.1107.5.2.61.237021.2026060513334667167608226.dcm",
        "dicom_mrs/suspect/SVS_30.IMA",  // a private non-image object whose data type says spectra
        "dicom_mrs/tarquin/SIEMENSTEST"};
    std::vector<std::string> chosen;
    for (const std::string& file : files) {
        VX_REQUIRE_SAMPLE(file);
        chosen.push_back(SampleDataPath(file));
    }
    NewProject("study");
    ASSERT_NE(g_pProject, nullptr);
    TScriptedFileChooser chooser;
    chooser.Answer(chosen);
    AddImages([](CImportImageDlg& dialog) {
        dialog.TypeList()->setCurrentIndex(4);  // "Standard DICOM file"
        emit dialog.TypeList()->activated(4);
    });
    std::string expected = kSummary;
    for (const std::string& path : chosen)
        expected += path.substr(path.rfind('/') + 1) + " (The file holds MR spectroscopy data, not an image.); ";
    EXPECT_EQ(report.Messages(), std::vector<std::string>{expected});
    EXPECT_EQ(g_pProject->m_pImageSet->GetCount(), 0);
}

// Images of one place added in one import are listed by the explorer in the project's order,
// each before those chosen ahead of it, and in the same order when the project is opened again.
// Placed in the Add Images dialog afterwards, they are listed in ascending slice position.
TEST_F(AddDataFlowTest, TheExplorerListsImagesInOneOrderAfterAddingAndReopening)
{
    NewProject("study");
    ASSERT_NE(g_pProject, nullptr);
    std::vector<std::string> files;
    for (int k = 0; k < 4; ++k) {
        files.push_back(root.File("img" + std::to_string(k) + ".raw"));
        WriteBytes(files.back(), Int16LE(std::vector<int>(8, k)));
    }
    TScriptedFileChooser chooser;
    chooser.Answer(files);
    AddImages([](CImportImageDlg& dialog) {
        dialog.TypeList()->setCurrentIndex(CImportImageDlg::kRawImageType);
        emit dialog.TypeList()->activated(CImportImageDlg::kRawImageType);
        dialog.WidthEdit()->setText("4");
        dialog.HeightEdit()->setText("2");
    });
    const auto listed = [&] {
        auto* explorer = dynamic_cast<CPrjExpFrame*>(frame->ProjectExplorer());
        std::vector<std::string> names;
        if (!explorer)
            return names;
        QTreeWidgetItem* images = explorer->Tree()->topLevelItem(0);
        for (int k = 0; k < images->childCount(); ++k) {
            for (int i = 0; i < images->child(k)->childCount(); ++i)
                names.push_back(images->child(k)->child(i)->text(0).toStdString());
            if (images->child(k)->text(0).endsWith(".raw"))
                names.push_back(images->child(k)->text(0).toStdString());
        }
        return names;
    };
    const std::vector<std::string> held = {"img3.raw", "img2.raw", "img1.raw", "img0.raw"};
    EXPECT_EQ(listed(), held);
    ASSERT_TRUE(app.OpenProject(ProjectPath("study")));
    EXPECT_EQ(listed(), held);

    // img0 made sagittal at x = 4 mm, then img1, which the project holds before it, at 8 mm.
    for (const auto& [name, x] : {std::pair{"img0.raw", "4"}, std::pair{"img1.raw", "8"}}) {
        TDialogScript place([&](QDialog& d) {
            return ShowAndAct<CAddImagesDlg>(d, [&](CAddImagesDlg& dialog) {
                dialog.List()->findItems(name, Qt::MatchExactly).at(0)->setSelected(true);
                dialog.OrientationRadio(0)->click();
                const std::pair<CNumEdit*, const char*> typing[] = {{dialog.FOVEdit(0), "240"}, {dialog.FOVEdit(1), "240"},
                                                                    {dialog.CentreEdit(0), x}, {dialog.CentreEdit(1), "0"},
                                                                    {dialog.CentreEdit(2), "0"}};
                for (const auto& [edit, typed] : typing)
                    QTest::keyClicks(edit, typed);
                dialog.accept();
            });
        });
        frame->Action(cmd::ProjectAddImages)->trigger();
    }
    const std::vector<std::string> placed = {"img0.raw", "img1.raw", "img3.raw", "img2.raw"};
    EXPECT_EQ(listed(), placed);
    ASSERT_TRUE(app.OpenProject(ProjectPath("study")));
    EXPECT_EQ(listed(), placed);
}

// Three real PAR/REC series chosen together, then DICOM slices of two folders; a set made the
// work set afterwards places the images by their slice positions. The explorer lists them in
// the same order before the save and after File > Open Project reads the project back.
TEST_F(AddDataFlowTest, TheExplorerListsRealSeriesInOneOrderAfterSavingAndReopening)
{
    const std::vector<std::vector<std::string>> imports = {
        {"parrec/nibabel/phantom_EPI_asc_CLEAR_2_1.REC", "parrec/nibabel/phantom_varscale.REC",
         "parrec/nibabel/phantom_truncated.REC"},
        {"dicom_mr/suspect/T1.0001.IMA", "dicom_mr/suspect/T1.0002.IMA"},
        {"dicom_ge/dcm_qa_ge/i160.MRDC.1", "dicom_ge/dcm_qa_ge/i165.MRDC.2", "dicom_ge/dcm_qa_ge/i163.MRDC.3"}};
    const std::string spectra = "spar_sdat/spant/philips_spar_sdat_WS.SPAR";
    VX_REQUIRE_SAMPLE(spectra);
    NewProject("study");
    ASSERT_NE(g_pProject, nullptr);
    // The patient, date and geometry questions are answered Yes.
    for (int k = 0; k < 1000; ++k)
        report.PlanAnswer(vx::ReportAnswer::Yes);
    TScriptedFileChooser chooser;
    for (size_t step = 0; step < imports.size(); ++step) {
        std::vector<std::string> paths;
        for (const std::string& file : imports[step]) {
            VX_REQUIRE_SAMPLE(file);
            paths.push_back(SampleDataPath(file));
        }
        chooser.Answer(paths);
        const int type = step == 0 ? 0 : 4;  // "Philips (PAR/REC file)", "Standard DICOM file"
        AddImages([type](CImportImageDlg& dialog) {
            dialog.TypeList()->setCurrentIndex(type);
            emit dialog.TypeList()->activated(type);
        });
    }
    ASSERT_EQ(g_pProject->m_pImageSet->GetCount(), 86);
    TDialogScript sets([&](QDialog& d) {
        return ShowAndAct<CAddCSISetDlg>(d, [](CAddCSISetDlg& dialog) { dialog.accept(); });
    });
    chooser.Answer(SampleDataPath(spectra));
    frame->Action(cmd::ProjectAddCSISet)->trigger();
    EXPECT_TRUE(report.Messages().empty()) << report.Messages().front();

    // A double click on the set makes it the work set.
    CPrjExpTree* tree = dynamic_cast<CPrjExpFrame&>(*frame->ProjectExplorer()).Tree();
    const auto found = tree->findItems("philips_spar_sdat_WS", Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1);
    const QPoint at = tree->ItemLabelRect(found[0]).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
    ASSERT_NE(g_pProject->m_pWorkSet, nullptr);

    // Every image of a group as "group/name", from the top of the list.
    const auto listed = [&] {
        std::vector<std::string> names;
        const QTreeWidgetItem* images =
            dynamic_cast<CPrjExpFrame&>(*frame->ProjectExplorer()).Tree()->topLevelItem(0);
        for (int g = 0; g < images->childCount(); ++g)
            for (int k = 0; k < images->child(g)->childCount(); ++k)
                names.push_back(images->child(g)->text(0).toStdString() + "/" +
                                images->child(g)->child(k)->text(0).toStdString());
        return names;
    };
    const std::vector<std::string> before = listed();
    ASSERT_EQ(before.size(), 86u);
    // The two slices of the first folder lie 5 mm apart: the lower one in the work set's frame,
    // which runs the scanner's slice axis the other way, is listed first.
    const auto row = [&](const char* name) { return std::find(before.begin(), before.end(), name) - before.begin(); };
    EXPECT_LT(row("Axial/T1.0002.IMA"), row("Axial/T1.0001.IMA"));
    frame->Action(cmd::FileSaveProject)->trigger();
    chooser.Answer(ProjectPath("study"));
    frame->Action(cmd::FileOpenProject)->trigger();
    ASSERT_NE(g_pProject, nullptr);
    ASSERT_NE(g_pProject->m_pWorkSet, nullptr);
    EXPECT_EQ(listed(), before);
}

TEST_F(AddDataFlowTest, ImportedImagesReachTheProjectFolderOnlyWithTheProjectFileThatListsThem)
{
    NewProject("study");
    ASSERT_NE(g_pProject, nullptr);
    const std::string folder = root.File("study");
    const std::vector<int> first{1, 2, 3, 4, 5, 6, 7, 8}, second{-1, -2, -3, -4, 40, 30, 20, 10};
    WriteBytes(root.File("first.raw"), Int16LE(first));
    WriteBytes(root.File("second.raw"), Int16LE(second));
    // The project folder's files outside the program's work folder.
    const auto projectFiles = [&] {
        TFolderBytes files = ReadFolderTree(folder);
        std::erase_if(files, [](const auto& file) { return file.first.rfind(".vexara/", 0) == 0; });
        return files;
    };
    const auto workFiles = [&] { return vx::test::ListedEntries(folder + "/.vexara"); };
    TFolderBytes before = projectFiles();

    // Both raw 4 x 2 images imported through the Import dialog; while the Add Images
    // dialog is open they are listed, and nothing of them is in the project folder yet.
    TScriptedFileChooser chooser;
    chooser.Answer({root.File("first.raw"), root.File("second.raw")});
    int listed = 0;
    size_t staged = 0;
    bool untouched = false;
    TDialogScript script([&](QDialog& d) {
        if (dynamic_cast<CImportImageDlg*>(&d))
            return ShowAndAct<CImportImageDlg>(d, [](CImportImageDlg& dialog) {
                dialog.TypeList()->setCurrentIndex(CImportImageDlg::kRawImageType);
                emit dialog.TypeList()->activated(CImportImageDlg::kRawImageType);
                dialog.WidthEdit()->setText("4");
                dialog.HeightEdit()->setText("2");
                dialog.SwapBox()->setChecked(false);
                QTest::mouseClick(dialog.Buttons()->button(QDialogButtonBox::Ok), Qt::LeftButton);
            });
        return ShowAndAct<CAddImagesDlg>(d, [&](CAddImagesDlg& dialog) {
            QTest::mouseClick(dialog.AddImagesButton(), Qt::LeftButton);
            listed = dialog.List()->topLevelItemCount();
            untouched = projectFiles() == before;
            staged = workFiles().size();
            QTest::mouseClick(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        });
    });
    frame->Action(cmd::ProjectAddImages)->trigger();
    EXPECT_EQ(report.Messages(), std::vector<std::string>{});
    EXPECT_EQ(listed, 2);
    EXPECT_TRUE(untouched) << "a file of the project folder was written while the dialog was open";
    EXPECT_EQ(staged, 2u);

    // OK saved the project file, which lists both images; their pixel files are in place
    // and nothing is left in the work folder.
    EXPECT_FALSE(g_pProject->IsModified());
    EXPECT_EQ(workFiles().size(), 0u);
    TFolderBytes after = projectFiles();
    EXPECT_EQ(after["first.raw"], Int16LE(first));
    EXPECT_EQ(after["second.raw"], Int16LE(second));
    // Else only the project file changed.
    for (TFolderBytes* files : {&after, &before})
        for (const char* name : {"first.raw", "second.raw", "study.tpj"})
            files->erase(name);
    EXPECT_EQ(after, before);
    ASSERT_TRUE(app.OpenProject(folder + "/study.tpj"));
    std::vector<std::string> names;
    for (const TMRImage* image : *g_pProject->m_pImageSet)
        names.push_back(image->GetName());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"first.raw", "second.raw"}));
}

// The two-slice fixture: axial_1 and axial_2 share FOV and orientation, not the centre.
class AddImagesDialogTest : public AppSessionTest {
protected:
    AddImagesDialogTest() : AppSessionTest(2) {}
    void SetUp() override
    {
        AppSessionTest::SetUp();
        RegisterReaders();
        for (float& v : CIncSlicePosDlg::s_start)
            v = 0.0f;
        for (float& v : CIncSlicePosDlg::s_step)
            v = 0.0f;
    }
    void TearDown() override
    {
        AppSessionTest::TearDown();
        ClearReaderHooks();
    }

    static void SelectAll(CAddImagesDlg& dialog)
    {
        dialog.List()->selectAll();
    }
    static float Param(const CAddImagesDlg& dialog, int row, int kind)
    {
        return CAddImagesDlg::ImageOf(dialog.List()->topLevelItem(row))->GetParameter(kind);
    }

};

TEST_F(AddImagesDialogTest, SharedGeometryIsShownAndEditsGoToEverySelectedImage)
{
    CAddImagesDlg dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    ASSERT_EQ(dialog.List()->topLevelItemCount(), 2);
    EXPECT_FALSE(dialog.FOVEdit(0)->isEnabled()) << "nothing selected";
    SelectAll(dialog);
    EXPECT_FALSE(GrabToPng(&dialog, "addimages_two_images").isEmpty());
    ASSERT_EQ(dialog.Selected().size(), 2u);
    EXPECT_EQ(dialog.FOVEdit(0)->text(), "240");
    EXPECT_EQ(dialog.FOVEdit(1)->text(), "240");
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(dialog.CentreEdit(k)->text(), "") << "the slices differ in z";
    EXPECT_TRUE(dialog.OrientationRadio(2)->isChecked());
    const float z0 = Param(dialog, 0, TMRImage::ParamPositionX + 2), z1 = Param(dialog, 1, TMRImage::ParamPositionX + 2);

    // A centre x typed once goes to both; y and z stay.
    QTest::keyClicks(dialog.CentreEdit(0), "12");
    for (int row = 0; row < 2; ++row) {
        EXPECT_FLOAT_EQ(Param(dialog, row, TMRImage::ParamPositionX), 12.0f) << row;
        EXPECT_FLOAT_EQ(Param(dialog, row, TMRImage::ParamPositionX + 1), 0.0f) << row;
    }
    EXPECT_FLOAT_EQ(Param(dialog, 0, TMRImage::ParamPositionX + 2), z0);
    EXPECT_FLOAT_EQ(Param(dialog, 1, TMRImage::ParamPositionX + 2), z1);

    // A field of view goes to both images as it is typed; one of 0 or below reaches neither
    // and is refused when the edit is left, which then shows the images' value again.
    dialog.FOVEdit(0)->setFocus();
    dialog.FOVEdit(0)->selectAll();
    QTest::keyClicks(dialog.FOVEdit(0), "200");
    for (const char* refused : {"0", "-3"}) {
        dialog.FOVEdit(0)->setFocus();
        dialog.FOVEdit(0)->selectAll();
        QTest::keyClicks(dialog.FOVEdit(0), refused);
        dialog.FOVEdit(1)->setFocus();
        EXPECT_EQ(dialog.FOVEdit(0)->text(), "200") << refused;
        for (int row = 0; row < 2; ++row)
            EXPECT_FLOAT_EQ(Param(dialog, row, TMRImage::ParamFOVX), 200.0f) << refused << row;
    }
    EXPECT_EQ(report.Messages(), std::vector<std::string>(2, "Please enter a number larger than 0."));

    // Inc: start (0, 0, -20), step (0, 0, 5) gives z -20 and -15 in list order, and each
    // image's slice position and in-plane centre follow in the work set's frame, whose z
    // runs the other way (the fixture places its slices so).
    TDialogScript script([&](QDialog& d) {
        return ShowAndAct<CIncSlicePosDlg>(d, [](CIncSlicePosDlg& inc) {
            inc.StartEdit(2)->SetText("-20");
            inc.StepEdit(2)->SetText("5");
            inc.accept();
        });
    });
    dialog.IncButton()->click();
    for (int row = 0; row < 2; ++row) {
        TMRImage* image = CAddImagesDlg::ImageOf(dialog.List()->topLevelItem(row));
        EXPECT_FLOAT_EQ(image->GetParameter(TMRImage::ParamPositionX + 2), -20.0f + 5.0f * row) << row;
        EXPECT_FLOAT_EQ(image->GetParameter(TMRImage::ParamPositionX), 0.0f) << row;
        EXPECT_FLOAT_EQ(image->GetSlicePosition(), 20.0f - 5.0f * row) << row;
        EXPECT_FLOAT_EQ(image->GetCentre().x, 0.0f) << row;
    }

    // Orientations that differ check no radio; choosing one sets it on both.
    CAddImagesDlg::ImageOf(dialog.List()->topLevelItem(1))->SetOrientation(1, false);
    dialog.List()->clearSelection();
    SelectAll(dialog);
    for (int k = 0; k < 3; ++k)
        EXPECT_FALSE(dialog.OrientationRadio(k)->isChecked()) << k;
    dialog.OrientationRadio(0)->click();
    for (int row = 0; row < 2; ++row)
        EXPECT_EQ(CAddImagesDlg::ImageOf(dialog.List()->topLevelItem(row))->GetOrientation(), 0) << row;
}

TEST_F(AddImagesDialogTest, ARawImageGetsItsGeometryAndItsMarkChanges)
{
    // 8 x 8 big-endian 16-bit pixels without a header.
    TTempFolder folder;
    WriteBytes(folder.File("raw.img"), std::string(8 * 8 * 2, '\1'));
    TScriptedFileChooser chooser(folder.File("raw.img"));
    CAddImagesDlg dialog;
    TDialogScript script([&](QDialog& d) {
        return ShowAndAct<CImportImageDlg>(d, [](CImportImageDlg& import) {
            import.TypeList()->setCurrentIndex(6);
            emit import.TypeList()->activated(6);
            import.WidthEdit()->setText("8");
            import.HeightEdit()->setText("8");
            import.accept();
        });
    });
    dialog.show();
    dialog.AddImagesButton()->click();
    ASSERT_EQ(dialog.List()->topLevelItemCount(), 3);
    EXPECT_EQ(report.Count(), 0u);
    QTreeWidgetItem* item = dialog.List()->findItems("raw.img", Qt::MatchStartsWith).value(0);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(CAddImagesDlg::IconOf(item), CAddImagesDlg::kIconIncomplete);
    EXPECT_EQ(CImportImageDlg::s_last.m_nImageType, 6);
    CImportImageDlg::s_last = TImageImportParams{};

    item->setSelected(true);
    EXPECT_EQ(dialog.FOVEdit(0)->text(), "");
    EXPECT_EQ(dialog.Orientation(), -1);
    for (CNumEdit* edit : {dialog.FOVEdit(0), dialog.FOVEdit(1)})
        QTest::keyClicks(edit, "200");
    dialog.OrientationRadio(1)->click();  // coronal: slice along y
    const char* centre[3] = {"4", "-30", "7"};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(CAddImagesDlg::IconOf(item), CAddImagesDlg::kIconIncomplete) << k;
        QTest::keyClicks(dialog.CentreEdit(k), centre[k]);
    }
    EXPECT_EQ(CAddImagesDlg::IconOf(item), CAddImagesDlg::kIconComplete);
    TMRImage* image = CAddImagesDlg::ImageOf(item);
    EXPECT_TRUE(image->IsGeometryComplete());
    // The fixture's work set is centred on the origin without angulation; its z runs
    // the other way.
    EXPECT_FLOAT_EQ(image->GetSlicePosition(), -30.0f);
    EXPECT_FLOAT_EQ(image->GetCentre().x, 4.0f);
    EXPECT_FLOAT_EQ(image->GetCentre().y, -7.0f);
}

}  // namespace
