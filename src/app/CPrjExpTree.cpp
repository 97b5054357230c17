#include "app/CPrjExpTree.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>
#include <vector>

#include "app/CMainFrame.h"
#include "app/dialogs/CSaveCSISetAsDlg.h"
#include "app/dialogs/CSetParametersDlg.h"
#include "app/dialogs/CZeroFillDlg.h"
#include "app/CommandIds.h"
#include "app/dialogs/DialogRunner.h"
#include "app/ExplorerIcons.h"
#include "app/info/OrientationCaption.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "platform/Report.h"
#include "platform/WaitCursor.h"

namespace {

// A tree item with its record and icon index.
class CExpItem : public QTreeWidgetItem {
public:
    static constexpr int kType = QTreeWidgetItem::UserType + 1;
    CExpItem(const TExpItemData& data, int icon) : QTreeWidgetItem(kType), m_data(data), m_nIcon(icon) {}
    TExpItemData m_data;
    int m_nIcon;
};

CExpItem* ExpItem(QTreeWidgetItem* item)
{
    return item && item->type() == CExpItem::kType ? static_cast<CExpItem*>(item) : nullptr;
}

void SetIcon(QTreeWidgetItem* item, int icon)
{
    if (CExpItem* exp = ExpItem(item)) {
        exp->m_nIcon = icon;
        exp->setIcon(0, vx::app::ExplorerIcon(icon));
    }
}

// The image's position along its own orientation axis, by which its group is sorted.
float SlicePositionOf(const TMRImage* image)
{
    float centre[3];
    image->GetCentre3D(centre);
    const int o = image->GetOrientation();
    return o >= 0 && o <= 2 ? centre[o] : 0.0f;
}

int ImageIconOf(int orientation)
{
    switch (orientation) {
    case 0: return vx::app::kIconSagittalImage;
    case 1: return vx::app::kIconCoronalImage;
    default: return vx::app::kIconAxialImage;
    }
}

bool InProject(const TMRImage* image)
{
    return image && g_pProject && g_pProject->m_pImageSet->Contains(image);
}

bool InProject(const TCSISet* set)
{
    return set && g_pProject && g_pProject->m_pCSISetList->Find(set) != g_pProject->m_pCSISetList->End();
}

}  // namespace

CPrjExpTree::CPrjExpTree(CMainFrame* mainFrame, QWidget* parent) : CMultiTree(parent), m_pMainFrame(mainFrame)
{
    setIconSize(QSize(16, 16));
    ResetTree();
}

// ---- items --------------------------------------------------------------------------------

const TExpItemData* CPrjExpTree::DataOf(const QTreeWidgetItem* item)
{
    return item && item->type() == CExpItem::kType ? &static_cast<const CExpItem*>(item)->m_data : nullptr;
}

int CPrjExpTree::IconOf(const QTreeWidgetItem* item)
{
    return item && item->type() == CExpItem::kType ? static_cast<const CExpItem*>(item)->m_nIcon : -1;
}

QTreeWidgetItem* CPrjExpTree::Group(int orientation) const
{
    switch (orientation) {
    case 0: return m_hSagittal;
    case 1: return m_hCoronal;
    case 2: return m_hAxial;
    default: return nullptr;
    }
}

QTreeWidgetItem* CPrjExpTree::InsertFixedItem(QTreeWidgetItem* parent, const char* text, int icon)
{
    TExpItemData data;
    data.bGroup = 1;
    auto* item = new CExpItem(data, icon);
    item->setText(0, text);
    SetIcon(item, icon);
    if (parent)
        parent->addChild(item);
    else
        addTopLevelItem(item);
    item->setExpanded(true);
    return item;
}

void CPrjExpTree::ResetTree()
{
    m_hCurItem = nullptr;
    m_hSelect = nullptr;
    clear();
    m_hImages = InsertFixedItem(nullptr, "Images", vx::app::kIconImages);
    m_hSagittal = InsertFixedItem(m_hImages, "Saggital", vx::app::kIconSagittalGroup);
    m_hCoronal = InsertFixedItem(m_hImages, "Coronal", vx::app::kIconCoronalGroup);
    m_hAxial = InsertFixedItem(m_hImages, "Axial", vx::app::kIconAxialGroup);
    m_hCSI = InsertFixedItem(nullptr, "CSI", vx::app::kIconCSISet);
}

