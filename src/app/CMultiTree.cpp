#include "app/CMultiTree.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRubberBand>
#include <QScrollBar>
#include <QStyleOptionViewItem>

#include <cstdlib>

namespace {
constexpr int kBandTimerMs = 75;  // how often a band held beyond an edge scrolls on

bool HasCtrlOrShift(Qt::KeyboardModifiers keys)
{
    return (keys & (Qt::ControlModifier | Qt::ShiftModifier)) != 0;
}

bool BeyondDragDistance(const QPoint& a, const QPoint& b)
{
    const int drag = QApplication::startDragDistance();
    return std::abs(a.x() - b.x()) > drag || std::abs(a.y() - b.y()) > drag;
}
}  // namespace

CMultiTree::CMultiTree(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    // The selection model keeps the selection; the mouse handling below decides it.
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
    setExpandsOnDoubleClick(false);
    setAutoScroll(false);
    setUniformRowHeights(true);
    // Pixel scrolling, so that content coordinates are viewport coordinates plus the
    // scroll bars' values.
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // The mouse's context menu follows the right button's release, after the selection;
    // the keyboard's comes through contextMenuEvent and keyPressEvent.
    setContextMenuPolicy(Qt::DefaultContextMenu);
    m_band = new QRubberBand(QRubberBand::Rectangle, viewport());
    m_band->hide();

    // A collapsed group keeps nothing selected inside it.
    connect(this, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* item) {
        if (SelectChildren(item, false, true) && !item->isSelected())
            SetCaret(nullptr);
    });
}

