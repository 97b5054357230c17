// The numeric edit: what typing, deleting, selecting, program texts and leaving the box
// do to the shown text, the last valid text and the notifications.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFocusEvent>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <string>
#include <vector>

#include "app/dialogs/CNumEdit.h"
#include "support/ScriptedReport.h"

namespace {

// The range in a form the edit takes back: digits, no exponent.
const std::vector<std::string> kRangeMessage{
    "Please enter a number with at most 38 digits before the decimal point, without an exponent."};

// The edit shows and holds `number`, and the range message alone was given since the last check.
void ExpectRefused(const CNumEdit& edit, vx::test::TScriptedReport& report, const std::string& number)
{
    EXPECT_EQ(edit.text().toStdString(), number);
    EXPECT_EQ(edit.GetText().toStdString(), number);
    EXPECT_EQ(report.Messages(), kRangeMessage);
    report.Clear();
}

enum class Act { Type, Backspace, SetText, SelectAll, Cursor, Leave };

struct TStep {
    Act act;
    std::string text;  // typed or set text; the caret position for Cursor
};

struct TCase {
    const char* name;
    std::vector<TStep> steps;
    std::string shown;     // text on screen at the end
    std::string last;      // GetText() at the end
    int notifications;
    int caret;  // -1: not checked
};

TEST(CNumEditTest, TypedTextsKeepTheLastValidNumberAndNotifyOnlyUserNumbers)
{
    const TCase cases[] = {
        {"a letter after a digit is undone, caret kept", {{Act::Type, "1a"}}, "1", "1", 1, 1},
        {"a minus alone is kept unannounced", {{Act::SetText, "7"}, {Act::SelectAll, ""}, {Act::Type, "-"}},
         "-", "7", 0, -1},
        {"leaving an unfinished number shows the last one",
         {{Act::SetText, "7"}, {Act::SelectAll, ""}, {Act::Type, "-."}, {Act::Leave, ""}}, "7", "7", 0, -1},
        {"leaving an emptied box shows the last number",
         {{Act::SetText, "42"}, {Act::SelectAll, ""}, {Act::Backspace, ""}, {Act::Leave, ""}}, "42", "42", 0, -1},
        {"a program text is silent", {{Act::SetText, "2.5"}}, "2.5", "2.5", 0, -1},
        {"retyping the program text counts as an edit",
         {{Act::SetText, "2.5"}, {Act::Type, "5"}, {Act::Backspace, ""}}, "2.5", "2.5", 2, -1},
        {"a second point never goes in", {{Act::Type, "3.1.4"}}, "3.14", "3.14", 4, 4},
        {"each valid step of a negative number notifies", {{Act::Type, "-0.5"}}, "-0.5", "-0.5", 3, -1},
        {"plus and blanks are refused, a typed exponent takes the digits before it along",
         {{Act::Type, "+ 1e5"}, {Act::Leave, ""}}, "", "", 1, -1},
        {"a refused key keeps the caret inside the text",
         {{Act::SetText, "123"}, {Act::Cursor, "1"}, {Act::Type, "x"}}, "123", "123", 0, 1},
        {"a refused key keeps the selection it would have replaced",
         {{Act::SetText, "12.5"}, {Act::SelectAll, ""}, {Act::Type, "x9"}}, "9", "9", 1, 1},
        {"an emptied box keeps the last number without notifying",
         {{Act::Type, "8"}, {Act::Backspace, ""}}, "", "8", 1, -1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget parent;
        CNumEdit edit;
        edit.Create("", QRect(0, 0, 80, 20), &parent, 1125);
        std::vector<int> ids;
        QObject::connect(&edit, &CNumEdit::NumberEdited, [&ids](int id) { ids.push_back(id); });
        for (const TStep& step : c.steps) {
            switch (step.act) {
            case Act::Type:
                QTest::keyClicks(&edit, QString::fromStdString(step.text));
                break;
            case Act::Backspace:
                QTest::keyClick(&edit, Qt::Key_Backspace);
                break;
            case Act::SetText:
                edit.SetText(QString::fromStdString(step.text));
                break;
            case Act::SelectAll:
                edit.selectAll();
                break;
            case Act::Cursor:
                edit.setCursorPosition(std::stoi(step.text));
                break;
            case Act::Leave: {
                QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
                QApplication::sendEvent(&edit, &out);
                break;
            }
            }
        }
        EXPECT_EQ(edit.text().toStdString(), c.shown);
        EXPECT_EQ(edit.GetText().toStdString(), c.last);
        EXPECT_EQ(ids, std::vector<int>(c.notifications, 1125));
        if (c.caret >= 0) {
            EXPECT_EQ(edit.cursorPosition(), c.caret);
        }
    }
}

TEST(CNumEditTest, NumbersAFloatCannotHoldAreRefusedWithTheRange)
{
    vx::test::TScriptedReport report;
    QWidget parent;
    CNumEdit edit;
    edit.Create("7", QRect(0, 0, 300, 20), &parent, 1046);
    int notified = 0;
    QObject::connect(&edit, &CNumEdit::NumberEdited, [&notified] { ++notified; });

    // Pasted over the whole text, "1e400", or digits beyond even a double, leave the box as
    // it was.
    for (const std::string& pasted : {std::string("1e400"), std::string(400, '9')}) {
        QApplication::clipboard()->setText(QString::fromStdString(pasted));
        edit.selectAll();
        QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
        ExpectRefused(edit, report, "7");
    }
    EXPECT_EQ(notified, 0);

    // Typed digit by digit, the digit that passes the largest float is refused.
    const std::string largest = "3" + std::string(38, '0');  // 3e38
    for (const std::string sign : {"", "-"}) {
        notified = 0;
        edit.selectAll();
        QTest::keyClicks(&edit, QString::fromStdString(sign + largest + "0"));
        ExpectRefused(edit, report, sign + largest);
        EXPECT_EQ(notified, 39);
    }
}

TEST(CNumEditTest, ATypedExponentIsRefusedWholeWhenTheNumberIsCommitted)
{
    vx::test::TScriptedReport report;
    QDialog dialog;
    auto* edit = new CNumEdit;
    auto* other = new QLineEdit;
    auto* ok = new QPushButton("OK");
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    auto* layout = new QVBoxLayout(&dialog);
    for (QWidget* w : {static_cast<QWidget*>(edit), static_cast<QWidget*>(other), static_cast<QWidget*>(ok)})
        layout->addWidget(w);
    edit->SetText("7");
    std::vector<std::string> notified;
    QObject::connect(edit, &CNumEdit::NumberEdited, [&] { notified.push_back(edit->GetText().toStdString()); });
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));

