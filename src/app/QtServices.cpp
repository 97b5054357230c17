#include "app/QtServices.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QRegularExpression>

#include <functional>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/WaitCursor.h"

namespace vx::app {
namespace {
QMessageBox::Icon IconOf(ReportIcon icon)
{
    switch (icon) {
    case ReportIcon::Information: return QMessageBox::Information;
    case ReportIcon::Exclamation: return QMessageBox::Warning;
    case ReportIcon::Error: return QMessageBox::Critical;
    case ReportIcon::Question: return QMessageBox::Question;
    case ReportIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ButtonsOf(ReportButtons buttons)
{
    switch (buttons) {
    case ReportButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case ReportButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case ReportButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case ReportButtons::Ok: break;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButton ButtonOf(ReportAnswer answer)
{
    switch (answer) {
    case ReportAnswer::Yes: return QMessageBox::Yes;
    case ReportAnswer::No: return QMessageBox::No;
    case ReportAnswer::Cancel: return QMessageBox::Cancel;
    case ReportAnswer::Ok: break;
    }
    return QMessageBox::Ok;
}

// Escape closes a question box with its "No" or "Cancel" answer.
QMessageBox::StandardButton EscapeOf(ReportButtons buttons)
{
    switch (buttons) {
    case ReportButtons::YesNo: return QMessageBox::No;
    case ReportButtons::YesNoCancel:
    case ReportButtons::OkCancel: return QMessageBox::Cancel;
    case ReportButtons::Ok: break;
    }
    return QMessageBox::Ok;
}

QWidget* DialogParent()
{
    return QApplication::activeWindow();
}
}  // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(const TReportRequest& request, QWidget* parent)
{
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(request.caption.empty() ? QString("Vexara") : QString::fromStdString(request.caption));
    box->setText(QString::fromStdString(request.text));
    if (!request.details.empty())
        box->setDetailedText(QString::fromStdString(request.details));
    box->setIcon(IconOf(request.icon));
    box->setStandardButtons(ButtonsOf(request.buttons));
    QMessageBox::StandardButton preferred = ButtonOf(request.defaultAnswer);
    if (!(ButtonsOf(request.buttons) & preferred))
        preferred = EscapeOf(request.buttons);
    box->setDefaultButton(preferred);
    box->setEscapeButton(EscapeOf(request.buttons));
    return box;
}

ReportAnswer AnswerOf(int standardButton)
{
    switch (standardButton) {
    case QMessageBox::Yes: return ReportAnswer::Yes;
    case QMessageBox::No: return ReportAnswer::No;
    case QMessageBox::Cancel: return ReportAnswer::Cancel;
    default: return ReportAnswer::Ok;
    }
}

QStringList ToQtFilters(const std::string& filter)
{
    QStringList out;
    const QStringList parts = QString::fromStdString(filter).split('|');
    for (int k = 0; k + 1 < parts.size(); k += 2) {
        QString name = parts[k].trimmed();
        // The name often repeats its pattern in brackets; Qt reads the patterns from
        // the last brackets, so they are replaced by the real ones.
        name.remove(QRegularExpression("\\s*\\([^()]*\\)\\s*$"));
        QStringList patterns;
        for (const QString& p : parts[k + 1].split(';', Qt::SkipEmptyParts)) {
            const QString pattern = p.trimmed();
            if (pattern == "*.*" || pattern == "*") {
                patterns << "*";
                continue;
            }
            for (const QString& variant : {pattern, pattern.toLower(), pattern.toUpper()})
                if (!patterns.contains(variant))
                    patterns << variant;
        }
        if (patterns.isEmpty())
            patterns << "*";
        out << QString("%1 (%2)").arg(name.isEmpty() ? patterns.join(' ') : name, patterns.join(' '));
    }
    if (out.isEmpty())
        out << "All Files (*)";
    return out;
}

namespace {

// The icons and type names of a file dialog's entries, taken from their names and kinds
// alone. Qt's own provider reads a file whose name does not tell its type, and a file
// whose read never returns (a kernel's message queue under /proc, a hung network or FUSE
// file) would hold the dialog's model for good, and the dialog with it once it waits for
// the model's thread as it closes. The icons are made once, on the thread that makes the
// first dialog; the model's thread only copies them.
class TNameIconProvider : public QFileIconProvider {
public:
    TNameIconProvider()
        : m_file(QFileIconProvider::icon(File)),
          m_folder(QFileIconProvider::icon(Folder)),
          m_drive(QFileIconProvider::icon(Drive))
    {
    }
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo& info) const override
    {
        return info.isRoot() ? m_drive : info.isDir() ? m_folder : m_file;
    }
    QString type(const QFileInfo& info) const override
    {
        if (info.isRoot())
            return QStringLiteral("Drive");
        if (info.isDir())
            return QStringLiteral("Folder");
        if (!info.isFile())
            return QStringLiteral("Special File");
        const QString suffix = info.suffix();
        return suffix.isEmpty() ? QStringLiteral("File") : suffix.toUpper() + QStringLiteral(" File");
    }

private:
    QIcon m_file, m_folder, m_drive;
};

// A save dialog that asks before it lets the user replace a file, about the file the command
// will write: the chosen name with the extension the command adds, which Qt's own question
// would leave out. It is Qt's own dialog, not the desktop's (MakeFileDialog), so that a No
// keeps it open.
class TSaveFileDialog : public QFileDialog {
public:
    TSaveFileDialog(QWidget* parent, const TFileRequest& request)
        : QFileDialog(parent, QString::fromStdString(request.title), QString::fromStdString(request.folder)),
          m_finalPath(request.finalPath),
          m_confirm(request.overwritePrompt)
    {
        setOption(QFileDialog::DontConfirmOverwrite, true);
    }

    void accept() override
    {
        const QStringList files = selectedFiles();
        if (m_confirm && !files.isEmpty() && !QFileInfo(files.first()).isDir()) {
            const std::string chosen = files.first().toStdString();
            const std::string target = m_finalPath ? m_finalPath(chosen) : chosen;
            if (FileExists(target) && Ask(FileNameOf(target) + " already exists.\nDo you want to replace it?",
                                          ReportButtons::YesNo, ReportAnswer::No,
                                          ReportIcon::Exclamation) != ReportAnswer::Yes)
                return;
        }
        QFileDialog::accept();
    }

private:
    std::function<std::string(const std::string&)> m_finalPath;
    bool m_confirm;
};

}  // namespace

std::unique_ptr<QFileDialog> MakeFileDialog(const TFileRequest& request, QWidget* parent)
{
    std::unique_ptr<QFileDialog> dialog;
    if (request.save)
        dialog = std::make_unique<TSaveFileDialog>(parent, request);
    else
        dialog = std::make_unique<QFileDialog>(parent, QString::fromStdString(request.title),
                                               QString::fromStdString(request.folder));
    // The program's own dialog, wherever the desktop offers another, so that the icons
    // never come from the files' contents. The provider outlives every dialog's model.
    static TNameIconProvider* const icons = new TNameIconProvider;
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setOption(QFileDialog::DontUseCustomDirectoryIcons, true);
    dialog->setIconProvider(icons);
    dialog->setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (!request.save)
        dialog->setFileMode(request.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    const QStringList filters = ToQtFilters(request.filter);
    dialog->setNameFilters(filters);
    if (request.filterIndex >= 0 && request.filterIndex < filters.size())
        dialog->selectNameFilter(filters[request.filterIndex]);
    if (!request.fileName.empty())
        dialog->selectFile(QString::fromStdString(request.fileName));
    return dialog;
}

void InstallQtServices()
{
    SetReportHandler([](const TReportRequest& request) {
        // A message must be readable even while a wait cursor is up.
        const bool waiting = QApplication::overrideCursor() != nullptr;
        if (waiting)
            QApplication::setOverrideCursor(Qt::ArrowCursor);
        auto box = MakeMessageBox(request, DialogParent());
        const int button = box->exec();
        if (waiting)
            QApplication::restoreOverrideCursor();
        return AnswerOf(button);
    });
    InstallQtFileChooser();
    SetWaitCursorHandlers([] { QApplication::setOverrideCursor(Qt::WaitCursor); },
                          [] { QApplication::restoreOverrideCursor(); });
}

FileChooserHandler InstallQtFileChooser()
{
    return SetFileChooserHandler([](const TFileRequest& request) {
        auto dialog = MakeFileDialog(request, DialogParent());
        std::vector<std::string> chosen;
        if (dialog->exec() == QDialog::Accepted)
            for (const QString& path : dialog->selectedFiles())
                chosen.push_back(path.toStdString());
        if (request.chosenFilter)
            *request.chosenFilter = static_cast<int>(ToQtFilters(request.filter).indexOf(dialog->selectedNameFilter()));
        return chosen;
    });
}

}  // namespace vx::app
