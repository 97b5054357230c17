#pragma once
// "Errors and Warning for the batch processing": the batch log of the last run, which
// Save writes to a text file chosen by the user. A file that cannot be written is
// reported and the dialog stays, so the log is not lost.
#include <QDialog>

class QPlainTextEdit;
class QPushButton;

class CBatchErrorsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CBatchErrorsDlg(QWidget* parent = nullptr);

    QPlainTextEdit* LogEdit() const { return m_edit; }
    QPushButton* SaveButton() const { return m_save; }
    QPushButton* DontSaveButton() const { return m_dontSave; }

    // "Save".
    void accept() override;

private:
    QPlainTextEdit* m_edit = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_dontSave = nullptr;
};
