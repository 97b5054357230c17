#include "app/dialogs/CAddImagesDlg.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/dialogs/CImportImageDlg.h"
#include "app/dialogs/CIncSlicePosDlg.h"
#include "app/dialogs/CNumEdit.h"
#include "app/dialogs/DialogFields.h"
#include "app/dialogs/DialogHelpers.h"
#include "app/dialogs/DialogRunner.h"
#include "model/math/Geometry.h"
#include "model/TCSISet.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "model/math/TextHelpers.h"
#include "platform/Globals.h"
#include "platform/Numbers.h"
#include "platform/Report.h"

using vx::app::Text5;
using vx::app::ValueOf;

namespace {
constexpr int kImageRole = Qt::UserRole;
constexpr int kIconRole = Qt::UserRole + 1;
constexpr float kDefaultFOV = 240.0f;  // mm

// A green tick for a placed image, a red question mark for one whose geometry is missing.
QIcon GeometryIcon(int index)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(QColor(235, 235, 235));
    p.drawRect(QRectF(1.5, 1.5, 13, 13));
    if (index == CAddImagesDlg::kIconComplete) {
        p.setPen(QPen(QColor(30, 140, 60), 2.2));
        p.drawPolyline(QPolygonF({QPointF(4, 8.5), QPointF(7, 11.5), QPointF(12, 4.5)}));
    } else {
        p.setPen(QColor(200, 40, 40));
        QFont font = p.font();
        font.setBold(true);
        font.setPixelSize(12);
        p.setFont(font);
        p.drawText(QRectF(1, 1, 14, 14), Qt::AlignCenter, "?");
    }
    return QIcon(pixmap);
}

void SetIcon(QTreeWidgetItem* item, int index)
{
    static const QIcon icons[2] = {GeometryIcon(0), GeometryIcon(1)};
    item->setIcon(0, icons[index]);
    item->setData(0, kIconRole, index);
}

int KnownOrientation(const TMRImage* image)
{
    return image->IsParameterKnown(TMRImage::KnownOrientation) ? image->GetOrientation() : -1;
}
}  // namespace

CAddImagesDlg::CAddImagesDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Add Images...");
    m_list = new QTreeWidget;
    m_list->setColumnCount(1);
    m_list->setHeaderLabels({"ImageName"});
    m_list->setHeaderHidden(true);
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSortingEnabled(true);
    m_list->sortByColumn(0, Qt::AscendingOrder);
    m_list->setColumnWidth(0, 150);
    m_list->setMinimumWidth(170);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CAddImagesDlg::OnItemchanged);

    const int fovKinds[2] = {TMRImage::ParamFOVX, TMRImage::ParamFOVY};
    for (int k = 0; k < 2; ++k) {
        m_fovEdits[k] = new CNumEdit;
        m_fovEdits[k]->installEventFilter(this);
        connect(m_fovEdits[k], &CNumEdit::NumberEdited, this,
                [this, k, kind = fovKinds[k]] { SetParameterFromEdit(m_fovEdits[k], kind); });
    }
    for (int k = 0; k < 3; ++k) {
        m_centreEdits[k] = new CNumEdit;
        connect(m_centreEdits[k], &CNumEdit::NumberEdited, this,
                [this, k] { SetParameterFromEdit(m_centreEdits[k], TMRImage::ParamPositionX + k); });
    }
    m_orientations = new QButtonGroup(this);
    auto* orientationBox = new QGroupBox("Orientation");
    auto* orientationLayout = new QVBoxLayout(orientationBox);
    const char* names[3] = {"Saggital", "Coronal", "Axial"};
    for (int k = 0; k < 3; ++k) {
        auto* radio = new QRadioButton(names[k]);
        m_orientations->addButton(radio, k);
        orientationLayout->addWidget(radio);
        connect(radio, &QRadioButton::clicked, this, &CAddImagesDlg::OnOrientation);
    }
    m_incButton = new QPushButton("Inc");
    m_addButton = new QPushButton("Add Images...");
    connect(m_incButton, &QPushButton::clicked, this, &CAddImagesDlg::OnInc);
    connect(m_addButton, &QPushButton::clicked, this, &CAddImagesDlg::OnAddImages);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &CAddImagesDlg::accept);

    auto* layout = new QGridLayout(this);
    layout->addWidget(m_list, 0, 0, 4, 1);
    layout->addWidget(vx::app::AxisGroup("FOV (mm)", m_fovEdits[0], m_fovEdits[1], nullptr, "X:", "Y:", ""), 0, 1);
    auto* centre = vx::app::AxisGroup("Image Center (mm)", m_centreEdits[0], m_centreEdits[1], m_centreEdits[2]);
    layout->addWidget(centre, 1, 1);
    auto* middle = new QHBoxLayout;
    middle->addWidget(orientationBox);
    middle->addWidget(m_incButton, 0, Qt::AlignBottom);
    layout->addLayout(middle, 2, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_addButton);
    bottom->addStretch();
    bottom->addWidget(buttons);
    layout->addLayout(bottom, 4, 0, 1, 2);
}

