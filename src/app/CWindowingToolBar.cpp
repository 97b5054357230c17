#include "app/CWindowingToolBar.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>

#include <cmath>

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/dialogs/CNumEdit.h"
#include "app/dialogs/DialogHelpers.h"
#include "model/TMRImage.h"
#include "model/math/TextHelpers.h"
#include "platform/Numbers.h"

namespace {
// Widths of the controls (pixels); labels and values 20 pixels high, sliders 18.
constexpr int kSliderWidth = 95;
constexpr int kLabelWidth = 45;
constexpr int kValueWidth = 40;
constexpr int kMapLabelWidth = 55;

QFont SmallFont(const QWidget* widget)
{
    QFont font = widget->font();
    font.setPointSize(7);
    return font;
}

template <class Widget>
Widget* Sized(Widget* widget, int width, int height)
{
    widget->setFixedSize(width, height);
    widget->setFont(SmallFont(widget));
    return widget;
}

QLabel* Label(const char* text, int width)
{
    auto* label = Sized(new QLabel(text), width, 20);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QLineEdit* ValueBox(int width)
{
    auto* edit = Sized(new QLineEdit, width, 20);
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::NoFocus);
    return edit;
}

// A map range box that shows the widest number whole in its own font.
CNumEdit* MapValueBox()
{
    auto* edit = new CNumEdit;
    edit->setFont(SmallFont(edit));
    edit->setFixedSize(vx::app::EditWidthFor(edit, vx::app::kWidestNumber), 20);
    return edit;
}

// A map range number as the boxes show it: up to 5 decimals.
QString MapNumber(float value)
{
    return QString::fromStdString(FloatToString(value, 5));
}

QSlider* Slider()
{
    auto* slider = Sized(new QSlider(Qt::Horizontal), kSliderWidth, 18);
    slider->setTickPosition(QSlider::NoTicks);
    return slider;
}
}  // namespace

CWindowingToolBar::CWindowingToolBar(CMainFrame* frame, QAction* autoscale, QAction* resetMapScale)
    : QToolBar("Image Windowing ToolBar", frame),
      m_pMainFrame(frame),
      m_sliderBrightness(Slider()),
      m_labelBrightness(Label("britnss", kLabelWidth)),
      m_editBrightness(ValueBox(kValueWidth)),
      m_sliderContrast(Slider()),
      m_labelContrast(Label("ctrst", kLabelWidth)),
      m_editContrast(ValueBox(kValueWidth)),
      m_labelMapMax(Label("mapmax", kMapLabelWidth)),
      m_labelMapMin(Label("mapmin", kMapLabelWidth)),
      m_editMapMax(MapValueBox()),
      m_editMapMin(MapValueBox())
{
    setObjectName("WindowingBar");
    setAllowedAreas(Qt::TopToolBarArea | Qt::BottomToolBarArea);
    // The bar takes the focus from a map box on Return, which applies the box's number.
    setFocusPolicy(Qt::ClickFocus);
    if (autoscale)
        addAction(autoscale);
    for (QWidget* control : {static_cast<QWidget*>(m_labelBrightness), static_cast<QWidget*>(m_editBrightness),
                             static_cast<QWidget*>(m_sliderBrightness), static_cast<QWidget*>(m_labelContrast),
                             static_cast<QWidget*>(m_editContrast), static_cast<QWidget*>(m_sliderContrast),
                             static_cast<QWidget*>(m_labelMapMin), static_cast<QWidget*>(m_editMapMin),
                             static_cast<QWidget*>(m_labelMapMax), static_cast<QWidget*>(m_editMapMax)})
        addWidget(control);
    if (resetMapScale)
        addAction(resetMapScale);
    // Only the user's moves reach here: the program's settings block the signals.
    connect(m_sliderBrightness, &QSlider::valueChanged, this, &CWindowingToolBar::OnSliderMoved);
    connect(m_sliderContrast, &QSlider::valueChanged, this, &CWindowingToolBar::OnSliderMoved);
    m_editMapMin->installEventFilter(this);
    m_editMapMax->installEventFilter(this);
    SetWindowing(0, 255, 0, 0);
    // Nothing to show before an image window is active.
    ClearWindowing();
}

