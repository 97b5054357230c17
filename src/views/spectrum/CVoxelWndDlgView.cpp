#include "views/spectrum/CVoxelWndDlgView.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCursor>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <vector>

#include "app/dialogs/DialogFields.h"
#include "app/dialogs/DialogHelpers.h"
#include "app/dialogs/DialogRunner.h"
#include "model/TCSISet.h"
#include "model/TProject.h"
#include "model/TSpectrum.h"
#include "model/TSpectrumDisplayParams.h"
#include "model/math/TextHelpers.h"
#include "platform/Globals.h"
#include "platform/Numbers.h"
#include "platform/Report.h"
#include "platform/WaitCursor.h"
#include "views/spectrum/CVoxelWindow.h"
#include "views/spectrum/TSharedToolParams.h"

namespace {

// Base units of the form's 8-point font at 96 dots per inch: average character width
// and height in pixels.
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;
// Edits whose size the form leaves open take the size of the others.
constexpr int kEditWidth = 31;
constexpr int kEditHeight = 12;

struct TUnitButton {
    const char* caption;
    int x, width;  // dialog units; each reaches to the next
};
constexpr TUnitButton kUnitButtons[4] = {{"Data", 315, 36}, {"Hz", 351, 31}, {"PPM", 382, 32}, {"Ms", 414, 34}};

struct TPopupEntry {
    int id;
    const char* caption;
    const char* prompt;  // shown in the status bar while the mouse is over the entry
};
struct TPopupDef {
    const char* title;
    std::vector<TPopupEntry> entries;
};
const TPopupDef kPopups[CVoxelWndDlgView::kPopupCount] = {
    {"Phase",
     {{CVoxelWndDlgView::kCmdZeroOrder, "Zero Order", "Correct the zero-order phase"},
      {CVoxelWndDlgView::kCmdFirstOrder, "First Order", "Correct the first-order phase"}}},
    {"Filter",
     {{CVoxelWndDlgView::kCmdLorentzian, "Lorentzian", "Apodize the spectra with a Lorentzian line width"},
      {CVoxelWndDlgView::kCmdGaussian, "Gaussian", "Apodize the spectra with a Gaussian line width"},
      {CVoxelWndDlgView::kCmdLorenGauss, "Loren-Gauss", "Apodize the spectra with Lorentzian and Gaussian line widths"}}},
    {"Spatial",
     {{CVoxelWndDlgView::kCmdCosine, "Cosine", "Filter the CSI set across voxels with a cosine window"},
      {CVoxelWndDlgView::kCmdHamming, "Hamming", "Filter the CSI set across voxels with a Hamming window"},
      {CVoxelWndDlgView::kCmdFermi, "Fermi", "Filter the CSI set across voxels with a Fermi window"}}},
    {"Output",
     {{CVoxelWndDlgView::kCmdTXT, "TXT File", "Export the shown spectra to a text file"},
      {CVoxelWndDlgView::kCmdEMF, "EMF File", "Export the shown spectra as an EMF picture"},
      {CVoxelWndDlgView::kCmdEPS, "EPS File", "Export the shown spectra as an EPS picture"}}},
    {"Baseline",
     {{CVoxelWndDlgView::kCmdConvDiff, "Conv. diff.", "Remove the baseline by convolution difference"},
      {CVoxelWndDlgView::kCmdLinearFit, "linear fitting", "Remove a straight baseline fitted beside the chosen peaks"},
      {CVoxelWndDlgView::kCmdQuadraticFit, "quadratic fitting",
       "Remove a quadratic baseline fitted beside the chosen peaks"}}},
    {"PCA",
     {{CVoxelWndDlgView::kCmdAllVoxels, "All voxels", "Analyse all voxels"},
      {CVoxelWndDlgView::kCmdSelectedVoxels, "Selected voxels", "Analyse the selected voxels only"}}},
    {"Lipid",
     {{CVoxelWndDlgView::kCmdSSP, "Singal Space Projection", "Suppress the lipid signal by signal space projection"},
      {CVoxelWndDlgView::kCmdKSpaceExtrapolation, "K-space extrapolation",
       "Suppress the lipid signal by k-space extrapolation"}}},
};

// The popup a button opens, or -1.
int PopupOf(int id)
{
    switch (id) {
    case CVoxelWndDlgView::kFilter: return CVoxelWndDlgView::kPopupFilter;
    case CVoxelWndDlgView::kSpatial: return CVoxelWndDlgView::kPopupSpatial;
    case CVoxelWndDlgView::kOutput: return CVoxelWndDlgView::kPopupOutput;
    case CVoxelWndDlgView::kBaseline: return CVoxelWndDlgView::kPopupBaseline;
    case CVoxelWndDlgView::kLipid: return CVoxelWndDlgView::kPopupLipid;
    default: return -1;
    }
}

// Whether the frame passes a command on to a view that runs it.
bool Runs(const CVoxelWindow* frame, int id)
{
    if (!frame)
        return false;
    using P = CVoxelWndDlgView;
    switch (id) {
    case P::kZoom: case P::kPhase: case P::kPPMCentre: case P::kMap: case P::kInitAlign: case P::kPeakFind:
    case P::kVoxAlign: case P::kPCA: case P::kNMF: case P::kCmdGaussian: case P::kCmdLorentzian:
    case P::kCmdLorenGauss: case P::kCmdConvDiff: case P::kCmdLinearFit: case P::kCmdQuadraticFit: case P::kCmdSSP:
        return frame->IsReceived(&CVoxelWindow::ToolRequested);
    case P::kFT: return frame->IsReceived(&CVoxelWindow::FourierTransformRequested);
    case P::kZeroFill: return frame->IsReceived(&CVoxelWindow::ZeroFillRequested);
    case P::kWater: return frame->IsReceived(&CVoxelWindow::WaterSuppressionRequested);
    case P::kPeakRemoval: return frame->IsReceived(&CVoxelWindow::PeakRemovalRequested);
    case P::kIntegral: return frame->IsReceived(&CVoxelWindow::IntegralWindowRequested);
    case P::kCmdCosine: case P::kCmdHamming: case P::kCmdFermi:
        return frame->IsReceived(&CVoxelWindow::SpatialFilterRequested);
    case P::kCmdTXT: case P::kCmdEMF: case P::kCmdEPS: return frame->IsReceived(&CVoxelWindow::OutputRequested);
    case P::kCmdKSpaceExtrapolation: return frame->IsReceived(&CVoxelWindow::LipidKSpaceExtrapolationRequested);
    default: return false;  // the Phase and PCA popups' entries have no work
    }
}

float Clamp(float value, float low, float high)
{
    return std::min(std::max(value, low), high);
}

// The point a zoom position box stands for: the point the panel wrote there while the box
// still shows it, else the number read in the unit the box is written in; within the axis.
float PositionPoint(float value, std::optional<int> shown, int unit, const TCSISet* set)
{
    const float last = set ? static_cast<float>(std::max(set->m_nPoints - 1, 0)) : 0.0f;
    const int index = shown ? *shown
                      : set ? set->UnitToPoint(value, unit)
                            : vx::TruncateToInt(std::round(value));
    return Clamp(static_cast<float>(index), 0.0f, last);
}

}  // namespace