void CPrjExpTree::DeleteItem(QTreeWidgetItem* item)
{
    if (!item)
        return;
    if (item == m_hCurItem)
        m_hCurItem = nullptr;
    if (item == m_hSelect)
        m_hSelect = nullptr;
    delete item;
}

QTreeWidgetItem* CPrjExpTree::FindImageItem(const TMRImage* pImage) const
{
    for (QTreeWidgetItem* parent : {m_hSagittal, m_hCoronal, m_hAxial, m_hImages})
        for (int k = 0; k < parent->childCount(); ++k) {
            const TExpItemData* data = DataOf(parent->child(k));
            if (data && data->bImage && data->pImage == pImage)
                return parent->child(k);
        }
    return nullptr;
}

QTreeWidgetItem* CPrjExpTree::FindCSISetItem(const TCSISet* pSet) const
{
    for (int k = 0; k < m_hCSI->childCount(); ++k) {
        const TExpItemData* data = DataOf(m_hCSI->child(k));
        if (data && data->bCSISet && data->pCSISet == pSet)
            return m_hCSI->child(k);
    }
    return nullptr;
}

void CPrjExpTree::RefreshFromProject()
{
    RemoveStaleItems();
    if (g_pProject) {
        for (TMRImage* image : *g_pProject->m_pImageSet)
            AddOrUpdateImageItem(FindImageItem(image), image);
        for (TCSISet* set : *g_pProject->m_pCSISetList)
            AddOrUpdateCSISetItem(FindCSISetItem(set), set);
        // Images of equal slice positions stand in the collection's order, which a project
        // file gives back as it was saved: the list reads the same after an open.
        std::map<const TMRImage*, size_t> order;
        for (const TMRImage* image : *g_pProject->m_pImageSet)
            order.emplace(image, order.size());
        for (QTreeWidgetItem* group : {m_hSagittal, m_hCoronal, m_hAxial, m_hImages})
            SortImageItems(group, order);
    }
    viewport()->update();
}

void CPrjExpTree::SortImageItems(QTreeWidgetItem* group, const std::map<const TMRImage*, size_t>& order)
{
    // Under "Images" the orientation groups stay first, the images without one follow.
    std::vector<QTreeWidgetItem*> items;
    for (int k = 0; k < group->childCount(); ++k) {
        const TExpItemData* data = DataOf(group->child(k));
        if (data && data->bImage && order.count(data->pImage))
            items.push_back(group->child(k));
    }
    // A group lists its placed images in ascending slice position, which moves when another
    // work set places them or their geometry is edited; the images without a place (all of
    // those under "Images") follow in the collection's order.
    const bool placing = group != m_hImages;
    const auto keyOf = [&](const QTreeWidgetItem* item) {
        const TMRImage* image = DataOf(item)->pImage;
        const float position = SlicePositionOf(image);
        const bool placed = placing && image->IsGeometryComplete() && std::isfinite(position);
        return std::make_tuple(!placed, placed ? position : 0.0f, order.at(image));
    };
    const auto before = [&](const QTreeWidgetItem* a, const QTreeWidgetItem* b) { return keyOf(a) < keyOf(b); };
    if (std::is_sorted(items.begin(), items.end(), before))
        return;
    std::sort(items.begin(), items.end(), before);
    // Taking the items out drops their selection and the caret: both are put back.
    std::vector<QTreeWidgetItem*> selected;
    for (QTreeWidgetItem* item : items)
        if (item->isSelected())
            selected.push_back(item);
    QTreeWidgetItem* caret = currentItem();
    const bool caretInGroup = caret && caret->parent() == group;
    const QSignalBlocker blocker(this);
    for (QTreeWidgetItem* item : items)
        group->removeChild(item);
    for (QTreeWidgetItem* item : items)
        group->addChild(item);
    for (QTreeWidgetItem* item : selected)
        item->setSelected(true);
    if (caretInGroup)
        selectionModel()->setCurrentIndex(indexFromItem(caret), QItemSelectionModel::NoUpdate);
}

