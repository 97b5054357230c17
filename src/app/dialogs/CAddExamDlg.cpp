#include "app/dialogs/CAddExamDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "app/dialogs/CFolderList.h"
#include "platform/Files.h"
#include "platform/Report.h"

int g_nExamType = 0;

namespace {

constexpr int kEntryRole = Qt::UserRole;

}  // namespace

CAddExamDlg::CAddExamDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Add Exam...");
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel("Exam Type"), 0, 0);
    m_examType = new QComboBox;
    for (const char* name : {"Philips 2D Single Slice", "Philips 2D Multi Slice", "Philips 3D", "GE EXCITE 11.0 or later"})
        m_examType->addItem(name);
    grid->addWidget(m_examType, 0, 1, 1, 2);
    grid->addWidget(new QLabel("Exam Location"), 1, 0);
    m_location = new QLineEdit;
    m_location->setReadOnly(true);
    grid->addWidget(m_location, 1, 1, 1, 2);
    grid->addWidget(new QLabel("Select from"), 2, 0);
    grid->addWidget(new QLabel("Files added"), 2, 2);
    m_folderList = new CFolderList;
    m_folderList->SetListFiles(true);
    m_folderList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid->addWidget(m_folderList, 3, 0);
    auto* middle = new QVBoxLayout;
    const std::pair<const char*, void (CAddExamDlg::*)()> buttons[] = {
        {"Add -->", &CAddExamDlg::OnAdd},
        {"Add All -->", &CAddExamDlg::OnAddAll},
        {"<-- Remove", &CAddExamDlg::OnRemove},
        {"<-- Remove All", &CAddExamDlg::OnRemoveAll},
    };
    for (const auto& [text, handler] : buttons) {
        auto* button = new QPushButton(text);
        connect(button, &QPushButton::clicked, this, handler);
        middle->addWidget(button);
    }
    middle->addStretch();
    grid->addLayout(middle, 3, 1);
    m_added = new QListWidget;
    m_added->setSortingEnabled(true);
    m_added->setSelectionMode(QAbstractItemView::MultiSelection);
    grid->addWidget(m_added, 3, 2);
    grid->addWidget(new QLabel(kAttention), 4, 0, 1, 3);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(box, &QDialogButtonBox::accepted, this, &CAddExamDlg::accept);
    connect(box, &QDialogButtonBox::rejected, this, &CAddExamDlg::reject);
    grid->addWidget(box, 5, 0, 1, 3);

    m_szStartDir = vx::CurrentFolder();
    m_folderList->ListStartFolder(m_szStartDir);
    m_strFolder = m_folderList->Folder();
    m_location->setText(QString::fromStdString(m_strFolder));
    connect(m_folderList, &CFolderList::FolderListed, this, [this](const QString& folder) {
        m_strFolder = folder.toStdString();
        m_location->setText(folder);
    });
    m_examType->setCurrentIndex(g_nExamType >= 0 && g_nExamType < m_examType->count() ? g_nExamType : 0);
}

std::vector<std::string> CAddExamDlg::GetEntries() const
{
    std::vector<std::string> paths;
    for (const TEntry& entry : m_entries)
        paths.push_back(entry.path);
    return paths;
}

void CAddExamDlg::AddItem(const std::string& text)
{
    const QString shown = QString::fromStdString(text);
    const bool folder = CFolderList::IsFolderEntry(shown) && text != "[..]";
    if (text.empty() || (text.front() == '[' && !folder))
        return;
    for (int k = 0; k < m_added->count(); ++k)
        if (m_added->item(k)->text().compare(shown, Qt::CaseInsensitive) == 0)
            return;
    const std::string path = folder ? "[" + m_strFolder + text.substr(1, text.size() - 2) + "]" : m_strFolder + text;
    auto* item = new QListWidgetItem(shown);
    item->setData(kEntryRole, m_nextId);
    m_entries.push_back({m_nextId++, path});
    m_added->addItem(item);
}

void CAddExamDlg::OnAdd()
{
    for (int k = 0; k < m_folderList->count(); ++k)
        if (m_folderList->item(k)->isSelected())
            AddItem(m_folderList->item(k)->text().toStdString());
}

void CAddExamDlg::OnAddAll()
{
    for (int k = 0; k < m_folderList->count(); ++k)
        AddItem(m_folderList->item(k)->text().toStdString());
}

void CAddExamDlg::OnRemove()
{
    for (int k = m_added->count() - 1; k >= 0; --k) {
        QListWidgetItem* item = m_added->item(k);
        if (!item->isSelected())
            continue;
        const int id = item->data(kEntryRole).toInt();
        m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                       [id](const TEntry& entry) { return entry.id == id; }),
                        m_entries.end());
        delete item;
    }
}

void CAddExamDlg::OnRemoveAll()
{
    m_added->clear();
    m_entries.clear();
}

void CAddExamDlg::accept()
{
    // The exam replaces the project: OK with nothing picked (a stray Return) would only
    // empty it.
    if (m_entries.empty()) {
        vx::Report("Please add the files or folders of the exam first.", vx::ReportIcon::Exclamation);
        return;
    }
    g_nExamType = m_examType->currentIndex();
    QDialog::accept();
}

void CAddExamDlg::reject()
{
    vx::SetCurrentFolder(m_szStartDir);
    QDialog::reject();
}