QRect CVoxelWndDlgView::DialogRect(int x, int y, int width, int height)
{
    const auto px = [](int units) { return units * kBaseUnitX / 4; };
    const auto py = [](int units) { return units * kBaseUnitY / 8; };
    return QRect(px(x), py(y), px(width), py(height));
}

CVoxelWndDlgView::CVoxelWndDlgView(QWidget* parent) : QWidget(parent)
{
    // The form's 8-point font is the application's typeface at that size.
    QFont font = QApplication::font();
    font.setPointSize(8);
    setFont(font);
    const QRect form = DialogRect(0, 0, kFormWidth, kFormHeight);
    setMinimumWidth(form.width());
    setFixedHeight(form.height());
    BuildControls();
    BuildPopups();
    OnInitialUpdate();
}

QLineEdit* CVoxelWndDlgView::AddEdit(int id, const char* label, int x, int y, bool labelAbove, bool digitsOnly)
{
    QLineEdit* edit = digitsOnly ? vx::app::MakeDigitEdit(this) : new QLineEdit(this);
    edit->setGeometry(DialogRect(x, y, kEditWidth, kEditHeight));
    if (!digitsOnly)
        vx::app::KeepTextBeforeEdit(edit);
    auto* text = new QLabel(label, this);
    // Labels above an edit may reach left over the row's buttons (they are higher up),
    // but not out of the group box on the right.
    constexpr int kAboveWidth = 56, kGroupRight = 305;
    const bool shifted = labelAbove && x + kAboveWidth > kGroupRight;
    const int width = shifted ? kGroupRight - x + kAboveWidth / 2 : kAboveWidth;
    text->setGeometry(labelAbove ? DialogRect(shifted ? kGroupRight - width : x, y - 9, width, 8)
                                 : DialogRect(x - 66, y + 2, 64, 8));
    if (!labelAbove || shifted)
        text->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_edits.insert(id, edit);
    m_labels.insert(id, text);
    // textEdited comes from the user only; numbers the program writes stay silent.
    connect(edit, &QLineEdit::textEdited, this, [this, id] { OnEditChanged(id); });
    return edit;
}

