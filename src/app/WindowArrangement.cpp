#include "app/WindowArrangement.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include <algorithm>
#include <limits>

#include "app/CChildFrame.h"
#include "app/CExplorerFrameBase.h"
#include "app/CInfoFrameBase.h"

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

// Windows that tools stand in (the explorer, the information window): Tile keeps them at
// their usable size rather than share the area out with them.
bool KeepsSizeWhenTiled(const QMdiSubWindow* window)
{
    return qobject_cast<const CExplorerFrameBase*>(window) || qobject_cast<const CInfoFrameBase*>(window);
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
    return TileRects(minimums, std::vector<bool>(minimums.size(), false), area);
}

std::vector<QRect> TileRects(const std::vector<QSize>& minimums, const std::vector<bool>& keepSize, const QSize& area)
{
    const int n = static_cast<int>(std::min(minimums.size(), keepSize.size()));
    const int width = std::max(area.width(), 1), height = std::max(area.height(), 1);
    const auto minW = [&](int k) { return std::max(minimums[static_cast<size_t>(k)].width(), 1); };
    const auto minH = [&](int k) { return std::max(minimums[static_cast<size_t>(k)].height(), 1); };
    const auto grows = [&](int k) { return !keepSize[static_cast<size_t>(k)]; };
    // Each row as high as its tallest minimum, the height left over shared out evenly.
    const auto rowHeights = [&](int perRow) {
        std::vector<int> heights;
        for (int first = 0; first < n; first += perRow) {
            int tallest = 1;
            for (int k = first; k < std::min(n, first + perRow); ++k)
                tallest = std::max(tallest, minH(k));
            heights.push_back(tallest);
        }
        int sum = 0;
        for (int h : heights)
            sum += h;
        const int rows = static_cast<int>(heights.size());
        const int extra = std::max(height - sum, 0);
        for (int r = 0; r < rows; ++r)
            heights[size_t(r)] += extra / rows + (r == rows - 1 ? extra % rows : 0);
        return heights;
    };
    // The width of a row beyond its windows' minimums, and how many windows share it.
    const auto rowWidth = [&](int first, int last, int& extra, int& sharing) {
        int sum = 0;
        sharing = 0;
        for (int k = first; k < last; ++k) {
            sum += minW(k);
            sharing += grows(k) ? 1 : 0;
        }
        extra = width - sum;
    };

    // Rows of `perRow` windows in order.
    int bestRows = 1;
    long bestOverflow = std::numeric_limits<long>::max();
    double bestRoom = -1.0;
    for (int rows = 1; rows <= n; ++rows) {
        const int perRow = (n + rows - 1) / rows;
        if ((n + perRow - 1) / perRow != rows)
            continue;  // the layout of fewer rows
        const std::vector<int> heights = rowHeights(perRow);
        long overflow = 0;
        long tall = 0;
        double room = std::numeric_limits<double>::max();
        for (int first = 0, row = 0; first < n; first += perRow, ++row) {
            const int last = std::min(n, first + perRow);
            int extra = 0, sharing = 0;
            rowWidth(first, last, extra, sharing);
            overflow += std::max(0, -extra);
            tall += heights[size_t(row)];
            for (int k = first; k < last; ++k)
                if (grows(k)) {
                    const double cell = minW(k) + std::max(extra, 0) / double(sharing);
                    room = std::min({room, cell / minW(k), heights[size_t(row)] / double(minH(k))});
                }
        }
        overflow += std::max(0L, tall - height);
        if (overflow < bestOverflow || (overflow == bestOverflow && room > bestRoom)) {
            bestRows = rows;
            bestOverflow = overflow;
            bestRoom = room;
        }
    }

    std::vector<QRect> rects;
    const int perRow = n > 0 ? (n + bestRows - 1) / bestRows : 1;
    const std::vector<int> heights = n > 0 ? rowHeights(perRow) : std::vector<int>();
    for (int first = 0, row = 0, y = 0; first < n; first += perRow, ++row) {
        const int last = std::min(n, first + perRow);
        int extra = 0, sharing = 0;
        rowWidth(first, last, extra, sharing);
        const int share = sharing > 0 ? std::max(extra, 0) / sharing : 0;
        int lastGrowing = -1;
        for (int k = first; k < last; ++k)
            lastGrowing = grows(k) ? k : lastGrowing;
        const int h = heights[size_t(row)];
        for (int k = first, x = 0; k < last; ++k) {
            // Windows that keep their size stay at their minimum; the last growing window of
            // a row also takes what the division left over.
            int w = minW(k);
            if (grows(k))
                w += share + (k == lastGrowing ? std::max(extra, 0) - share * sharing : 0);
            rects.push_back(KeepInside(QRect(x, y, w, grows(k) ? std::max(h, minH(k)) : minH(k)), area));
            x += w;
        }
        y += h;
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
    QSize usable = window->minimumSize().expandedTo(window->minimumSizeHint());
    if (qobject_cast<const CChildFrame*>(window))
        usable = usable.expandedTo(CChildFrame::UsableSize());
    else if (qobject_cast<const CExplorerFrameBase*>(window))
        usable = usable.expandedTo(CExplorerFrameBase::kOpenSize);
    return usable;
}

void TileWindows(QMdiArea* area)
{
    const QList<QMdiSubWindow*> windows = ArrangedWindows(area);
    std::vector<QSize> minimums;
    std::vector<bool> keepSize;
    for (const QMdiSubWindow* window : windows) {
        minimums.push_back(UsableMinimum(window));
        keepSize.push_back(KeepsSizeWhenTiled(window));
    }
    const std::vector<QRect> rects = TileRects(minimums, keepSize, area->viewport()->size());
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
