#include "app/CBatchProcessDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <vector>

#include "app/dialogs/CAddExamDlg.h"
#include "app/dialogs/CBatchErrorsDlg.h"
#include "app/dialogs/CBrowseFolderDlg.h"
#include "app/dialogs/CFolderList.h"
#include "app/CMainFrame.h"
#include "app/dialogs/DialogRunner.h"
#include "app/WindowFactory.h"
#include "model/TBatchRun.h"
#include "platform/FileChooser.h"
#include "platform/Files.h"
#include "platform/Report.h"
#include "processing/MacroFile.h"

std::string g_strBatchFolder = vx::HomeFolder() + "/";
std::string g_strBatchMacro;
std::string g_strBatchSpec = "*.*";
int g_nBatchExamType = 0;

CBatchProcessDlg::CBatchProcessDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Batch Processing...");
    auto* grid = new QGridLayout(this);
    int row = 0;
    grid->addWidget(new QLabel("Select Exam Type"), row, 0);
    m_examType = new QComboBox;
    for (const std::string& name : TBatchRun::ExamTypeNames())
        m_examType->addItem(QString::fromStdString(name));
    grid->addWidget(m_examType, row++, 1, 1, 2);
    grid->addWidget(new QLabel("Select Exam Location"), row, 0);
    m_location = new QLineEdit;
    m_location->setReadOnly(true);
    grid->addWidget(m_location, row++, 1, 1, 2);
    m_studies = new CFolderList;
    m_studies->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid->addWidget(m_studies, row++, 0, 1, 3);
    grid->addWidget(new QLabel("File Name Specification"), row, 0);
    m_spec = new QLineEdit;
    grid->addWidget(m_spec, row++, 1, 1, 2);
    grid->addWidget(new QLabel("Output Location"), row, 0);
    m_output = new QLineEdit;
    grid->addWidget(m_output, row, 1);
    m_browseOutput = new QPushButton("Browse...");
    grid->addWidget(m_browseOutput, row++, 2);
    grid->addWidget(new QLabel("Select Macro"), row, 0);
    m_macro = new QLineEdit;
    grid->addWidget(m_macro, row, 1);
    m_browseMacro = new QPushButton("Browse...");
    grid->addWidget(m_browseMacro, row++, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &CBatchProcessDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    grid->addWidget(buttons, row, 0, 1, 3);
    connect(m_browseMacro, &QPushButton::clicked, this, &CBatchProcessDlg::OnBrowseMacro);
    connect(m_browseOutput, &QPushButton::clicked, this, &CBatchProcessDlg::OnBrowseFolder);
    connect(m_studies, &CFolderList::FolderListed, this, &CBatchProcessDlg::OnFolderListed);

    // The studies are looked for where the user is now.
    m_studies->ListStartFolder(vx::CurrentFolder());
    g_strBatchFolder = m_studies->Folder();
    m_location->setText(QString::fromStdString(g_strBatchFolder));
    m_output->setText(QString::fromStdString(g_strBatchFolder + TBatchRun::kOutputFolderName + "/"));
    m_spec->setText(QString::fromStdString(g_strBatchSpec));
    m_macro->setText(QString::fromStdString(g_strBatchMacro));
    m_examType->setCurrentIndex(g_nBatchExamType >= 0 && g_nBatchExamType < m_examType->count() ? g_nBatchExamType
                                                                                                 : 0);
}

void CBatchProcessDlg::OnFolderListed(const QString& folder)
{
    // The macro edit is left alone: it names a file, not the exam location.
    g_strBatchFolder = folder.toStdString();
    m_location->setText(folder);
    m_output->setText(folder + TBatchRun::kOutputFolderName);
}

void CBatchProcessDlg::OnBrowseMacro()
{
    vx::TFileRequest request;
    request.title = "Select Macro File...";
    request.filter = "Macro Files (*.mcr)|*.mcr";
    request.folder = vx::CurrentFolder();
    const std::string path = vx::ChooseFile(request);
    if (!path.empty())
        m_macro->setText(QString::fromStdString(path));
}

void CBatchProcessDlg::OnBrowseFolder()
{
    CBrowseFolderDlg dialog(this);
    if (vx::app::RunDialog(dialog) != QDialog::Accepted)
        return;
    m_strOutput = dialog.GetFolder();
    m_output->setText(QString::fromStdString(m_strOutput));
}

void CBatchProcessDlg::accept()
{
    g_nBatchExamType = m_examType->currentIndex();
    g_strBatchSpec = m_spec->text().toStdString();
    g_strBatchMacro = m_macro->text().toStdString();
    if (g_strBatchMacro.empty()) {
        vx::Report("Please select a macro file.", vx::ReportIcon::Exclamation);
        return;
    }
    if (MacroFileKind(g_strBatchMacro) == TMacroFileKind::Other) {
        vx::Report(NotAMacroFileText(g_strBatchMacro), vx::ReportIcon::Exclamation);
        return;
    }

    std::vector<std::string> items;
    const bool chosen = !m_studies->selectedItems().isEmpty();
    for (int k = 0; k < m_studies->count(); ++k)
        if (!chosen || m_studies->item(k)->isSelected())
            items.push_back(m_studies->item(k)->text().toStdString());

    TBatchRun run;
    run.m_strExamFolder = g_strBatchFolder;
    run.m_studies = TBatchRun::StudyNames(items);
    run.m_strPatterns = g_strBatchSpec;
    run.m_strOutput = m_output->text().toStdString();
    run.m_strMacro = g_strBatchMacro;
    run.m_nExamType = g_nBatchExamType;
    // A run refused before it began (its message given) leaves the dialog for a correction.
    if (!run.Run())
        return;
    CBatchErrorsDlg log;
    vx::app::RunDialog(log);
    QDialog::accept();
}

namespace vx::app {

void InstallBatchDialogs()
{
    SetBatchDialog([](CMainFrame* frame) {
        CBatchProcessDlg dialog(frame);
        RunDialog(dialog);
        // The project open before the run is current again.
        if (frame)
            frame->UpdateCommandStates();
    });
    SetAddExamDialog([](CMainFrame* frame, std::vector<std::string>& entries, int& examType) {
        CAddExamDlg dialog(frame);
        if (RunDialog(dialog) != QDialog::Accepted)
            return false;
        entries = dialog.GetEntries();
        examType = g_nExamType;
        return true;
    });
}

}  // namespace vx::app