QAbstractButton* CAddImagesDlg::OrientationRadio(int orientation) const
{
    return m_orientations->button(orientation);
}

int CAddImagesDlg::IconOf(const QTreeWidgetItem* item)
{
    return item->data(0, kIconRole).toInt();
}

TMRImage* CAddImagesDlg::ImageOf(const QTreeWidgetItem* item)
{
    return static_cast<TMRImage*>(item->data(0, kImageRole).value<void*>());
}

void CAddImagesDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    EnableGeometryControls(false);
    FillImageList();
}

void CAddImagesDlg::FillImageList()
{
    m_list->clear();
    if (!g_pProject || !g_pProject->m_pImageSet)
        return;
    for (TMRImage* image : *g_pProject->m_pImageSet) {
        auto* item = new QTreeWidgetItem(QStringList(QString::fromStdString(image->GetName())));
        item->setData(0, kImageRole, QVariant::fromValue<void*>(image));
        SetIcon(item, image->IsGeometryComplete() ? kIconComplete : kIconIncomplete);
        m_list->addTopLevelItem(item);
    }
}

void CAddImagesDlg::EnableGeometryControls(bool enable)
{
    for (CNumEdit* edit : m_fovEdits)
        edit->setEnabled(enable);
    for (CNumEdit* edit : m_centreEdits)
        edit->setEnabled(enable);
    for (QAbstractButton* radio : m_orientations->buttons())
        radio->setEnabled(enable);
    m_incButton->setEnabled(enable);
}

void CAddImagesDlg::OnItemchanged()
{
    m_selected.clear();
    for (int k = 0; k < m_list->topLevelItemCount(); ++k)
        if (m_list->topLevelItem(k)->isSelected())
            m_selected.push_back(ImageOf(m_list->topLevelItem(k)));
    if (m_selected.empty()) {
        EnableGeometryControls(false);
        return;
    }
    EnableGeometryControls(true);

    // The values of the first image; any that another selected image does not share are
    // left empty.
    const TMRImage* first = m_selected.front();
    for (int k = 0; k < 2; ++k)
        m_fovEdits[k]->SetText(first->IsParameterKnown(TMRImage::KnownFOVX + k)
                                   ? Text5(first->GetParameter(TMRImage::ParamFOVX + k))
                                   : QString());
    const bool centreKnown = first->IsParameterKnown(TMRImage::KnownPositionX) &&
                             first->IsParameterKnown(TMRImage::KnownPositionY) &&
                             first->IsParameterKnown(TMRImage::KnownPositionZ);
    for (int k = 0; k < 3; ++k)
        m_centreEdits[k]->SetText(centreKnown ? Text5(first->GetParameter(TMRImage::ParamPositionX + k)) : QString());
    m_nOrientation = KnownOrientation(first);

    bool centresAgree = true;
    for (const TMRImage* image : m_selected) {
        for (int k = 0; k < 2; ++k)
            if (Text5(image->GetParameter(TMRImage::ParamFOVX + k)) != m_fovEdits[k]->text())
                m_fovEdits[k]->SetText(QString());
        for (int k = 0; k < 3 && centresAgree; ++k)
            if (Text5(image->GetParameter(TMRImage::ParamPositionX + k)) != m_centreEdits[k]->text()) {
                for (CNumEdit* edit : m_centreEdits)
                    edit->SetText(QString());
                centresAgree = false;
            }
        if (KnownOrientation(image) != m_nOrientation)
            m_nOrientation = -1;
    }
    SetOrientationRadios(m_nOrientation);
}

