#include "app/dialogs/CFolderList.h"

#include <QKeyEvent>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Report.h"

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
    // A folder that cannot be read is never shown as an empty one.
    const vx::TFolderListing listing = ec ? vx::TFolderListing{{}, ec.value()} : vx::ListFolder(path.string());
    if (!listing.Whole()) {
        m_strFailure = "The folder " + (ec ? folder : path.string()) +
                       (listing.error == ENOENT || listing.error == ENOTDIR
                            ? std::string(" does not exist.")
                            : " cannot be listed: " + vx::ListingErrorReason(listing.error) + ".");
        return false;
    }

    QStringList folders, files;
    for (const vx::TFolderEntry& entry : listing.entries) {
        // Hidden entries stay hidden, as in the desktop's own file dialogs.
        if (entry.name.empty() || entry.name.front() == '.')
            continue;
        if (entry.isFolder)
            folders << "[" + QString::fromStdString(entry.name) + "]";
        else if (m_bListFiles)
            files << QString::fromStdString(entry.name);
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

bool CFolderList::ListStartFolder(const std::string& folder)
{
    if (ListFolder(folder))
        return true;
    const std::string why = m_strFailure;
    const bool listed = ListFolder(vx::HomeFolder());
    // The home folder's failure is said too, unless it was the folder that failed.
    const std::string then = listed ? " The list shows your home folder " + m_strFolder + " instead."
                             : m_strFailure == why ? ""
                                                   : " " + m_strFailure;
    // Said once the dialog is open: a box shown while it opens would leave it unpainted.
    QTimer::singleShot(0, this, [text = why + then] { vx::Report(text, vx::ReportIcon::Exclamation); });
    return listed;
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
    if (next.empty())
        return;
    if (ListFolder(next))
        emit FolderListed(QString::fromStdString(m_strFolder));
    else
        vx::Report(m_strFailure, vx::ReportIcon::Exclamation);
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
