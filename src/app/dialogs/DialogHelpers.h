#pragma once
// Building blocks of the dialogs: rows of three per-axis controls in a titled group, edit
// boxes for whole numbers, and the import of the files chosen in an import dialog.
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CNumEdit;
class QGroupBox;
class QLineEdit;
class QWidget;

namespace vx::app {

// A group titled `title` with the three widgets in a row, each after its label.
QGroupBox* AxisGroup(const QString& title, QWidget* x, QWidget* y, QWidget* z, const QString& xLabel = "X:",
                     const QString& yLabel = "Y:", const QString& zLabel = "Z:");
// An edit box for a whole number from `low` to `high`: what is not one stays on screen for
// OK to refuse, and a refusal shows the text it held before (KeepTextBeforeEdit).
QLineEdit* MakeDigitEdit(QWidget* parent = nullptr, int low = 0, int high = INT32_MAX);
// A number as the dialogs show it: five decimals, trailing zeros dropped.
QString Text5(float value);
// The widest number a box is given: seven digits before the point, five after and a sign, as
// Text5 writes any float below 10^7 and every whole one up to 10^13.
inline constexpr char kWidestNumber[] = "-8888888.88888";
// The width of a line edit that shows `text` whole in its own font, frame and margins added.
int EditWidthFor(const QLineEdit* edit, const QString& text);
// The last valid number of a numeric edit (0 when empty).
float ValueOf(const CNumEdit* edit);

// Adds each chosen file through `add` (folder and file name apart), under the wait cursor.
// A single file that fails is reported as "Fail to add <what> from <name>." followed by the
// reasons its reader gave, several that fail in one list of their names, each with its
// reasons in brackets. Messages of a file that is added are shown as they come.
using AddFileFn = std::function<bool(const std::string& folder, const std::string& file)>;
void ImportChosenFiles(const std::vector<std::string>& paths, const std::string& what, const AddFileFn& add);

}  // namespace vx::app