void CPrjExpTree::RemoveStaleItems()
{
    // An item whose image or set has left the project would point at a deleted object.
    std::vector<QTreeWidgetItem*> stale;
    for (QTreeWidgetItem* parent : {m_hSagittal, m_hCoronal, m_hAxial, m_hImages, m_hCSI})
        for (int k = 0; k < parent->childCount(); ++k) {
            const TExpItemData* data = DataOf(parent->child(k));
            if (data && ((data->bImage && !InProject(data->pImage)) || (data->bCSISet && !InProject(data->pCSISet))))
                stale.push_back(parent->child(k));
        }
    for (QTreeWidgetItem* item : stale)
        DeleteItem(item);
}

void CPrjExpTree::AddOrUpdateImageItem(QTreeWidgetItem* item, TMRImage* pImage)
{
    const bool oriented = pImage->IsParameterKnown(TMRImage::KnownOrientation);
    QTreeWidgetItem* group = oriented ? Group(pImage->GetOrientation()) : nullptr;
    if (item) {
        item->setText(0, QString::fromStdString(pImage->GetName()));
        // It stays in its orientation's group unless it still shows the unplaced icon
        // although its geometry is now complete; an unoriented image stays under "Images".
        const bool inGroup = group && item->parent() == group &&
                             (IconOf(item) != vx::app::kIconImageUnplaced || !pImage->IsGeometryComplete());
        if (inGroup || (!oriented && item->parent() == m_hImages))
            return;
        DeleteItem(item);
    }
    if (group)
        InsertImageItem(group, pImage, ImageIconOf(pImage->GetOrientation()));
    else if (!oriented)
        InsertImageItem(m_hImages, pImage, vx::app::kIconImageUnplaced);
}

void CPrjExpTree::InsertImageItem(QTreeWidgetItem* parent, TMRImage* pImage, int icon)
{
    TExpItemData data;
    data.bImage = 1;
    data.pImage = pImage;
    const int shown = pImage->IsGeometryComplete() ? icon : vx::app::kIconImageUnplaced;
    auto* item = new CExpItem(data, shown);
    item->setText(0, QString::fromStdString(pImage->GetName()));
    SetIcon(item, shown);
    // Put in its place among the others by RefreshFromProject.
    parent->addChild(item);
}

void CPrjExpTree::AddOrUpdateCSISetItem(QTreeWidgetItem* item, TCSISet* pSet)
{
    const QString name = QString::fromStdString(pSet->GetName());
    const int icon = g_pProject && pSet == g_pProject->m_pWorkSet ? vx::app::kIconWorkSet : vx::app::kIconCSISet;
    if (!item) {
        TExpItemData data;
        data.bCSISet = 1;
        data.pCSISet = pSet;
        item = new CExpItem(data, icon);
        m_hCSI->addChild(item);
    }
    if (item->text(0) != name)
        item->setText(0, name);
    SetIcon(item, icon);
}

void CPrjExpTree::RemoveCSISetItem(TCSISet* pSet)
{
    DeleteItem(FindCSISetItem(pSet));
}

// ---- mouse and menus ------------------------------------------------------------------------

void CPrjExpTree::mouseDoubleClickEvent(QMouseEvent* event)
{
    CMultiTree::mouseDoubleClickEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    QTreeWidgetItem* item = ItemAtLabel(event->position().toPoint());
    const TExpItemData* data = DataOf(item);
    if (!data)
        return;
    m_hCurItem = item;
    if (data->bImage)
        OnViewImage();
    else if (data->bCSISet)
        OnSetWorkSet();
}

void CPrjExpTree::ShowContextMenu(const QPoint& screen)
{
    QTreeWidgetItem* clicked = ItemAtLabel(viewport()->mapFromGlobal(screen));
    const TExpItemData* data = DataOf(clicked);
    if (!data)
        return;
    const QList<QTreeWidgetItem*> selected = GetSelectedList();
    if (selected.isEmpty())
        return;
    // The pop-up follows the clicked item; its commands follow the selection.
    Popup popup = kPopupOutImages;
    if (selected.size() == 1) {
        popup = data->bImage ? kPopupImage : data->bCSISet ? kPopupCSISet : kPopupOutImages;
        m_hCurItem = clicked;
    } else {
        popup = data->bImage ? kPopupMultiImages : data->bCSISet ? kPopupMultiSet : kPopupOutImages;
    }
    QMenu menu(this);
    BuildPopup(menu, popup);
    vx::app::RunMenu(menu, screen);
}

