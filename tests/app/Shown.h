#pragma once
// A row of dialog controls as the user sees them, in one string for one comparison: an
// edit's or a list box's text, "[x]" or "[ ]" for a button's tick, the number of selected
// rows of a list as "#n"; a "-" follows a control that is disabled.
#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>

#include <initializer_list>
#include <string>

namespace vx::test {

inline std::string Shown(std::initializer_list<const QWidget*> controls)
{
    std::string out;
    bool first = true;
    for (const QWidget* w : controls) {
        QString text;
        if (auto* button = qobject_cast<const QAbstractButton*>(w))
            text = button->isChecked() ? "[x]" : "[ ]";
        else if (auto* edit = qobject_cast<const QLineEdit*>(w))
            text = edit->text();
        else if (auto* box = qobject_cast<const QComboBox*>(w))
            text = box->currentText();
        else if (auto* list = qobject_cast<const QListWidget*>(w))
            text = "#" + QString::number(list->selectedItems().size());
        out += (first ? "" : " ") + text.toStdString() + (w->isEnabled() ? "" : "-");
        first = false;
    }
    return out;
}

}  // namespace vx::test