QPushButton* CVoxelWndDlgView::AddButton(int id, const char* caption, int x, int y, int width, int height)
{
    auto* button = new QPushButton(caption, this);
    button->setGeometry(DialogRect(x, y, width, height));
    button->setFlat(true);
    button->setAutoDefault(false);
    m_buttons.insert(id, button);
    connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
    return button;
}

void CVoxelWndDlgView::BuildControls()
{
    auto* processing = new QGroupBox("Display and Data Processing", this);
    processing->setGeometry(DialogRect(3, 3, 303, 129));
    (new QGroupBox("Analysis and Quantification", this))->setGeometry(DialogRect(310, 3, 141, 99));
    (new QGroupBox("Units", this))->setGeometry(DialogRect(311, 103, 140, 29));
    // Frames of the display-range, phase and filter rows.
    auto* rangeFrame = new QGroupBox(this);
    rangeFrame->setGeometry(DialogRect(51, 12, 205, 28));
    (new QGroupBox(this))->setGeometry(DialogRect(51, 44, 121, 28));
    (new QGroupBox(this))->setGeometry(DialogRect(51, 75, 82, 28));

    AddButton(kZoom, "Zoom", 13, 23, 34, 13);
    m_editYMin = AddEdit(kYMin, "ymin", 56, 25, true, false);
    m_editYMax = AddEdit(kYMax, "ymax", 104, 25, true, false);
    m_editXStart = AddEdit(kXStart, "xstart", 154, 25, true, false);
    m_editXEnd = AddEdit(kXEnd, "xend", 201, 25, true, false);
    FitDisplayRange(processing, rangeFrame, AddButton(kFT, "FT", 263, 25, 33, 13));
    AddButton(kPhase, "Phase...", 14, 55, 34, 14);
    m_editPhase0 = AddEdit(kPhase0, "0 order", 55, 57, true, false);
    m_editPhase1 = AddEdit(kPhase1, "1 order", 95, 57, true, false);
    m_editPivot = AddEdit(kPivot, "pivot", 135, 57, true, false);
    AddButton(kWater, "Water", 180, 57, 34, 13);
    AddButton(kSpatial, "Spatial...", 221, 57, 34, 13);
    AddButton(kOutput, "Output", 265, 56, 34, 13);
    AddButton(kFilter, "Filter...", 14, 85, 34, 13);
    m_editLorenLw = AddEdit(kLorenLw, "Loren lw", 56, 88, true, false);
    m_editGaussLw = AddEdit(kGaussLw, "Gauss lw", 95, 88, true, false);
    AddButton(kZeroFill, "ZeroFill", 140, 86, 34, 13);
    AddButton(kBaseline, "BaseLine", 181, 86, 35, 13);
    AddButton(kLipid, "LipidSprs", 224, 86, 33, 13);
    m_editNumComponents = AddEdit(kNumComponents, "Num. Components", 265, 87, true, true);
    AddButton(kPPMCentre, "PPM Cntr", 13, 113, 36, 13);
    m_editRefPPM = AddEdit(kRefPPM, "Ref ppm", 56, 115, true, false);
    AddButton(kPeakFind, "PeakFind", 95, 114, 33, 13);
    m_editStdDev = AddEdit(kStdDev, "std. dev.", 137, 115, true, false);
    AddButton(kInitAlign, "InitAlign", 181, 113, 33, 13);
    AddButton(kVoxAlign, "VoxAlign", 224, 113, 33, 13);
    AddButton(kPeakRemoval, "PeakRm", 266, 112, 34, 13);

    AddButton(kPCA, "PCA", 317, 20, 35, 13);
    m_editNumPCs = AddEdit(kNumPCs, "Num. of PCs", 412, 21, false, true);
    AddButton(kNMF, "NMF", 317, 40, 35, 13);
    m_editNumRuns = AddEdit(kNumRuns, "Num. of Runs", 413, 41, false, true);
    AddButton(kMap, "Map", 317, 60, 35, 13);
    m_editErrThreshold = AddEdit(kErrThreshold, "Error Threshold", 412, 61, false, false);
    AddButton(kIntegral, "Integral", 317, 81, 35, 13);
    m_chkSelectedOnly = new QCheckBox("Selected voxels\nonly", this);
    m_chkSelectedOnly->setGeometry(DialogRect(360, 74, 81, 23));
    m_buttons.insert(kSelectedOnly, m_chkSelectedOnly);
    connect(m_chkSelectedOnly, &QCheckBox::clicked, this, [this] { OnEditChanged(kSelectedOnly); });

    m_units = new QButtonGroup(this);
    const int unitIds[4] = {kUnitData, kUnitHz, kUnitPPM, kUnitMs};
    for (int k = 0; k < 4; ++k) {
        m_btnUnit[k] = new QRadioButton(kUnitButtons[k].caption, this);
        m_btnUnit[k]->setGeometry(DialogRect(kUnitButtons[k].x, 116, kUnitButtons[k].width, 10));
        m_units->addButton(m_btnUnit[k], k);
        m_buttons.insert(unitIds[k], m_btnUnit[k]);
    }
    // Only the user's clicks reach the frame; CheckUnitButton stays silent.
    connect(m_units, &QButtonGroup::idClicked, this, [this](int unit) {
        RewritePositions();
        if (m_pFrame)
            m_pFrame->OnUnitChanged(unit);
    });

    m_btnApply = AddButton(kApply, "Apply", 198, 142, 38, 14);
    m_btnApply->setDefault(true);
    m_btnVoxApply = AddButton(kVoxApply, "VoxApply", 249, 143, 36, 13);
    m_btnCancel = AddButton(kCancel, "Cancel", 298, 143, 37, 13);

    // The keys that walk the voxel or drive the tools go to the frame even from an edit.
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
}

