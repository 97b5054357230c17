#include "app/CNumEdit.h"

#include <QKeyEvent>

#include <algorithm>

#include "model/TextHelpers.h"

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
    if (!IsNumber(text.toStdString())) {
        const int length = static_cast<int>(m_strPrev.size());
        setText(m_strPrev);
        const int start = std::min(m_nSelStart, length);
        const int end = std::min(m_nSelEnd, length);
        if (end > start)
            setSelection(start, end - start);
        else
            setCursorPosition(start);
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
