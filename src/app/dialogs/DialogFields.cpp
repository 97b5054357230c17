#include "app/dialogs/DialogFields.h"

#include <QLineEdit>

#include <cstdint>
#include <string>

#include "app/dialogs/CNumEdit.h"
#include "model/math/TextHelpers.h"
#include "platform/Numbers.h"
#include "platform/Report.h"

namespace vx::app {
namespace {

bool Refuse(QLineEdit* edit, const std::string& text)
{
    vx::Report(text, vx::ReportIcon::Exclamation);
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

bool ReadIntegerField(QLineEdit* edit, int low, int high, int& value)
{
    int64_t typed = 0;
    if (!ParseInteger(edit, typed) || typed < low || typed > high)
        return Refuse(edit, "Please enter an integer between " + std::to_string(low) + " and " +
                                std::to_string(high) + ".");
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

}  // namespace vx::app
