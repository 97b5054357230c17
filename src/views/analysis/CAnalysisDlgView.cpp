#include "views/analysis/CAnalysisDlgView.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>

#include "app/dialogs/DialogFields.h"
#include "model/TAnalysis.h"
#include "model/TProject.h"
#include "model/math/TextHelpers.h"
#include "platform/Globals.h"
#include "platform/Numbers.h"
#include "views/analysis/CAnalysisWnd.h"

namespace {

float& LastThresholdValue()
{
    static float threshold = 0.0f;
    return threshold;
}

QString Number(float value)
{
    return QString::fromStdString(FloatToString(value, 1));
}

}  // namespace

float CAnalysisDlgView::LastThreshold()
{
    return LastThresholdValue();
}

CAnalysisDlgView::CAnalysisDlgView(QWidget* parent) : QWidget(parent)
{
    auto* grid = new QGridLayout(this);
    const auto labelled = [&](int row, int column, const char* caption, QLabel*& value, const char* start) {
        grid->addWidget(new QLabel(caption, this), row, column);
        value = new QLabel(start, this);
        grid->addWidget(value, row, column + 1);
    };
    m_btnCorrection = new QPushButton("PCA Correction", this);
    m_btnPrev = new QPushButton("Prev Slice", this);
    m_btnNext = new QPushButton("Next Slice", this);
    m_btnCreateMap = new QPushButton("Create Map", this);
    m_btnUpdate = new QPushButton("Update", this);
    m_btnInvert = new QPushButton("Invert Fst PC", this);
    m_btnResidual = new QPushButton("Create Residual", this);
    m_cmbAnalysis = new QComboBox(this);
    m_editThreshold = new QLineEdit(this);
    vx::app::KeepTextBeforeEdit(m_editThreshold);

    grid->addWidget(m_btnPrev, 0, 0);
    grid->addWidget(m_btnNext, 0, 1);
    labelled(0, 2, "Current slice:", m_lblSlice, "0");
    labelled(0, 4, "Slice orient:", m_lblOrientation, "Axial");
    labelled(1, 0, "Peak start:", m_lblPeakStart, "0");
    labelled(1, 2, "Peak end:", m_lblPeakEnd, "0");
    labelled(1, 4, "Num of corrections:", m_lblCorrections, "0");
    grid->addWidget(new QLabel("Select spectral analysis:", this), 2, 0, 1, 2);
    grid->addWidget(m_cmbAnalysis, 2, 2, 1, 4);
    grid->addWidget(m_btnCreateMap, 3, 0);
    grid->addWidget(m_btnUpdate, 3, 1);
    grid->addWidget(m_btnInvert, 3, 2);
    grid->addWidget(m_btnResidual, 3, 3);
    grid->addWidget(new QLabel("Threshold (%)", this), 4, 0);
    grid->addWidget(m_editThreshold, 4, 1);
    grid->addWidget(m_btnCorrection, 4, 2);

    connect(m_btnCorrection, &QPushButton::clicked, this, &CAnalysisDlgView::OnPCACorrection);
    connect(m_btnPrev, &QPushButton::clicked, this, &CAnalysisDlgView::OnPrevSlice);
    connect(m_btnNext, &QPushButton::clicked, this, &CAnalysisDlgView::OnNextSlice);
    connect(m_btnCreateMap, &QPushButton::clicked, this, [this] {
        if (m_pOwner)
            m_pOwner->CreateMaps();
    });
    connect(m_btnUpdate, &QPushButton::clicked, this, [this] {
        if (m_pOwner)
            m_pOwner->UpdateViews(true, true, true);
    });
    connect(m_btnInvert, &QPushButton::clicked, this, [this] {
        if (m_pOwner)
            m_pOwner->InvertFirstPC();
    });
    connect(m_btnResidual, &QPushButton::clicked, this, [this] {
        if (m_pOwner)
            m_pOwner->CreateResidual();
    });
    connect(m_cmbAnalysis, &QComboBox::activated, this, &CAnalysisDlgView::OnSelectAnalysis);
}

void CAnalysisDlgView::UpdatePanel()
{
    if (!m_pOwner || !m_pOwner->GetAnalysis())
        return;
    const TAnalysis& analysis = *m_pOwner->GetAnalysis();
    const int slice = m_pOwner->GetSlice();
    m_lblPeakStart->setText(Number(static_cast<float>(analysis.FirstPoint())));
    m_lblPeakEnd->setText(Number(static_cast<float>(analysis.LastPoint())));
    m_lblCorrections->setText(Number(static_cast<float>(analysis.GetCorrectionCount())));
    m_lblSlice->setText(Number(static_cast<float>(slice)));
    static const char* const kOrientations[] = {"Sagittal", "Coronal", "Axial"};
    const int axis = analysis.SliceAxis();
    m_lblOrientation->setText(axis >= 0 && axis < 3 ? kOrientations[axis] : "n/a");
    m_btnPrev->setEnabled(slice >= 1);
    m_btnNext->setEnabled(slice < analysis.SliceCount() - 1);

    m_bFilling = true;
    m_cmbAnalysis->clear();
    if (g_pProject)
        for (const TAnalysis* a : g_pProject->m_analyses)
            m_cmbAnalysis->addItem(QString::fromStdString(a->GetName()));
    m_cmbAnalysis->setCurrentIndex(m_nSelected < m_cmbAnalysis->count() ? m_nSelected : -1);
    m_cmbAnalysis->view()->setMinimumHeight(100);
    m_bFilling = false;
    m_editThreshold->setText(Number(LastThresholdValue()));
}

void CAnalysisDlgView::SelectAnalysis(const TAnalysis* analysis)
{
    m_nSelected = 0;
    if (!g_pProject || !analysis)
        return;
    const std::string name = analysis->GetName();
    for (size_t i = 0; i < g_pProject->m_analyses.size(); ++i)
        if (g_pProject->m_analyses[i]->GetName() == name) {
            m_nSelected = static_cast<int>(i);
            return;
        }
}

void CAnalysisDlgView::OnPCACorrection()
{
    if (!m_pOwner)
        return;
    // A whole percent: 12.7 counts as 12. A text that is no number a float can hold is
    // refused, and nothing is corrected.
    float typed = 0.0f;
    if (!vx::app::ReadFloatField(m_editThreshold, typed))
        return;
    const int percent = vx::TruncateToInt(typed);
    LastThresholdValue() = static_cast<float>(percent);
    m_pOwner->PCACorrection(static_cast<float>(percent) * 0.01f);
}

void CAnalysisDlgView::OnPrevSlice()
{
    if (!m_pOwner || !m_pOwner->GetAnalysis())
        return;
    const int slice = m_pOwner->GetSlice();
    if (slice >= 1 && slice <= m_pOwner->GetAnalysis()->SliceCount() - 1) {
        m_pOwner->SetSlice(slice - 1);
        m_pOwner->UpdateViews(true, false, false);
    }
}

void CAnalysisDlgView::OnNextSlice()
{
    if (!m_pOwner || !m_pOwner->GetAnalysis())
        return;
    const int slice = m_pOwner->GetSlice();
    if (slice >= 0 && slice < m_pOwner->GetAnalysis()->SliceCount() - 1) {
        m_pOwner->SetSlice(slice + 1);
        m_pOwner->UpdateViews(true, false, false);
    }
}

void CAnalysisDlgView::OnSelectAnalysis(int index)
{
    if (m_bFilling || !m_pOwner || !g_pProject || index < 0 ||
        static_cast<size_t>(index) >= g_pProject->m_analyses.size())
        return;
    m_pOwner->SelectProjectAnalysis(index);
}
