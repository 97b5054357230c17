#include "app/dialogs/CAddCSISetDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include <cstdint>

#include "app/dialogs/CNumEdit.h"
#include "app/dialogs/DialogFields.h"
#include "app/dialogs/DialogHelpers.h"
#include "model/TCSISet.h"
#include "model/TProject.h"
#include "model/math/TextHelpers.h"
#include "platform/FileChooser.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Numbers.h"
#include "platform/PluginTable.h"
#include "readers/CSIFormats.h"

TCSIReadParams g_lastReadParams;
int g_nCSIImportCount = 1;

namespace {
using Dlg = CAddCSISetDlg;

constexpr int kFloatEdits[] = {Dlg::IdFOVX,         Dlg::IdFOVY,         Dlg::IdFOVZ,        Dlg::IdFrequency,
                               Dlg::IdEchoPosition, Dlg::IdAngulationX,  Dlg::IdAngulationY, Dlg::IdAngulationZ,
                               Dlg::IdOffCentreX,   Dlg::IdOffCentreY,   Dlg::IdOffCentreZ};
constexpr int kDigitEdits[] = {Dlg::IdDimX,   Dlg::IdDimY,       Dlg::IdDimZ,
                               Dlg::IdPoints, Dlg::IdSweepWidth, Dlg::IdHeaderSize};
constexpr int kCheckBoxes[] = {Dlg::IdInvertX,          Dlg::IdInvertY,        Dlg::IdInvertZ,
                               Dlg::IdCentreX,          Dlg::IdCentreY,        Dlg::IdCentreZ,
                               Dlg::IdEchoAcquisition,  Dlg::IdSwapBytes,      Dlg::IdLoadRaw,
                               Dlg::IdNormalize,        Dlg::IdRemoveOffset,   Dlg::IdFlipFrequency,
                               Dlg::IdKSpaceSymmetric,  Dlg::IdHalfVoxelShift, Dlg::IdFrequencyDomain,
                               Dlg::IdSpaceDomain};
// The box's name in a refusal and what the readers take in it: a grid no larger than a set
// holds, and at least one point and one hertz.
struct TWholeRange {
    const char* name;
    int low;
    int high;
};
TWholeRange WholeRangeOf(int id)
{
    constexpr int kMaxDim = static_cast<int>(TCSISet::kMaxVoxels);
    switch (id) {
    case Dlg::IdDimX: return {"Dimensions X", 1, kMaxDim};
    case Dlg::IdDimY: return {"Dimensions Y", 1, kMaxDim};
    case Dlg::IdDimZ: return {"Dimensions Z", 1, kMaxDim};
    case Dlg::IdPoints: return {"Number of points in voxel", 1, INT32_MAX};
    case Dlg::IdSweepWidth: return {"Sweep Width (Hz)", 1, INT32_MAX};
    default: return {"Header Size ( in Bytes)", 0, INT32_MAX};
    }
}
constexpr int kFastest[3] = {Dlg::IdFastestX, Dlg::IdFastestY, Dlg::IdFastestZ};
constexpr int kSlowest[3] = {Dlg::IdSlowestX, Dlg::IdSlowestY, Dlg::IdSlowestZ};
constexpr int kSampleTypes[4] = {Dlg::IdInt16, Dlg::IdInt32, Dlg::IdFloat32, Dlg::IdFloat64};

// The block field behind each control.
float* FloatField(TCSIReadParams& p, int id)
{
    switch (id) {
    case Dlg::IdFOVX: case Dlg::IdFOVY: case Dlg::IdFOVZ: return &p.m_fFOV[id - Dlg::IdFOVX];
    case Dlg::IdFrequency: return &p.m_fFrequency;
    case Dlg::IdEchoPosition: return &p.m_fEchoPeakTime;
    case Dlg::IdAngulationX: case Dlg::IdAngulationY: case Dlg::IdAngulationZ:
        return &p.m_fAngulation[id - Dlg::IdAngulationX];
    case Dlg::IdOffCentreX: case Dlg::IdOffCentreY: case Dlg::IdOffCentreZ:
        return &p.m_fOffCentre[id - Dlg::IdOffCentreX];
    default: return nullptr;
    }
}

int32_t* IntField(TCSIReadParams& p, int id)
{
    switch (id) {
    case Dlg::IdDimX: case Dlg::IdDimY: case Dlg::IdDimZ: return &p.m_nDim[id - Dlg::IdDimX];
    case Dlg::IdPoints: return &p.m_nPoints;
    case Dlg::IdSweepWidth: return &p.m_nSweepWidth;
    case Dlg::IdHeaderSize: return &p.m_nHeaderSize;
    default: return nullptr;
    }
}

uint8_t* FlagField(TCSIReadParams& p, int id)
{
    switch (id) {
    case Dlg::IdInvertX: case Dlg::IdInvertY: case Dlg::IdInvertZ: return &p.m_bInvert[id - Dlg::IdInvertX];
    case Dlg::IdCentreX: case Dlg::IdCentreY: case Dlg::IdCentreZ: return &p.m_bCenter[id - Dlg::IdCentreX];
    case Dlg::IdEchoAcquisition: return &p.m_bEchoAcquisition;
    case Dlg::IdSwapBytes: return &p.m_bSwapBytes;
    case Dlg::IdLoadRaw: return &p.m_bLoadRawData;
    case Dlg::IdNormalize: return &p.m_bNormalize;
    case Dlg::IdRemoveOffset: return &p.m_bRemoveOffset;
    case Dlg::IdFlipFrequency: return &p.m_bFlipFrequency;
    case Dlg::IdKSpaceSymmetric: return &p.m_bKSpaceCorrection;
    case Dlg::IdHalfVoxelShift: return &p.m_bHalfVoxelShift;
    case Dlg::IdFrequencyDomain: return &p.m_bFrequencyDomain;
    case Dlg::IdSpaceDomain: return &p.m_bSpaceDomain;
    default: return nullptr;
    }
}

// What the first dialog of a run shows.
const std::pair<int, const char*> kDefaultTexts[] = {
    {Dlg::IdFOVX, "240"},        {Dlg::IdFOVY, "240"},        {Dlg::IdFOVZ, "240"},
    {Dlg::IdAngulationX, "0"},   {Dlg::IdAngulationY, "0"},   {Dlg::IdAngulationZ, "0"},
    {Dlg::IdOffCentreX, "0"},    {Dlg::IdOffCentreY, "0"},    {Dlg::IdOffCentreZ, "0"},
    {Dlg::IdDimX, "8"},          {Dlg::IdDimY, "8"},          {Dlg::IdDimZ, "8"},
    {Dlg::IdSweepWidth, "1000"}, {Dlg::IdFrequency, "64"},    {Dlg::IdEchoPosition, "0"},
    {Dlg::IdPoints, "512"},      {Dlg::IdHeaderSize, "0"},
};
constexpr int kDefaultChecked[] = {Dlg::IdInt32, Dlg::IdSwapBytes, Dlg::IdFastestX, Dlg::IdSlowestZ,
                                   Dlg::IdFlipFrequency};

// The parameter controls that formats with a header of their own still take from the dialog.
const QList<int> kPhilips3DPreR11Controls = {
    Dlg::IdFOVX,         Dlg::IdFOVY,         Dlg::IdFOVZ,         Dlg::IdAngulationX, Dlg::IdAngulationY,
    Dlg::IdAngulationZ,  Dlg::IdOffCentreX,   Dlg::IdOffCentreY,   Dlg::IdOffCentreZ,  Dlg::IdFrequency,
    Dlg::IdSweepWidth,   Dlg::IdOrientation};
const QList<int> kEPCSIControls = {Dlg::IdFrequency, Dlg::IdSweepWidth};
const QList<int> kGEPre11Controls = {Dlg::IdFastestX, Dlg::IdFastestY, Dlg::IdFastestZ, Dlg::IdSlowestX,
                                     Dlg::IdSlowestY, Dlg::IdSlowestZ, Dlg::IdInvertX,  Dlg::IdInvertY,
                                     Dlg::IdInvertZ,  Dlg::IdCentreX,  Dlg::IdCentreY,  Dlg::IdCentreZ,
                                     Dlg::IdKSpaceSymmetric};
constexpr int kPhilips3DPreR11 = 8;
constexpr int kEPCSI = 11;
constexpr int kGEPre11 = 12;
}  // namespace

