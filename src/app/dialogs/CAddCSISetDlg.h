#pragma once
// "Add CSI Set...": the data format (its position in the list is the format index the
// reader factory understands, plug-in formats after the built-in ones), the acquisition and
// layout parameters the format does not carry itself, then one or several data files, each
// added to the open project with the dialog's parameter block.
//
// Until one import has completed the dialog shows factory defaults; from then on it shows
// the block it is given, which the Add CSI Set command keeps from the last accepted dialog.
#include <QDialog>
#include <QHash>

#include "model/TCSIReadParams.h"

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QDialogButtonBox;

// The block of the last accepted dialog, all zero at start.
extern TCSIReadParams g_lastReadParams;
// 1 at start, raised by every completed import.
extern int g_nCSIImportCount;

class CAddCSISetDlg : public QDialog {
    Q_OBJECT
public:
    // Controls by their resource numbers.
    enum ControlId : int {
        IdFormat = 1064,
        IdOrientation = 1068,
        IdDimX = 1035, IdDimY = 1036, IdDimZ = 1037,
        IdFastestX = 1041, IdFastestY = 1042, IdFastestZ = 1043,
        IdSlowestX = 1047, IdSlowestY = 1048, IdSlowestZ = 1049,
        IdInvertX = 1061, IdInvertY = 1062, IdInvertZ = 1063,
        IdAngulationX = 1057, IdAngulationY = 1058, IdAngulationZ = 1059,
        IdPoints = 1044,
        IdSweepWidth = 1046,
        IdFrequency = 1052,
        IdFOVX = 1038, IdFOVY = 1039, IdFOVZ = 1040,
        IdOffCentreX = 1054, IdOffCentreY = 1055, IdOffCentreZ = 1056,
        IdInt16 = 1045, IdInt32 = 1050, IdFloat32 = 1051, IdFloat64 = 1060,
        IdHeaderSize = 1053,
        IdSwapBytes = 1094,
        IdCentreX = 1108, IdCentreY = 1109, IdCentreZ = 1110,
        IdEchoAcquisition = 1111,
        IdEchoPosition = 1120,
        IdFlipFrequency = 1103,
        IdKSpaceSymmetric = 1104,
        IdHalfVoxelShift = 1121,
        IdNormalize = 1105,
        IdRemoveOffset = 1106,
        IdFrequencyDomain = 1107,
        IdSpaceDomain = 1112,
        IdLoadRaw = 1102,
    };

    explicit CAddCSISetDlg(QWidget* parent = nullptr);

    // The control of a resource number; null for another number.
    QWidget* Control(int id) const { return m_controls.value(id, nullptr); }
    // Every control that the format decides on (all but the format list, Apply
    // normalization, Remove offset and Load raw data).
    static const QList<int>& ParameterControls();
    QDialogButtonBox* Buttons() const { return m_buttons; }

    void FillControls();
    void EnableControlsForFormat(int format);
    void EnableRawControls(bool enable);
    // Choosing Fastest Growing `axis` keeps Slowest Growing on another axis.
    void OnFastestAxis(int axis);
    // OK: the controls into m_params, then the file chooser and the imports.
    void accept() override;

    TCSIReadParams m_params;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ReadControls();
    QComboBox* Combo(int id) const;
    QAbstractButton* Button(int id) const;
    void SetNumber(int id, float value);
    float FloatOf(int id) const;
    int IntOf(int id) const;

    QHash<int, QWidget*> m_controls;
    QButtonGroup* m_slowest = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};
