#pragma once
// The control panel below the spectra of a voxel window: a form of a fixed size whose
// buttons start the spectrum view's tools and one-click commands, whose edits take the
// numbers the tools use, and whose radio buttons set the x-axis unit. The panel holds no
// processing: a button disables the tool edits, enables and fills the edits of its tool,
// and asks the frame to start the tool; a number typed into an enabled edit is converted,
// clamped and handed to the view through the frame. Controls are placed in the form's
// dialog units (DialogRect), so that the form keeps its proportions.
#include <QHash>
#include <QRect>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class CVoxelWindow;
class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class TCSISet;

class CVoxelWndDlgView : public QWidget {
    Q_OBJECT
public:
    // The form's size in dialog units.
    static constexpr int kFormWidth = 456;
    static constexpr int kFormHeight = 167;

    // Controls of the form and commands of its popup menus.
    enum Id : int {
        kUnitData = 1049, kUnitHz = 1050, kUnitPPM = 1051, kUnitMs = 1147,
        kOutput = 1052, kApply = 1053, kPhase = 1054, kCancel = 1055, kPPMCentre = 1056, kZoom = 1057,
        kSpatial = 1058, kFT = 1059, kInitAlign = 1060, kFilter = 1061, kZeroFill = 1062, kPeakFind = 1063,
        kWater = 1064, kMap = 1065, kPeakRemoval = 1066, kIntegral = 1067, kVoxApply = 1068, kVoxAlign = 1069,
        kLipid = 1099, kBaseline = 1100, kPCA = 1101, kNMF = 1102,
        kLorenLw = 1123, kGaussLw = 1124, kPhase0 = 1125, kPhase1 = 1126, kPivot = 1127, kYMax = 1128,
        kYMin = 1129, kXStart = 1130, kXEnd = 1131, kRefPPM = 1132, kNumComponents = 1133, kNumPCs = 1134,
        kStdDev = 1135, kNumRuns = 1136, kErrThreshold = 1137, kSelectedOnly = 1173,
        kCmdZeroOrder = 32801, kCmdFirstOrder = 32802, kCmdLorentzian = 32803, kCmdGaussian = 32804,
        kCmdCosine = 32805, kCmdHamming = 32806, kCmdFermi = 32807, kCmdLorenGauss = 32809, kCmdTXT = 32810,
        kCmdEMF = 32811, kCmdEPS = 32812, kCmdConvDiff = 32895, kCmdLinearFit = 32896, kCmdQuadraticFit = 32897,
        kCmdAllVoxels = 32921, kCmdSelectedVoxels = 32922, kCmdKSpaceExtrapolation = 33077, kCmdSSP = 33078,
    };
    // Popups of the panel's menu, by index.
    enum Popup : int { kPopupPhase, kPopupFilter, kPopupSpatial, kPopupOutput, kPopupBaseline, kPopupPCA, kPopupLipid };
    static constexpr int kPopupCount = 7;

    explicit CVoxelWndDlgView(QWidget* parent = nullptr);

    void SetFrame(CVoxelWindow* frame) { m_pFrame = frame; }

    // The start state: the Data unit checked, Apply, Cancel, VoxApply and every tool
    // edit disabled.
    void OnInitialUpdate();
    // Enables or disables the sixteen edits and the check box of the tools.
    void EnableToolEdits(bool enable);
    void EnableApplyCancel(bool enable);
    void EnableVoxApply(bool enable);
    // Checks the button of unit 0 (points, "Data"), 1 "Hz", 2 "PPM" or 3 "Ms"; any
    // other unit leaves every button unchecked. The frame is not told.
    void CheckUnitButton(int unit);
    // The checked unit, -1 when none is checked.
    int CheckedUnit() const;
    // The unit the work set's axis shows for the checked one (time for a time-domain set),
    // in which the zoom's positions are written and read.
    int AxisUnit() const;
    // Writes a number with 5 decimals into a control; the view is not told.
    void SetItemNumber(int id, float value);
    // Stores what the edits of an analysis tool hold into the shared tool parameters:
    // mode 12 (PCA) the components and the check box, 13 (NMF) also runs and error
    // threshold, 15 (peak find) the noise factor, 18 (lipid projection) its components.
    void ReadToolParams(int mode);
    // Opens a popup of the panel's menu at a global position.
    void ShowPopup(const QPoint& global, int popup);

    // Enables each command button and popup entry whose work the frame can run.
    void UpdateCommandStates();

    // A button click or popup command, as the user gives it.
    void OnCommand(int id);

