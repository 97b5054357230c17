// The multi-selection tree: clicks with Ctrl and Shift, the right button, the keyboard,
// the rubber band with its remembered selection, and what collapsing does to the
// selection. Items are named by their text; clicks land in the middle of an item's label.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <string>
#include <vector>

#include "app/CMultiTree.h"

namespace {

class MultiTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Visible order: A a1 a2 a3 B b1 b2.
        for (const char* root : {"A", "B"}) {
            auto* top = new QTreeWidgetItem(&tree, QStringList(root));
            const int children = root[0] == 'A' ? 3 : 2;
            for (int k = 1; k <= children; ++k)
                new QTreeWidgetItem(top, QStringList(QString(root).toLower() + QString::number(k)));
        }
        tree.expandAll();
        tree.resize(240, 400);
        tree.show();
        QApplication::processEvents();
    }

    QTreeWidgetItem* Item(const std::string& text)
    {
        const auto found = tree.findItems(QString::fromStdString(text), Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    }
    QPoint LabelCentre(const std::string& text) { return tree.ItemLabelRect(Item(text)).center(); }
    // A point of the item's row to the right of its label, off the item.
    QPoint RightOf(const std::string& text)
    {
        const QRect label = tree.ItemLabelRect(Item(text));
        return {label.right() + 40, label.center().y()};
    }
    void Click(const std::string& text, Qt::KeyboardModifiers keys = {}, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(tree.viewport(), button, keys, LabelCentre(text));
    }
    std::string Selected()
    {
        std::string names;
        for (QTreeWidgetItem* item : tree.GetSelectedList())
            names += (names.empty() ? "" : " ") + item->text(0).toStdString();
        return names;
    }
    std::string Caret() { return tree.GetCaret() ? tree.GetCaret()->text(0).toStdString() : ""; }
    void Band(const QPoint& from, const std::vector<QPoint>& path, Qt::KeyboardModifiers keys = {})
    {
        QTest::mousePress(tree.viewport(), Qt::LeftButton, keys, from);
        for (const QPoint& p : path)
            QTest::mouseMove(tree.viewport(), p);
        QTest::mouseRelease(tree.viewport(), Qt::LeftButton, keys, path.empty() ? from : path.back());
    }

    CMultiTree tree;
};

struct TClick {
    const char* item;  // "" clicks right of a1's label, off every item
    Qt::KeyboardModifiers keys;
    Qt::MouseButton button;
};

