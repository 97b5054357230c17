#pragma once
// "Browse the folders...": walks the file system from the application's current folder
// and returns the folder shown at OK. Cancel makes the folder current at the start
// current again.
#include <QDialog>

#include <string>

class CFolderList;
class QDialogButtonBox;
class QLineEdit;

class CBrowseFolderDlg : public QDialog {
    Q_OBJECT
public:
    explicit CBrowseFolderDlg(QWidget* parent = nullptr);

    // The folder shown, ending in "/".
    const std::string& GetFolder() const { return m_strFolder; }
    CFolderList* FolderList() const { return m_list; }
    QLineEdit* FolderEdit() const { return m_edit; }

    void reject() override;

private:
    CFolderList* m_list = nullptr;
    QLineEdit* m_edit = nullptr;
    std::string m_strFolder;
    std::string m_szStartDir;
};
