#include "app/dialogs/COptionsDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QVBoxLayout>

COptionsDlg::COptionsDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("Options...");
    auto* layout = new QVBoxLayout(this);
    auto group = [&](const char* title, std::initializer_list<int> settings) {
        auto* box = new QGroupBox(title);
        auto* inner = new QVBoxLayout(box);
        for (int k : settings)
            inner->addWidget(m_checks[k]);
        layout->addWidget(box);
    };
    const char* texts[kSettingCount] = {
        "Draw the spectrum of voxel window in black (default is red)",
        "Set PCA window to gray-scale colormap (default is hot colormap)",
        "Allow multiple maps to be overlaid on one image",
        "Turn on real-time phasing",
    };
    for (int k = 0; k < kSettingCount; ++k)
        m_checks[k] = new QCheckBox(texts[k]);
    group("Window Display Settings", {0, 1});
    group("Map Display Settings", {2});
    group("Data Processing Settings", {3});
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(m_buttons);
}

void COptionsDlg::SetChecked(int setting, bool checked)
{
    if (QCheckBox* box = CheckBox(setting))
        box->setChecked(checked);
}

bool COptionsDlg::IsChecked(int setting) const
{
    const QCheckBox* box = CheckBox(setting);
    return box && box->isChecked();
}

QCheckBox* COptionsDlg::CheckBox(int setting) const
{
    return setting >= 0 && setting < kSettingCount ? m_checks[setting] : nullptr;
}