CAddCSISetDlg::CAddCSISetDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Add CSI Set...");
    auto add = [this](int id, QWidget* widget) {
        m_controls.insert(id, widget);
        return widget;
    };
    for (int id : {IdFormat, IdOrientation}) {
        auto* combo = new QComboBox;
        // About 100 pixels of entries when dropped down.
        combo->setMaxVisibleItems(6);
        add(id, combo);
    }
    for (int id : kFloatEdits)
        add(id, new CNumEdit);
    for (int id : kDigitEdits) {
        const TWholeRange range = WholeRangeOf(id);
        add(id, vx::app::MakeDigitEdit(nullptr, range.low, range.high));
    }
    const std::pair<int, const char*> checks[] = {
        {IdInvertX, "X"},
        {IdInvertY, "Y"},
        {IdInvertZ, "Z"},
        {IdCentreX, "x"},
        {IdCentreY, "y"},
        {IdCentreZ, "z"},
        {IdEchoAcquisition, "Echo acquisition"},
        {IdSwapBytes, "Swap Bytes (check if data is big-endian)"},
        {IdLoadRaw, "Load raw data"},
        {IdNormalize, "Apply normalization"},
        {IdRemoveOffset, "Remove offset"},
        {IdFlipFrequency, "Flip frequency axis"},
        {IdKSpaceSymmetric, "Correction for K-space symmetric sampling"},
        {IdHalfVoxelShift, "Half voxel shifting"},
        {IdFrequencyDomain, "Data is in frequency domain"},
        {IdSpaceDomain, "Data is in space domain"},
    };
    for (const auto& [id, text] : checks)
        add(id, new QCheckBox(text));
    // Fastest and slowest growing axis and the sample type are three groups of radios.
    auto* fastest = new QButtonGroup(this);
    m_slowest = new QButtonGroup(this);
    auto* sampleType = new QButtonGroup(this);
    const char* axes[3] = {"X", "Y", "Z"};
    for (int k = 0; k < 3; ++k) {
        auto* radio = new QRadioButton(axes[k]);
        fastest->addButton(radio);
        add(kFastest[k], radio);
        connect(radio, &QRadioButton::clicked, this, [this, k] { OnFastestAxis(k); });
        radio = new QRadioButton(axes[k]);
        m_slowest->addButton(radio);
        add(kSlowest[k], radio);
    }
    const char* types[4] = {"Int*16", "Int*32", "Float*32", "Float*64"};
    for (int k = 0; k < 4; ++k) {
        auto* radio = new QRadioButton(types[k]);
        sampleType->addButton(radio);
        add(kSampleTypes[k], radio);
    }
    connect(Combo(IdFormat), &QComboBox::activated, this, [this] { EnableControlsForFormat(Combo(IdFormat)->currentIndex()); });

    auto group = [this](const QString& title, int x, int y, int z, bool labels = true) {
        return labels ? vx::app::AxisGroup(title, Control(x), Control(y), Control(z))
                      : vx::app::AxisGroup(title, Control(x), Control(y), Control(z), "", "", "");
    };
    auto* layout = new QGridLayout(this);
    auto* top = new QFormLayout;
    top->addRow("CSI file type", Control(IdFormat));
    top->addRow("Slice Orientation", Control(IdOrientation));
    layout->addLayout(top, 0, 0, 1, 2);
    layout->addWidget(group("Dimensions", IdDimX, IdDimY, IdDimZ), 1, 0);
    layout->addWidget(group("Field Of View (mm)", IdFOVX, IdFOVY, IdFOVZ), 1, 1);
    auto* order = new QHBoxLayout;
    order->addWidget(group("Fastest Growing", IdFastestX, IdFastestY, IdFastestZ, false));
    order->addWidget(group("Slowest Growing", IdSlowestX, IdSlowestY, IdSlowestZ, false));
    order->addWidget(group("Invert", IdInvertX, IdInvertY, IdInvertZ, false));
    layout->addLayout(order, 2, 0, 1, 2);
    layout->addWidget(group("Angulation(degree)", IdAngulationX, IdAngulationY, IdAngulationZ), 3, 0);
    layout->addWidget(group("Off Center (mm)", IdOffCentreX, IdOffCentreY, IdOffCentreZ), 3, 1);

    auto* acquisition = new QFormLayout;
    acquisition->addRow("Number of points in voxel:", Control(IdPoints));
    acquisition->addRow("Sweep Width (Hz):", Control(IdSweepWidth));
    acquisition->addRow("Spectral frequency in MHz", Control(IdFrequency));
    acquisition->addRow("Header Size ( in Bytes)", Control(IdHeaderSize));
    acquisition->addRow("Echo peak position (ms)", Control(IdEchoPosition));
    layout->addLayout(acquisition, 4, 0);
    auto* typeBox = new QGroupBox("Data Type:");
    auto* typeLayout = new QHBoxLayout(typeBox);
    for (int id : kSampleTypes)
        typeLayout->addWidget(Control(id));
    auto* right = new QVBoxLayout;
    right->addWidget(typeBox);
    right->addWidget(group("Center CSI data in:", IdCentreX, IdCentreY, IdCentreZ, false));
    layout->addLayout(right, 4, 1);

    auto* options = new QGridLayout;
    const int optionIds[] = {IdSwapBytes,       IdEchoAcquisition, IdFlipFrequency,   IdKSpaceSymmetric,
                             IdHalfVoxelShift,  IdNormalize,       IdRemoveOffset,    IdFrequencyDomain,
                             IdSpaceDomain,     IdLoadRaw};
    for (int k = 0; k < int(std::size(optionIds)); ++k)
        options->addWidget(Control(optionIds[k]), k / 2, k % 2);
    layout->addLayout(options, 5, 0, 1, 2);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(m_buttons, 6, 0, 1, 2);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &CAddCSISetDlg::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &CAddCSISetDlg::reject);
}

