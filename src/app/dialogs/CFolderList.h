#pragma once
// A list of the folders below one folder, for dialogs that browse the file system: the
// parent as "[..]" (absent at the root), each sub-folder as "[name]", and, when asked
// for, the files by name. There are no drive entries. Listing a folder makes it the
// program's current folder; a double click on a folder entry, or Return on it, lists
// that folder, or says why it cannot be listed and keeps the list as it was.
#include <QListWidget>

#include <string>

class CFolderList : public QListWidget {
    Q_OBJECT
public:
    explicit CFolderList(QWidget* parent = nullptr);

    // Also lists the files of the folder after its sub-folders.
    void SetListFiles(bool on) { m_bListFiles = on; }

    // Lists `folder` and makes it the current folder. False (list and current folder
    // unchanged) when it is no folder or cannot be read; a double click or Return on a
    // folder that could not be listed says which and why.
    bool ListFolder(const std::string& folder);
    // Lists `folder`, where a dialog opens; when it cannot, lists the home folder instead and
    // says why (which folder, and whether the home folder could be listed) once events are
    // next handled, over the open dialog. False when neither could.
    bool ListStartFolder(const std::string& folder);
    // The folder listed last, ending in "/".
    const std::string& Folder() const { return m_strFolder; }

    // True for "[..]" and "[name]".
    static bool IsFolderEntry(const QString& entry);
    // The folder an entry leads to from Folder(), ending in "/": the parent for "[..]",
    // the sub-folder for "[name]"; "" for a file entry.
    std::string FolderOfEntry(const QString& entry) const;

signals:
    // A double click or Return has listed a new folder.
    void FolderListed(const QString& folder);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnDoubleClick();

    std::string m_strFolder;
    std::string m_strFailure;
    bool m_bListFiles = false;
};