void CWindowingToolBar::SetWindowing(int min, int max, int brightness, int contrast)
{
    m_nRangeMin = min;
    m_nRangeMax = max;
    m_nBrightness = brightness;
    m_nContrast = contrast;
    for (QSlider* slider : {m_sliderBrightness, m_sliderContrast}) {
        const QSignalBlocker block(slider);
        slider->setRange(min, max);
    }
    const QSignalBlocker blockBrightness(m_sliderBrightness);
    const QSignalBlocker blockContrast(m_sliderContrast);
    m_sliderBrightness->setValue(brightness);
    m_sliderContrast->setValue(contrast);
    // The boxes show what the sliders hold (a value outside the range is held to it).
    m_editBrightness->setText(QString::number(m_sliderBrightness->value()));
    m_editContrast->setText(QString::number(m_sliderContrast->value()));
}

void CWindowingToolBar::SetMapRange(float min, float max)
{
    m_strWrittenMin = MapNumber(min);
    m_strWrittenMax = MapNumber(max);
    m_editMapMin->SetText(m_strWrittenMin);
    m_editMapMax->SetText(m_strWrittenMax);
    // A value wider still shows its sign and leading digits.
    m_editMapMin->setCursorPosition(0);
    m_editMapMax->setCursorPosition(0);
}

void CWindowingToolBar::ClearWindowing()
{
    for (QSlider* slider : {m_sliderBrightness, m_sliderContrast}) {
        const QSignalBlocker block(slider);
        slider->setValue(slider->minimum());
    }
    m_editBrightness->clear();
    m_editContrast->clear();
    EnableWindowing(false);
}

void CWindowingToolBar::EnableWindowing(bool enable)
{
    for (QWidget* control : {static_cast<QWidget*>(m_sliderBrightness), static_cast<QWidget*>(m_editBrightness),
                             static_cast<QWidget*>(m_sliderContrast), static_cast<QWidget*>(m_editContrast)})
        control->setEnabled(enable);
}

void CWindowingToolBar::FollowActiveImage()
{
    const CChildFrame* frame = m_pMainFrame ? m_pMainFrame->WindowingFrame() : nullptr;
    const TMRImage* image = frame ? frame->GetImage() : nullptr;
    // Without an image the sliders keep what they show; moving them then changes nothing.
    if (image) {
        const int low = image->GetStoredWindowLow(), high = image->GetStoredWindowHigh();
        SetWindowing(vx::TruncateToInt(image->GetStoredMin()), vx::TruncateToInt(image->GetStoredMax()),
                     (high + low) / 2, high - low);
        EnableWindowing(true);
    }

    if (m_bApplyingMapRange)
        return;
    const bool map = frame && !frame->GetMapOverlays().empty();
    m_editMapMin->setEnabled(map);
    m_editMapMax->setEnabled(map);
    if (!map) {
        m_strWrittenMin.clear();
        m_strWrittenMax.clear();
        m_editMapMin->SetText({});
        m_editMapMax->SetText({});
        return;
    }
    const float min = frame->GetMapDisplayMin(), max = frame->GetMapDisplayMax();
    if (MapNumber(min) != m_strWrittenMin || MapNumber(max) != m_strWrittenMax)
        SetMapRange(min, max);
}

void CWindowingToolBar::OnSliderMoved()
{
    m_nBrightness = m_sliderBrightness->value();
    m_nContrast = m_sliderContrast->value();
    m_editBrightness->setText(QString::number(m_nBrightness));
    m_editContrast->setText(QString::number(m_nContrast));
    const int half = m_nContrast / 2;
    if (m_pMainFrame)
        m_pMainFrame->SetBrightnessContrast(m_nBrightness - half, m_nBrightness + half);
}

void CWindowingToolBar::ApplyMapRange()
{
    if (!m_pMainFrame)
        return;
    // The boxes keep the numbers as typed: the range the window then shows counts as
    // written, so that only a later change of it is written over them.
    m_bApplyingMapRange = true;
    m_pMainFrame->SetMapDisplayRange(vx::app::ValueOf(m_editMapMin), vx::app::ValueOf(m_editMapMax));
    m_bApplyingMapRange = false;
    if (const CChildFrame* frame = m_pMainFrame->WindowingFrame()) {
        m_strWrittenMin = MapNumber(frame->GetMapDisplayMin());
        m_strWrittenMax = MapNumber(frame->GetMapDisplayMax());
    }
}

bool CWindowingToolBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_editMapMin && watched != m_editMapMax)
        return QToolBar::eventFilter(watched, event);
    if (event->type() == QEvent::FocusOut) {
        if (!m_bReturnApplied)
            ApplyMapRange();
    } else if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Applied here, then the focus goes to the bar without applying twice.
            ApplyMapRange();
            m_bReturnApplied = true;
            setFocus(Qt::OtherFocusReason);
            m_bReturnApplied = false;
            return true;
        }
    }
    return QToolBar::eventFilter(watched, event);
}
