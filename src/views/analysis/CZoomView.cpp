#include "views/analysis/CZoomView.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>

#include <cmath>

#include "app/CVexaraApp.h"
#include "app/dialogs/DialogRunner.h"
#include "views/TPainterCanvas.h"

namespace {

constexpr int kPCABgColorSetting = 1;
// A plot that cannot be allocated is shrunk at most this many times.
constexpr int kMaxShrinks = 40;

// Button and key flags as the window messages carried them.
int MessageFlags(const QMouseEvent* event)
{
    int flags = 0;
    if (event->buttons() & Qt::LeftButton)
        flags |= 0x0001;
    if (event->buttons() & Qt::RightButton)
        flags |= 0x0002;
    if (event->modifiers() & Qt::ShiftModifier)
        flags |= 0x0004;
    if (event->modifiers() & Qt::ControlModifier)
        flags |= 0x0008;
    if (event->buttons() & Qt::MiddleButton)
        flags |= 0x0010;
    return flags;
}

// A magnifier with a plus or a minus, hot spot in the lens.
QCursor ZoomCursor(bool in)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    {
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::black, 2));
        p.setBrush(Qt::white);
        p.drawEllipse(2, 2, 16, 16);
        p.setPen(QPen(Qt::black, 3));
        p.drawLine(16, 16, 26, 26);
        p.setPen(QPen(Qt::black, 2));
        p.drawLine(6, 10, 14, 10);
        if (in)
            p.drawLine(10, 6, 10, 14);
    }
    return QCursor(pixmap, 10, 10);
}

}  // namespace

CZoomView::CZoomView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setMouseTracking(true);
    viewport()->setCursor(Qt::ArrowCursor);
    SetBarEmpty(horizontalScrollBar());
    SetBarEmpty(verticalScrollBar());
    SetColourScheme(0);
}

CZoomView::~CZoomView() = default;

int CZoomView::SchemeSetting()
{
    const CVexaraApp* app = CVexaraApp::Instance();
    return app ? app->GetSetting(kPCABgColorSetting) : 0;
}

void CZoomView::SetColourScheme(int setting)
{
    if (setting == 1)
        m_colours = {0x000000, 0xc00000, 0xffffff, 0xc00000, 0xc0c0c0, 0};
    else
        m_colours = {0x0000ff, 0x0000ff, 0x000000, 0xff0000, 0xff0000, 1};
}

void CZoomView::SetMouseMode(int mode)
{
    if (mode == kModeSelect || mode == kModeZoomIn || mode == kModeZoomOut) {
        m_nMouseMode = mode;
        if (mode == kModeSelect)
            viewport()->setCursor(Qt::ArrowCursor);
        else
            viewport()->setCursor(ZoomCursor(mode == kModeZoomIn));
    }
    viewport()->update();
}

void CZoomView::SetPlotSize(int width, int height)
{
    m_nPlotWidth = width;
    m_nPlotHeight = height;
}

void CZoomView::SetScroll(int x, int y)
{
    m_nScrollX = x;
    m_nScrollY = y;
}

bool CZoomView::MakePlotPicture(vx::TColor fill)
{
    for (int tries = 0; tries <= kMaxShrinks; ++tries) {
        if (m_nPlotWidth < 1 || m_nPlotHeight < 1) {
            m_plotPicture = QImage();
            return false;
        }
        QImage picture(m_nPlotWidth, m_nPlotHeight, QImage::Format_RGB32);
        if (!picture.isNull()) {
            picture.fill(vx::ToQColor(fill));
            m_plotPicture = std::move(picture);
            return true;
        }
        m_nPlotWidth = static_cast<int>(m_nPlotWidth / kZoomFactor);
        m_nPlotHeight = static_cast<int>(m_nPlotHeight / kZoomFactor);
        m_nScrollX = static_cast<int>(m_nScrollX / kZoomFactor);
        m_nScrollY = static_cast<int>(m_nScrollY / kZoomFactor);
        UpdateScrollBars();
    }
    m_plotPicture = QImage();
    return false;
}

int CZoomView::SetBarRange(QScrollBar* bar, int plotSize, int clientSize, int scroll)
{
    scroll = std::max(0, std::min(scroll, plotSize - clientSize - 1));
    m_bSettingBars = true;
    bar->setRange(0, plotSize - clientSize);
    bar->setPageStep(clientSize);
    bar->setSingleStep(std::max(1, clientSize / 10));
    bar->setValue(scroll);
    m_bSettingBars = false;
    return scroll;
}

void CZoomView::SetBarEmpty(QScrollBar* bar)
{
    m_bSettingBars = true;
    bar->setRange(0, 0);
    bar->setPageStep(0);
    bar->setValue(0);
    m_bSettingBars = false;
}

void CZoomView::UpdateScrollBars()
{
    const QSize client = viewport()->size();
    if (client.width() <= 0 || client.height() <= 0)
        return;
    // A plot that fits shrinks to the client less 20 pixels.
    const auto update = [this](QScrollBar* bar, int& plotSize, int clientSize, int& scroll) {
        if (plotSize > clientSize) {
            scroll = SetBarRange(bar, plotSize, clientSize, scroll);
        } else {
            plotSize = clientSize - 20;
            scroll = 0;
            SetBarEmpty(bar);
        }
    };
    update(horizontalScrollBar(), m_nPlotWidth, client.width(), m_nScrollX);
    update(verticalScrollBar(), m_nPlotHeight, client.height(), m_nScrollY);
}

