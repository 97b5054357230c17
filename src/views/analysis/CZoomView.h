#pragma once
// The zoomable plot pane: the base of the analysis window's three plots. A subclass draws
// its whole plot (plot width x plot height pixels) into the plot picture; the view shows
// the part of it under the client area, centred when the plot is smaller, and scrolls,
// zooms by 1.5 per click in the zoom modes, offers Copy and Export on the right button,
// and copies the client picture to the clipboard.
//
// Mouse points reach the handlers in plot coordinates: the client point plus the scroll
// position. Colours are 0x00bbggrr words; the scheme follows the "PCABgColor" setting.
#include <QAbstractScrollArea>
#include <QImage>

#include <string>

#include "model/TPlotFrame.h"
#include "platform/TCanvas.h"

class CAnalysisWnd;
class QScrollBar;
class TAnalysis;

// A mouse event of the plot: kind 0 left down, 1 left up, 2 right down, 4 move; the
// button and key flags; current, previous and anchor point in plot coordinates.
struct TZoomMouseEvent {
    int kind = 0;
    int flags = 0;
    int x = 0, y = 0;
    int px = 0, py = 0;
    int ax = 0, ay = 0;
};

// The colours of a plot scheme.
struct TZoomColours {
    vx::TColor foreground = 0x0000ff;  // curves and axes
    vx::TColor text = 0x0000ff;
    vx::TColor background = 0x000000;
    vx::TColor marker = 0xff0000;
    vx::TColor zeroLine = 0xff0000;
    int colourTable = 1;  // 0 gray, 1 hot
};

class CZoomView : public QAbstractScrollArea {
    Q_OBJECT
public:
    enum { kModeSelect = 1, kModeZoomIn = 2, kModeZoomOut = 3 };
    static constexpr vx::TColor kGrey = 0x808080;
    static constexpr double kZoomFactor = 1.5;

    explicit CZoomView(QWidget* parent = nullptr);
    ~CZoomView() override;

    void SetOwner(CAnalysisWnd* owner) { m_pOwner = owner; }
    CAnalysisWnd* GetOwner() const { return m_pOwner; }

    // Draws the whole plot again and shows it; each plot does its own.
    virtual void Refresh() {}
    // 1 select, 2 zoom in, 3 zoom out; any other value keeps the mode. Redraws.
    void SetMouseMode(int mode);
    int GetMouseMode() const { return m_nMouseMode; }
    // 0 points, 1 Hz, 2 PPM, 3 ms: used at the next drawing.
    void SetUnit(int unit) { m_nUnit = unit; }
    int GetUnit() const { return m_nUnit; }
    // Setting 1: black on white with the gray table; else red on black with the hot table.
    void SetColourScheme(int setting);
    const TZoomColours& Colours() const { return m_colours; }

    // The client picture from the plot picture (centred where the plot is smaller).
    virtual void DrawView();
    // Scroll ranges from the plot size; a plot that fits becomes the client size less 20.
    virtual void UpdateScrollBars();
    // Writes what the plot shows as a text file the user chooses.
    virtual void Export() {}
    // Puts the client picture on the clipboard.
    void Copy();

    int PlotWidth() const { return m_nPlotWidth; }
    int PlotHeight() const { return m_nPlotHeight; }
    void SetPlotSize(int width, int height);
    int ScrollX() const { return m_nScrollX; }
    int ScrollY() const { return m_nScrollY; }
    void SetScroll(int x, int y);
    // The whole plot and the client picture (what the window shows).
    const QImage& PlotPicture() const { return m_plotPicture; }
    const QImage& ClientPicture() const { return m_clientPicture; }
    const TPlotFrame& PlotFrame() const { return m_plot; }
    // A client point in plot coordinates.
    QPoint ToPlot(const QPoint& client) const { return client + QPoint(m_nScrollX, m_nScrollY); }
    const TZoomMouseEvent& LastEvent() const { return m_event; }

    // The colour of the project setting "PCABgColor" (0 without the application).
    static int SchemeSetting();

protected:
    // A bar over a plot larger than the client: range, page, line (a tenth of the page)
    // and the position, kept inside the plot. Returns the position.
    int SetBarRange(QScrollBar* bar, int plotSize, int clientSize, int scroll);
    // A bar with nothing to scroll.
    void SetBarEmpty(QScrollBar* bar);

    // The plot picture at plot width x plot height filled with a colour; a picture that
    // cannot be made shrinks the plot by 1.5 per try. False when there is nothing to draw
    // (a plot of no pixels).
    bool MakePlotPicture(vx::TColor fill);
    // What the select mode does with an event; nothing here.
    virtual void OnSelectEvent(const TZoomMouseEvent&) {}
    // Extra drawing on the client picture after it was composed; nothing here.
    virtual void DrawOverClient(vx::TCanvas&) {}

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

    CAnalysisWnd* m_pOwner = nullptr;
    TPlotFrame m_plot;
    QImage m_plotPicture;
    QImage m_clientPicture;
    int m_nScrollX = 0, m_nScrollY = 0;
    int m_nPlotWidth = 200, m_nPlotHeight = 400;
    int m_nFirstPoint = 0, m_nLastPoint = 0;
    int m_nUnit = 0;
    TZoomColours m_colours;
    TZoomMouseEvent m_event;
    QPoint m_lastDevicePoint;

private:
    void Dispatch(int kind, QMouseEvent* event);
    void ZoomIn();
    void ZoomOut();

    int m_nMouseMode = kModeSelect;
    bool m_bSettingBars = false;  // the program moves the bars: no scrolling of its own
};
