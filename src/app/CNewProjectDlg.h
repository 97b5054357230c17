#pragma once
// "Create New Project...": the project's name and, through a folder list, its location.
// The location is the program-wide g_strLastDir, which the list changes as the user
// browses; Cancel puts it and the current folder back as they were when the dialog was
// shown. The project commands validate what the dialog collected.
#include <QDialog>
#include <QString>

#include <string>

class CFolderList;
class QDialogButtonBox;
class QLineEdit;

// The last project location, ending in "/"; the user's home folder at start.
extern std::string g_strLastDir;

class CNewProjectDlg : public QDialog {
    Q_OBJECT
public:
    explicit CNewProjectDlg(QWidget* parent = nullptr);

    // The name in the edit, taken on OK.
    const QString& ProjectName() const { return m_strName; }

    QLineEdit* NameEdit() const { return m_nameEdit; }
    QLineEdit* LocationEdit() const { return m_locationEdit; }
    CFolderList* FolderList() const { return m_dirList; }
    QDialogButtonBox* Buttons() const { return m_buttons; }

    void accept() override;
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnFolderListed(const QString& folder);

    QString m_strName;
    CFolderList* m_dirList = nullptr;
    QLineEdit* m_nameEdit = nullptr;
    QLineEdit* m_locationEdit = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
    bool m_bShown = false;
    std::string m_strSavedLastDir;
    std::string m_szSavedCurDir;
};
