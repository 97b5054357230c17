#pragma once
// "Image Windowing ToolBar": brightness and contrast of the active image window's image
// (brightness = (low + high) / 2 and contrast = high - low of its display window, in
// stored pixel units) on two sliders with their values, and the display range of the map
// shown over it in two number boxes. It follows the image window of the active window
// (CMainFrame::WindowingFrame); without one the sliders keep the values they last showed,
// and moving them changes no image. The sliders are blank and disabled until an image
// window of the open project is active, the map boxes likewise without a map shown. Moving
// a slider or leaving a map box hands the values to the main frame.
#include <QString>
#include <QToolBar>

class CMainFrame;
class CNumEdit;
class QLabel;
class QLineEdit;
class QSlider;

class CWindowingToolBar : public QToolBar {
    Q_OBJECT
public:
    // Autoscale first, then the controls, then the map-scale reset: the frame's actions.
    CWindowingToolBar(CMainFrame* frame, QAction* autoscale, QAction* resetMapScale);

    // Both sliders take the range min..max and show brightness and contrast.
    void SetWindowing(int min, int max, int brightness, int contrast);
    // The map boxes show the range with up to 5 decimals, without applying it.
    void SetMapRange(float min, float max);
    // Shows the window and map range of the image window the bar works on; without one the
    // sliders stay as they are, and the map boxes are blanked and disabled without a map.
    // The map boxes are written only when their range differs from what the bar last wrote
    // there, so that a number being typed stays.
    void FollowActiveImage();
    // Sliders at their least, value boxes blank, both disabled: nothing of a project that
    // has gone stays shown.
    void ClearWindowing();

    QSlider* BrightnessSlider() const { return m_sliderBrightness; }
    QSlider* ContrastSlider() const { return m_sliderContrast; }
    QLineEdit* BrightnessEdit() const { return m_editBrightness; }
    QLineEdit* ContrastEdit() const { return m_editContrast; }
    CNumEdit* MapMinEdit() const { return m_editMapMin; }
    CNumEdit* MapMaxEdit() const { return m_editMapMax; }
    int Brightness() const { return m_nBrightness; }
    int Contrast() const { return m_nContrast; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnSliderMoved();
    void EnableWindowing(bool enable);
    // Both map boxes' last valid numbers to the main frame.
    void ApplyMapRange();

    CMainFrame* m_pMainFrame;
    QSlider* m_sliderBrightness;
    QLabel* m_labelBrightness;
    QLineEdit* m_editBrightness;
    QSlider* m_sliderContrast;
    QLabel* m_labelContrast;
    QLineEdit* m_editContrast;
    QLabel* m_labelMapMax;
    QLabel* m_labelMapMin;
    CNumEdit* m_editMapMax;
    CNumEdit* m_editMapMin;
    int m_nBrightness = 0;
    int m_nContrast = 0;
    int m_nRangeMin = 0;
    int m_nRangeMax = 255;
    bool m_bReturnApplied = false;  // Return has applied the map range; the focus change need not
    bool m_bApplyingMapRange = false;  // the map boxes' numbers are being applied
    QString m_strWrittenMin, m_strWrittenMax;  // what the bar last wrote into the map boxes
};
