#include "app/dialogs/CNumEdit.h"

#include <QKeyEvent>

#include <QRegularExpression>

#include <algorithm>
#include <string>

#include "app/dialogs/DialogFields.h"
#include "app/dialogs/DialogHelpers.h"
#include "model/math/TextHelpers.h"
#include "platform/Numbers.h"
#include "platform/Report.h"

CNumEdit::CNumEdit(QWidget* parent) : QLineEdit(parent)
{
    // textEdited comes from user edits only (typing, deleting, pasting, undo), so texts
    // the program sets never notify.
    connect(this, &QLineEdit::textEdited, this, &CNumEdit::OnTextEdited);
}

QSize CNumEdit::minimumSizeHint() const
{
    QSize size = QLineEdit::minimumSizeHint();
    size.setWidth(std::max(size.width(), vx::app::EditWidthFor(this, vx::app::kWidestNumber)));
    return size;
}

void CNumEdit::Create(const QString& text, const QRect& rect, QWidget* parent, int id)
{
    setParent(parent);
    setGeometry(rect);
    setFocusPolicy(Qt::StrongFocus);
    m_nID = id;
    SetText(text);
    show();
}

void CNumEdit::SetText(const QString& text)
{
    m_strLast = text;
    m_strPrev = text;
    m_strCommitted = text;
    setText(text);
}

bool CNumEdit::IsUnfinished(const QString& text)
{
    return text == "-" || text == "." || text == "-.";
}

bool CNumEdit::HasExponent(const QString& text)
{
    static const QRegularExpression exponent("^-?[0-9]*\\.?[0-9]*[eE][-+]?[0-9]*$");
    return exponent.match(text).hasMatch();
}

bool CNumEdit::RefuseExponent()
{
    if (!HasExponent(text()))
        return false;
    // The whole edit goes: the digits typed before the "e" were part of the refused number.
    // An owner that took them hears of the number back in the box.
    const bool taken = m_strLast != m_strCommitted;
    SetText(m_strCommitted);
    if (taken && !m_strCommitted.isEmpty())
        emit NumberEdited(m_nID);
    vx::Report(vx::app::DecimalRangeText(), vx::ReportIcon::Exclamation);
    return true;
}

void CNumEdit::keyPressEvent(QKeyEvent* event)
{
    // Return ends a typed exponent like leaving the box; when it is refused the key stays
    // here, so a dialog does not take the last number for the one on screen.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (RefuseExponent()) {
            event->accept();
            return;
        }
        m_strCommitted = m_strLast;
    }
    // The text and selection before the key, to go back to when it makes no number.
    m_strPrev = text();
    if (hasSelectedText()) {
        m_nSelStart = selectionStart();
        m_nSelEnd = selectionEnd();
    } else {
        m_nSelStart = m_nSelEnd = cursorPosition();
    }
    m_bTyping = !event->matches(QKeySequence::Paste);
    QLineEdit::keyPressEvent(event);
    m_bTyping = false;
}

void CNumEdit::OnTextEdited(const QString& text)
{
    if (text.isEmpty()) {
        m_strPrev = text;
        return;
    }
    // Beyond what a float holds, or written with an exponent (which the box does not take):
    // refused with the range, the text as it was. An exponent being typed is kept as it
    // is, never as a value, and refused whole when the box is left or Return pressed, so
    // the digits typed after its "e" cannot join the number before it.
    const std::string typed = text.toStdString();
    const bool number = IsNumber(typed);
    const bool exponent = !number && HasExponent(text);
    if (exponent && m_bTyping) {
        m_strPrev = text;
        return;
    }
    float value = 0.0f;
    const bool tooLarge = number && !IsUnfinished(text) && !vx::ParseFloat(typed, value);
    if (!number || tooLarge) {
        const int length = static_cast<int>(m_strPrev.size());
        setText(m_strPrev);
        const int start = std::min(m_nSelStart, length);
        const int end = std::min(m_nSelEnd, length);
        if (end > start)
            setSelection(start, end - start);
        else
            setCursorPosition(start);
        if (exponent || tooLarge)
            vx::Report(vx::app::DecimalRangeText(), vx::ReportIcon::Exclamation);
        return;
    }
    m_strPrev = text;
    if (IsUnfinished(text))
        return;
    m_strLast = text;
    emit NumberEdited(m_nID);
}

void CNumEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    if (text().isEmpty() || IsUnfinished(text()))
        SetText(m_strLast);
    // A typed exponent waits while the window is left or the box's own menu is open.
    else if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason &&
             !RefuseExponent())
        m_strCommitted = m_strLast;
}
