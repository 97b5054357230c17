#include "views/analysis/CIntegralListView.h"

#include <QHeaderView>
#include <QSignalBlocker>
#include <QStyledItemDelegate>

#include <algorithm>
#include <charconv>

#include "model/TIntegralRegion.h"
#include "model/math/TextHelpers.h"

namespace {

constexpr int kColumnWidth = 96;

// Only the name column is edited in place.
class TNameOnlyDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override
    {
        return index.column() == 0 ? QStyledItemDelegate::createEditor(parent, option, index) : nullptr;
    }
};

// Two decimals, whatever the locale.
QString Fixed2(float value)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, static_cast<double>(value), std::chars_format::fixed, 2);
    return res.ec == std::errc() ? QString::fromLatin1(buf, static_cast<int>(res.ptr - buf)) : QString("0.00");
}

}  // namespace

CIntegralListView::CIntegralListView(CIntegralWnd* owner) : m_pOwner(owner)
{
    setColumnCount(5);
    setHeaderLabels({"Name", "Start", "End", "Integral", "Normalized"});
    for (int column = 0; column < 5; ++column) {
        setColumnWidth(column, kColumnWidth);
        headerItem()->setTextAlignment(column, column == 0 ? Qt::AlignLeft : Qt::AlignRight);
    }
    // A click on a header keeps the order of arrival.
    header()->setSectionsClickable(false);
    setSortingEnabled(false);
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::SelectedClicked);
    setItemDelegate(new TNameOnlyDelegate(this));
    connect(this, &QTreeWidget::itemChanged, this, &CIntegralListView::OnItemChanged);
    resize(500, 250);
    Refill();
}

CIntegralListView::~CIntegralListView() = default;

void CIntegralListView::AddIntegral(TIntegralRegion* region)
{
    if (!region)
        return;
    m_regions.emplace_back(region);
    Refill();
}

void CIntegralListView::Refill()
{
    const QSignalBlocker block(this);
    clear();
    for (const auto& region : m_regions) {
        region->m_fNormalized = region->m_fIntegral * m_fFactor;
        auto* item = new QTreeWidgetItem(this);
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        item->setText(0, QString::fromStdString(region->m_strName));
        item->setText(1, Fixed2(region->m_fStart));
        item->setText(2, Fixed2(region->m_fEnd));
        item->setText(3, QString::fromStdString(FloatToStringG(region->m_fIntegral, 3)));
        item->setText(4, QString::fromStdString(FloatToStringG(region->m_fNormalized, 3)));
        for (int column = 1; column < 5; ++column)
            item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    }
}

std::vector<int> CIntegralListView::SelectedRows() const
{
    std::vector<int> rows;
    for (int row = 0; row < topLevelItemCount(); ++row)
        if (topLevelItem(row)->isSelected())
            rows.push_back(row);
    return rows;
}

void CIntegralListView::RemoveRows(const std::vector<int>& rows)
{
    // From the back, so that the earlier rows keep their places.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        if (*it >= 0 && *it < static_cast<int>(m_regions.size()))
            m_regions.erase(m_regions.begin() + *it);
    Refill();
}

void CIntegralListView::OnItemChanged(QTreeWidgetItem* item, int column)
{
    const int row = indexOfTopLevelItem(item);
    if (column == 0 && row >= 0 && row < static_cast<int>(m_regions.size()))
        m_regions[static_cast<size_t>(row)]->m_strName = item->text(0).toStdString();
}