void CPrjExpTree::BuildPopup(QMenu& menu, Popup popup)
{
    // Commands of the main frame are offered as the frame offers them.
    if (m_pMainFrame)
        m_pMainFrame->UpdateCommandStates();
    // The frame's commands say what they say in the frame's menus.
    auto frameCommand = [&](const char* text, int command) {
        QAction* action = menu.addAction(text);
        QAction* frameAction = m_pMainFrame ? m_pMainFrame->Action(command) : nullptr;
        action->setEnabled(frameAction && frameAction->isEnabled());
        if (frameAction) {
            action->setStatusTip(frameAction->statusTip());
            connect(action, &QAction::triggered, frameAction, &QAction::trigger);
        }
    };
    // Entries that change the project folder are not offered while it cannot be written.
    const bool writable = g_pProject && g_pProject->FolderCanBeWritten();
    auto own = [&](const char* text, void (CPrjExpTree::*handler)(), const char* prompt, bool writes = true) {
        QAction* action = menu.addAction(text);
        action->setStatusTip(writes ? CMainFrame::FolderChangePrompt(prompt) : QString(prompt));
        action->setEnabled(writable || !writes);
        connect(action, &QAction::triggered, this, handler);
    };
    switch (popup) {
    case kPopupImage:
        frameCommand("Add Images...", cmd::ProjectAddImages);
        frameCommand("Add CSI Set", cmd::ProjectAddCSISet);
        menu.addSeparator();
        own("View", &CPrjExpTree::OnViewImage, "Open an image window on this image", false);
        own("Remove", &CPrjExpTree::OnImagesRemove, "Remove this image from the project");
        break;
    case kPopupOutImages:
        frameCommand("Add Exam...", cmd::ProjectAddExam);
        frameCommand("Add Images...", cmd::ProjectAddImages);
        frameCommand("Add CSI Set...", cmd::ProjectAddCSISet);
        break;
    case kPopupCSISet:
        frameCommand("Add Images...", cmd::ProjectAddImages);
        frameCommand("Add CSI Set", cmd::ProjectAddCSISet);
        menu.addSeparator();
        frameCommand("View Slice...", cmd::ProjectViewSlice);
        menu.addSeparator();
        own("Set Work Set", &CPrjExpTree::OnSetWorkSet, "Make this CSI set the work set", false);
        own("Remove", &CPrjExpTree::OnCSISetRemove, "Remove this CSI set from the project");
        own("Zero Fill", &CPrjExpTree::OnCSISetZeroFill, "Zero fill this CSI set to a larger grid");
        own("Set Parameters...", &CPrjExpTree::OnCSISetSetParameters, "Change the acquisition parameters of this CSI set");
        menu.addSeparator();
        own("Save as...", &CPrjExpTree::OnCSISetSaveAs, "Save this CSI set as a new set of the project");
        break;
    case kPopupMultiSet:
        own("Remove CSI Sets", &CPrjExpTree::OnMultiSetRemove, "Remove the selected CSI sets from the project");
        menu.addSeparator();
        own("Sum", &CPrjExpTree::OnMultiSetSum, "Add the selected CSI sets together into a new set");
        own("Subtract", &CPrjExpTree::OnMultiSetSubtract, "Subtract the other selected CSI sets from the first into a new set");
        own("Ratio", &CPrjExpTree::OnMultiSetRatio, "Divide the next selected CSI set by the first, in percent, into a new set");
        break;
    case kPopupMultiImages:
        own("Remove Images", &CPrjExpTree::OnMultiImagesRemove, "Remove the selected images from the project");
        menu.addSeparator();
        own("3D Reconstruction", &CPrjExpTree::OnMultiImages3DReconstruction,
            "Make images of the other two orientations from the selected images");
        own("Image Averaging", &CPrjExpTree::OnMultiImagesAveraging, "Average the selected images into a new image");
        break;
    }
}

// ---- single-item commands -------------------------------------------------------------------

TMRImage* CPrjExpTree::CurrentImage() const
{
    const TExpItemData* data = DataOf(m_hCurItem);
    return data && data->bImage && InProject(data->pImage) ? data->pImage : nullptr;
}

TCSISet* CPrjExpTree::CurrentSet() const
{
    const TExpItemData* data = DataOf(m_hCurItem);
    return data && data->bCSISet && InProject(data->pCSISet) ? data->pCSISet : nullptr;
}

