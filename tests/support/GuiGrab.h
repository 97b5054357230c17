#pragma once
// Saves a picture of a widget as <build>/screenshots/<name>.png and returns its path.
#include <QString>

class QWidget;

namespace vx::test {
QString GrabToPng(QWidget* widget, const QString& name);
}
