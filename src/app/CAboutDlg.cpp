#include "app/CAboutDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>

#include "app/ToolIcons.h"
#include "app/CommandIds.h"
#include "model/math/TextHelpers.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("About Vexara");
    auto* layout = new QGridLayout(this);
    auto* icon = new QLabel;
    icon->setPixmap(vx::app::ToolIcon(cmd::ModeSelectVoxel).pixmap(48, 48));
    layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    m_version = new QLabel(VersionText());
    m_version->setObjectName("VersionLine");
    layout->addWidget(m_version, 0, 1);
    layout->addWidget(new QLabel("MR spectroscopic imaging: spectra, maps and analyses"), 1, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons, 2, 0, 1, 2);
}

QString CAboutDlg::VersionText()
{
    return QString::fromStdString("Vexara Version 1." + FloatToString(9.0f, 1) + "." + FloatToString(11.0f, 1));
}

QString CAboutDlg::VersionLine() const
{
    return m_version->text();
}