void CVoxelWndDlgView::FitDisplayRange(const QWidget* group, QWidget* frame, QWidget* ft)
{
    // The y range is written with five decimals, the positions with two (points, Hz, ppm or
    // ms of any spectrum: below 10^5); each box is as wide as the widest of its numbers, the
    // boxes follow one another in their frame, and FT keeps to the right of it.
    constexpr char kWidestPosition[] = "-88888.88";
    constexpr int kGap = 4;
    const std::pair<int, const char*> boxes[] = {
        {kYMin, vx::app::kWidestNumber}, {kYMax, vx::app::kWidestNumber}, {kXStart, kWidestPosition},
        {kXEnd, kWidestPosition}};
    int x = m_editYMin->x();
    for (const auto& [id, widest] : boxes) {
        QLineEdit* edit = Edit(id);
        edit->setGeometry(x, edit->y(), vx::app::EditWidthFor(edit, widest), edit->height());
        m_labels[id]->move(x, m_labels[id]->y());
        x += edit->width() + kGap;
    }
    frame->setGeometry(frame->x(), frame->y(), x + kGap - frame->x(), frame->height());
    // FT moves right of the frame, narrower where the group's edge comes first.
    const int left = std::max(ft->x(), frame->x() + frame->width() + kGap);
    const int right = std::min(left + ft->width(), group->x() + group->width() - kGap);
    ft->setGeometry(left, ft->y(), right - left, ft->height());
}

void CVoxelWndDlgView::BuildPopups()
{
    for (int k = 0; k < kPopupCount; ++k) {
        m_popups[k] = new QMenu(kPopups[k].title, this);
        vx::app::ForwardPrompts(*m_popups[k]);
        for (const TPopupEntry& entry : kPopups[k].entries) {
            QAction* action = m_popups[k]->addAction(entry.caption);
            action->setStatusTip(entry.prompt);
            const int id = entry.id;
            connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
            m_commands.insert(id, action);
        }
    }
}

void CVoxelWndDlgView::OnInitialUpdate()
{
    CheckUnitButton(0);
    EnableApplyCancel(false);
    EnableVoxApply(false);
    EnableToolEdits(false);
    UpdateCommandStates();
}

std::vector<QLineEdit*> CVoxelWndDlgView::ToolEdits() const
{
    return {m_editLorenLw, m_editGaussLw, m_editPhase0, m_editPhase1, m_editPivot, m_editYMax, m_editYMin,
            m_editXStart, m_editXEnd, m_editRefPPM, m_editNumPCs, m_editStdDev, m_editNumRuns,
            m_editErrThreshold, m_editNumComponents};
}

void CVoxelWndDlgView::EnableToolEdits(bool enable)
{
    for (QLineEdit* edit : ToolEdits())
        edit->setEnabled(enable);
    m_chkSelectedOnly->setEnabled(enable);
}

