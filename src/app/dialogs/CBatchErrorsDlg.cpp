#include "app/dialogs/CBatchErrorsDlg.h"

#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <string>

#include "platform/FileChooser.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFile.h"

CBatchErrorsDlg::CBatchErrorsDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Errors and Warning for the batch processing");
    auto* layout = new QVBoxLayout(this);
    m_edit = new QPlainTextEdit;
    m_edit->setReadOnly(true);
    // Long lines (a path and its reason) wrap at the box's edge rather than run past it.
    m_edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // The log holds "\r\n" line ends; the edit shows lines.
    m_edit->setPlainText(QString::fromStdString(g_batchLog).remove('\r'));
    layout->addWidget(m_edit);
    auto* buttons = new QDialogButtonBox;
    m_save = buttons->addButton("Save", QDialogButtonBox::AcceptRole);
    m_dontSave = buttons->addButton("Don't Save", QDialogButtonBox::RejectRole);
    m_save->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CBatchErrorsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(560, 400);
}

void CBatchErrorsDlg::accept()
{
    // The path with ".txt" added.
    const std::string path = vx::ChooseFile(vx::TextFileSaveRequest("Save as text file...", "*.txt"));
    if (path.empty())
        return;
    if (!vx::WriteFileAtomically(path, g_batchLog)) {
        vx::Report("Cannot create text file " + path + ".", vx::ReportIcon::Exclamation);
        return;
    }
    QDialog::accept();
}
