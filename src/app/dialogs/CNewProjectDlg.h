#pragma once
// "Create New Project...": the project's name and, through a folder list, its location.
// The location is the program-wide g_strLastDir, which the list changes as the user
// browses (a last location that has gone gives way to the home folder); Cancel puts it
// and the current folder back as they were when the dialog was shown. OK (or Return in the
// name) accepts only a name that can hold a project in an existing location: a refused name
// is reported and the dialog stays open for a correction. Return in the folder list opens
// the folder.
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
    // `saveAs`: the dialog of Save Project As, which also refuses a name beginning with ".".
    explicit CNewProjectDlg(QWidget* parent = nullptr, bool saveAs = false);

    // The name in the edit, taken on OK.
    const QString& ProjectName() const { return m_strName; }
    // The project folder in the location, taken on OK.
    const std::string& ProjectFolder() const { return m_strFolder; }

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
    std::string m_strFolder;
    bool m_bSaveAs = false;
    CFolderList* m_dirList = nullptr;
    QLineEdit* m_nameEdit = nullptr;
    QLineEdit* m_locationEdit = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
    bool m_bShown = false;
    std::string m_strSavedLastDir;
    std::string m_szSavedCurDir;
};
