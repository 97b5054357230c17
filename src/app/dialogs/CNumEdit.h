#pragma once
// An edit box that only ever holds a decimal number or the beginning of one ("-", ".",
// "-."): an optional leading minus, digits and at most one point. A user edit that would
// make the text anything else is undone on the spot, caret and selection included. It
// keeps the last complete number typed or set (GetText), tells its owner about every
// complete number the user enters (NumberEdited) but never about texts the program sets,
// and on losing the focus replaces an unfinished or empty text by that last number. A
// number a float cannot hold, or one written with an exponent, is refused with a message
// naming the range (vx::app::DecimalRangeText). An exponent being typed stays on screen
// without becoming the number and is refused whole when the box is left or Return is
// pressed: the box then holds the number it held before the edit began (when it was last
// set, left or confirmed).
#include <QLineEdit>
#include <QString>

class CNumEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CNumEdit(QWidget* parent = nullptr);

    // Makes the box a visible child of `parent` at `rect` holding `text`, with the
    // identifier its notifications carry.
    void Create(const QString& text, const QRect& rect, QWidget* parent, int id);

    // The program's text: shown and kept as the last valid text, without notification.
    virtual void SetText(const QString& text);
    void SetValue(const QString& text) { SetText(text); }
    // The last valid text.
    QString GetText() const { return m_strLast; }

    void SetID(int id) { m_nID = id; }
    int ID() const { return m_nID; }

    // Never narrower than the widest number the program writes into a box
    // (vx::app::kWidestNumber), so that a layout always shows it whole.
    QSize minimumSizeHint() const override;

signals:
    // The user has entered a complete number (now GetText()).
    void NumberEdited(int id);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void OnTextEdited(const QString& text);
    // "-", "." and "-.": a number being started, kept but not yet a value.
    static bool IsUnfinished(const QString& text);
    // A number written with an exponent, complete or not ("1e", "-2.5E+").
    static bool HasExponent(const QString& text);
    // A shown exponent gives way to the last number, with the range message; true if so.
    bool RefuseExponent();

    QString m_strPrev;  // text before the last user edit
    int m_nSelStart = 0;  // selection before the last key
    int m_nSelEnd = 0;
    QString m_strLast;  // last valid text
    QString m_strCommitted;  // the number before the current edit: set, left or confirmed
    int m_nID = 0;
    bool m_bTyping = false;  // a key other than paste is being handled
};
