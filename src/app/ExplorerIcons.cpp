#include "app/ExplorerIcons.h"

#include <QPainter>
#include <QPixmap>

namespace vx::app {
namespace {
constexpr int kSize = 16;
const QColor kInk(40, 40, 40);
const QColor kBlue(30, 90, 200);
const QColor kRed(200, 40, 40);
const QColor kFolder(230, 190, 80);

void Letter(QPainter& p, const QRect& r, const QString& letter, const QColor& colour)
{
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(9);
    p.setFont(f);
    p.setPen(colour);
    p.drawText(r, Qt::AlignCenter, letter);
}

// A folder holding the images of one orientation.
void Group(QPainter& p, const QString& letter)
{
    p.setPen(QPen(kInk, 1));
    p.setBrush(kFolder);
    p.drawRect(QRect(1, 4, 13, 10));
    p.fillRect(QRect(2, 2, 5, 2), kFolder);
    Letter(p, QRect(1, 4, 14, 11), letter, kInk);
}

// An image: a dark frame, marked with the letter of its orientation.
void Image(QPainter& p, const QString& letter, const QColor& colour)
{
    p.fillRect(QRect(1, 1, 14, 14), QColor(70, 70, 70));
    p.fillRect(QRect(3, 3, 10, 10), QColor(200, 200, 200));
    Letter(p, QRect(1, 1, 14, 14), letter, colour);
}

void Grid(QPainter& p, bool work)
{
    p.fillRect(QRect(1, 1, 14, 14), Qt::white);
    if (work)
        p.fillRect(QRect(6, 6, 4, 4), kRed);
    p.setPen(QPen(kBlue, 1));
    for (int k = 0; k < 4; ++k) {
        const int v = 1 + k * 14 / 3;
        p.drawLine(v, 1, v, 15);
        p.drawLine(1, v, 15, v);
    }
}

void Paint(QPainter& p, int index)
{
    switch (index) {
    case kIconImages:
        p.setPen(QPen(kInk, 1));
        p.setBrush(QColor(150, 150, 150));
        p.drawRect(QRect(3, 1, 11, 11));
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRect(1, 4, 11, 11));
        return;
    case kIconCoronalGroup: Group(p, "C"); return;
    case kIconSagittalGroup: Group(p, "S"); return;
    case kIconAxialGroup: Group(p, "A"); return;
    case kIconCSISet: Grid(p, false); return;
    case kIconImageUnplaced: Image(p, "?", kRed); return;
    case kIconAxialImage: Image(p, "A", kBlue); return;
    case kIconCoronalImage: Image(p, "C", kBlue); return;
    case kIconSagittalImage: Image(p, "S", kBlue); return;
    case kIconWorkSet: Grid(p, true); return;
    default: return;
    }
}
}  // namespace

QIcon ExplorerIcon(int index)
{
    if (index < 0 || index >= kExplorerIconCount)
        return {};
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    Paint(p, index);
    p.end();
    return QIcon(pixmap);
}

}  // namespace vx::app
