#pragma once
// "Import...": the image format and, for raw images, the layout of the file, then one or
// several image files added to the open project. The values accepted last are kept for the
// rest of the run.
#include <QDialog>

#include "model/TImageImportParams.h"

class CNumEdit;
class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLineEdit;

class CImportImageDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kRawImageType = 6;

    explicit CImportImageDlg(QWidget* parent = nullptr);

    QComboBox* TypeList() const { return m_typeList; }
    QLineEdit* HeaderEdit() const { return m_header; }
    QLineEdit* WidthEdit() const { return m_width; }
    QLineEdit* HeightEdit() const { return m_height; }
    QCheckBox* SwapBox() const { return m_swap; }
    CNumEdit* PositionEdit(int axis) const { return m_position[axis]; }
    CNumEdit* AngulationEdit(int axis) const { return m_angulation[axis]; }
    QDialogButtonBox* Buttons() const { return m_buttons; }

    void FillControls();
    // Enables the controls the image type reads.
    void OnSelchangeFileType();
    // OK: the file chooser, then every chosen file is added to the project.
    void accept() override;

    // The values of the last import: image type 0, header 0, 256 x 256, swapped bytes, no
    // position adjustment or angulation at start.
    static TImageImportParams s_last;

protected:
    void showEvent(QShowEvent* event) override;

private:
    TImageImportParams ReadControls() const;

    QComboBox* m_typeList = nullptr;
    QLineEdit* m_header = nullptr;
    QLineEdit* m_width = nullptr;
    QLineEdit* m_height = nullptr;
    QCheckBox* m_swap = nullptr;
    CNumEdit* m_position[3] = {};    // x, y, z
    CNumEdit* m_angulation[3] = {};  // x, y, z
    QDialogButtonBox* m_buttons = nullptr;
};
