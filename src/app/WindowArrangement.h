#pragma once
// Where the MDI child windows go: a new window placed inside the visible part of the main
// area, and Window > Tile and Window > Cascade. Every window keeps at least its usable
// minimum (a voxel window needs the width of its control panel and its minimum height);
// where the area cannot hold the windows side by side they overlap, but each one stays
// inside the area as far as its size allows, so that its title bar can be reached.
//
// The arithmetic works on sizes and rectangles in the area's coordinates, so that it is
// checked without windows.
#include <QRect>
#include <QSize>

#include <vector>

class QMdiArea;
class QMdiSubWindow;

namespace vx::app {

// The rectangle moved (not resized) so that it lies inside an area of that size where it
// fits, and at the area's left or top edge where it does not.
QRect KeepInside(const QRect& rect, const QSize& area);
// The same after the rectangle has been made no larger than the area, and no smaller than
// `minimum`: where a new window goes.
QRect FitInside(const QRect& rect, const QSize& minimum, const QSize& area);

// Tiles windows of these usable minimums, in order, into rows across an area of that size,
// each row as high as its tallest window needs and the rest shared out: the row count that
// gives every window at least its minimum in a cell of its own, with the roomiest cells;
// when no row count does, the one that overlaps least.
std::vector<QRect> TileRects(const std::vector<QSize>& minimums, const QSize& area);
// The same where the windows marked in `keepSize` (the explorer, the information window)
// take their place in the rows at their minimum, and the others share the room left.
std::vector<QRect> TileRects(const std::vector<QSize>& minimums, const std::vector<bool>& keepSize,
                             const QSize& area);

// Cascades windows of these sizes and usable minimums, in order, each `step` pixels right
// and down of the one before; a run that would leave the area starts again at the top,
// shifted to the right. A window is made no larger than the room right and below its
// corner, and no smaller than its minimum.
std::vector<QRect> CascadeRects(const std::vector<QSize>& sizes, const std::vector<QSize>& minimums,
                                const QSize& area, int step);

// The smallest size at which the window is usable: its minimum size, or the minimum its
// contents ask for, whichever is larger on each side; an image window at least its usable
// size, the explorer the size it opens at.
QSize UsableMinimum(const QMdiSubWindow* window);

// Window > Tile and Window > Cascade over the area's shown windows, in the order they were
// made; a maximised window is restored first.
void TileWindows(QMdiArea* area);
void CascadeWindows(QMdiArea* area);

}  // namespace vx::app
