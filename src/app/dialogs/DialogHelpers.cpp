#include "app/dialogs/DialogHelpers.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QValidator>

#include "app/dialogs/CNumEdit.h"
#include "app/dialogs/DialogFields.h"
#include "model/math/TextHelpers.h"
#include "platform/Numbers.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TReasonCollector.h"
#include "platform/WaitCursor.h"

namespace vx::app {

QGroupBox* AxisGroup(const QString& title, QWidget* x, QWidget* y, QWidget* z, const QString& xLabel,
                     const QString& yLabel, const QString& zLabel)
{
    auto* group = new QGroupBox(title);
    auto* layout = new QGridLayout(group);
    const QString labels[3] = {xLabel, yLabel, zLabel};
    QWidget* widgets[3] = {x, y, z};
    for (int k = 0; k < 3; ++k) {
        if (!widgets[k])
            continue;
        if (!labels[k].isEmpty())
            layout->addWidget(new QLabel(labels[k]), 0, 2 * k);
        layout->addWidget(widgets[k], 0, 2 * k + 1);
    }
    return group;
}

namespace {

// Digits make a whole number. Anything else typed stays on screen as an unfinished text for
// OK to refuse whole: leaving out the keys the box cannot take would turn "1e400" into 1400.
class TDigitValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& text, int&) const override
    {
        if (text.isEmpty())
            return Intermediate;
        for (const QChar c : text)
            if (c < u'0' || c > u'9')
                return Intermediate;
        return Acceptable;
    }
};

}  // namespace

QLineEdit* MakeDigitEdit(QWidget* parent, int low, int high)
{
    auto* edit = new QLineEdit(parent);
    edit->setValidator(new TDigitValidator(edit));
    KeepTextBeforeEdit(edit, low, high);
    return edit;
}

QString Text5(float value)
{
    return QString::fromStdString(FloatToString(value, 5));
}

int EditWidthFor(const QLineEdit* edit, const QString& text)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    const QFontMetrics metrics(edit->font());
    // A line edit keeps two pixels of margin on each side of its text.
    const QMargins margins = edit->textMargins();
    const QSize contents(metrics.horizontalAdvance(text) + 4 + margins.left() + margins.right(), metrics.height());
    return edit->style()->sizeFromContents(QStyle::CT_LineEdit, &option, contents, edit).width();
}

float ValueOf(const CNumEdit* edit)
{
    float value = 0.0f;
    vx::ParseFloat(edit->GetText().toStdString(), value);
    return value;
}

void ImportChosenFiles(const std::vector<std::string>& paths, const std::string& what, const AddFileFn& add)
{
    vx::TWaitCursor wait;
    // Each file that fails is named once, with what its reader said about it. Of several
    // files, each question names the one it is about.
    std::string failed;
    std::string reasons;
    for (const std::string& path : paths)
        vx::AddNamingFailure(vx::FileNameOf(path), paths.size() > 1,
                             [&] { return add(vx::FolderOf(path), vx::FileNameOf(path)); }, failed, &reasons);
    if (failed.empty())
        return;
    if (paths.size() == 1)
        vx::Report("Fail to add " + what + " from " + vx::FileNameOf(paths[0]) + "." +
                       (reasons.empty() ? "" : "\n" + reasons),
                   vx::ReportIcon::Exclamation);
    else
        vx::Report(vx::FailedFilesMessage(failed), vx::ReportIcon::Exclamation);
}

}  // namespace vx::app
