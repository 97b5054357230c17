#pragma once
// Reading the typed fields of a dialog on OK. A field that holds no acceptable number is
// reported, shows the text it held before the edit (when it keeps one), gets the focus with
// that text selected, and the caller keeps the dialog open.
#include <QString>

#include <string>

class QLineEdit;

namespace vx::app {

// A whole number; otherwise "Please enter an integer.".
bool ReadIntegerField(QLineEdit* edit, int& value);
// A whole number from `low` to `high`; otherwise
// "Please enter an integer between <low> and <high>.", after "<name>: " when the box is named.
bool ReadIntegerField(QLineEdit* edit, int low, int high, int& value, const QString& name = {});
// A number a float holds (of a numeric edit, its last valid number); otherwise
// FloatRangeText().
bool ReadFloatField(QLineEdit* edit, float& value);
// The refusal of a typed number that is none or lies beyond a float's range, with limits
// inside that range written as such an edit takes them, exponent and all.
std::string FloatRangeText();
// The same for a numeric edit, which takes no exponent: the range as a count of digits.
std::string DecimalRangeText();
// A number larger than `low` (of a numeric edit, its last valid number); otherwise
// "Please enter a number larger than <low>.".
bool ReadNumberAbove(QLineEdit* edit, double low, float& value);
// The text of that refusal.
std::string NumberAboveText(double low);

// Makes a plain edit keep the text it held before the user's edit: the text the program last
// set, or the last number left with Return or by leaving the box.
void KeepTextBeforeEdit(QLineEdit* edit);
// The same for a box of whole numbers from `low` to `high`: a number left in the box counts
// only when it lies in that range, so that a refusal never puts back the refused number.
void KeepTextBeforeEdit(QLineEdit* edit, int low, int high);
// Shows that text again after a refusal; false for an edit that keeps none.
bool RestoreTextBeforeEdit(QLineEdit* edit);

}  // namespace vx::app
