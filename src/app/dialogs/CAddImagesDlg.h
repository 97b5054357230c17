#pragma once
// "Add Images...": the images of the open project, each with a mark telling whether its
// geometry is complete, and the geometry the selected images share (field of view, image
// centre, orientation), which the user completes for one image or for many at once. Every
// change is made on the images at once. "Add Images..." imports more images, "Inc" spaces
// the centres of the selected images along a line.
#include <QDialog>

#include <vector>

class CNumEdit;
class QAbstractButton;
class QButtonGroup;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class TMRImage;

class CAddImagesDlg : public QDialog {
    Q_OBJECT
public:
    // Icon of an image whose geometry is complete, and of one whose geometry is not.
    static constexpr int kIconComplete = 0;
    static constexpr int kIconIncomplete = 1;

    explicit CAddImagesDlg(QWidget* parent = nullptr);

    QTreeWidget* List() const { return m_list; }
    // FOV x, y (axis 0, 1) and image centre x, y, z.
    CNumEdit* FOVEdit(int axis) const { return m_fovEdits[axis]; }
    CNumEdit* CentreEdit(int axis) const { return m_centreEdits[axis]; }
    // The radio of orientation 0 "Saggital", 1 "Coronal", 2 "Axial".
    QAbstractButton* OrientationRadio(int orientation) const;
    QPushButton* IncButton() const { return m_incButton; }
    QPushButton* AddImagesButton() const { return m_addButton; }
    // The icon index an item shows.
    static int IconOf(const QTreeWidgetItem* item);
    static TMRImage* ImageOf(const QTreeWidgetItem* item);

    const std::vector<TMRImage*>& Selected() const { return m_selected; }
    int Orientation() const { return m_nOrientation; }

    void FillImageList();
    void EnableGeometryControls(bool enable);
    // The selection changed: the selected images and the geometry they share.
    void OnItemchanged();
    // A valid number typed into an edit goes to every selected image as parameter `kind`.
    void SetParameterFromEdit(CNumEdit* edit, int kind);
    // Leaving FOV x (0) or y (1): a value of 0 or less becomes 240 mm.
    void OnKillfocusFOV(int axis);
    void OnOrientation();
    // Icons, and the slice position and in-plane centre of every selected image whose
    // geometry is complete.
    void RefreshImageItems();
    void OnAddImages();
    void OnInc();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetOrientationRadios(int orientation);

    QTreeWidget* m_list = nullptr;
    std::vector<TMRImage*> m_selected;
    int m_nOrientation = -1;
    CNumEdit* m_fovEdits[2] = {};
    CNumEdit* m_centreEdits[3] = {};
    QButtonGroup* m_orientations = nullptr;
    QPushButton* m_incButton = nullptr;
    QPushButton* m_addButton = nullptr;
};
