#include "app/dialogs/CCreateMapDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/dialogs/CNumEdit.h"
#include "app/dialogs/DialogFields.h"
#include "app/dialogs/DialogHelpers.h"
#include "model/TMap.h"
#include "model/TProject.h"
#include "model/math/TextHelpers.h"
#include "platform/Report.h"

namespace {

QString Number(float value)
{
    return QString::fromStdString(FloatToString(value, 5));
}

// Two radio buttons that exclude each other (and no others in the dialog).
void Pair(QWidget* owner, QRadioButton* first, QRadioButton* second)
{
    auto* group = new QButtonGroup(owner);
    group->addButton(first);
    group->addButton(second);
}

}  // namespace

CCreateMapDlg::TValues& CCreateMapDlg::Kept()
{
    static TValues kept;
    return kept;
}

CCreateMapDlg::CCreateMapDlg(const TProject* project, const int size[3], QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Create Metabolic Map");
    const TValues& kept = Kept();
    auto* layout = new QVBoxLayout(this);

    auto* nameRow = new QFormLayout;
    m_editName = new QLineEdit;
    nameRow->addRow("Please name the map:", m_editName);
    layout->addLayout(nameRow);

    auto* top = new QHBoxLayout;
    auto* method = new QGroupBox("Method selection");
    auto* methodLayout = new QVBoxLayout(method);
    m_radArea = new QRadioButton("Area integration");
    m_radPCA = new QRadioButton("Principal component analysis");
    Pair(this, m_radArea, m_radPCA);
    (kept.method == 0 ? m_radArea : m_radPCA)->setChecked(true);
    methodLayout->addWidget(m_radArea);
    methodLayout->addWidget(m_radPCA);
    top->addWidget(method);

    auto* sizeBox = new QGroupBox("Map size");
    auto* sizeLayout = new QFormLayout(sizeBox);
    const char* axes[3] = {"x:", "y:", "z:"};
    for (int k = 0; k < 3; ++k) {
        m_editSize[k] = new QLineEdit(QString::number(size[k]));
        m_editSize[k]->setEnabled(size[k] != 1);
        sizeLayout->addRow(axes[k], m_editSize[k]);
    }
    top->addWidget(sizeBox);
    layout->addLayout(top);

    auto* peaks = new QGroupBox("Peak Selection");
    auto* peaksLayout = new QHBoxLayout(peaks);
    m_radSingle = new QRadioButton("Single peak");
    m_radRatio = new QRadioButton("Ratio of two peaks");
    Pair(this, m_radSingle, m_radRatio);
    (kept.ratio == 0 ? m_radSingle : m_radRatio)->setChecked(true);
    peaksLayout->addWidget(m_radSingle);
    peaksLayout->addWidget(m_radRatio);
    layout->addWidget(peaks);

    auto* generation = new QGroupBox("Map generation parameters");
    auto* generationLayout = new QVBoxLayout(generation);
    m_chkSelected = new QCheckBox("Only apply to selected spectrum");
    m_chkSelected->setChecked(kept.selectedOnly);
    generationLayout->addWidget(m_chkSelected);
    layout->addWidget(generation);

    auto* quant = new QGroupBox("Absolute quantification parameters");
    auto* grid = new QGridLayout(quant);
    m_chkEnterRef = new QCheckBox("Enter reference concentration");
    m_chkEnterRef->setChecked(kept.enterReference);
    m_editRefValue = new CNumEdit;
    m_editRefValue->SetText(Number(kept.referenceValue));
    m_radMoles = new QRadioButton("moles");
    m_radMolarity = new QRadioButton("Molarity");
    Pair(this, m_radMoles, m_radMolarity);
    (kept.molarity ? m_radMolarity : m_radMoles)->setChecked(true);
    grid->addWidget(m_chkEnterRef, 0, 0, 1, 2);
    grid->addWidget(m_editRefValue, 1, 0);
    auto* units = new QHBoxLayout;
    units->addWidget(m_radMoles);
    units->addWidget(m_radMolarity);
    grid->addLayout(units, 1, 1);

    m_chkSelectRef = new QCheckBox("Select reference for quantification");
    m_chkSelectRef->setChecked(kept.selectReference);
    m_listRef = new QListWidget;
    if (project)
        for (const TMap* map : project->CollectMarkedMaps()) {
            m_refMaps.push_back(map);
            m_listRef->addItem(QString::fromStdString(map->GetCSISetName() + "  " + map->GetName()));
        }
    m_chkNormalize = new QCheckBox("Normalize voxel by voxel");
    m_chkNormalize->setChecked(kept.normalize);
    grid->addWidget(m_chkSelectRef, 2, 0, 1, 2);
    grid->addWidget(m_listRef, 3, 0, 1, 2);
    grid->addWidget(m_chkNormalize, 4, 0, 1, 2);

    m_chkRelaxation = new QCheckBox("Relaxation correction");
    m_chkRelaxation->setChecked(kept.relaxation);
    m_editT1 = new CNumEdit;
    m_editT1->SetText(Number(kept.t1));
    m_editT2 = new CNumEdit;
    m_editT2->SetText(Number(kept.t2));
    grid->addWidget(m_chkRelaxation, 5, 0, 1, 2);
    auto* times = new QFormLayout;
    times->addRow("T1(ms):", m_editT1);
    times->addRow("T2(ms):", m_editT2);
    grid->addLayout(times, 6, 0, 1, 2);
    layout->addWidget(quant);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CCreateMapDlg::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(m_buttons);

    OnEnterReference(m_chkEnterRef->isChecked());
    OnSelectReference(m_chkSelectRef->isChecked());
    OnRelaxation(m_chkRelaxation->isChecked());
    connect(m_chkEnterRef, &QCheckBox::toggled, this, &CCreateMapDlg::OnEnterReference);
    connect(m_chkSelectRef, &QCheckBox::toggled, this, &CCreateMapDlg::OnSelectReference);
    connect(m_chkRelaxation, &QCheckBox::toggled, this, &CCreateMapDlg::OnRelaxation);
}