void CVoxelWndDlgView::EnableApplyCancel(bool enable)
{
    m_btnApply->setEnabled(enable);
    m_btnCancel->setEnabled(enable);
}

void CVoxelWndDlgView::EnableVoxApply(bool enable)
{
    m_btnVoxApply->setEnabled(enable);
}

void CVoxelWndDlgView::CheckUnitButton(int unit)
{
    m_units->setExclusive(false);
    for (int k = 0; k < 4; ++k)
        m_btnUnit[k]->setChecked(k == unit);
    m_units->setExclusive(true);
    RewritePositions();
}

int CVoxelWndDlgView::CheckedUnit() const
{
    return m_units->checkedId();
}

int CVoxelWndDlgView::AxisUnit() const
{
    const TCSISet* set = WorkSet();
    return set ? set->AxisUnit(CheckedUnit()) : CheckedUnit();
}

void CVoxelWndDlgView::SetItemNumber(int id, float value)
{
    Fill(id, value, 5);
}

void CVoxelWndDlgView::Fill(int id, float value, int decimals)
{
    if (QLineEdit* edit = Edit(id))
        edit->setText(QString::fromStdString(FloatToString(value, decimals)));
}

void CVoxelWndDlgView::FillPosition(int id, int point, int unit, const TCSISet* set)
{
    const float shown = set && unit > 0 ? set->PointToUnit(static_cast<float>(point), unit) : static_cast<float>(point);
    Fill(id, shown, 2);
    m_nPositionUnit = unit;
    if (const QLineEdit* edit = Edit(id))
        m_shownPoints.insert(id, {edit->text(), point});
}

void CVoxelWndDlgView::RewritePositions()
{
    const int unit = AxisUnit();
    if (unit == m_nPositionUnit)
        return;
    const TCSISet* set = WorkSet();
    const int from = m_nPositionUnit;
    for (int id : {kXStart, kXEnd}) {
        float value = 0.0f;
        const QLineEdit* edit = Edit(id);
        // A box that holds no number keeps its text: Apply refuses it as it stands.
        if (!edit || !edit->isEnabled() || !ReadNumber(id, value))
            continue;
        FillPosition(id, vx::TruncateToInt(PositionPoint(value, ShownPoint(id), from, set)), unit, set);
    }
    m_nPositionUnit = unit;
}

std::optional<int> CVoxelWndDlgView::ShownPoint(int id) const
{
    const auto it = m_shownPoints.find(id);
    const QLineEdit* edit = Edit(id);
    if (it == m_shownPoints.end() || !edit || edit->text() != it->first)
        return std::nullopt;
    return it->second;
}

void CVoxelWndDlgView::FillG(int id, float value, int digits)
{
    if (QLineEdit* edit = Edit(id))
        edit->setText(QString::fromStdString(FloatToStringG(value, digits)));
}

std::string CVoxelWndDlgView::TextOf(int id) const
{
    if (id == kSelectedOnly)
        return m_chkSelectedOnly->isChecked() ? "1" : "0";
    const QLineEdit* edit = Edit(id);
    return edit ? edit->text().toStdString() : std::string();
}

QLineEdit* CVoxelWndDlgView::Edit(int id) const
{
    return m_edits.value(id, nullptr);
}

QAbstractButton* CVoxelWndDlgView::Button(int id) const
{
    return m_buttons.value(id, nullptr);
}

const TCSISet* CVoxelWndDlgView::WorkSet() const
{
    return g_pProject ? g_pProject->m_pWorkSet : nullptr;
}

bool CVoxelWndDlgView::ReadNumber(int id, float& value) const
{
    return vx::ParseFloat(TextOf(id), value);
}

void CVoxelWndDlgView::ReadToolParams(int mode)
{
    // A value whose edit holds no number stays as it was.
    TSharedToolParams& shared = SharedToolParams();
    const auto real = [this](int id, float& kept) {
        float value = 0.0f;
        if (ReadNumber(id, value))
            kept = value;
    };
    const auto whole = [this](int id, int& kept) {
        float value = 0.0f;
        if (ReadNumber(id, value))
            kept = vx::TruncateToInt(value);
    };
    switch (mode) {
    case 13:
        whole(kNumRuns, shared.runs);
        real(kErrThreshold, shared.errorThreshold);
        [[fallthrough]];
    case 12:
        whole(kNumPCs, shared.components);
        shared.selectedOnly = m_chkSelectedOnly->isChecked() ? 1 : 0;
        break;
    case 15:
        real(kStdDev, shared.noiseFactor);
        break;
    case 18:
        whole(kNumComponents, shared.lipidComponents);
        break;
    default:
        break;
    }
}