const QList<int>& CAddCSISetDlg::ParameterControls()
{
    static const QList<int> ids = [] {
        QList<int> out = {IdOrientation};
        for (int id : kFloatEdits)
            out << id;
        for (int id : kDigitEdits)
            out << id;
        for (int id : kCheckBoxes)
            if (id != IdNormalize && id != IdRemoveOffset && id != IdLoadRaw)
                out << id;
        for (int k = 0; k < 3; ++k)
            out << kFastest[k] << kSlowest[k];
        for (int id : kSampleTypes)
            out << id;
        return out;
    }();
    return ids;
}

QComboBox* CAddCSISetDlg::Combo(int id) const
{
    return qobject_cast<QComboBox*>(Control(id));
}

QAbstractButton* CAddCSISetDlg::Button(int id) const
{
    return qobject_cast<QAbstractButton*>(Control(id));
}

void CAddCSISetDlg::SetNumber(int id, float value)
{
    const QString text = vx::app::Text5(value);
    if (auto* edit = qobject_cast<CNumEdit*>(Control(id)))
        edit->SetText(text);
    else if (auto* line = qobject_cast<QLineEdit*>(Control(id)))
        line->setText(text);
}

float CAddCSISetDlg::FloatOf(int id) const
{
    const auto* edit = qobject_cast<CNumEdit*>(Control(id));
    return edit ? vx::app::ValueOf(edit) : 0.0f;
}

