#include "app/WindowArrangement.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include <algorithm>
#include <limits>

namespace vx::app {

namespace {

// The windows Tile and Cascade move: shown and not minimised, maximised ones restored.
QList<QMdiSubWindow*> ArrangedWindows(QMdiArea* area)
{
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* window : area->subWindowList(QMdiArea::CreationOrder)) {
        if (!window->isVisible() || window->isMinimized())
            continue;
        if (window->isMaximized())
            window->showNormal();
        windows.push_back(window);
    }
    return windows;
}

}  // namespace

QRect KeepInside(const QRect& rect, const QSize& area)
{
    const int x = std::max(0, std::min(rect.x(), area.width() - rect.width()));
    const int y = std::max(0, std::min(rect.y(), area.height() - rect.height()));
    return {QPoint(x, y), rect.size()};
}

QRect FitInside(const QRect& rect, const QSize& minimum, const QSize& area)
{
    return KeepInside(QRect(rect.topLeft(), rect.size().boundedTo(area).expandedTo(minimum)), area);
}

std::vector<QRect> TileRects(const std::vector<QSize>& minimums, const QSize& area)
{
    const int n = static_cast<int>(minimums.size());
    const int width = std::max(area.width(), 1), height = std::max(area.height(), 1);
    const auto minW = [&](int k) { return std::max(minimums[static_cast<size_t>(k)].width(), 1); };
    const auto minH = [&](int k) { return std::max(minimums[static_cast<size_t>(k)].height(), 1); };

    // Rows of `perRow` windows in order; each row as high as the area allows, the width a
    // row has beyond its windows' minimums shared out evenly.
    int bestRows = 1;
    long bestOverflow = std::numeric_limits<long>::max();
    double bestRoom = -1.0;
    for (int rows = 1; rows <= n; ++rows) {
        const int perRow = (n + rows - 1) / rows;
        if ((n + perRow - 1) / perRow != rows)
            continue;  // the layout of fewer rows
        const int rowHeight = height / rows;
        long overflow = 0;
        double room = std::numeric_limits<double>::max();
        for (int first = 0; first < n; first += perRow) {
            const int last = std::min(n, first + perRow);
            int sum = 0;
            for (int k = first; k < last; ++k)
                sum += minW(k);
            const int extra = width - sum;
            overflow += std::max(0, -extra);
            for (int k = first; k < last; ++k) {
                overflow += std::max(0, minH(k) - rowHeight);
                const double cell = minW(k) + std::max(extra, 0) / double(last - first);
                room = std::min({room, cell / minW(k), rowHeight / double(minH(k))});
            }
        }
        if (overflow < bestOverflow || (overflow == bestOverflow && room > bestRoom)) {
            bestRows = rows;
            bestOverflow = overflow;
            bestRoom = room;
        }
    }

    std::vector<QRect> rects;
    const int perRow = n > 0 ? (n + bestRows - 1) / bestRows : 1;
    const int rowHeight = height / bestRows;
    for (int first = 0, row = 0; first < n; first += perRow, ++row) {
        const int last = std::min(n, first + perRow);
        int sum = 0;
        for (int k = first; k < last; ++k)
            sum += minW(k);
        const int extra = std::max(width - sum, 0);
        const int y = row * rowHeight;
        const int h = row == bestRows - 1 ? height - y : rowHeight;
        for (int k = first, x = 0; k < last; ++k) {
            // The last window of a row takes what the division left over.
            const int w = k == last - 1 && sum <= width ? width - x : minW(k) + extra / (last - first);
            rects.push_back(KeepInside(QRect(x, y, w, std::max(h, minH(k))), area));
            x += w;
        }
    }
    return rects;
}

std::vector<QRect> CascadeRects(const std::vector<QSize>& sizes, const std::vector<QSize>& minimums,
                                const QSize& area, int step)
{
    const int n = static_cast<int>(std::min(sizes.size(), minimums.size()));
    if (n == 0)
        return {};
    step = std::max(step, 1);
    int tallest = 0, widest = 0;
    for (int k = 0; k < n; ++k) {
        tallest = std::max(tallest, minimums[size_t(k)].height());
        widest = std::max(widest, minimums[size_t(k)].width());
    }
    // As many windows per run as stay inside the area from top to bottom at their minimum.
    const int perRun = std::clamp((area.height() - tallest) / step + 1, 1, n);
    const int runs = (n + perRun - 1) / perRun;
    const int runShift = runs > 1 ? std::max(step, (area.width() - widest - (perRun - 1) * step) / (runs - 1)) : 0;
    std::vector<QRect> rects;
    for (int k = 0; k < n; ++k) {
        const int run = k / perRun, i = k % perRun;
        const QPoint corner(run * runShift + i * step, i * step);
        // What is left of the area right and below the corner, but never below the minimum.
        const QSize room(area.width() - corner.x(), area.height() - corner.y());
        const QSize size = sizes[size_t(k)].boundedTo(room).expandedTo(minimums[size_t(k)]);
        rects.push_back(KeepInside(QRect(corner, size), area));
    }
    return rects;
}

QSize UsableMinimum(const QMdiSubWindow* window)
{
    return window->minimumSize().expandedTo(window->minimumSizeHint());
}

void TileWindows(QMdiArea* area)
{
    const QList<QMdiSubWindow*> windows = ArrangedWindows(area);
    std::vector<QSize> minimums;
    for (const QMdiSubWindow* window : windows)
        minimums.push_back(UsableMinimum(window));
    const std::vector<QRect> rects = TileRects(minimums, area->viewport()->size());
    for (int k = 0; k < windows.size(); ++k)
        windows[k]->setGeometry(rects[size_t(k)]);
}

void CascadeWindows(QMdiArea* area)
{
    const QList<QMdiSubWindow*> windows = ArrangedWindows(area);
    std::vector<QSize> sizes, minimums;
    int step = 0;
    for (const QMdiSubWindow* window : windows) {
        sizes.push_back(window->size());
        minimums.push_back(UsableMinimum(window));
        // One title bar down and across, so that every title stays in view.
        step = std::max(step, window->height() - window->contentsRect().height());
    }
    const std::vector<QRect> rects = CascadeRects(sizes, minimums, area->viewport()->size(), step > 0 ? step : 24);
    for (int k = 0; k < windows.size(); ++k) {
        windows[k]->setGeometry(rects[size_t(k)]);
        windows[k]->raise();
    }
}

}  // namespace vx::app