void CVoxelWndDlgView::ShowPopup(const QPoint& global, int popup)
{
    if (QMenu* menu = PopupMenu(popup)) {
        UpdateCommandStates();
        menu->popup(global);
    }
}

void CVoxelWndDlgView::UpdateCommandStates()
{
    for (auto it = m_commands.begin(); it != m_commands.end(); ++it)
        it.value()->setEnabled(Runs(m_pFrame, it.key()));
    for (auto it = m_buttons.begin(); it != m_buttons.end(); ++it) {
        const int id = it.key();
        const int popup = PopupOf(id);
        if (popup >= 0) {
            // A popup is worth opening when one of its entries can run.
            const QList<QAction*> actions = m_popups[popup]->actions();
            it.value()->setEnabled(
                std::any_of(actions.begin(), actions.end(), [](const QAction* a) { return a->isEnabled(); }));
        } else if (qobject_cast<QPushButton*>(it.value()) && id != kApply && id != kCancel && id != kVoxApply) {
            // Apply, Cancel and VoxApply follow the view's tools instead.
            it.value()->setEnabled(Runs(m_pFrame, id));
        }
    }
}

void CVoxelWndDlgView::showEvent(QShowEvent* event)
{
    UpdateCommandStates();
    QWidget::showEvent(event);
}

void CVoxelWndDlgView::BeginTool()
{
    EnableToolEdits(false);
    m_shownPoints.clear();
}

void CVoxelWndDlgView::StartAnalysis(int mode)
{
    BeginTool();
    const TSharedToolParams& shared = SharedToolParams();
    m_editNumPCs->setEnabled(true);
    m_chkSelectedOnly->setEnabled(true);
    if (mode == 13) {
        m_editNumRuns->setEnabled(true);
        m_editErrThreshold->setEnabled(true);
    }
    Fill(kNumPCs, static_cast<float>(shared.components), 1);
    Fill(kNumRuns, static_cast<float>(shared.runs), 1);
    FillG(kErrThreshold, shared.errorThreshold, 1);
    m_chkSelectedOnly->setChecked(shared.selectedOnly != 0);
    const float components = static_cast<float>(shared.components);
    const float flag = static_cast<float>(shared.selectedOnly);
    const float runs = static_cast<float>(shared.runs);
    if (mode == 12)
        m_pFrame->StartPCATool(components, flag, runs, shared.errorThreshold);
    else
        m_pFrame->StartNMFTool(components, flag, runs, shared.errorThreshold);
}