    // The four values an edit passes to the view when the user changes it: `text` gives
    // any edit's text, `lorenGauss` says whether both line-width edits are enabled, the
    // unit is the checked one and the set gives the points and the axis conversions; a
    // typed position goes to the nearest point, and one `shownPoint` knows (an edit still
    // showing what the panel wrote there) is the point it was written from.
    // None while an edit they come from holds no number a float can hold.
    static std::optional<std::array<float, 4>> TypedValues(
        int id, const std::function<std::string(int)>& text, bool lorenGauss, int unit, const TCSISet* set,
        const std::function<std::optional<int>(int)>& shownPoint = {});

    // Controls by id; null for an id that is no control of that kind.
    QLineEdit* Edit(int id) const;
    QAbstractButton* Button(int id) const;
    QRadioButton* UnitButton(int unit) const { return unit >= 0 && unit < 4 ? m_btnUnit[unit] : nullptr; }
    QMenu* PopupMenu(int popup) const { return popup >= 0 && popup < kPopupCount ? m_popups[popup] : nullptr; }
    // The action of a popup command; null for another id.
    QAction* CommandAction(int id) const { return m_commands.value(id, nullptr); }

    // Pixels of a rectangle given in dialog units (a unit is a quarter of the form
    // font's average character width across and an eighth of its height down).
    static QRect DialogRect(int x, int y, int width, int height);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    // Widens the display-range boxes to the numbers they show, within their frame, which
    // widens too, and moves FT right of it within the group.
    void FitDisplayRange(const QWidget* group, QWidget* frame, QWidget* ft);
    void BuildPopups();
    QLineEdit* AddEdit(int id, const char* label, int x, int y, bool labelAbove, bool digitsOnly);
    QPushButton* AddButton(int id, const char* caption, int x, int y, int width, int height);
    // The user changed an edit (or the check box).
    void OnEditChanged(int id);
    // Disables the tool edits, then enables and fills the ones of a tool.
    void BeginTool();
    void Fill(int id, float value, int decimals);
    // Writes a point position in the checked unit and keeps the point it came from.
    void FillPosition(int id, int point, int unit, const TCSISet* set);
    // The point an edit's position was written from while it shows that text unchanged.
    std::optional<int> ShownPoint(int id) const;
    // Once the axis unit has changed, the zoom's position boxes that hold a number show
    // the same points again, in the new unit.
    void RewritePositions();
    void FillG(int id, float value, int digits);
    std::string TextOf(int id) const;
    // The number an edit holds; false when it holds none a float can hold.
    bool ReadNumber(int id, float& value) const;
    // The tool edits in the form's order (the check box aside).
    std::vector<QLineEdit*> ToolEdits() const;
    const TCSISet* WorkSet() const;
    // PCA and NMF: the shared values into their edits, then the tool.
    void StartAnalysis(int mode);

    QRadioButton* m_btnUnit[4] = {};
    QPushButton* m_btnCancel = nullptr;
    QPushButton* m_btnApply = nullptr;
    QPushButton* m_btnVoxApply = nullptr;
    QLineEdit* m_editLorenLw = nullptr;
    QLineEdit* m_editGaussLw = nullptr;
    QLineEdit* m_editPhase0 = nullptr;
    QLineEdit* m_editPhase1 = nullptr;
    QLineEdit* m_editPivot = nullptr;
    QLineEdit* m_editRefPPM = nullptr;
    QLineEdit* m_editYMax = nullptr;
    QLineEdit* m_editYMin = nullptr;
    QLineEdit* m_editXStart = nullptr;
    QLineEdit* m_editXEnd = nullptr;
    QLineEdit* m_editNumPCs = nullptr;
    QLineEdit* m_editStdDev = nullptr;
    QLineEdit* m_editNumRuns = nullptr;
    QLineEdit* m_editErrThreshold = nullptr;
    QLineEdit* m_editNumComponents = nullptr;
    QCheckBox* m_chkSelectedOnly = nullptr;
    CVoxelWindow* m_pFrame = nullptr;  // not owned

    QButtonGroup* m_units = nullptr;
    QHash<int, QLineEdit*> m_edits;
    QHash<int, QLabel*> m_labels;  // of the edits, by id
    QHash<int, QAbstractButton*> m_buttons;
    // Positions the panel wrote (xstart, xend): the text and the point it came from.
    QHash<int, std::pair<QString, int>> m_shownPoints;
    // The axis unit the position boxes are written and typed in.
    int m_nPositionUnit = 0;
    QHash<int, QAction*> m_commands;
    QMenu* m_popups[kPopupCount] = {};
};
