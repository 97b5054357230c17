#pragma once
// The control panel of an integral window: Remove, Normalize and Export over the rows
// selected in the list, and the "Ref. Unit" box that sets the normalized value of the
// selected rows (enabled by Normalize, disabled again once it is read).
#include <QWidget>

class CIntegralWnd;
class QLineEdit;
class QPushButton;

class CIntegralDlgView : public QWidget {
    Q_OBJECT
public:
    explicit CIntegralDlgView(CIntegralWnd* owner);

    // The selected regions leave the list.
    void OnRemove();
    // The box shows the sum of the selected rows' normalized values and is enabled.
    void OnNormalize();
    // The box's number becomes the normalized value of the selected rows together.
    void OnRefUnit();
    // The selected integrals of every selected voxel of the work set to a text file.
    void OnExport();

    QLineEdit* RefUnitEdit() const { return m_editRefUnit; }
    QPushButton* RemoveButton() const { return m_btnRemove; }
    QPushButton* NormalizeButton() const { return m_btnNormalize; }
    QPushButton* ExportButton() const { return m_btnExport; }

private:
    CIntegralWnd* m_pOwner;
    QPushButton* m_btnRemove;
    QPushButton* m_btnNormalize;
    QPushButton* m_btnExport;
    QLineEdit* m_editRefUnit;
};