void CVoxelWndDlgView::OnCommand(int id)
{
    if (!m_pFrame)
        return;
    const TCSISet* set = WorkSet();
    const int popup = PopupOf(id);
    if (popup >= 0) {
        // The baseline popup ends the tool first; the others leave it to their entries.
        if (id == kBaseline)
            BeginTool();
        ShowPopup(QCursor::pos(), popup);
        return;
    }
    switch (id) {
    case kZoom: {
        BeginTool();
        TSpectrumDisplayParams display;
        m_pFrame->GetDisplayParams(&display);
        m_editYMax->setEnabled(true);
        m_editYMin->setEnabled(true);
        Fill(kYMax, display.m_fYMax, 5);
        Fill(kYMin, display.m_fYMin, 5);
        m_editXStart->setEnabled(true);
        m_editXEnd->setEnabled(true);
        FillPosition(kXStart, display.m_nXStart, AxisUnit(), set);
        FillPosition(kXEnd, display.m_nXEnd, AxisUnit(), set);
        m_pFrame->StartZoomTool();
        return;
    }
    case kPhase: {
        BeginTool();
        m_editPhase0->setEnabled(true);
        m_editPhase1->setEnabled(true);
        m_editPivot->setEnabled(true);
        float phase0 = 0.0f, phase1 = 0.0f;
        int pivot = 0;
        if (set) {
            const TSpectrum* voxel = m_pFrame->GetCurrentSpectrum();
            const int index[3] = {voxel ? voxel->m_nX : 0, voxel ? voxel->m_nY : 0, voxel ? voxel->m_nZ : 0};
            const int axis = set->m_nSliceAxis >= 0 && set->m_nSliceAxis < 3 ? set->m_nSliceAxis : 2;
            set->GetPhase(index[axis], phase0, phase1, pivot);
        }
        const float toDegrees = 180.0f / std::numbers::pi_v<float>;
        Fill(kPhase0, phase0 * toDegrees, 0);
        Fill(kPhase1, phase1 * toDegrees, 0);
        Fill(kPivot, static_cast<float>(pivot), 5);
        m_pFrame->StartPhaseTool();
        return;
    }
    case kPPMCentre:
        BeginTool();
        m_editRefPPM->setEnabled(true);
        Fill(kRefPPM, set ? set->m_fPPMCentreValue : 0.0f, 2);
        m_pFrame->StartPPMCentreTool();
        return;
    case kCmdGaussian:
        BeginTool();
        m_editGaussLw->setEnabled(true);
        m_editGaussLw->setText("0");
        m_pFrame->StartGaussTool();
        return;
    case kCmdLorentzian:
        BeginTool();
        m_editLorenLw->setEnabled(true);
        m_editLorenLw->setText("0");
        m_pFrame->StartLorentzTool();
        return;
    case kCmdLorenGauss:
        BeginTool();
        m_editGaussLw->setEnabled(true);
        m_editLorenLw->setEnabled(true);
        m_editGaussLw->setText("0");
        m_editLorenLw->setText("0");
        m_pFrame->OnFilterLorenGauss();
        return;
    case kCmdCosine: BeginTool(); m_pFrame->SpatialCosine(); return;
    case kCmdFermi: BeginTool(); m_pFrame->SpatialFermi(); return;
    case kCmdHamming: BeginTool(); m_pFrame->SpatialHamming(); return;
    case kZeroFill: BeginTool(); m_pFrame->ZeroFill(); return;
    case kWater: BeginTool(); m_pFrame->WaterSuppression(); return;
    case kCmdTXT: BeginTool(); m_pFrame->OutputTXT(); return;
    case kCmdEMF: BeginTool(); m_pFrame->OutputEMF(); return;
    case kCmdEPS: BeginTool(); m_pFrame->OutputEPS(); return;
    case kCmdConvDiff: m_pFrame->StartBaselineConvTool(); return;
    case kCmdLinearFit: m_pFrame->StartBaselineLinearTool(); return;
    case kCmdQuadraticFit: m_pFrame->StartBaselineQuadraticTool(); return;
    case kCmdSSP: {
        BeginTool();
        m_editNumComponents->setEnabled(true);
        const int components = SharedToolParams().lipidComponents;
        Fill(kNumComponents, static_cast<float>(components), 1);
        m_pFrame->StartLipidSSPTool(static_cast<float>(components));
        return;
    }
    case kCmdKSpaceExtrapolation: BeginTool(); m_pFrame->LipidKSpaceExtrapolation(); return;
    case kFT: BeginTool(); m_pFrame->FourierTransform(); return;
    case kMap: BeginTool(); m_pFrame->StartMapTool(); return;
    case kPCA: StartAnalysis(12); return;
    case kNMF: StartAnalysis(13); return;
    case kInitAlign: BeginTool(); m_pFrame->StartInitAlignTool(); return;
    case kPeakFind: {
        BeginTool();
        m_editStdDev->setEnabled(true);
        const float factor = SharedToolParams().noiseFactor;
        Fill(kStdDev, factor, 1);
        m_pFrame->StartPeakFindTool(factor);
        return;
    }
    case kIntegral: BeginTool(); m_pFrame->OpenIntegralWindow(); return;
    case kVoxAlign: BeginTool(); m_pFrame->StartVoxAlignTool(); return;
    case kPeakRemoval: BeginTool(); m_pFrame->PeakRemoval(); return;
    case kApply:
    case kVoxApply: {
        // The tool runs on what its edits show: an edit that holds no number a float can
        // hold is refused with the range, and the tool stays as it is.
        // The refused box shows its number from before the edit again, and the tool takes it back.
        for (QLineEdit* edit : ToolEdits())
            if (float value = 0.0f; edit->isEnabled() && !vx::app::ReadFloatField(edit, value)) {
                OnEditChanged(m_edits.key(edit));
                return;
            }
        // A zoom whose ymin is not below its ymax would turn the axis over: refused likewise.
        float yMin = 0.0f, yMax = 0.0f;
        if (m_editYMin->isEnabled() && m_editYMax->isEnabled() && ReadNumber(kYMin, yMin) &&
            ReadNumber(kYMax, yMax) && !(yMin < yMax)) {
            vx::Report("Please enter a ymin smaller than ymax (" + TextOf(kYMax) + ").", vx::ReportIcon::Exclamation);
            m_editYMin->setFocus();
            m_editYMin->selectAll();
            return;
        }
        BeginTool();
        setFocus();
        {
            vx::TWaitCursor wait;
            if (id == kApply)
                m_pFrame->Apply();
            else
                m_pFrame->VoxApply();
        }
        (id == kApply ? m_btnApply : m_btnVoxApply)->setEnabled(false);
        return;
    }
    case kCancel:
        BeginTool();
        setFocus();
        m_pFrame->CancelTool();
        return;
    default:
        return;
    }
}