void CAddImagesDlg::SetOrientationRadios(int orientation)
{
    // The group keeps one radio checked; it lets go while none is to be.
    m_orientations->setExclusive(false);
    for (QAbstractButton* radio : m_orientations->buttons())
        radio->setChecked(m_orientations->id(radio) == orientation);
    m_orientations->setExclusive(true);
}

void CAddImagesDlg::SetParameterFromEdit(CNumEdit* edit, int kind)
{
    const float value = vx::app::ValueOf(edit);
    // A field of view of 0 or below reaches no image (leaving the edit refuses it).
    if ((kind == TMRImage::ParamFOVX || kind == TMRImage::ParamFOVY) && !(value > 0.0f))
        return;
    for (TMRImage* image : m_selected)
        image->SetParameter(value, kind, true);
    RefreshImageItems();
}

bool CAddImagesDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut)
        for (int k = 0; k < 2; ++k)
            if (watched == m_fovEdits[k])
                OnKillfocusFOV(k);
    return QDialog::eventFilter(watched, event);
}

void CAddImagesDlg::OnKillfocusFOV(int axis)
{
    CNumEdit* edit = m_fovEdits[axis];
    // An unfinished number ("-", ".") goes back to the last one typed when the edit is left.
    QString text = edit->text();
    if (text == "-" || text == "." || text == "-.")
        text = edit->GetText();
    // A typed exponent is no number yet: the edit itself refuses it whole.
    float value = 0.0f;
    if (text.isEmpty() || !vx::ParseFloat(text.toStdString(), value) || value > 0.0f)
        return;
    // Refused: the edit shows again what the selected images have, which stays.
    vx::Report(vx::app::NumberAboveText(0.0), vx::ReportIcon::Exclamation);
    const float kept = m_selected.empty() ? kDefaultFOV : m_selected.front()->GetParameter(TMRImage::ParamFOVX + axis);
    edit->SetText(vx::app::Text5(kept));
}

void CAddImagesDlg::OnOrientation()
{
    m_nOrientation = m_orientations->checkedId();
    if (m_nOrientation != -1)
        for (TMRImage* image : m_selected)
            image->SetOrientation(m_nOrientation, true);
    RefreshImageItems();
}

void CAddImagesDlg::RefreshImageItems()
{
    const TCSISet* workSet = g_pProject ? g_pProject->m_pWorkSet : nullptr;
    for (QTreeWidgetItem* item : m_list->selectedItems()) {
        TMRImage* image = ImageOf(item);
        if (!image->IsGeometryComplete()) {
            SetIcon(item, kIconIncomplete);
            continue;
        }
        SetIcon(item, kIconComplete);
        // The slice position and in-plane centre follow from the 3-D centre, taken into
        // the work set's frame when there is one.
        float centre[3];
        image->GetPosition(centre);
        if (workSet)
            workSet->TransformPoint(centre, 2);
        int xAxis = 0, yAxis = 1;
        const int orientation = image->GetOrientation();
        if (!TMRImage::InPlaneAxes(orientation, xAxis, yAxis))
            continue;
        image->SetParameter(centre[orientation], TMRImage::ParamSlicePosition, true);
        image->SetCentre(TPoint2D(centre[xAxis], centre[yAxis]), true);
    }
}

void CAddImagesDlg::OnAddImages()
{
    CImportImageDlg dialog(this);
    vx::app::RunDialog(dialog);
    FillImageList();
}

void CAddImagesDlg::OnInc()
{
    CIncSlicePosDlg dialog(this);
    if (vx::app::RunDialog(dialog) != QDialog::Accepted)
        return;
    float step[3] = {CIncSlicePosDlg::s_step[0], CIncSlicePosDlg::s_step[1], CIncSlicePosDlg::s_step[2]};
    if (!m_selected.empty()) {
        // The step runs along the first image's axes.
        float angulation[3];
        const float origin[3] = {0.0f, 0.0f, 0.0f};
        m_selected.front()->GetAngulation(angulation);
        RotatePoint(angulation, origin, step, 1);
    }
    for (size_t k = 0; k < m_selected.size(); ++k)
        for (int axis = 0; axis < 3; ++axis)
            m_selected[k]->SetParameter(CIncSlicePosDlg::s_start[axis] + static_cast<float>(k) * step[axis],
                                        TMRImage::ParamPositionX + axis, true);
    RefreshImageItems();
}