int CAddCSISetDlg::IntOf(int id) const
{
    // OK has refused what does not fit; a box left empty reads as 0.
    int value = 0;
    if (const auto* edit = qobject_cast<QLineEdit*>(Control(id)))
        vx::ParseInt(edit->text().toStdString(), value);
    return value;
}

void CAddCSISetDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FillControls();
}

void CAddCSISetDlg::FillControls()
{
    QComboBox* formats = Combo(IdFormat);
    formats->clear();
    for (int index = 0; index < FormatCount(); ++index)
        formats->addItem(QString::fromStdString(FormatName(index)));
    QComboBox* orientations = Combo(IdOrientation);
    orientations->clear();
    orientations->addItems({"Sagittal", "Coronal", "Transverse"});
    for (int id : kCheckBoxes)
        Button(id)->setChecked(false);

    if (g_nCSIImportCount > 1) {
        // A format the list no longer holds shows the first entry.
        const int format = m_params.m_nFormat >= 0 && m_params.m_nFormat < formats->count() ? m_params.m_nFormat : 0;
        formats->setCurrentIndex(format);
        orientations->setCurrentIndex(m_params.m_nOrientation >= 0 && m_params.m_nOrientation < 3
                                          ? m_params.m_nOrientation
                                          : 2);
        for (int id : kFloatEdits)
            SetNumber(id, *FloatField(m_params, id));
        for (int id : kDigitEdits)
            SetNumber(id, static_cast<float>(*IntField(m_params, id)));
        for (int k = 0; k < 3; ++k) {
            if (m_params.m_nAxisOrder[0] == k)
                Button(kFastest[k])->setChecked(true);
            else if (m_params.m_nAxisOrder[2] == k)
                Button(kSlowest[k])->setChecked(true);
        }
        for (int id : kCheckBoxes)
            Button(id)->setChecked(*FlagField(m_params, id) == 1);
        if (m_params.m_nSampleType >= 0 && m_params.m_nSampleType < 4)
            Button(kSampleTypes[m_params.m_nSampleType])->setChecked(true);
        EnableControlsForFormat(format);
        return;
    }
    formats->setCurrentIndex(0);
    EnableControlsForFormat(0);
    orientations->setCurrentIndex(2);
    for (const auto& [id, text] : kDefaultTexts) {
        if (auto* edit = qobject_cast<CNumEdit*>(Control(id)))
            edit->SetText(text);
        else
            qobject_cast<QLineEdit*>(Control(id))->setText(text);
    }
    for (int id : kDefaultChecked)
        Button(id)->setChecked(true);
}

