#include "views/analysis/CIntegralDlgView.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>
#include <string>
#include <vector>

#include "app/dialogs/DialogFields.h"
#include "model/TCSISet.h"
#include "model/TIntegralRegion.h"
#include "model/TProject.h"
#include "model/TSpectrum.h"
#include "model/math/TextHelpers.h"
#include "platform/FileChooser.h"
#include "platform/Globals.h"
#include "platform/Files.h"
#include "platform/Numbers.h"
#include "platform/Report.h"
#include "platform/TTextFile.h"
#include "views/analysis/CIntegralListView.h"
#include "views/analysis/CIntegralWnd.h"

namespace {

constexpr const char* kSelectIntegrals = "Please select the integrals first.";

// The number of a typed reference, which a unit may follow ("2 mM"): its first word, read
// as every typed number is; false when that is no number a float can hold.
bool ReadReference(const std::string& text, float& value)
{
    const size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos)
        return false;
    return vx::ParseFloat(text.substr(start, text.find_first_of(" \t", start) - start), value);
}

}  // namespace

CIntegralDlgView::CIntegralDlgView(CIntegralWnd* owner) : m_pOwner(owner)
{
    m_btnRemove = new QPushButton("Remove", this);
    m_btnNormalize = new QPushButton("Normalize", this);
    m_btnExport = new QPushButton("Export", this);
    m_editRefUnit = new QLineEdit(this);
    auto* layout = new QGridLayout(this);
    layout->addWidget(m_btnRemove, 0, 0);
    layout->addWidget(m_btnNormalize, 0, 1);
    layout->addWidget(m_btnExport, 0, 2);
    layout->addWidget(new QLabel("Ref. Unit", this), 1, 0);
    layout->addWidget(m_editRefUnit, 1, 1);
    layout->setColumnStretch(3, 1);
    connect(m_btnRemove, &QPushButton::clicked, this, &CIntegralDlgView::OnRemove);
    connect(m_btnNormalize, &QPushButton::clicked, this, &CIntegralDlgView::OnNormalize);
    connect(m_btnExport, &QPushButton::clicked, this, &CIntegralDlgView::OnExport);
    // Enter or leaving the box reads it.
    connect(m_editRefUnit, &QLineEdit::editingFinished, this, [this] {
        if (m_editRefUnit->isEnabled())
            OnRefUnit();
    });
    m_editRefUnit->setEnabled(false);
    vx::app::KeepTextBeforeEdit(m_editRefUnit);
}

void CIntegralDlgView::OnRemove()
{
    CIntegralListView* list = m_pOwner->List();
    const std::vector<int> rows = list->SelectedRows();
    if (rows.empty()) {
        vx::Report(kSelectIntegrals, vx::ReportIcon::None);
        return;
    }
    list->RemoveRows(rows);
}

void CIntegralDlgView::OnNormalize()
{
    CIntegralListView* list = m_pOwner->List();
    const std::vector<int> rows = list->SelectedRows();
    if (rows.empty()) {
        vx::Report("Please select the reference integral first.", vx::ReportIcon::None);
        return;
    }
    float sum = 0.0f;
    for (int row : rows)
        sum += list->Regions()[static_cast<size_t>(row)]->m_fNormalized;
    m_editRefUnit->setEnabled(true);
    m_editRefUnit->setText(QString::fromStdString(FloatToString(sum, 2)));
    m_editRefUnit->setFocus();
}

void CIntegralDlgView::OnRefUnit()
{
    CIntegralListView* list = m_pOwner->List();
    float unit = 0.0f;
    const std::vector<int> rows = list->SelectedRows();
    // A reference that is no number keeps the factor it would have replaced.
    if (!ReadReference(m_editRefUnit->text().toStdString(), unit)) {
        vx::Report(vx::app::FloatRangeText(), vx::ReportIcon::Exclamation);
        vx::app::RestoreTextBeforeEdit(m_editRefUnit);
    } else if (rows.empty()) {
        vx::Report(kSelectIntegrals, vx::ReportIcon::None);
    } else {
        float sum = 0.0f;
        for (int row : rows)
            sum += list->Regions()[static_cast<size_t>(row)]->m_fIntegral;
        // A zero reference would make every value infinite: the old factor stays.
        if (sum == 0.0f || !std::isfinite(unit / sum))
            vx::Report("The reference integral is zero.", vx::ReportIcon::Exclamation);
        else
            list->SetFactor(unit / sum);
    }
    list->Refill();
    m_editRefUnit->setEnabled(false);
}

void CIntegralDlgView::OnExport()
{
    CIntegralListView* list = m_pOwner->List();
    std::vector<const TIntegralRegion*> regions;
    for (int row : list->SelectedRows())
        regions.push_back(list->Regions()[static_cast<size_t>(row)].get());
    if (regions.empty()) {
        vx::Report(kSelectIntegrals, vx::ReportIcon::None);
        return;
    }
    vx::TFileRequest request;
    request.save = true;
    request.title = "Save as text file...";
    request.filter = "All Files (*.*)|*.*|Text Files(*.txt)|*.TXT";
    request.filterIndex = 1;
    request.folder = vx::CurrentFolder();
    request.finalPath = [](const std::string& chosen) {
        if (chosen.find(".txt") == std::string::npos && chosen.find(".TXT") == std::string::npos)
            return chosen + ".txt";
        return chosen;
    };
    const std::string path = vx::ChooseFile(request);
    if (path.empty())
        return;

    const float factor = list->Factor();
    std::string text = "Index";
    for (const TIntegralRegion* region : regions)
        text += "\t\t" + region->m_strName;
    text += "\n";
    const TCSISet* set = g_pProject ? g_pProject->m_pWorkSet : nullptr;
    if (set)
        for (int z = 0; z < set->m_nDim[2]; ++z)
            for (int y = 0; y < set->m_nDim[1]; ++y)
                for (int x = 0; x < set->m_nDim[0]; ++x) {
                    const TSpectrum* voxel = set->GetVoxel(x, y, z);
                    if (!voxel || !voxel->m_bSelected)
                        continue;
                    text += "(" + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(z) + ")\t";
                    for (const TIntegralRegion* region : regions)
                        text += "\t\t" + FloatToStringG(region->Integrate(voxel) * factor, 6);
                    text += "\n";
                }
    vx::TTextFile file;
    if (!file.Open(path, vx::TTextFile::Mode::Write) || !file.WriteString(text) || !file.Close())
        vx::Report("Cannot create Txt File" + path, vx::ReportIcon::Exclamation);
}
