#include "app/ToolIcons.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>

#include <algorithm>
#include <cmath>

#include "app/CommandIds.h"

namespace vx::app {
namespace {
constexpr int kSize = 24;
const QColor kInk(40, 40, 40);
const QColor kBlue(30, 90, 200);
const QColor kRed(200, 40, 40);
const QColor kGreen(30, 140, 60);
const QColor kRegion(0, 160, 160);  // the drawn regions' colour

void Grid(QPainter& p, const QRect& r, int cells)
{
    p.setPen(QPen(kBlue, 1));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i <= cells; ++i) {
        const int x = r.left() + i * r.width() / cells;
        const int y = r.top() + i * r.height() / cells;
        p.drawLine(x, r.top(), x, r.bottom() + 1);
        p.drawLine(r.left(), y, r.right() + 1, y);
    }
}

void Cell(QPainter& p, const QRect& r, int cells, int col, int row, const QColor& c)
{
    const int w = r.width() / cells, h = r.height() / cells;
    p.fillRect(QRect(r.left() + col * w + 1, r.top() + row * h + 1, w - 1, h - 1), c);
}

void Peak(QPainter& p, const QRectF& r, const QColor& c)
{
    QPainterPath path(QPointF(r.left(), r.bottom()));
    path.lineTo(r.left() + r.width() * 0.35, r.bottom() - r.height() * 0.1);
    path.lineTo(r.left() + r.width() * 0.5, r.top());
    path.lineTo(r.left() + r.width() * 0.65, r.bottom() - r.height() * 0.1);
    path.lineTo(r.right(), r.bottom());
    p.setPen(QPen(c, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

void Magnifier(QPainter& p, bool plus)
{
    p.setPen(QPen(kInk, 2));
    p.setBrush(QColor(220, 235, 255));
    p.drawEllipse(QRectF(3, 3, 13, 13));
    p.setPen(QPen(kInk, 3));
    p.drawLine(QPointF(14.5, 14.5), QPointF(21, 21));
    p.setPen(QPen(kInk, 1.6));
    p.drawLine(QPointF(6.5, 9.5), QPointF(12.5, 9.5));
    if (plus)
        p.drawLine(QPointF(9.5, 6.5), QPointF(9.5, 12.5));
}

void Arrow(QPainter& p, QPointF from, QPointF to, const QColor& c)
{
    p.setPen(QPen(c, 1.6));
    p.drawLine(from, to);
    const QPointF d = to - from;
    const double len = std::max(1.0, std::hypot(d.x(), d.y()));
    const QPointF u = d / len, n(-u.y(), u.x());
    p.setBrush(c);
    p.drawPolygon(QPolygonF({to, to - u * 4 + n * 3, to - u * 4 - n * 3}));
}

// One part of a spectral line over a baseline: the absorption peak (real part), the
// dispersion curve (imaginary part) or the magnitude, always positive and filled.
void Lineshape(QPainter& p, int part)
{
    constexpr double left = 2, right = 22, height = 11, width = 2.2;
    const double base = part == 1 ? 12 : 15;  // the dispersion reaches below the baseline
    p.setPen(QPen(QColor(150, 150, 150), 1));
    p.drawLine(QPointF(left, base + 0.5), QPointF(right, base + 0.5));
    QPainterPath path;
    for (int i = 0; i <= 80; ++i) {
        const double x = left + (right - left) * i / 80.0;
        const double d = (x - 12) / width;
        const double re = 1 / (1 + d * d), im = -d / (1 + d * d);
        const double v = part == 0 ? re : part == 1 ? im * 1.4 : std::sqrt(re * re + im * im);
        const QPointF point(x, base - v * height);
        i == 0 ? path.moveTo(point) : path.lineTo(point);
    }
    if (part == 2) {
        QPainterPath filled = path;
        filled.lineTo(right, base);
        filled.lineTo(left, base);
        filled.closeSubpath();
        p.fillPath(filled, QColor(200, 40, 40, 90));
    }
    p.setPen(QPen(kRed, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

// A vertical colour bar: grey for the images, the hot colours for the maps.
void ScaleBar(QPainter& p, const QRectF& r, bool hot)
{
    QLinearGradient g(r.bottomLeft(), r.topLeft());
    if (hot) {
        g.setColorAt(0.0, Qt::black);
        g.setColorAt(0.4, QColor(220, 0, 0));
        g.setColorAt(0.75, QColor(255, 200, 0));
        g.setColorAt(1.0, Qt::white);
    } else {
        g.setColorAt(0.0, Qt::black);
        g.setColorAt(1.0, Qt::white);
    }
    p.setPen(QPen(kInk, 1));
    p.setBrush(g);
    p.drawRect(r);
}

// A sheet of text lines: the macro file.
void Script(QPainter& p)
{
    p.setPen(QPen(kInk, 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3.5, 1.5, 13, 17));
    p.setPen(QPen(QColor(90, 90, 90), 1));
    for (double y : {5.5, 8.5, 11.5, 14.5})
        p.drawLine(QPointF(6, y), QPointF(y < 10 ? 14 : 12, y));
}

void Letters(QPainter& p, const QString& text, const QColor& c)
{
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(text.size() > 2 ? 9 : 12);
    p.setFont(f);
    p.setPen(c);
    p.drawText(QRect(0, 0, kSize, kSize), Qt::AlignCenter, text);
}

// The green "add" sign in the bottom-right corner.
void Plus(QPainter& p)
{
    p.setPen(QPen(kGreen, 2.4));
    p.drawLine(QPointF(19, 13), QPointF(19, 22));
    p.drawLine(QPointF(14.5, 17.5), QPointF(23.5, 17.5));
}

bool Paint(QPainter& p, int command)
{
    const QRect grid(3, 3, 18, 18);
    switch (command) {
    case cmd::ModeSelectVoxel:
        Grid(p, grid, 3);
        Cell(p, grid, 3, 1, 1, kRed);
        return true;
    case cmd::ModeMultiSelect:
        Grid(p, grid, 3);
        for (const QPoint& c : {QPoint(0, 0), QPoint(1, 1), QPoint(2, 1)})
            Cell(p, grid, 3, c.x(), c.y(), kRed);
        return true;
    case cmd::ModePolygonSelect:
        p.setPen(QPen(kRed, 1.6));
        p.setBrush(QColor(255, 220, 220));
        p.drawPolygon(QPolygonF({{3, 10}, {11, 3}, {21, 8}, {17, 21}, {6, 18}}));
        return true;
    case cmd::ModeZoomIn: Magnifier(p, true); return true;
    case cmd::ModeZoomOut: Magnifier(p, false); return true;
    case cmd::ModeMoveCenter:
        Arrow(p, {12, 12}, {12, 2}, kInk);
        Arrow(p, {12, 12}, {12, 22}, kInk);
        Arrow(p, {12, 12}, {2, 12}, kInk);
        Arrow(p, {12, 12}, {22, 12}, kInk);
        return true;
    case cmd::ModeVoxelShift:
        Grid(p, QRect(2, 2, 14, 14), 2);
        Arrow(p, {12, 12}, {21, 21}, kRed);
        return true;
    case cmd::ModeAverageVoxels:
        Grid(p, grid, 3);
        for (int col = 0; col < 3; ++col)
            Cell(p, grid, 3, col, 1, kGreen);
        return true;
    case cmd::ModeSpectraRange:
        Peak(p, QRectF(7, 6, 15, 14), kRed);
        Arrow(p, {4, 12}, {4, 2}, kInk);
        Arrow(p, {4, 12}, {4, 22}, kInk);
        return true;
    case cmd::ModeUserRegion:
        p.setPen(QPen(kGreen, 1.6, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(3, 5, 18, 14));
        return true;
    case cmd::DrawRectangle:
        p.setPen(QPen(kRegion, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(4, 6, 16, 12));
        return true;
    case cmd::DrawEllipse:
        p.setPen(QPen(kRegion, 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(3, 5, 18, 14));
        return true;
    case cmd::DrawPolygon:
        p.setPen(QPen(kRegion, 2));
        p.setBrush(Qt::NoBrush);
        p.drawPolygon(QPolygonF({{4, 8}, {12, 3}, {20, 9}, {17, 20}, {7, 18}}));
        return true;
    case cmd::RunSpectralEstimation:
        // The spectrum of a drawn region.
        p.setPen(QPen(kRegion, 1.6, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(2, 2, 12, 10));
        Peak(p, QRectF(7, 9, 15, 12), kRed);
        return true;
    case cmd::ClearRegionEstimates:
        p.setPen(QPen(kRegion, 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(2, 4, 16, 12));
        p.setPen(QPen(kRed, 2.4));
        p.drawLine(QPointF(11, 11), QPointF(21, 21));
        p.drawLine(QPointF(21, 11), QPointF(11, 21));
        return true;
    case cmd::ShowGrid: Grid(p, grid, 3); return true;
    case cmd::ShowSpectra:
        Grid(p, grid, 1);
        Peak(p, QRectF(5, 6, 14, 13), kRed);
        return true;
    case cmd::DisplayReal: Lineshape(p, 0); return true;
    case cmd::DisplayImaginary: Lineshape(p, 1); return true;
    case cmd::DisplayMagnitude: Lineshape(p, 2); return true;
    case cmd::ProjectAddImages:
        p.fillRect(QRect(3, 5, 15, 14), QColor(90, 90, 90));
        p.fillRect(QRect(6, 8, 9, 8), QColor(190, 190, 190));
        Plus(p);
        return true;
    case cmd::ProjectAddCSISet:
        Grid(p, QRect(2, 3, 15, 15), 3);
        Plus(p);
        return true;
    case cmd::ProjectViewSlice:
        p.setPen(QPen(kBlue, 1.4));
        p.setBrush(QColor(210, 225, 250));
        p.drawPolygon(QPolygonF({{3, 16}, {9, 7}, {21, 7}, {15, 16}}));
        return true;
    case cmd::ProjectInformation:
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawEllipse(QRectF(3, 3, 18, 18));
        Letters(p, "i", Qt::white);
        return true;
    case cmd::ViewProjectExplorer:
        p.setPen(QPen(kInk, 1.4));
        p.drawLine(6, 5, 6, 19);
        p.drawLine(6, 11, 12, 11);
        p.drawLine(6, 19, 12, 19);
        p.fillRect(QRect(3, 2, 7, 5), kBlue);
        p.fillRect(QRect(12, 9, 8, 5), kGreen);
        p.fillRect(QRect(12, 17, 8, 5), kGreen);
        return true;
    case cmd::SurfaceCoilNormalization: {
        // An image bright near the coil above it, and the coil.
        QLinearGradient g(QPointF(0, 8), QPointF(0, 22));
        g.setColorAt(0.0, Qt::white);
        g.setColorAt(1.0, QColor(60, 60, 60));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRect(QRectF(4, 8, 16, 14));
        p.setPen(QPen(kGreen, 2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(4, 2, 16, 10), 0, 180 * 16);
        return true;
    }
    case cmd::MacroStartRecording:
        p.setPen(Qt::NoPen);
        p.setBrush(kRed);
        p.drawEllipse(QRectF(5, 5, 14, 14));
        return true;
    case cmd::MacroEndRecording: p.fillRect(QRect(6, 6, 12, 12), kInk); return true;
    case cmd::MacroPauseRecording:
        p.fillRect(QRect(6, 5, 4, 14), kInk);
        p.fillRect(QRect(14, 5, 4, 14), kInk);
        return true;
    case cmd::MacroLoad:
        // The macro runs on the set: an arrow from the script into a grid.
        Script(p);
        Grid(p, QRect(13, 13, 9, 9), 2);
        Arrow(p, {9, 17}, {16, 17}, kGreen);
        return true;
    case cmd::MacroSave:
        // The script goes to a disk.
        Script(p);
        p.setPen(QPen(kInk, 1));
        p.setBrush(kBlue);
        p.drawRect(QRectF(12.5, 12.5, 10, 10));
        p.fillRect(QRectF(15, 13, 5, 3.5), Qt::white);
        p.fillRect(QRectF(14.5, 18.5, 6, 4), QColor(220, 220, 220));
        return true;
    case cmd::FilePrint:
        p.setPen(QPen(kInk, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7.5, 2.5, 9, 7));
        p.setBrush(QColor(170, 170, 170));
        p.drawRoundedRect(QRectF(2.5, 9.5, 19, 8), 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(6.5, 14.5, 11, 7));
        return true;
    case cmd::EditCopy:
        p.setPen(QPen(kInk, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3.5, 3.5, 11, 13));
        p.drawRect(QRectF(9.5, 7.5, 11, 13));
        return true;
    case cmd::AutoscaleImages:
        // The grey scale stretched to the image's range.
        ScaleBar(p, QRectF(9.5, 4.5, 6, 15), false);
        Arrow(p, {5, 12}, {5, 2}, kBlue);
        Arrow(p, {5, 12}, {5, 22}, kBlue);
        return true;
    case cmd::ResetMapScale:
        // The map's colour scale and a turn back.
        ScaleBar(p, QRectF(3.5, 3.5, 6, 17), true);
        p.setPen(QPen(kBlue, 1.8));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(11, 6, 10, 10), 90 * 16, 270 * 16);
        p.setBrush(kBlue);
        p.setPen(Qt::NoPen);
        p.drawPolygon(QPolygonF({{16, 3}, {16, 9}, {12.5, 6}}));
        return true;
    default: return false;
    }
}

QStyle::StandardPixmap StandardPixmapOf(int command, bool& found)
{
    found = true;
    switch (command) {
    case cmd::FileNewProject: return QStyle::SP_FileIcon;
    case cmd::FileOpenProject: return QStyle::SP_DialogOpenButton;
    case cmd::FileSaveProject: return QStyle::SP_DialogSaveButton;
    case cmd::EditUndo: return QStyle::SP_ArrowBack;
    case cmd::EditRedo: return QStyle::SP_ArrowForward;
    case cmd::AppAbout: return QStyle::SP_MessageBoxQuestion;
    case cmd::FirstImage: return QStyle::SP_MediaSkipBackward;
    case cmd::PreviousImage: return QStyle::SP_MediaSeekBackward;
    case cmd::NextImage: return QStyle::SP_MediaSeekForward;
    case cmd::LastImage: return QStyle::SP_MediaSkipForward;
    default: found = false; return QStyle::SP_CustomBase;
    }
}
}  // namespace

QIcon ToolIcon(int command)
{
    bool standard = false;
    const QStyle::StandardPixmap sp = StandardPixmapOf(command, standard);
    if (standard && QApplication::style())
        return QApplication::style()->standardIcon(sp);
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (!Paint(p, command))
        return {};
    p.end();
    return QIcon(pixmap);
}

}  // namespace vx::app
