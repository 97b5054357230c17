#include "app/dialogs/DialogFields.h"

#include <QLineEdit>

#include <cstdint>
#include <functional>
#include <string>

#include "app/dialogs/CNumEdit.h"
#include "model/math/TextHelpers.h"
#include "platform/Numbers.h"
#include "platform/Report.h"

namespace vx::app {
namespace {

constexpr char kTextBeforeEdit[] = "vxTextBeforeEdit";

bool Refuse(QLineEdit* edit, const std::string& text)
{
    vx::Report(text, vx::ReportIcon::Exclamation);
    RestoreTextBeforeEdit(edit);
    edit->setFocus();
    edit->selectAll();
    return false;
}

bool ParseInteger(const QLineEdit* edit, int64_t& value)
{
    return vx::ParseInt64(edit->text().toStdString(), value);
}

// What the field holds: a numeric edit's last valid number, else the text shown.
std::string FieldText(const QLineEdit* edit)
{
    const auto* number = qobject_cast<const CNumEdit*>(edit);
    return (number ? number->GetText() : edit->text()).toStdString();
}

}  // namespace

bool ReadIntegerField(QLineEdit* edit, int& value)
{
    int64_t typed = 0;
    if (!ParseInteger(edit, typed) || typed < INT32_MIN || typed > INT32_MAX)
        return Refuse(edit, "Please enter an integer.");
    value = static_cast<int>(typed);
    return true;
}

bool ReadIntegerField(QLineEdit* edit, int low, int high, int& value, const QString& name)
{
    int64_t typed = 0;
    if (!ParseInteger(edit, typed) || typed < low || typed > high)
        return Refuse(edit, (name.isEmpty() ? "" : name.toStdString() + ": ") + "Please enter an integer between " +
                                std::to_string(low) + " and " + std::to_string(high) + ".");
    value = static_cast<int>(typed);
    return true;
}

std::string FloatRangeText()
{
    return "Please enter a number between -3.40282e+38 and 3.40282e+38.";
}

std::string DecimalRangeText()
{
    // Every number of 38 digits lies below the largest float (about 3.4 times 10 to the 38).
    return "Please enter a number with at most 38 digits before the decimal point, without an exponent.";
}

bool ReadFloatField(QLineEdit* edit, float& value)
{
    if (!vx::ParseFloat(FieldText(edit), value))
        return Refuse(edit, FloatRangeText());
    return true;
}

std::string NumberAboveText(double low)
{
    return "Please enter a number larger than " + FloatToStringG(static_cast<float>(low), 6) + ".";
}

bool ReadNumberAbove(QLineEdit* edit, double low, float& value)
{
    float typed = 0.0f;
    if (!vx::ParseFloat(FieldText(edit), typed) || !(typed > low))
        return Refuse(edit, NumberAboveText(low));
    value = typed;
    return true;
}

namespace {

// The text the program sets is kept as it is; a text the user leaves only when `accepted`.
void KeepAcceptedText(QLineEdit* edit, std::function<bool(const QString&)> accepted)
{
    edit->setProperty(kTextBeforeEdit, edit->text());
    // setText clears the modified flag: a change without it is the program's.
    QObject::connect(edit, &QLineEdit::textChanged, edit, [edit](const QString& text) {
        if (!edit->isModified())
            edit->setProperty(kTextBeforeEdit, text);
    });
    QObject::connect(edit, &QLineEdit::editingFinished, edit, [edit, accepted = std::move(accepted)] {
        if (accepted(edit->text()))
            edit->setProperty(kTextBeforeEdit, edit->text());
    });
}

}  // namespace

void KeepTextBeforeEdit(QLineEdit* edit)
{
    // A validator lets only acceptable texts finish; without one the text must be a number.
    KeepAcceptedText(edit, [edit](const QString& text) {
        float number = 0.0f;
        return edit->validator() || vx::ParseFloat(text.toStdString(), number);
    });
}

void KeepTextBeforeEdit(QLineEdit* edit, int low, int high)
{
    KeepAcceptedText(edit, [low, high](const QString& text) {
        int64_t number = 0;
        return vx::ParseInt64(text.toStdString(), number) && number >= low && number <= high;
    });
}

bool RestoreTextBeforeEdit(QLineEdit* edit)
{
    const QVariant before = edit->property(kTextBeforeEdit);
    if (!before.isValid())
        return false;
    edit->setText(before.toString());
    return true;
}

}  // namespace vx::app
