#include "support/GuiGrab.h"

#include <QDir>
#include <QPixmap>
#include <QWidget>

namespace vx::test {
QString GrabToPng(QWidget* widget, const QString& name)
{
    const QString folder = QString::fromUtf8(VX_BINARY_ROOT) + "/screenshots";
    QDir().mkpath(folder);
    const QString path = folder + "/" + name + ".png";
    if (!widget->grab().save(path, "PNG"))
        return {};
    return path;
}
}  // namespace vx::test
