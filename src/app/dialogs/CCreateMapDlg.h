#pragma once
// "Create Metabolic Map": the parameters of a new metabolite map (name, map size, area
// integration or principal components, one peak or a ratio of two) and its absolute
// quantification: a typed reference concentration, or a reference map chosen among the
// project's internally referenced maps (the two exclude each other), an optional T1/T2
// relaxation correction and a voxel-by-voxel normalisation. Everything but the name, the
// size and the reference map is kept for the rest of the run.
#include <QDialog>

#include <string>
#include <vector>

#include "model/TMapParams.h"

class CNumEdit;
class QCheckBox;
class QDialogButtonBox;
class QLineEdit;
class QListWidget;
class QRadioButton;
class TMap;
class TProject;

class CCreateMapDlg : public QDialog {
    Q_OBJECT
public:
    // The values kept between openings.
    struct TValues {
        int method = 0;  // 0 area integration, 1 principal component analysis
        bool selectedOnly = false;
        int ratio = 0;   // 0 single peak, 1 ratio of two peaks
        bool enterReference = false;
        float referenceValue = 0.0f;
        bool molarity = true;  // else moles
        bool selectReference = false;
        bool relaxation = false;
        float t1 = 0.0f;  // ms
        float t2 = 0.0f;  // ms
        bool normalize = false;
    };
    // Reference values and relaxation times must exceed this.
    static constexpr float kMinimumValue = 0.00001f;
    // Map sizes the dialog accepts along each axis.
    static constexpr int kMaxSize = 1000;

    // The reference list offers the maps of `project` that carry an internal reference;
    // the size edits start at `size` (x, y, z), and an axis of size 1 cannot be changed.
    CCreateMapDlg(const TProject* project, const int size[3], QWidget* parent = nullptr);

    static TValues& Kept();

    // The result of OK: the typed name in `name`, the size, the method, the
    // selected-only and ratio switches and the quantification settings.
    const TMapParams& GetParams() const { return m_params; }

    QLineEdit* Name() const { return m_editName; }
    QLineEdit* SizeEdit(int axis) const { return axis >= 0 && axis < 3 ? m_editSize[axis] : nullptr; }
    QRadioButton* AreaIntegration() const { return m_radArea; }
    QRadioButton* PrincipalComponents() const { return m_radPCA; }
    QCheckBox* SelectedOnly() const { return m_chkSelected; }
    QRadioButton* SinglePeak() const { return m_radSingle; }
    QRadioButton* PeakRatio() const { return m_radRatio; }
    QCheckBox* EnterReference() const { return m_chkEnterRef; }
    CNumEdit* ReferenceValue() const { return m_editRefValue; }
    QRadioButton* Moles() const { return m_radMoles; }
    QRadioButton* Molarity() const { return m_radMolarity; }
    QCheckBox* SelectReference() const { return m_chkSelectRef; }
    QListWidget* ReferenceList() const { return m_listRef; }
    QCheckBox* Relaxation() const { return m_chkRelaxation; }
    CNumEdit* T1() const { return m_editT1; }
    CNumEdit* T2() const { return m_editT2; }
    QCheckBox* Normalize() const { return m_chkNormalize; }
    QDialogButtonBox* Buttons() const { return m_buttons; }

    void accept() override;

private:
    void OnEnterReference(bool checked);
    void OnSelectReference(bool checked);
    void OnRelaxation(bool checked);

    QLineEdit* m_editName = nullptr;
    QLineEdit* m_editSize[3] = {};
    QRadioButton* m_radArea = nullptr;
    QRadioButton* m_radPCA = nullptr;
    QCheckBox* m_chkSelected = nullptr;
    QRadioButton* m_radSingle = nullptr;
    QRadioButton* m_radRatio = nullptr;
    QCheckBox* m_chkEnterRef = nullptr;
    CNumEdit* m_editRefValue = nullptr;
    QRadioButton* m_radMoles = nullptr;
    QRadioButton* m_radMolarity = nullptr;
    QCheckBox* m_chkSelectRef = nullptr;
    QListWidget* m_listRef = nullptr;
    QCheckBox* m_chkRelaxation = nullptr;
    CNumEdit* m_editT1 = nullptr;
    CNumEdit* m_editT2 = nullptr;
    QCheckBox* m_chkNormalize = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
    std::vector<const TMap*> m_refMaps;  // in list order; owned by their sets
    TMapParams m_params;
};
