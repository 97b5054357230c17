#pragma once
// Help > About: the program's name and version.
#include <QDialog>

class QLabel;

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // "Vexara Version 1.9.11"
    static QString VersionText();
    QString VersionLine() const;

private:
    QLabel* m_version = nullptr;
};