void CZoomView::DrawView()
{
    const QSize client = viewport()->size();
    if (client.isEmpty())
        return;
    QImage picture(client, QImage::Format_RGB32);
    if (picture.isNull())
        return;
    picture.fill(vx::ToQColor(kGrey));
    // Per axis: a smaller plot is centred (and the scroll position says where it lies),
    // a larger one is shown from the scroll position.
    const auto place = [](int clientSize, int plotSize, int& scroll, int& dest, int& source) {
        if (plotSize < clientSize) {
            dest = static_cast<int>((clientSize - plotSize) * 0.5);
            source = 0;
            scroll = -dest;
        } else {
            dest = 0;
            source = scroll;
        }
    };
    int dx = 0, sx = 0, dy = 0, sy = 0;
    place(client.width(), m_nPlotWidth, m_nScrollX, dx, sx);
    place(client.height(), m_nPlotHeight, m_nScrollY, dy, sy);
    {
        vx::TPainterCanvas dc(&picture);
        if (!m_plotPicture.isNull())
            dc.Painter().drawImage(QPoint(dx, dy), m_plotPicture,
                                   QRect(sx, sy, client.width() - dx, client.height() - dy));
        DrawOverClient(dc);
    }
    m_clientPicture = std::move(picture);
}

void CZoomView::Copy()
{
    if (!m_clientPicture.isNull())
        QGuiApplication::clipboard()->setImage(m_clientPicture);
}

void CZoomView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    if (m_clientPicture.isNull())
        painter.fillRect(viewport()->rect(), vx::ToQColor(kGrey));
    else
        painter.drawImage(0, 0, m_clientPicture);
}

void CZoomView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
    DrawView();
}

void CZoomView::scrollContentsBy(int, int)
{
    if (m_bSettingBars)
        return;
    const int x = horizontalScrollBar()->value(), y = verticalScrollBar()->value();
    if (x == m_nScrollX && y == m_nScrollY)
        return;
    m_nScrollX = x;
    m_nScrollY = y;
    DrawView();
    viewport()->repaint();
}

void CZoomView::Dispatch(int kind, QMouseEvent* event)
{
    const QPoint client = event->position().toPoint();
    const QPoint point = ToPlot(client);
    m_event.kind = kind;
    m_event.flags = MessageFlags(event);
    if (kind == 0 || kind == 2) {
        m_event.x = m_event.px = m_event.ax = point.x();
        m_event.y = m_event.py = m_event.ay = point.y();
    } else {
        m_event.px = m_event.x;
        m_event.py = m_event.y;
        m_event.x = point.x();
        m_event.y = point.y();
    }
    if (kind == 4)
        m_lastDevicePoint = client;

    switch (m_nMouseMode) {
    case kModeSelect:
        OnSelectEvent(m_event);
        break;
    case kModeZoomIn:
        if (kind == 1)
            ZoomIn();
        break;
    case kModeZoomOut:
        if (kind == 0)
            ZoomOut();
        break;
    default:
        break;
    }
}

void CZoomView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Dispatch(0, event);
    else if (event->button() == Qt::RightButton)
        Dispatch(2, event);
}

void CZoomView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Dispatch(1, event);
}

void CZoomView::mouseMoveEvent(QMouseEvent* event)
{
    Dispatch(4, event);
}

void CZoomView::ZoomIn()
{
    const QSize client = viewport()->size();
    if (client.width() <= 0 || client.height() <= 0)
        return;
    m_nPlotWidth = static_cast<int>(m_nPlotWidth * kZoomFactor);
    m_nPlotHeight = static_cast<int>(m_nPlotHeight * kZoomFactor);
    m_nScrollX = static_cast<int>(m_event.x * kZoomFactor - client.width() / 2);
    m_nScrollY = static_cast<int>(m_event.y * kZoomFactor - client.height() / 2);
    Refresh();
}

void CZoomView::ZoomOut()
{
    const QSize client = viewport()->size();
    if (client.width() <= 0 || client.height() <= 0)
        return;
    m_nPlotWidth = static_cast<int>(m_nPlotWidth / kZoomFactor);
    m_nPlotHeight = static_cast<int>(m_nPlotHeight / kZoomFactor);
    m_nScrollX = static_cast<int>(m_event.x / kZoomFactor - client.width() / 2);
    m_nScrollY = static_cast<int>(m_event.y / kZoomFactor - client.height() / 2);
    Refresh();
}

void CZoomView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    menu.setToolTipsVisible(true);
    QAction* copy = menu.addAction("Copy");
    copy->setStatusTip("Copy the current view to clipboard");
    copy->setToolTip("Copy to clipboard");
    QAction* exportText = menu.addAction("Export");
    exportText->setStatusTip("Export the plotted data to a text file");
    QAction* chosen = vx::app::RunMenu(menu, event->globalPos());
    if (chosen == copy)
        Copy();
    else if (chosen == exportText)
        Export();
}
