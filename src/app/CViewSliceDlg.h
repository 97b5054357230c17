#pragma once
// Project > View Slice: a plane of the work set, chosen by axis and then by its position
// in millimetres or by its voxel index along that axis. The mode and the axis chosen
// last are kept for the rest of the run.
#include <QDialog>

#include <string>
#include <vector>

class QComboBox;
class QDialogButtonBox;
class TCSISet;

class CViewSliceDlg : public QDialog {
    Q_OBJECT
public:
    enum { kByPosition = 0, kByIndex = 1 };
    struct TValues {
        int mode = kByPosition;
        int axis = 0;  // 0 x (sagittal), 1 y (coronal), 2 z (axial)
    };

    explicit CViewSliceDlg(const TCSISet* set, QWidget* parent = nullptr);

    // Makes this dialog the one Project > View Slice shows, on the open project's work set.
    static void Install();

    // The mode and axis of the last OK in this run; 0 and 0 before the first.
    static TValues& Kept();
    // The texts of the location list for a set, mode and axis: the indices, or the
    // positions of the planes' centres in the scanner's frame with " mm".
    static std::vector<std::string> LocationTexts(const TCSISet& set, int mode, int axis);
    // Centre of plane k along an axis in the set's own frame, mm.
    static float PlanePosition(const TCSISet& set, int axis, int k);

    // The result of OK: the chosen axis, and the plane's centre on it (0 on the others).
    int GetAxis() const { return m_nAxis; }
    const float* GetPosition() const { return m_fPosition; }

    QComboBox* Mode() const { return m_cmbMode; }
    QComboBox* Orientation() const { return m_cmbOrientation; }
    QComboBox* Location() const { return m_cmbLocation; }
    QDialogButtonBox* Buttons() const { return m_buttons; }

    void accept() override;

private:
    void FillLocations();

    const TCSISet* m_pSet;
    QComboBox* m_cmbMode = nullptr;
    QComboBox* m_cmbOrientation = nullptr;
    QComboBox* m_cmbLocation = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
    int m_nAxis = 0;
    float m_fPosition[3] = {0, 0, 0};
};
