#pragma once
// The project explorer's tree: "Images" with its "Saggital", "Coronal" and "Axial" groups
// of the project's images (in the image collection's order), and "CSI" with the project's sets,
// the work set marked by its icon. A double click views an image or makes a set the work
// set; a right click on an item opens the context menu of the item, whose commands act on
// that item or, when several items are selected, on all selected ones.
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "app/CMultiTree.h"
#include "model/TProject.h"

class CMainFrame;
class QMenu;

// What an explorer item stands for; the tree's items carry one each.
struct TExpItemData {
    int bGroup = 0;   // 1 for the two roots and the three orientation groups
    int bImage = 0;   // 1 for an image
    int bCSISet = 0;  // 1 for a CSI set
    TMRImage* pImage = nullptr;  // not owned
    TCSISet* pCSISet = nullptr;  // not owned
};

class CPrjExpTree : public CMultiTree {
    Q_OBJECT
public:
    explicit CPrjExpTree(CMainFrame* mainFrame, QWidget* parent = nullptr);

    // Empties the tree down to its five fixed items.
    void ResetTree();
    // Adds the project's new images and sets and brings the others up to date: names,
    // groups, icons. Items whose image or set has left the project go too.
    void RefreshFromProject();
    void RemoveCSISetItem(TCSISet* pSet);
    // The context menu of the item under the screen point, if any.
    void ShowContextMenu(const QPoint& screen);

    // The item's record; null for an item of another kind.
    static const TExpItemData* DataOf(const QTreeWidgetItem* item);
    // The item's icon index (ExplorerIconIndex), -1 for an item of another kind.
    static int IconOf(const QTreeWidgetItem* item);

    QTreeWidgetItem* ImagesRoot() const { return m_hImages; }
    QTreeWidgetItem* CSIRoot() const { return m_hCSI; }
    // The group of an orientation 0, 1, 2; null for another.
    QTreeWidgetItem* Group(int orientation) const;
    QTreeWidgetItem* FindImageItem(const TMRImage* pImage) const;
    QTreeWidgetItem* FindCSISetItem(const TCSISet* pSet) const;

    // The checks of Zero Fill and of the two image-stack commands: the message for the
    // first rule broken, or an empty text.
    static std::string ZeroFillSizeError(const TCSISet& set, const int size[3]);
    static std::string ImageStackError(const std::vector<TMRImage*>& images, bool averaging);

    // The item the single-item commands act on: set by a right click with one item
    // selected and by a double click.
    QTreeWidgetItem* m_hCurItem = nullptr;

    // Commands of the context menus.
    void OnViewImage();
    void OnSetWorkSet();
    void OnImagesRemove();
    void OnCSISetRemove();
    void OnCSISetZeroFill();
    void OnCSISetSetParameters();
    void OnCSISetSaveAs();
    void OnMultiImagesRemove();
    void OnMultiSetRemove();
    void OnMultiSetSum();
    void OnMultiSetSubtract();
    void OnMultiSetRatio();
    void OnMultiImages3DReconstruction();
    void OnMultiImagesAveraging();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    enum Popup { kPopupImage = 0, kPopupOutImages, kPopupCSISet, kPopupMultiSet, kPopupMultiImages };

    QTreeWidgetItem* InsertFixedItem(QTreeWidgetItem* parent, const char* text, int icon);
    void AddOrUpdateImageItem(QTreeWidgetItem* item, TMRImage* pImage);
    void AddOrUpdateCSISetItem(QTreeWidgetItem* item, TCSISet* pSet);
    void InsertImageItem(QTreeWidgetItem* parent, TMRImage* pImage, int icon);
    // Puts the image items under `group` in ascending slice position, equal positions and
    // images without a place in the order of the images in `order`.
    void SortImageItems(QTreeWidgetItem* group, const std::map<const TMRImage*, size_t>& order);
    void DeleteItem(QTreeWidgetItem* item);
    // Drops the items of images and sets that are no longer the project's.
    void RemoveStaleItems();
    void BuildPopup(QMenu& menu, Popup popup);
    // The current item's image or set while the project still holds it, else null.
    TMRImage* CurrentImage() const;
    TCSISet* CurrentSet() const;
    // The current set when it is the work set; any other set is reported and gives null.
    TCSISet* CurrentWorkSet() const;
    // The selected items of images or of sets, in display order.
    std::vector<QTreeWidgetItem*> SelectedItemsOf(bool images) const;
    void CombineSelectedSets(TProject::TSetOperation operation);
    void RunImageStackCommand(bool averaging);

    CMainFrame* m_pMainFrame;
    QTreeWidgetItem* m_hImages = nullptr;
    QTreeWidgetItem* m_hSagittal = nullptr;
    QTreeWidgetItem* m_hCoronal = nullptr;
    QTreeWidgetItem* m_hAxial = nullptr;
    QTreeWidgetItem* m_hCSI = nullptr;
};
