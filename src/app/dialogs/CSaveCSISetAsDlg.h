#pragma once
// "Save CSI set as...": the name of the copy of a CSI set. The name becomes the name of the
// copy's data-set file, so only a name that can be one file name closes the dialog.
#include <QDialog>
#include <QString>

class QDialogButtonBox;
class QLineEdit;

class CSaveCSISetAsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSaveCSISetAsDlg(QWidget* parent = nullptr);

    QLineEdit* NameEdit() const { return m_nameEdit; }
    QDialogButtonBox* Buttons() const { return m_buttons; }

    void accept() override;

    QString m_strName;

private:
    QLineEdit* m_nameEdit = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};