std::optional<std::array<float, 4>> CVoxelWndDlgView::TypedValues(
    int id, const std::function<std::string(int)>& text, bool lorenGauss, int unit, const TCSISet* set,
    const std::function<std::optional<int>(int)>& shownPoint)
{
    // Every edit the values come from must hold a number a float can hold; one that does
    // not (being typed, or beyond a float) passes nothing, rather than a 0 the user never
    // typed.
    bool numbers = true;
    const auto real = [&](int edit) {
        float value = 0.0f;
        numbers = vx::ParseFloat(text(edit), value) && numbers;
        return value;
    };
    const auto whole = [&](int edit) { return vx::TruncateToInt(real(edit)); };
    const float last = set ? static_cast<float>(std::max(set->m_nPoints - 1, 0)) : 0.0f;
    const std::array<float, 4> values = [&]() -> std::array<float, 4> {
        switch (id) {
        case kLorenLw:
        case kGaussLw:
            // Together the Lorentzian width narrows (0 down to -50 Hz) while the Gaussian
            // broadens; alone either broadens by 0 to 50 Hz.
            if (lorenGauss)
                return {Clamp(real(kLorenLw), -50.0f, 0.0f), Clamp(real(kGaussLw), 0.0f, 50.0f), 0.0f, 0.0f};
            return {Clamp(real(id), 0.0f, 50.0f), 0.0f, 0.0f, 0.0f};
        case kPhase0:
        case kPhase1:
        case kPivot:
            return {Clamp(static_cast<float>(whole(kPhase0)), -180.0f, 180.0f), static_cast<float>(whole(kPhase1)),
                    Clamp(static_cast<float>(whole(kPivot)), 0.0f, last), 0.0f};
        case kYMax:
        case kYMin:
        case kXStart:
        case kXEnd: {
            const auto point = [&](int edit) {
                const float value = real(edit);
                return PositionPoint(value, shownPoint ? shownPoint(edit) : std::nullopt, unit, set);
            };
            return {point(kXStart), point(kXEnd), real(kYMax), real(kYMin)};
        }
        case kRefPPM:
        case kStdDev:
            return {real(id), 0.0f, 0.0f, 0.0f};
        case kNumPCs:
        case kNumRuns:
        case kErrThreshold:
        case kSelectedOnly:
            return {static_cast<float>(whole(kNumPCs)), static_cast<float>(whole(kSelectedOnly)),
                    static_cast<float>(whole(kNumRuns)), real(kErrThreshold)};
        case kNumComponents:
            return {static_cast<float>(whole(kNumComponents)), 0.0f, 0.0f, 0.0f};
        default:
            return {0.0f, 0.0f, 0.0f, 0.0f};
        }
    }();
    if (!numbers)
        return std::nullopt;
    return values;
}

void CVoxelWndDlgView::OnEditChanged(int id)
{
    if (!m_pFrame)
        return;
    const bool lorenGauss = m_editLorenLw->isEnabled() && m_editGaussLw->isEnabled();
    const std::optional<std::array<float, 4>> typed =
        TypedValues(id, [this](int edit) { return TextOf(edit); }, lorenGauss, AxisUnit(), WorkSet(),
                    [this](int edit) { return ShownPoint(edit); });
    if (!typed)
        return;
    // The display keeps its last valid y range while ymin is not below ymax; Apply refuses it.
    const std::array<float, 4>& v = *typed;
    if ((id == kYMin || id == kYMax || id == kXStart || id == kXEnd) && !(v[3] < v[2]))
        return;
    m_pFrame->OnPanelValueChanged(v[0], v[1], v[2], v[3]);
}

bool CVoxelWndDlgView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && m_pFrame) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_End:
        case Qt::Key_Home:
        case Qt::Key_Left:
        case Qt::Key_Up:
        case Qt::Key_Right:
        case Qt::Key_Down:
            m_pFrame->OnKeyDown(static_cast<QKeyEvent*>(event)->key());
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
