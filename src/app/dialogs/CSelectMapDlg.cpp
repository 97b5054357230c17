#include "app/dialogs/CSelectMapDlg.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QVBoxLayout>

#include "model/TCSISet.h"
#include "model/TMap.h"
#include "model/TMapList.h"
#include "platform/Report.h"

CSelectMapDlg::CSelectMapDlg(const TCSISet* set, QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Select map...");
    auto* layout = new QVBoxLayout(this);
    m_list = new QListWidget;
    m_list->setSelectionMode(QAbstractItemView::MultiSelection);
    layout->addWidget(m_list);
    if (set && set->m_pMapList)
        for (TMap* map : *set->m_pMapList) {
            m_maps.push_back(map);
            m_list->addItem(QString::fromStdString(map->GetName()));
        }
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CSelectMapDlg::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(m_buttons);
}

void CSelectMapDlg::accept()
{
    std::vector<TMap*> chosen;
    for (int row = 0; row < m_list->count(); ++row)
        if (m_list->item(row)->isSelected())
            chosen.push_back(m_maps[static_cast<size_t>(row)]);
    // The dialog stays open for a choice, and says so.
    if (chosen.empty()) {
        vx::Report("Please select a map.", vx::ReportIcon::Exclamation);
        m_list->setFocus();
        return;
    }
    m_selected = std::move(chosen);
    QDialog::accept();
}
