#include "app/dialogs/CImportImageDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLineEdit>
#include <QShowEvent>

#include <utility>

#include "app/dialogs/CNumEdit.h"
#include "app/dialogs/DialogFields.h"
#include "app/dialogs/DialogHelpers.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "model/math/TextHelpers.h"
#include "platform/FileChooser.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Numbers.h"

TImageImportParams CImportImageDlg::s_last = [] {
    TImageImportParams p;
    p.m_nWidth = 256;
    p.m_nHeight = 256;
    p.m_bSwapBytes = 1;
    return p;
}();

using vx::app::Text5;
using vx::app::ValueOf;

namespace {
constexpr int kPhilipsImageType = 0;
constexpr int kSiemensImageType = 3;

// The typed sizes of a raw image, as its reader takes them.
struct TSizeField {
    const char* name;
    int low;
    int high;
};
constexpr TSizeField kHeaderField{"Header (Bytes)", 0, INT32_MAX};
constexpr TSizeField kWidthField{"Size (pixels) X", 1, TMRImage::kMaxSide};
constexpr TSizeField kHeightField{"Size (pixels) Y", 1, TMRImage::kMaxSide};

QLineEdit* MakeSizeEdit(const TSizeField& field)
{
    return vx::app::MakeDigitEdit(nullptr, field.low, field.high);
}

std::string FilterOf(int imageType)
{
    switch (imageType) {
    case kPhilipsImageType: return "Philips Files(*.rec)|*.rec|All Files (*.*)|*.*";
    case kSiemensImageType: return "Mag Files(*.mag)|*.mag|All Files (*.*)|*.*";
    default: return "All Files (*.*)|*.*";
    }
}
}  // namespace

CImportImageDlg::CImportImageDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Import...");
    m_typeList = new QComboBox;
    m_typeList->setMaxVisibleItems(6);
    m_header = MakeSizeEdit(kHeaderField);
    m_width = MakeSizeEdit(kWidthField);
    m_height = MakeSizeEdit(kHeightField);
    m_swap = new QCheckBox("Swap Bytes");
    for (int k = 0; k < 3; ++k) {
        m_position[k] = new CNumEdit;
        m_angulation[k] = new CNumEdit;
    }
    auto* layout = new QGridLayout(this);
    auto* top = new QFormLayout;
    top->addRow("File Type", m_typeList);
    top->addRow("Header (Bytes)", m_header);
    layout->addLayout(top, 0, 0);
    layout->addWidget(vx::app::AxisGroup("Size (pixels)", m_width, m_height, m_swap, "X:", "Y:", ""), 1, 0);
    layout->addWidget(vx::app::AxisGroup("Position Adjustment (mm)", m_position[0], m_position[1], m_position[2]), 2, 0);
    layout->addWidget(vx::app::AxisGroup("Angulation (degree)", m_angulation[0], m_angulation[1], m_angulation[2]),
                      3, 0);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(m_buttons, 4, 0);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CImportImageDlg::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &CImportImageDlg::reject);
    connect(m_typeList, &QComboBox::activated, this, &CImportImageDlg::OnSelchangeFileType);
}

void CImportImageDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FillControls();
}

void CImportImageDlg::FillControls()
{
    m_typeList->clear();
    m_typeList->addItems({"Philips (PAR/REC file)", "GE Genesis (pre 11)", "GE Excite 11.0 or later (DICOM)",
                          "Siemens (MAG file)", "Standard DICOM file", "Bruker (2dseq file)", "Unknown file type"});
    m_typeList->setCurrentIndex(s_last.m_nImageType >= 0 && s_last.m_nImageType <= kRawImageType ? s_last.m_nImageType
                                                                                                  : 0);
    OnSelchangeFileType();
    m_header->setText(Text5(static_cast<float>(s_last.m_nHeaderSize)));
    m_width->setText(Text5(static_cast<float>(s_last.m_nWidth)));
    m_height->setText(Text5(static_cast<float>(s_last.m_nHeight)));
    const float position[3] = {s_last.m_fShiftX, s_last.m_fShiftY, s_last.m_fShiftZ};
    const float angulation[3] = {s_last.m_fAngleX, s_last.m_fAngleY, s_last.m_fAngleZ};
    for (int k = 0; k < 3; ++k) {
        m_position[k]->SetText(Text5(position[k]));
        m_angulation[k]->SetText(Text5(angulation[k]));
    }
    m_swap->setChecked(s_last.m_bSwapBytes != 0);
}

void CImportImageDlg::OnSelchangeFileType()
{
    const int type = m_typeList->currentIndex();
    const bool raw = type == kRawImageType;
    for (QWidget* control : std::initializer_list<QWidget*>{m_header, m_width, m_height, m_swap})
        control->setEnabled(raw);
    for (int k = 0; k < 3; ++k) {
        m_angulation[k]->setEnabled(raw);
        m_position[k]->setEnabled(type == kPhilipsImageType);
    }
    if (raw) {
        m_header->setText("0");
        m_swap->setChecked(true);
    }
}

TImageImportParams CImportImageDlg::ReadControls() const
{
    TImageImportParams p;
    p.m_nImageType = m_typeList->currentIndex();
    // OK has refused what does not fit; a box left empty reads as 0.
    for (auto [edit, field] : {std::pair{m_header, &p.m_nHeaderSize}, std::pair{m_width, &p.m_nWidth},
                               std::pair{m_height, &p.m_nHeight}})
        if (!vx::ParseInt(edit->text().toStdString(), *field))
            *field = 0;
    p.m_bSwapBytes = m_swap->isChecked() ? 1 : 0;
    p.m_fShiftX = ValueOf(m_position[0]);
    p.m_fShiftY = ValueOf(m_position[1]);
    p.m_fShiftZ = ValueOf(m_position[2]);
    p.m_fAngleX = ValueOf(m_angulation[0]);
    p.m_fAngleY = ValueOf(m_angulation[1]);
    p.m_fAngleZ = ValueOf(m_angulation[2]);
    return p;
}

void CImportImageDlg::accept()
{
    // A raw image's sizes outside what its reader takes keep the dialog open.
    int size = 0;
    for (const auto& [edit, field] : {std::pair{m_header, &kHeaderField}, std::pair{m_width, &kWidthField},
                                      std::pair{m_height, &kHeightField}})
        if (edit->isEnabled() && !vx::app::ReadIntegerField(edit, field->low, field->high, size, field->name))
            return;
    vx::TFileRequest request;
    request.title = "Import...";
    request.multiple = true;
    request.filter = FilterOf(m_typeList->currentIndex());
    request.folder = vx::CurrentFolder();
    const std::vector<std::string> files = vx::ChooseFiles(request);
    // A cancelled file dialog keeps this dialog open.
    if (files.empty() || !g_pProject)
        return;
    s_last = ReadControls();
    vx::app::ImportChosenFiles(files, "image", [](const std::string& folder, const std::string& file) {
        return g_pProject->AddImages(folder, file, s_last);
    });
    QDialog::accept();
}
