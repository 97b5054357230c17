#include "app/CViewSliceDlg.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QVBoxLayout>

#include "app/CMainFrame.h"
#include "app/dialogs/DialogRunner.h"
#include "app/WindowFactory.h"
#include "model/TCSISet.h"
#include "model/TProject.h"
#include "model/math/TextHelpers.h"
#include "platform/Globals.h"

namespace {
constexpr int kDropDownHeight = 100;  // pixels
}

CViewSliceDlg::TValues& CViewSliceDlg::Kept()
{
    static TValues kept;
    return kept;
}

float CViewSliceDlg::PlanePosition(const TCSISet& set, int axis, int k)
{
    const int n = set.m_nDim[axis];
    if (n < 1)
        return 0.0f;
    // Planes are centred on the grid: n / 2 as a real number, so that an odd count has
    // its middle plane at 0.
    return (static_cast<float>(k) - static_cast<float>(n) / 2.0f + 0.5f) * set.m_fFOV[axis] / static_cast<float>(n);
}

std::vector<std::string> CViewSliceDlg::LocationTexts(const TCSISet& set, int mode, int axis)
{
    std::vector<std::string> texts;
    if (axis < 0 || axis > 2)
        return texts;
    const int n = set.m_nDim[axis];
    // The slices of a multi-slice stack lie a slice thickness and a gap apart.
    const bool stacked = set.m_bMultiSlice == 1 && set.m_nSliceAxis == axis;
    for (int k = 0; k < n; ++k) {
        if (mode == kByIndex) {
            texts.push_back(FloatToString(static_cast<float>(k), 5));
            continue;
        }
        float point[3] = {0, 0, 0};
        point[axis] = stacked ? (static_cast<float>(k) - static_cast<float>(n) / 2.0f + 0.5f) *
                                    (set.m_fSliceThickness + set.m_fSliceGap)
                              : PlanePosition(set, axis, k);
        set.TransformPoint(point, 3);
        texts.push_back(FloatToString(point[axis], 2) + " mm");
    }
    return texts;
}

void CViewSliceDlg::Install()
{
    vx::app::SetViewSliceDialog([](CMainFrame* frame, int& axis, float& position) {
        if (!g_pProject || !g_pProject->m_pWorkSet)
            return false;
        CViewSliceDlg dialog(g_pProject->m_pWorkSet, frame);
        if (vx::app::RunDialog(dialog) != QDialog::Accepted)
            return false;
        axis = dialog.GetAxis();
        position = dialog.GetPosition()[axis];
        return true;
    });
}

CViewSliceDlg::CViewSliceDlg(const TCSISet* set, QWidget* parent) : QDialog(parent), m_pSet(set)
{
    setWindowTitle("View Slice...");
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_cmbMode = new QComboBox;
    m_cmbMode->addItems({"by Position (in mm)", "by Index"});
    m_cmbOrientation = new QComboBox;
    m_cmbOrientation->addItems({"X (Saggital)", "Y (Coronal)", "Z (Axial)"});
    m_cmbLocation = new QComboBox;
    for (QComboBox* combo : {m_cmbMode, m_cmbOrientation, m_cmbLocation})
        combo->view()->setMinimumHeight(kDropDownHeight);
    form->addRow("Mode", m_cmbMode);
    form->addRow("Orientation", m_cmbOrientation);
    form->addRow("Location", m_cmbLocation);
    layout->addLayout(form);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CViewSliceDlg::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(m_buttons);
    m_cmbMode->setCurrentIndex(Kept().mode);
    m_cmbOrientation->setCurrentIndex(Kept().axis);
    FillLocations();
    connect(m_cmbMode, &QComboBox::currentIndexChanged, this, &CViewSliceDlg::FillLocations);
    connect(m_cmbOrientation, &QComboBox::currentIndexChanged, this, &CViewSliceDlg::FillLocations);
}

void CViewSliceDlg::FillLocations()
{
    m_cmbLocation->clear();
    if (!m_pSet)
        return;
    for (const std::string& text : LocationTexts(*m_pSet, m_cmbMode->currentIndex(), m_cmbOrientation->currentIndex()))
        m_cmbLocation->addItem(QString::fromStdString(text));
    m_cmbLocation->setCurrentIndex(m_cmbLocation->count() > 0 ? 0 : -1);
}

void CViewSliceDlg::accept()
{
    const int k = m_cmbLocation->currentIndex();
    if (!m_pSet || k < 0)
        return;
    Kept().mode = m_cmbMode->currentIndex();
    Kept().axis = m_cmbOrientation->currentIndex();
    m_nAxis = Kept().axis;
    m_fPosition[0] = m_fPosition[1] = m_fPosition[2] = 0.0f;
    m_fPosition[m_nAxis] = PlanePosition(*m_pSet, m_nAxis, k);
    QDialog::accept();
}