    // "e400" typed after the 7 is shown as typed but never becomes the number; leaving the
    // box with Tab refuses it whole and shows the 7 again.
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClicks(edit, "e400");
    EXPECT_EQ(edit->text().toStdString(), "7e400");
    EXPECT_EQ(edit->GetText().toStdString(), "7");
    EXPECT_TRUE(report.Messages().empty());
    QTest::keyClick(edit, Qt::Key_Tab);
    EXPECT_TRUE(other->hasFocus());
    ExpectRefused(*edit, report, "7");
    EXPECT_TRUE(notified.empty());

    // "1e3" over the whole text: the 1 was a number, but it goes with the refused exponent;
    // the box holds the 7 it held before the edit, never 1 or 13, and says so to its owner.
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "1e3");
    QTest::keyClick(edit, Qt::Key_Tab);
    ExpectRefused(*edit, report, "7");
    EXPECT_EQ(notified, (std::vector<std::string>{"1", "7"}));

    // A number left with Tab is the one a later refusal goes back to.
    notified.clear();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "2");
    QTest::keyClick(edit, Qt::Key_Tab);
    EXPECT_EQ(edit->GetText().toStdString(), "2");

    // Return on a typed exponent refuses it and keeps the dialog open; Return on the
    // number then shown closes it without another message.
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClicks(edit, "5e-5");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    ExpectRefused(*edit, report, "2");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(edit->GetText().toStdString(), "2");
    EXPECT_TRUE(report.Messages().empty());
    EXPECT_EQ(notified, (std::vector<std::string>{"2", "25", "2"}));
}

}  // namespace
