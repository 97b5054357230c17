#pragma once
// A tree in which the user selects several items: Ctrl-click toggles an item, Shift-click
// selects the range from the anchor, and a drag that starts off the items draws a rubber
// band selecting what it touches, scrolling the tree while the mouse is held beyond an
// edge. The selection is each item's selected state; the caret (the current item, which
// has the keyboard focus) moves separately and never selects by itself.
//
// Only items on screen count: the walks go through the visible rows in display order,
// and collapsing a group deselects everything inside it.
#include <QBasicTimer>
#include <QList>
#include <QPoint>
#include <QTreeWidget>

class QRubberBand;

class CMultiTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit CMultiTree(QWidget* parent = nullptr);

    QTreeWidgetItem* GetCaret() const { return currentItem(); }
    // Moves the caret without changing any selection (null: no caret).
    void SetCaret(QTreeWidgetItem* item);

    // Walks of the visible rows: the first selected one, the next selected one after
    // `item`, and all of them in display order.
    QTreeWidgetItem* GetFirstSelectedItem() const;
    QTreeWidgetItem* GetNextSelectedItem(QTreeWidgetItem* item) const;
    QList<QTreeWidgetItem*> GetSelectedList() const;
    // Every visible item in display order.
    QList<QTreeWidgetItem*> VisibleItems() const;

    void SelectAll(bool select) { SelectAllIgnore(select, nullptr); }
    // The same for every visible item but `ignore`.
    void SelectAllIgnore(bool select, QTreeWidgetItem* ignore);
    // Selects the visible items from the first of `from` and `to` in display order to the
    // other, both included; with clearOthers every other visible item is deselected.
    void SelectRange(QTreeWidgetItem* from, QTreeWidgetItem* to, bool clearOthers);
    // Gives every child the selection, descending into expanded children when `recurse`;
    // true when one of them was the caret.
    bool SelectChildren(QTreeWidgetItem* parent, bool select, bool recurse);

    // What counts as the item for a click: its icon and text (viewport coordinates).
    QRect ItemLabelRect(QTreeWidgetItem* item) const;
    // The item whose icon or text lies under the viewport point, else null.
    QTreeWidgetItem* ItemAtLabel(const QPoint& point) const;

    // Anchor of the Shift ranges.
    QTreeWidgetItem* m_hSelect = nullptr;
    // The band hits an item through its label (true) or its whole row (false).
    bool m_bBandLabel = false;

signals:
    // A right button went down and up (or was dragged) at this screen point, or the
    // Menu key or Shift+F10 asked for the caret item's menu at its label; the selection
    // has already followed.
    void ContextMenuRequested(const QPoint& screen);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    enum class Track { None, Click, Band };

    // Selection at the press on an item's label.
    void SelectMultiple(QTreeWidgetItem* item, bool left, Qt::KeyboardModifiers keys);
    // The menu of the caret item (else of the first selected one), asked for by a key.
    void KeyboardContextMenu();
    // The end of a press on an item without a drag.
    void EndClick();
    void BandMoveTo(const QPoint& point);
    void SelectInBand(const QRect& band);
    void EndBand(bool cancelled);
    void EndTracking(bool left, const QPoint& pressPoint);
    // The expand box of the item's row lies under the point.
    bool OnExpandBox(QTreeWidgetItem* item, const QPoint& point) const;
    QPoint ScrollOffset() const;

    Track m_track = Track::None;
    bool m_bLeft = true;
    Qt::KeyboardModifiers m_keys;
    QPoint m_pressPoint;    // viewport coordinates
    QPoint m_bandOrigin;    // content coordinates (viewport + scroll offset)
    QTreeWidgetItem* m_pressItem = nullptr;
    bool m_bBandShown = false;
    QList<QTreeWidgetItem*> m_remembered;  // selected before a band with Ctrl or Shift
    QRubberBand* m_band = nullptr;
    QBasicTimer m_bandTimer;
    bool m_bMenuKeyServed = false;  // a keyboard menu request came before its Menu key
};
