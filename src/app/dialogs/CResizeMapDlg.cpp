#include "app/dialogs/CResizeMapDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include "app/dialogs/DialogFields.h"
#include "model/TCSISet.h"
#include "model/TMap.h"
#include "model/TMapList.h"
#include "platform/Report.h"

CResizeMapDlg::CResizeMapDlg(const TCSISet* set, QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Resize map");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Please select map:"));
    m_list = new QListWidget;
    layout->addWidget(m_list);
    if (set && set->m_pMapList)
        for (TMap* map : *set->m_pMapList) {
            m_maps.push_back(map);
            m_list->addItem(QString::fromStdString(map->GetName()));
        }
    auto* sizes = new QFormLayout;
    const char* labels[3] = {"X:", "Y:", "Z:"};
    for (int k = 0; k < 3; ++k) {
        m_edits[k] = new QLineEdit(QString::number(m_size[k]));
        sizes->addRow(labels[k], m_edits[k]);
    }
    layout->addLayout(sizes);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CResizeMapDlg::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(m_buttons);
    // A map is chosen when its entry is selected: the list makes its first entry current
    // when it takes the focus, without the user choosing it.
    connect(m_list, &QListWidget::itemSelectionChanged, this, &CResizeMapDlg::OnMapChosen);
}

int CResizeMapDlg::ChosenRow() const
{
    const QList<QListWidgetItem*> chosen = m_list->selectedItems();
    const int row = chosen.isEmpty() ? -1 : m_list->row(chosen.front());
    return row < static_cast<int>(m_maps.size()) ? row : -1;
}

void CResizeMapDlg::OnMapChosen()
{
    const int row = ChosenRow();
    if (row < 0)
        return;
    const TMap* map = m_maps[static_cast<size_t>(row)];
    for (int k = 0; k < 3; ++k) {
        m_edits[k]->setText(QString::number(map->size[k]));
        m_edits[k]->setEnabled(map->size[k] != 1);
    }
}

void CResizeMapDlg::accept()
{
    const int row = ChosenRow();
    if (row < 0) {
        vx::Report("Please choose a map.", vx::ReportIcon::Exclamation);
        return;
    }
    int size[3];
    for (int k = 0; k < 3; ++k)
        if (!vx::app::ReadIntegerField(m_edits[k], kMinSize, kMaxSize, size[k]))
            return;
    m_pMap = m_maps[static_cast<size_t>(row)];
    for (int k = 0; k < 3; ++k)
        m_size[k] = size[k];
    QDialog::accept();
}