TEST_F(MultiTreeTest, ClicksSelectAsCtrlAndShiftSay)
{
    const Qt::KeyboardModifiers none, ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier;
    const Qt::MouseButton left = Qt::LeftButton, right = Qt::RightButton;
    struct TCase {
        const char* name;
        std::vector<TClick> clicks;
        const char* selected;
        const char* caret;
    } cases[] = {
        {"a click selects the item alone", {{"a1", none, left}, {"a3", none, left}}, "a3", "a3"},
        {"Ctrl toggles on and off", {{"a1", none, left}, {"b1", ctrl, left}, {"a2", ctrl, left}, {"a1", ctrl, left}},
         "a2 b1", "a1"},
        {"Shift without an anchor ranges from the caret", {{"a2", none, left}, {"B", shift, left}}, "a2 a3 B", "B"},
        {"Shift keeps its anchor", {{"a3", none, left}, {"b2", shift, left}, {"a1", shift, left}}, "a1 a2 a3", "a1"},
        {"Ctrl+Shift adds the range to the selection",
         {{"A", none, left}, {"b1", ctrl, left}, {"a2", ctrl | shift, left}}, "A a2 a3 B b1", "a2"},
        {"a right click on an unselected item selects it alone",
         {{"a1", none, left}, {"a2", ctrl, left}, {"b2", none, right}}, "b2", "b2"},
        {"a right click inside the selection keeps it",
         {{"a1", none, left}, {"a2", ctrl, left}, {"a3", ctrl, left}, {"a2", none, right}}, "a1 a2 a3", "a2"},
        {"a click off the items clears the selection", {{"a1", none, left}, {"a3", ctrl, left}, {"", none, left}}, "",
         "a3"},
        {"a click off the items with Ctrl keeps it", {{"a1", none, left}, {"", ctrl, left}}, "a1", "a1"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        tree.SelectAll(false);
        tree.SetCaret(nullptr);
        tree.m_hSelect = nullptr;
        for (const TClick& click : c.clicks) {
            const QPoint at = *click.item ? LabelCentre(click.item) : RightOf("a1");
            QTest::mouseClick(tree.viewport(), click.button, click.keys, at);
        }
        EXPECT_EQ(Selected(), c.selected);
        EXPECT_EQ(Caret(), c.caret);
    }
}

TEST_F(MultiTreeTest, RightClickAsksForTheMenuAfterTheSelectionFollowed)
{
    Click("a1");
    std::string selectedAtMenu;
    QPoint menuPoint;
    QObject::connect(&tree, &CMultiTree::ContextMenuRequested, [&](const QPoint& screen) {
        selectedAtMenu = Selected();
        menuPoint = screen;
    });
    QSignalSpy spy(&tree, &CMultiTree::ContextMenuRequested);
    Click("b1", {}, Qt::RightButton);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(selectedAtMenu, "b1");
    EXPECT_EQ(menuPoint, tree.viewport()->mapToGlobal(LabelCentre("b1")));
    Click("a2");  // the left button asks for no menu
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(MultiTreeTest, CollapsingDeselectsWhatItHidesAndLetsGoOfTheCaret)
{
    Click("a2");
    Click("a3", Qt::ControlModifier);
    Click("b1", Qt::ControlModifier);
    ASSERT_EQ(Caret(), "b1");
    Item("B")->setExpanded(false);
    EXPECT_EQ(Selected(), "a2 a3");
    EXPECT_EQ(Caret(), "");
    EXPECT_FALSE(Item("b1")->isSelected());

    // An item selected out of sight is not part of the selection the tree reports.
    Item("b2")->setSelected(true);
    EXPECT_EQ(Selected(), "a2 a3");
    EXPECT_EQ(tree.GetFirstSelectedItem(), Item("a2"));
    EXPECT_EQ(tree.GetNextSelectedItem(Item("a3")), nullptr);
}

TEST_F(MultiTreeTest, ArrowKeysMoveTheCaretAndShiftExtendsFromTheAnchor)
{
    Click("a2");
    QTest::keyClick(&tree, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(&tree, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(Selected(), "a2 a3 B");
    QTest::keyClick(&tree, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(Selected(), "a2 a3");
    EXPECT_EQ(Caret(), "a3");

    QTest::keyClick(&tree, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(Selected(), "a2 a3");
    EXPECT_EQ(Caret(), "B");

    QTest::keyClick(&tree, Qt::Key_Down);
    EXPECT_EQ(Selected(), "b1");
    EXPECT_EQ(Caret(), "b1");
}

TEST_F(MultiTreeTest, RubberBandSelectsTheRowsItTouches)
{
    Click("b2");
    // From right of a1 down to right of a3: a1, a2 and a3 alone.
    Band(RightOf("a1"), {RightOf("a2"), RightOf("a3")});
    EXPECT_EQ(Selected(), "a1 a2 a3");

    // With Ctrl the band toggles what it covers and gives back what it leaves.
    Click("a2");
    Click("b1", Qt::ControlModifier);
    QTest::mousePress(tree.viewport(), Qt::LeftButton, Qt::ControlModifier, RightOf("a1"));
    QTest::mouseMove(tree.viewport(), RightOf("a3"));
    EXPECT_EQ(Selected(), "a1 a3 b1");
    QTest::mouseMove(tree.viewport(), RightOf("a1") + QPoint(10, 0));
    EXPECT_EQ(Selected(), "a1 a2 b1");
    QTest::mouseRelease(tree.viewport(), Qt::LeftButton, Qt::ControlModifier, RightOf("a1") + QPoint(10, 0));
    EXPECT_EQ(Selected(), "a1 a2 b1");

    // Escape while the band is drawn clears the whole selection.
    QTest::mousePress(tree.viewport(), Qt::LeftButton, Qt::ControlModifier, RightOf("a1"));
    QTest::mouseMove(tree.viewport(), RightOf("a3"));
    QTest::keyClick(&tree, Qt::Key_Escape);
    EXPECT_EQ(Selected(), "");
    QTest::mouseRelease(tree.viewport(), Qt::LeftButton, Qt::ControlModifier, RightOf("a3"));
    EXPECT_EQ(Selected(), "");
}

TEST_F(MultiTreeTest, RubberBandHeldBelowTheEdgeScrollsAndSelectsWhatComesIntoView)
{
    // A short tree: the last rows lie below the viewport.
    tree.resize(240, tree.visualItemRect(Item("a3")).bottom() + 4);
    QApplication::processEvents();
    ASSERT_GT(tree.verticalScrollBar()->maximum(), 0);
    const QPoint start = RightOf("a1");
    const QPoint below(start.x(), tree.viewport()->height() + 20);
    QTest::mousePress(tree.viewport(), Qt::LeftButton, {}, start);
    for (int k = 0; k < 40 && tree.verticalScrollBar()->value() < tree.verticalScrollBar()->maximum(); ++k)
        QTest::mouseMove(tree.viewport(), below + QPoint(0, k % 2));
    QTest::mouseRelease(tree.viewport(), Qt::LeftButton, {}, below);
    EXPECT_EQ(tree.verticalScrollBar()->value(), tree.verticalScrollBar()->maximum());
    EXPECT_EQ(Selected(), "a1 a2 a3 B b1 b2");
}

}  // namespace
