#pragma once
// The batch run: every chosen study folder of an exam location becomes a project of its
// own in the output folder, holding the images and CSI sets that the exam type's file
// rules find in the study, with one macro file applied to every CSI set: the file is read
// once, and each set gets every step it held then (a macro of no steps changes no set and
// fails none; a step failing on one set costs that set only). While it runs,
// g_bBatchMode sends every message to g_batchLog. A study's project is built in a hidden
// folder beside its own and put in its folder whole, in place of an earlier project of the
// study there, once every set it could add has the macro applied and is saved; a run
// killed on the way leaves the study's folder as it was (or its earlier project aside,
// where folders cannot be exchanged), and the next run mends what it left (TStudyPlace).
// A CSI file that cannot be read or used costs only its set; a study without any of its
// sets (none could be added, or it holds none now where an earlier project stands), one
// whose folder or a companion file's folder cannot be listed, one whose macro fails on one
// of its sets and one with a file that could not be written get no project (an earlier one
// stays). A folder of the study's name that is neither empty nor a project of the study,
// or whose files cannot be listed, is never replaced. The log then reads
//   Errros and warnings for the batch processing:
//   (per study) \r\nProject <project folder>: \r\n, what the study logged, and
//               "No error or warning. \r\n" when it logged no error;
//   or          \r\nMaking new project for <project folder> is failed.\r\n and why
// The project open before the run is set aside and is g_pProject again afterwards; the
// projects of the studies touch no window.
#include <string>
#include <vector>

class TProcessStep;
class TProject;

class TBatchRun {
public:
    // Folders of this name hold earlier output and are never taken as studies.
    static constexpr const char* kOutputFolderName = "CSIProjects";
    static constexpr const char* kLogHeader = "Errros and warnings for the batch processing:\r\n";

    // The exam types in list order.
    static const std::vector<std::string>& ExamTypeNames();
    // The file name patterns split at every comma, each pattern trimmed of blanks
    // ("" gives one empty pattern).
    static std::vector<std::string> SplitFilePatterns(const std::string& text);
    // The study names among folder-list items: "[name]" items other than the parent and
    // drives, whose name does not contain kOutputFolderName.
    static std::vector<std::string> StudyNames(const std::vector<std::string>& items);

    enum class TFileKind { Other, Image, CSISet };
    // What a file of this name is for the exam type: a case-sensitive substring test on
    // the name (on an upper-case copy for the Philips types), images tested first.
    static TFileKind Classify(int examType, const std::string& name);

    std::string m_strExamFolder;         // the folder holding the studies
    std::vector<std::string> m_studies;  // names of study folders in it
    std::string m_strPatterns = "*.*";   // file name patterns, comma-separated
    std::string m_strOutput;             // output folder
    std::string m_strMacro;              // macro file
    int m_nExamType = 0;

    // Runs the batch over every study. False when the output location is empty or not a
    // full path, or the macro file cannot be opened or read: one message box says so, and
    // nothing is created.
    bool Run();

private:
    // Whether m_strOutput is a full path; false after its message box.
    bool CheckOutput() const;
    // The text of m_strMacro read into m_macroText and checked to be a macro; false after
    // its message box.
    bool ReadMacro();
    // A macro step read from m_macroText; null (deleted) when it does not read.
    TProcessStep* NewMacro() const;
    static void DeleteMacro(TProcessStep* pStep);
    // Adds the study's files to the project and applies the macro to every CSI set, saving
    // each. Empty when the project can stand; else why not ("a CSI set could not be added"
    // when none was, "the macro failed", or which file or set could not be written, which
    // ends the study at once).
    std::string ProcessStudy(TProject& project, const std::string& studyFolder,
                             const std::vector<std::string>& patterns);

    std::string m_macroText;    // the macro file's lines, each ended by "\n"
    bool m_bMacroEmpty = false;  // it holds no step
};
