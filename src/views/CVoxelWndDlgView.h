#pragma once
// The control panel below the spectra of a voxel window: a form of a fixed size whose
// controls start the view's tools and set the x-axis unit. Controls are placed in the
// form's dialog units (DialogRect), so that the form keeps its proportions.
#include <QRect>
#include <QWidget>

class CVoxelWindow;
class QButtonGroup;
class QRadioButton;

class CVoxelWndDlgView : public QWidget {
    Q_OBJECT
public:
    // The form's size in dialog units.
    static constexpr int kFormWidth = 456;
    static constexpr int kFormHeight = 167;

    explicit CVoxelWndDlgView(QWidget* parent = nullptr);

    void SetFrame(CVoxelWindow* frame) { m_pFrame = frame; }
    // Checks the button of unit 0 (points, "Data"), 1 "Hz", 2 "PPM" or 3 "Ms"; any
    // other unit leaves every button unchecked. The frame is not told.
    void CheckUnitButton(int unit);
    // The checked unit, -1 when none is checked.
    int CheckedUnit() const;
    QRadioButton* UnitButton(int unit) const { return unit >= 0 && unit < 4 ? m_btnUnit[unit] : nullptr; }

    // Pixels of a rectangle given in dialog units (a unit is a quarter of the form
    // font's average character width across and an eighth of its height down).
    static QRect DialogRect(int x, int y, int width, int height);

private:
    QRadioButton* m_btnUnit[4] = {};
    QButtonGroup* m_units = nullptr;
    CVoxelWindow* m_pFrame = nullptr;  // not owned
};
