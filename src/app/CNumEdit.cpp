#include "app/CNumEdit.h"

#include <QKeyEvent>

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "model/TextHelpers.h"
#include "platform/Numbers.h"
#include "platform/Report.h"

CNumEdit::CNumEdit(QWidget* parent) : QLineEdit(parent)
{
    // textEdited comes from user edits only (typing, deleting, pasting, undo), so texts
    // the program sets never notify.
    connect(this, &QLineEdit::textEdited, this, &CNumEdit::OnTextEdited);
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
    setText(text);
}

std::string CNumEdit::RangeText()
{
    const std::string limit = FloatToStringG(std::numeric_limits<float>::max(), 6);
    return "Please enter a number between -" + limit + " and " + limit + ", without an exponent.";
}

bool CNumEdit::IsUnfinished(const QString& text)
{
    return text == "-" || text == "." || text == "-.";
}

void CNumEdit::keyPressEvent(QKeyEvent* event)
{
    // The text and selection before the key, to go back to when it makes no number.
    m_strPrev = text();
    if (hasSelectedText()) {
        m_nSelStart = selectionStart();
        m_nSelEnd = selectionEnd();
    } else {
        m_nSelStart = m_nSelEnd = cursorPosition();
    }
    QLineEdit::keyPressEvent(event);
}

void CNumEdit::OnTextEdited(const QString& text)
{
    if (text.isEmpty()) {
        m_strPrev = text;
        return;
    }
    // Beyond what a float holds, or written with an exponent (which the box does not take):
    // refused with the range, the text as it was.
    const std::string typed = text.toStdString();
    const bool number = IsNumber(typed);
    const bool exponent = !number && text.contains(QRegularExpression("^-?[0-9]*\\.?[0-9]*[eE][-+]?[0-9]*$"));
    const double value = number && !IsUnfinished(text) ? vx::LeadingDouble(typed) : 0.0;
    const bool tooLarge = std::fabs(value) > std::numeric_limits<float>::max();
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
            vx::Report(RangeText(), vx::ReportIcon::Exclamation);
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
}
