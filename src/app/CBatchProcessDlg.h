#pragma once
// "Batch Processing...": the exam type, the exam location with its study folders, the
// file name patterns, the output folder and the macro file of a batch run. OK runs
// the batch (TBatchRun) over the selected studies, or every study when none is selected,
// and then shows the log; a missing or unusable macro or output location is reported
// and the dialog stays open. The choices stay for the next time until the program ends.
#include <QDialog>

#include <string>

class CFolderList;
class QComboBox;
class QDialogButtonBox;
class QLineEdit;
class QPushButton;

namespace vx::app {
// Installs this dialog as the program's batch dialog and CAddExamDlg as its Add Exam dialog.
void InstallBatchDialogs();
}  // namespace vx::app

// The exam location browsed last (ending in "/"), the macro file, the file name
// patterns and the exam type of the last run.
extern std::string g_strBatchFolder;
extern std::string g_strBatchMacro;
extern std::string g_strBatchSpec;
extern int g_nBatchExamType;

class CBatchProcessDlg : public QDialog {
    Q_OBJECT
public:
    explicit CBatchProcessDlg(QWidget* parent = nullptr);

    QComboBox* ExamTypeBox() const { return m_examType; }
    QLineEdit* LocationEdit() const { return m_location; }
    CFolderList* StudyList() const { return m_studies; }
    QLineEdit* SpecEdit() const { return m_spec; }
    QLineEdit* OutputEdit() const { return m_output; }
    QLineEdit* MacroEdit() const { return m_macro; }
    QPushButton* BrowseOutputButton() const { return m_browseOutput; }
    QPushButton* BrowseMacroButton() const { return m_browseMacro; }

    // The run.
    void accept() override;

private:
    void OnBrowseMacro();
    void OnBrowseFolder();
    void OnFolderListed(const QString& folder);

    QComboBox* m_examType = nullptr;
    QLineEdit* m_location = nullptr;
    CFolderList* m_studies = nullptr;
    QLineEdit* m_spec = nullptr;
    QLineEdit* m_output = nullptr;
    QLineEdit* m_macro = nullptr;
    QPushButton* m_browseOutput = nullptr;
    QPushButton* m_browseMacro = nullptr;
    std::string m_strOutput;
};