void CPrjExpTree::OnViewImage()
{
    if (TMRImage* image = CurrentImage(); image && m_pMainFrame)
        m_pMainFrame->ViewImage(image);
}

void CPrjExpTree::OnSetWorkSet()
{
    if (TCSISet* set = CurrentSet(); set && m_pMainFrame)
        m_pMainFrame->SetWorkSet(set);
}

void CPrjExpTree::OnImagesRemove()
{
    TMRImage* image = CurrentImage();
    if (!image || !m_pMainFrame)
        return;
    m_pMainFrame->RemoveImage(image);
    // Found again: a refresh on the way may have taken the item already.
    DeleteItem(FindImageItem(image));
}

void CPrjExpTree::OnCSISetRemove()
{
    TCSISet* set = CurrentSet();
    if (set && m_pMainFrame && m_pMainFrame->RemoveCSISet(set))
        DeleteItem(FindCSISetItem(set));
}

std::string CPrjExpTree::ZeroFillSizeError(const TCSISet& set, const int size[3])
{
    // Any size of either parity is filled correctly; lengths the transform cannot take
    // are reported by the fill itself.
    for (int d = 0; d < 3; ++d)
        if (size[d] < set.m_nDim[d])
            return "New size needs to be larger than original size.";
    return {};
}

TCSISet* CPrjExpTree::CurrentWorkSet() const
{
    TCSISet* set = CurrentSet();
    if (set && set != g_pProject->m_pWorkSet) {
        vx::Report("The CSI set needs to be work set.", vx::ReportIcon::Exclamation);
        return nullptr;
    }
    return set;
}

void CPrjExpTree::OnCSISetZeroFill()
{
    TCSISet* set = CurrentWorkSet();
    if (!set)
        return;
    // The dialog comes back, with the set's sizes, until an entry passes or the user cancels.
    for (;;) {
        CZeroFillDlg dialog(this);
        dialog.m_nSizeX = set->m_nDim[0];
        dialog.m_nSizeY = set->m_nDim[1];
        dialog.m_nSizeZ = set->m_nDim[2];
        if (set->m_bMultiSlice == 1)
            dialog.SetAxisEnabled(set->m_nSliceAxis, false);
        if (vx::app::RunDialog(dialog) != QDialog::Accepted)
            return;
        const int size[3] = {dialog.m_nSizeX, dialog.m_nSizeY, dialog.m_nSizeZ};
        const std::string error = ZeroFillSizeError(*set, size);
        if (error.empty()) {
            if (m_pMainFrame)
                m_pMainFrame->ZeroFillCSISet(set, size);
            return;
        }
        vx::Report(error, vx::ReportIcon::Exclamation);
    }
}

void CPrjExpTree::OnCSISetSetParameters()
{
    TCSISet* set = CurrentSet();
    if (!set || set != g_pProject->m_pWorkSet) {
        vx::Report("The CSI set must be the current work set.", vx::ReportIcon::Exclamation);
        return;
    }
    CSetParametersDlg dialog(this);
    dialog.m_fCoilQ = set->GetScalarParam(0);
    dialog.m_fGain = set->GetScalarParam(1);
    dialog.m_fFrequency = set->GetScalarParam(2);
    dialog.m_fSweepWidth = set->GetScalarParam(3);
    dialog.m_nPoints = static_cast<int>(set->GetScalarParam(4));
    set->GetVectorParam(5, dialog.m_fov);
    set->GetVectorParam(6, dialog.m_offCentre);
    set->GetVectorParam(7, dialog.m_angulation);
    set->GetVectorParam(8, dialog.m_matrix);
    if (vx::app::RunDialog(dialog) != QDialog::Accepted)
        return;
    const float scalars[4] = {dialog.m_fCoilQ, dialog.m_fGain, dialog.m_fFrequency, dialog.m_fSweepWidth};
    g_pProject->SetWorkSetParameters(scalars, dialog.m_fov, dialog.m_offCentre);
}

void CPrjExpTree::OnCSISetSaveAs()
{
    TCSISet* set = CurrentWorkSet();
    if (!set)
        return;
    CSaveCSISetAsDlg dialog(this);
    dialog.m_strName = QString::fromStdString(set->GetName());
    dialog.NameEdit()->setText(dialog.m_strName);
    if (vx::app::RunDialog(dialog) != QDialog::Accepted)
        return;
    g_pProject->SaveWorkSetAs(dialog.m_strName.toStdString());
}

