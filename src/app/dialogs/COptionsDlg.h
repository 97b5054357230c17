#pragma once
// Project > Options...: one check box per user setting of the application object.
#include <QDialog>

class QCheckBox;
class QDialogButtonBox;

class COptionsDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kSettingCount = 4;

    explicit COptionsDlg(QWidget* parent = nullptr);

    // Setting k (0 "SpecBgColor", 1 "PCABgColor", 2 "MultiMapDisp", 3 "PhaseMode").
    void SetChecked(int setting, bool checked);
    bool IsChecked(int setting) const;
    QCheckBox* CheckBox(int setting) const;
    QDialogButtonBox* Buttons() const { return m_buttons; }

private:
    QCheckBox* m_checks[kSettingCount] = {};
    QDialogButtonBox* m_buttons = nullptr;
};