void CCreateMapDlg::OnEnterReference(bool checked)
{
    m_editRefValue->setEnabled(checked);
    m_radMoles->setEnabled(checked);
    m_radMolarity->setEnabled(checked);
    if (checked) {
        m_chkSelectRef->setChecked(false);
        m_listRef->setEnabled(false);
        m_chkNormalize->setEnabled(false);
    }
}

void CCreateMapDlg::OnSelectReference(bool checked)
{
    m_listRef->setEnabled(checked);
    m_chkNormalize->setEnabled(checked);
    if (checked) {
        m_chkEnterRef->setChecked(false);
        m_editRefValue->setEnabled(false);
        m_radMoles->setEnabled(false);
        m_radMolarity->setEnabled(false);
    }
}

void CCreateMapDlg::OnRelaxation(bool checked)
{
    m_editT1->setEnabled(checked);
    m_editT2->setEnabled(checked);
}

void CCreateMapDlg::accept()
{
    TMapParams params;
    TValues values = Kept();
    values.method = m_radArea->isChecked() ? 0 : 1;
    values.enterReference = m_chkEnterRef->isChecked();
    values.referenceValue = vx::app::ValueOf(m_editRefValue);
    values.molarity = m_radMolarity->isChecked();
    if (values.enterReference && values.referenceValue <= kMinimumValue) {
        vx::Report("The reference value is invalid.", vx::ReportIcon::None);
        return;
    }
    values.selectReference = m_chkSelectRef->isChecked();
    if (values.selectReference) {
        const int row = m_listRef->currentRow();
        if (row < 0 || row >= static_cast<int>(m_refMaps.size()) || !m_listRef->item(row)->isSelected()) {
            vx::Report("No reference map is selected.", vx::ReportIcon::None);
            return;
        }
        params.referenceSetName = m_refMaps[static_cast<size_t>(row)]->GetCSISetName();
        params.referenceMapName = m_refMaps[static_cast<size_t>(row)]->GetName();
    }
    values.relaxation = m_chkRelaxation->isChecked();
    values.t1 = vx::app::ValueOf(m_editT1);
    values.t2 = vx::app::ValueOf(m_editT2);
    if (values.relaxation && (values.t1 <= kMinimumValue || values.t2 <= kMinimumValue)) {
        vx::Report("The T1 and/or T2 values are invalid.", vx::ReportIcon::None);
        return;
    }
    values.normalize = m_chkNormalize->isChecked();
    // A size from the user becomes the grid the map is enlarged to, so it is bounded.
    for (int k = 0; k < 3; ++k)
        if (!vx::app::ReadIntegerField(m_editSize[k], 1, kMaxSize, params.size[k]))
            return;
    values.selectedOnly = m_chkSelected->isChecked();
    values.ratio = m_radSingle->isChecked() ? 0 : 1;

    params.name = m_editName->text().toStdString();
    params.method = values.method;
    params.selectedOnly = values.selectedOnly ? 1 : 0;
    params.ratioOfPeaks = values.ratio;
    params.useInternalReference = values.enterReference ? 1 : 0;
    params.referenceConcentration = values.referenceValue;
    params.molarUnit = values.molarity ? 1 : 0;
    params.useReferenceMap = values.selectReference ? 1 : 0;
    params.relaxationCorrection = values.relaxation ? 1 : 0;
    params.t1 = values.t1;
    params.t2 = values.t2;
    params.voxelByVoxel = values.normalize ? 1 : 0;
    m_params = std::move(params);
    Kept() = values;
    QDialog::accept();
}
