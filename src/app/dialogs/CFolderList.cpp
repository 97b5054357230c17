#include "app/dialogs/CFolderList.h"

#include <QKeyEvent>
#include <QStringList>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/Files.h"
#include "platform/Paths.h"

namespace {
std::string WithTrailingSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

bool LessNoCase(const QString& a, const QString& b)
{
    const int order = QString::compare(a, b, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a < b;
}
}  // namespace

CFolderList::CFolderList(QWidget* parent) : QListWidget(parent)
{
    connect(this, &QListWidget::itemDoubleClicked, this, &CFolderList::OnDoubleClick);
}

bool CFolderList::ListFolder(const std::string& folder)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path path = fs::absolute(fs::path(vx::ToNativePath(folder)), ec).lexically_normal();
    if (!path.has_filename() && path.has_relative_path())
        path = path.parent_path();
    if (ec || !fs::is_directory(path, ec))
        return false;
    fs::directory_iterator it(path, fs::directory_options::skip_permission_denied, ec);
    if (ec)
        return false;

    QStringList folders, files;
    for (const fs::directory_entry& entry : it) {
        const std::string name = entry.path().filename().string();
        // Hidden entries stay hidden, as in the desktop's own file dialogs.
        if (name.empty() || name.front() == '.')
            continue;
        std::error_code kindError;
        if (entry.is_directory(kindError))
            folders << "[" + QString::fromStdString(name) + "]";
        else if (m_bListFiles)
            files << QString::fromStdString(name);
    }
    std::sort(folders.begin(), folders.end(), LessNoCase);
    std::sort(files.begin(), files.end(), LessNoCase);

    clear();
    if (path.has_relative_path())
        addItem("[..]");
    addItems(folders);
    addItems(files);
    m_strFolder = WithTrailingSlash(path.string());
    vx::SetCurrentFolder(m_strFolder);
    return true;
}

bool CFolderList::IsFolderEntry(const QString& entry)
{
    return entry.size() >= 3 && entry.startsWith('[') && entry.endsWith(']');
}

std::string CFolderList::FolderOfEntry(const QString& entry) const
{
    if (!IsFolderEntry(entry))
        return {};
    if (entry == "[..]") {
        std::string parent = m_strFolder;
        if (!parent.empty())
            parent.pop_back();
        return WithTrailingSlash(vx::FolderOf(parent));
    }
    return m_strFolder + entry.mid(1, entry.size() - 2).toStdString() + "/";
}

void CFolderList::OnDoubleClick()
{
    const QListWidgetItem* item = currentItem();
    if (!item)
        return;
    const std::string next = FolderOfEntry(item->text());
    if (!next.empty() && ListFolder(next))
        emit FolderListed(QString::fromStdString(m_strFolder));
}

void CFolderList::keyPressEvent(QKeyEvent* event)
{
    // Return browses like a double click and goes no further: in a dialog it would
    // otherwise press the dialog's default button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        OnDoubleClick();
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}