// ---- multi-item commands --------------------------------------------------------------------

std::vector<QTreeWidgetItem*> CPrjExpTree::SelectedItemsOf(bool images) const
{
    std::vector<QTreeWidgetItem*> items;
    for (QTreeWidgetItem* item : GetSelectedList()) {
        const TExpItemData* data = DataOf(item);
        if (data && (images ? data->bImage && InProject(data->pImage) : data->bCSISet && InProject(data->pCSISet)))
            items.push_back(item);
    }
    return items;
}

void CPrjExpTree::OnMultiImagesRemove()
{
    if (!g_pProject)
        return;
    std::vector<QTreeWidgetItem*> items = SelectedItemsOf(true);
    std::reverse(items.begin(), items.end());
    std::vector<TMRImage*> images;
    for (QTreeWidgetItem* item : items) {
        images.push_back(DataOf(item)->pImage);
        DeleteItem(item);
    }
    g_pProject->RemoveImages(images);
}

void CPrjExpTree::OnMultiSetRemove()
{
    std::vector<TCSISet*> sets;
    for (QTreeWidgetItem* item : SelectedItemsOf(false))
        sets.insert(sets.begin(), DataOf(item)->pCSISet);
    // One question per set, last first; an item goes only with its set, and is found
    // again since removing the work set refreshes the tree.
    for (TCSISet* set : sets)
        if (InProject(set) && m_pMainFrame && m_pMainFrame->RemoveCSISet(set))
            DeleteItem(FindCSISetItem(set));
}

void CPrjExpTree::CombineSelectedSets(TProject::TSetOperation operation)
{
    std::vector<TCSISet*> sets;
    for (QTreeWidgetItem* item : SelectedItemsOf(false))
        sets.push_back(DataOf(item)->pCSISet);
    if (!sets.empty() && g_pProject)
        g_pProject->CombineCSISets(sets, operation);
    RefreshFromProject();
}

void CPrjExpTree::OnMultiSetSum()
{
    CombineSelectedSets(TProject::TSetOperation::Sum);
}

void CPrjExpTree::OnMultiSetSubtract()
{
    CombineSelectedSets(TProject::TSetOperation::Subtract);
}

void CPrjExpTree::OnMultiSetRatio()
{
    CombineSelectedSets(TProject::TSetOperation::Ratio);
}

std::string CPrjExpTree::ImageStackError(const std::vector<TMRImage*>& images, bool averaging)
{
    constexpr float kFOVTolerance = 0.001f;  // mm
    for (const TMRImage* image : images) {
        if (!image->IsGeometryComplete())
            return averaging ? "Failed to average because some images are not initialized."
                             : "Failed to reconstruct because some images are not initialized.";
        const TMRImage* first = images.front();
        if (image->GetOrientation() != first->GetOrientation() || image->GetWidth() != first->GetWidth() ||
            image->GetHeight() != first->GetHeight() ||
            std::abs(image->GetFOVX() - first->GetFOVX()) > kFOVTolerance ||
            std::abs(image->GetFOVY() - first->GetFOVY()) > kFOVTolerance)
            return "The selected images should have same orientation, size and FOV.";
    }
    if (images.empty())
        return "No images are selected.";
    return {};
}

void CPrjExpTree::RunImageStackCommand(bool averaging)
{
    if (!g_pProject)
        return;
    if (averaging && !g_pProject->m_pWorkSet) {
        vx::Report("A CSI set must be set as work set.", vx::ReportIcon::None);
        return;
    }
    std::vector<TMRImage*> images;
    for (QTreeWidgetItem* item : SelectedItemsOf(true))
        images.push_back(DataOf(item)->pImage);
    const std::string error = ImageStackError(images, averaging);
    if (!error.empty()) {
        vx::Report(error, vx::ReportIcon::Exclamation);
        return;
    }
    {
        vx::TWaitCursor wait;
        if (averaging)
            g_pProject->AverageImages(images);
        else
            g_pProject->Reconstruct3D(images);
    }
    RefreshFromProject();
}

void CPrjExpTree::OnMultiImages3DReconstruction()
{
    RunImageStackCommand(false);
}

void CPrjExpTree::OnMultiImagesAveraging()
{
    RunImageStackCommand(true);
}