void CAddCSISetDlg::EnableRawControls(bool enable)
{
    for (int id : ParameterControls())
        Control(id)->setEnabled(enable);
}

void CAddCSISetDlg::EnableControlsForFormat(int format)
{
    const QList<int>* some = format == kPhilips3DPreR11 ? &kPhilips3DPreR11Controls
                             : format == kEPCSI         ? &kEPCSIControls
                             : format == kGEPre11       ? &kGEPre11Controls
                                                        : nullptr;
    if (format == kRawFormat) {
        EnableRawControls(true);
    } else if (some) {
        EnableRawControls(false);
        for (int id : *some)
            Control(id)->setEnabled(true);
    } else if (format >= kBuiltInFormatCount) {
        // A plug-in decides whether it reads the dialog's parameters.
        const std::vector<TPluginRecord> plugins = vx::PluginTable();
        const size_t row = static_cast<size_t>(format - kBuiltInFormatCount);
        if (row < plugins.size())
            EnableRawControls(plugins[row].bControls);
    } else {
        EnableRawControls(false);
    }
}

void CAddCSISetDlg::OnFastestAxis(int axis)
{
    QAbstractButton* same = Button(kSlowest[axis]);
    // The group keeps one radio checked; it lets go while this one is cleared.
    m_slowest->setExclusive(false);
    same->setChecked(false);
    m_slowest->setExclusive(true);
    same->setEnabled(false);
    int firstOther = -1;
    bool otherChecked = false;
    for (int k = 0; k < 3; ++k) {
        if (k == axis)
            continue;
        Button(kSlowest[k])->setEnabled(true);
        otherChecked = otherChecked || Button(kSlowest[k])->isChecked();
        if (firstOther < 0)
            firstOther = k;
    }
    if (!otherChecked)
        Button(kSlowest[firstOther])->setChecked(true);
}

void CAddCSISetDlg::ReadControls()
{
    for (int id : kFloatEdits)
        *FloatField(m_params, id) = FloatOf(id);
    for (int id : kDigitEdits)
        *IntField(m_params, id) = IntOf(id);
    m_params.m_nFormat = Combo(IdFormat)->currentIndex();
    m_params.m_nOrientation = Combo(IdOrientation)->currentIndex();
    for (int k = 0; k < 3; ++k) {
        if (Button(kFastest[k])->isChecked())
            m_params.m_nAxisOrder[0] = k;
        else if (Button(kSlowest[k])->isChecked())
            m_params.m_nAxisOrder[2] = k;
    }
    // The middle axis is the one that is neither; the last such axis when both are one.
    for (int k = 0; k < 3; ++k)
        if (k != m_params.m_nAxisOrder[0] && k != m_params.m_nAxisOrder[2])
            m_params.m_nAxisOrder[1] = k;
    for (int id : kCheckBoxes)
        *FlagField(m_params, id) = Button(id)->isChecked() ? 1 : 0;
    for (int k = 0; k < 4; ++k)
        if (Button(kSampleTypes[k])->isChecked())
            m_params.m_nSampleType = k;
}

void CAddCSISetDlg::accept()
{
    // Of the sizes the user can type, none may be 0 or below, and none beyond what its field
    // holds: the dialog stays open.
    int whole = 0;
    float number = 0.0f;
    for (int id : kDigitEdits) {
        const TWholeRange range = WholeRangeOf(id);
        if (auto* edit = qobject_cast<QLineEdit*>(Control(id));
            edit && edit->isEnabled() && !vx::app::ReadIntegerField(edit, range.low, range.high, whole, range.name))
            return;
    }
    for (int id : {IdFOVX, IdFOVY, IdFOVZ})
        if (auto* edit = qobject_cast<QLineEdit*>(Control(id));
            edit && edit->isEnabled() && !vx::app::ReadNumberAbove(edit, 0.0, number))
            return;
    ReadControls();
    const TFormatFilter filter = FormatFileFilter(m_params.m_nFormat);
    vx::TFileRequest request;
    request.title = "Import...";
    request.multiple = true;
    request.filter = filter.filter;
    request.filterIndex = filter.filterIndex;
    request.folder = vx::CurrentFolder();
    const std::vector<std::string> files = vx::ChooseFiles(request);
    // A cancelled file dialog keeps this dialog open.
    if (files.empty() || !g_pProject)
        return;
    vx::app::ImportChosenFiles(files, "CSI set", [this](const std::string& folder, const std::string& file) {
        return g_pProject->AddCSISet(folder, file, m_params);
    });
    ++g_nCSIImportCount;
    QDialog::accept();
}
