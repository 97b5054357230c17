#include "app/QtServices.h"

#include <QApplication>
#include <QFileDialog>
#include <QRegularExpression>

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

std::unique_ptr<QFileDialog> MakeFileDialog(const TFileRequest& request, QWidget* parent)
{
    auto dialog = std::make_unique<QFileDialog>(parent, QString::fromStdString(request.title),
                                                QString::fromStdString(request.folder));
    dialog->setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (!request.save)
        dialog->setFileMode(request.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
    const QStringList filters = ToQtFilters(request.filter);
    dialog->setNameFilters(filters);
    if (request.filterIndex >= 0 && request.filterIndex < filters.size())
        dialog->selectNameFilter(filters[request.filterIndex]);
    if (!request.fileName.empty())
        dialog->selectFile(QString::fromStdString(request.fileName));
    if (!request.defaultExtension.empty()) {
        QString suffix = QString::fromStdString(request.defaultExtension);
        if (suffix.startsWith('.'))
            suffix.remove(0, 1);
        dialog->setDefaultSuffix(suffix);
    }
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
    SetFileChooserHandler([](const TFileRequest& request) {
        auto dialog = MakeFileDialog(request, DialogParent());
        std::vector<std::string> chosen;
        if (dialog->exec() == QDialog::Accepted)
            for (const QString& path : dialog->selectedFiles())
                chosen.push_back(path.toStdString());
        if (request.chosenFilter)
            *request.chosenFilter = static_cast<int>(ToQtFilters(request.filter).indexOf(dialog->selectedNameFilter()));
        return chosen;
    });
    SetWaitCursorHandlers([] { QApplication::setOverrideCursor(Qt::WaitCursor); },
                          [] { QApplication::restoreOverrideCursor(); });
}

}  // namespace vx::app
