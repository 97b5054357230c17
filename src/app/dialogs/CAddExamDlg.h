#pragma once
// "Add Exam...": browse the file system and pick the files and sub-folders of one
// examination, and its exam type. The caller reads GetEntries() and g_nExamType after OK:
// a file as its full path, a sub-folder as "[" + its full path + "]"; OK with nothing picked
// is refused with a message and the dialog stays open. Every visible item of
// the picked list stays tied to its own entry, so removing an item removes exactly that one.
#include <QDialog>

#include <string>
#include <vector>

class CFolderList;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

// The exam type accepted last (0 at start).
extern int g_nExamType;

class CAddExamDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kAttention = "ATTENTION: adding new exam will remove any existing exam in the project.";

    explicit CAddExamDlg(QWidget* parent = nullptr);

    // The picked entries in the order they were added.
    std::vector<std::string> GetEntries() const;
    const std::string& GetFolder() const { return m_strFolder; }

    QComboBox* ExamTypeBox() const { return m_examType; }
    QLineEdit* LocationEdit() const { return m_location; }
    CFolderList* FolderList() const { return m_folderList; }
    QListWidget* AddedList() const { return m_added; }

    void OnAdd();
    void OnAddAll();
    void OnRemove();
    void OnRemoveAll();
    void accept() override;
    void reject() override;

private:
    void AddItem(const std::string& text);

    struct TEntry {
        int id;
        std::string path;
    };
    QComboBox* m_examType = nullptr;
    QLineEdit* m_location = nullptr;
    CFolderList* m_folderList = nullptr;
    QListWidget* m_added = nullptr;
    std::string m_strFolder;
    std::string m_szStartDir;
    std::vector<TEntry> m_entries;
    int m_nextId = 0;
};