void CMultiTree::SetCaret(QTreeWidgetItem* item)
{
    const QModelIndex index = item ? indexFromItem(item) : QModelIndex();
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

// ---- walks and selection ---------------------------------------------------------------

QList<QTreeWidgetItem*> CMultiTree::VisibleItems() const
{
    QList<QTreeWidgetItem*> items;
    for (int k = 0; k < topLevelItemCount(); ++k)
        if (!topLevelItem(k)->isHidden()) {
            for (QTreeWidgetItem* item = topLevelItem(k); item; item = itemBelow(item))
                items.append(item);
            break;
        }
    return items;
}

QTreeWidgetItem* CMultiTree::GetFirstSelectedItem() const
{
    for (QTreeWidgetItem* item : VisibleItems())
        if (item->isSelected())
            return item;
    return nullptr;
}

QTreeWidgetItem* CMultiTree::GetNextSelectedItem(QTreeWidgetItem* item) const
{
    for (item = item ? itemBelow(item) : nullptr; item; item = itemBelow(item))
        if (item->isSelected())
            return item;
    return nullptr;
}

QList<QTreeWidgetItem*> CMultiTree::GetSelectedList() const
{
    QList<QTreeWidgetItem*> selected;
    for (QTreeWidgetItem* item : VisibleItems())
        if (item->isSelected())
            selected.append(item);
    return selected;
}

void CMultiTree::SelectAllIgnore(bool select, QTreeWidgetItem* ignore)
{
    for (QTreeWidgetItem* item : VisibleItems())
        if (item != ignore && item->isSelected() != select)
            item->setSelected(select);
}

void CMultiTree::SelectRange(QTreeWidgetItem* from, QTreeWidgetItem* to, bool clearOthers)
{
    const QList<QTreeWidgetItem*> items = VisibleItems();
    const int a = items.indexOf(from), b = items.indexOf(to);
    if (a < 0 || b < 0)
        return;
    const int first = std::min(a, b), last = std::max(a, b);
    for (int k = 0; k < items.size(); ++k) {
        const bool inside = k >= first && k <= last;
        if (inside && !items[k]->isSelected())
            items[k]->setSelected(true);
        else if (!inside && clearOthers && items[k]->isSelected())
            items[k]->setSelected(false);
    }
}

bool CMultiTree::SelectChildren(QTreeWidgetItem* parent, bool select, bool recurse)
{
    bool hadCaret = false;
    for (int k = 0; parent && k < parent->childCount(); ++k) {
        QTreeWidgetItem* child = parent->child(k);
        child->setSelected(select);
        hadCaret = hadCaret || child == currentItem();
        if (recurse && child->isExpanded())
            hadCaret = SelectChildren(child, select, true) || hadCaret;
    }
    return hadCaret;
}

// ---- hit tests ----------------------------------------------------------------------------

QRect CMultiTree::ItemLabelRect(QTreeWidgetItem* item) const
{
    const QRect row = visualItemRect(item);
    if (row.isEmpty())
        return {};
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const int width = itemDelegate()->sizeHint(option, indexFromItem(item)).width();
    return QRect(row.left(), row.top(), std::min(width, row.width()), row.height());
}

QTreeWidgetItem* CMultiTree::ItemAtLabel(const QPoint& point) const
{
    QTreeWidgetItem* item = itemAt(point);
    return item && ItemLabelRect(item).contains(point) ? item : nullptr;
}

bool CMultiTree::OnExpandBox(QTreeWidgetItem* item, const QPoint& point) const
{
    const QRect row = visualItemRect(item);
    return item->childCount() > 0 && point.x() < row.left() && point.x() >= row.left() - indentation();
}

QPoint CMultiTree::ScrollOffset() const
{
    return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

// ---- mouse -----------------------------------------------------------------------------------

void CMultiTree::mousePressEvent(QMouseEvent* event)
{
    const bool left = event->button() == Qt::LeftButton;
    if ((!left && event->button() != Qt::RightButton) || m_track != Track::None)
        return;
    const QPoint point = event->position().toPoint();
    if (QTreeWidgetItem* row = itemAt(point); row && OnExpandBox(row, point)) {
        if (left)
            row->setExpanded(!row->isExpanded());
        return;
    }
    m_bLeft = left;
    m_keys = event->modifiers();
    m_pressPoint = point;
    if (QTreeWidgetItem* item = ItemAtLabel(point)) {
        SelectMultiple(item, left, m_keys);
        m_pressItem = item;
        m_track = Track::Click;
        return;
    }
    // Off the items: a rubber band. With Ctrl or Shift the band works against the
    // selection as it was.
    setFocus(Qt::MouseFocusReason);
    m_remembered = HasCtrlOrShift(m_keys) ? GetSelectedList() : QList<QTreeWidgetItem*>();
    m_bandOrigin = point + ScrollOffset();
    m_bBandShown = false;
    m_track = Track::Band;
    m_bandTimer.start(kBandTimerMs, this);
}

void CMultiTree::SelectMultiple(QTreeWidgetItem* item, bool left, Qt::KeyboardModifiers keys)
{
    const bool ctrl = keys & Qt::ControlModifier, shift = keys & Qt::ShiftModifier;
    if (!left) {
        if (!ctrl && !shift) {
            if (!item->isSelected())
                SelectAllIgnore(false, item);
            item->setSelected(true);
            SetCaret(item);
        } else if (ctrl && !shift) {
            m_hSelect = item;
        }
        return;
    }
    if (shift) {
        if (!m_hSelect)
            m_hSelect = currentItem() ? currentItem() : item;
        SelectRange(m_hSelect, item, !ctrl);
        SetCaret(item);
        return;
    }
    // A Ctrl-click toggles on release, so that a press can still start a drag.
    if (!ctrl && !item->isSelected()) {
        SelectAllIgnore(false, item);
        item->setSelected(true);
        SetCaret(item);
    }
    m_hSelect = nullptr;
}

void CMultiTree::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    if (m_track == Track::Click && BeyondDragDistance(point, m_pressPoint)) {
        // A drag: the item is taken as it is; the tree offers no drag and drop.
        m_pressItem->setSelected(true);
        SetCaret(m_pressItem);
        m_track = Track::None;
        EndTracking(m_bLeft, m_pressPoint);
    } else if (m_track == Track::Band) {
        BandMoveTo(point);
    }
}

void CMultiTree::mouseReleaseEvent(QMouseEvent*)
{
    const Track track = m_track;
    m_track = Track::None;
    if (track == Track::Click)
        EndClick();
    else if (track == Track::Band)
        EndBand(false);
    if (track != Track::None)
        EndTracking(m_bLeft, m_pressPoint);
}

void CMultiTree::EndClick()
{
    if (m_bLeft && !(m_keys & Qt::ShiftModifier)) {
        if (m_keys & Qt::ControlModifier) {
            m_pressItem->setSelected(!m_pressItem->isSelected());
        } else {
            SelectAllIgnore(false, m_pressItem);
            m_pressItem->setSelected(true);
        }
        SetCaret(m_pressItem);
    }
    if (!hasFocus())
        setFocus(Qt::MouseFocusReason);
}

void CMultiTree::EndTracking(bool left, const QPoint& pressPoint)
{
    m_pressItem = nullptr;
    if (!left)
        emit ContextMenuRequested(viewport()->mapToGlobal(pressPoint));
}

void CMultiTree::mouseDoubleClickEvent(QMouseEvent* event)
{
    // As in a plain tree, a double click on an item opens or closes it.
    if (event->button() != Qt::LeftButton)
        return;
    if (QTreeWidgetItem* item = ItemAtLabel(event->position().toPoint()); item && item->childCount() > 0)
        item->setExpanded(!item->isExpanded());
}

// ---- rubber band -----------------------------------------------------------------------------

void CMultiTree::BandMoveTo(const QPoint& point)
{
    if (!m_bBandShown) {
        if (!BeyondDragDistance(point, m_pressPoint))
            return;
        if (!HasCtrlOrShift(m_keys))
            SelectAll(false);
        m_bBandShown = true;
        m_band->show();
    }
    // Held beyond an edge, the tree scrolls one step per move (or per timer tick).
    const QRect client = viewport()->rect();
    if (point.y() < client.top())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (point.y() > client.bottom())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (point.x() < client.left())
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (point.x() > client.right())
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    const QRect band = QRect(m_bandOrigin - ScrollOffset(), point).normalized();
    SelectInBand(band);
    m_band->setGeometry(band);
}

void CMultiTree::SelectInBand(const QRect& band)
{
    const bool ctrl = m_keys & Qt::ControlModifier, shift = m_keys & Qt::ShiftModifier;
    for (QTreeWidgetItem* item : VisibleItems()) {
        QRect rect = m_bBandLabel ? ItemLabelRect(item) : visualItemRect(item);
        if (!m_bBandLabel)
            rect = QRect(0, rect.top(), viewport()->width(), rect.height());
        const bool remembered = m_remembered.contains(item);
        if (rect.intersects(band)) {
            if (!item->isSelected() && !remembered)
                item->setSelected(true);
            if (remembered && ctrl)
                item->setSelected(false);
            if (remembered && shift)
                m_remembered.removeOne(item);
        } else if (item->isSelected()) {
            if (!remembered)
                item->setSelected(false);
        } else if (remembered) {
            item->setSelected(true);
        }
    }
    viewport()->update();
}

void CMultiTree::EndBand(bool cancelled)
{
    m_bandTimer.stop();
    m_band->hide();
    // A click on empty space clears the selection; Escape always does.
    if (cancelled || (!m_bBandShown && !HasCtrlOrShift(m_keys)))
        SelectAll(false);
    m_remembered.clear();
    m_bBandShown = false;
}

void CMultiTree::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_bandTimer.timerId()) {
        QTreeWidget::timerEvent(event);
        return;
    }
    // A mouse held still beyond an edge keeps the tree scrolling.
    const QPoint point = viewport()->mapFromGlobal(QCursor::pos());
    if (m_track == Track::Band && !viewport()->rect().contains(point))
        BandMoveTo(point);
}

// ---- keyboard --------------------------------------------------------------------------------

void CMultiTree::KeyboardContextMenu()
{
    QTreeWidgetItem* item = currentItem();
    if (!item || !VisibleItems().contains(item))
        item = GetFirstSelectedItem();
    if (!item)
        return;
    scrollToItem(item);
    // The item is taken as a right click on it takes it.
    SelectMultiple(item, false, {});
    emit ContextMenuRequested(viewport()->mapToGlobal(ItemLabelRect(item).center()));
}

void CMultiTree::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    if (event->reason() != QContextMenuEvent::Keyboard)
        return;
    // Platforms that send this request for the Menu key send the key press after it.
    m_bMenuKeyServed = true;
    KeyboardContextMenu();
}

void CMultiTree::keyPressEvent(QKeyEvent* event)
{
    const bool menuKey = event->key() == Qt::Key_Menu;
    if (menuKey || (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        const bool served = menuKey && m_bMenuKeyServed;
        m_bMenuKeyServed = false;
        if (!served)
            KeyboardContextMenu();
        event->accept();
        return;
    }
    m_bMenuKeyServed = false;
    if (m_track == Track::Band && event->key() == Qt::Key_Escape) {
        m_track = Track::None;
        EndBand(true);
        return;
    }
    const bool up = event->key() == Qt::Key_Up;
    if (!up && event->key() != Qt::Key_Down) {
        QTreeWidget::keyPressEvent(event);
        return;
    }
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    QTreeWidgetItem* caret = currentItem();
    QTreeWidgetItem* target = caret ? (up ? itemAbove(caret) : itemBelow(caret)) : nullptr;
    if (!target)
        target = caret;
    if (!m_hSelect)
        m_hSelect = caret;
    if (!ctrl && !shift) {
        // As a plain tree: the caret moves and is the only selected item.
        m_hSelect = nullptr;
        SelectAll(false);
        if (!target && !VisibleItems().isEmpty())
            target = VisibleItems().first();
        if (target)
            target->setSelected(true);
    } else if (shift && target) {
        SelectRange(m_hSelect, target, true);
    }
    if (target) {
        SetCaret(target);
        scrollToItem(target);
    }
}
