#include "model/TBatchRun.h"

#include <cerrno>
#include <iterator>
#include <memory>

#include "model/ProcessingHooks.h"
#include "model/TCSIReadParams.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageImportParams.h"
#include "model/TProject.h"
#include "model/TStudyPlace.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/OpenToRead.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFolderLock.h"
#include "platform/TTextFile.h"
#include "platform/WaitCursor.h"

namespace {

// The file rules of each exam type: which names are images and which CSI sets.
struct TBatchFileRule {
    bool upperCase;
    const char* imageTag;
    const char* csiTag;
};

const TBatchFileRule kFileRules[] = {
    {true, ".PAR", ".SPAR"},
    {true, ".PAR", ".LIST"},
    {true, ".PAR", ".LIST"},
    {false, "e", "P"},
};
constexpr int kExamTypes = static_cast<int>(std::size(kFileRules));

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool Contains(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

// Gives the set-aside project back and ends batch mode, however the run ends.
class TBatchScope {
public:
    TBatchScope() : m_kept(g_pProject) { g_bBatchMode = true; }
    ~TBatchScope() { End(); }
    TBatchScope(const TBatchScope&) = delete;
    TBatchScope& operator=(const TBatchScope&) = delete;
    void End()
    {
        g_bBatchMode = false;
        g_pProject = m_kept;
    }

private:
    TProject* m_kept;
};

// True, after a line in the log, when the study's project folder is the folder of a
// project open in this run (the main window's): the study would be written over it.
bool IsOpenHere(const std::string& projectFolder)
{
    if (!vx::TFolderLock::IsHeldHere(projectFolder))
        return false;
    g_batchLog += "\r\nProject " + projectFolder + ": \r\n";
    vx::AppendBatchLog("Error: The study is not processed: its project folder is the folder of the project open in the "
                       "main window, which is left as it is.");
    return true;
}

// Says where an earlier project of the study waits aside, kept beside a folder that no
// run put in its place.
void LogKeptAside(const TStudyPlace& place)
{
    if (!place.KeptAside().empty())
        vx::AppendBatchLog("Error: The earlier project of " + place.Folder() + " waits in " + place.KeptAside() +
                           ", kept because the folder now at its place was not put there by a batch run; move what "
                           "you need out of it and remove it.");
}

// Says where an earlier project of the study, or the empty folder that stood in its place,
// waits when nothing is in its place: a swap could neither complete nor go back, or mending
// could not put it back.
void LogWaitingAside(const TStudyPlace& place)
{
    if (const std::string aside = place.WaitsAside(); !aside.empty()) {
        const vx::TFolder::THas project = place.ProjectWaitsAside();
        const int why = errno;
        vx::AppendBatchLog((project == vx::TFolder::THas::Yes ? "Error: The earlier project of " + place.Folder()
                            : project == vx::TFolder::THas::No
                                ? "Error: The empty folder that stood at " + place.Folder()
                                : "Error: What stood at " + place.Folder() + " (it cannot be looked at: " +
                                      vx::FileErrorReason(why) + ")") +
                           " waits in " + aside + "; the next run puts it back.");
    }
}

}  // namespace

const std::vector<std::string>& TBatchRun::ExamTypeNames()
{
    static const std::vector<std::string> names = {"Philips 2D Single Slice", "Philips 2D Multi Slice", "Philips 3D",
                                                   "GE 2D EXCITE 11.0"};
    return names;
}

std::vector<std::string> TBatchRun::SplitFilePatterns(const std::string& text)
{
    std::vector<std::string> patterns;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        patterns.push_back(Trimmed(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
        if (comma == std::string::npos)
            return patterns;
        start = comma + 1;
    }
}

std::vector<std::string> TBatchRun::StudyNames(const std::vector<std::string>& items)
{
    std::vector<std::string> names;
    for (const std::string& item : items) {
        if (item.size() < 3 || item.front() != '[' || item.back() != ']' || item == "[..]")
            continue;
        const std::string name = item.substr(1, item.size() - 2);
        const bool drive = name.size() == 3 && name.front() == '-' && name.back() == '-';
        if (!drive && !Contains(name, kOutputFolderName))
            names.push_back(name);
    }
    return names;
}

TBatchRun::TFileKind TBatchRun::Classify(int examType, const std::string& name)
{
    if (examType < 0 || examType >= kExamTypes)
        return TFileKind::Other;
    const TBatchFileRule& rule = kFileRules[examType];
    // Only a copy is upper-cased: the file is opened by its own name.
    const std::string tested = rule.upperCase ? vx::ToUpperAscii(name) : name;
    if (Contains(tested, rule.imageTag))
        return TFileKind::Image;
    if (Contains(tested, rule.csiTag))
        return TFileKind::CSISet;
    return TFileKind::Other;
}

bool TBatchRun::Run()
{
    vx::TWaitCursor wait;
    // Nothing is created before the output location and the macro are known to be usable.
    if (!CheckOutput() || !ReadMacro())
        return false;
    const std::vector<std::string> patterns = SplitFilePatterns(m_strPatterns);
    TBatchScope scope;
    g_batchLog = kLogHeader;
    g_bBatchError = false;

    bool madeOutput = false;
    for (const std::string& name : m_studies) {
        const std::string studyFolder = vx::JoinPath(m_strExamFolder, name);
        if (!vx::FolderExists(m_strOutput) && vx::MakeFolder(m_strOutput))
            madeOutput = true;
        const std::string projectFolder = vx::JoinPath(m_strOutput, name);
        if (IsOpenHere(projectFolder))
            continue;
        // The project is built in a hidden folder and put in place whole once every set has
        // the macro applied and is saved: a run killed before leaves no project that looks
        // finished, and the next run mends what it left.
        TStudyPlace place(m_strOutput, name, studyFolder);
        // What creating the project logs comes after the study's line.
        const size_t studyLines = g_batchLog.size();
        const std::string refusal = place.Take();
        // The study's project opens no window: the main frame shows the set-aside project.
        auto project = std::make_unique<TProject>();
        if (!refusal.empty() || !place.Build(*project)) {
            project.reset();
            if (refusal.empty())
                place.Drop();
            g_batchLog.insert(studyLines, "\r\nMaking new project for " + projectFolder + " is failed.\r\n");
            if (!refusal.empty())
                vx::AppendBatchLog("Error: The folder " + projectFolder + " cannot take the study's project: " +
                                   refusal + ".");
            LogWaitingAside(place);
            continue;
        }
        g_pProject = project.get();
        g_batchLog.insert(studyLines, "\r\nProject " + projectFolder + ": \r\n");
        g_bBatchError = false;
        LogKeptAside(place);
        if (!place.AnotherUsersFolders().empty())
            vx::AppendBatchLog(place.AnotherUsersFolders());

        std::string failure = ProcessStudy(*project, studyFolder, patterns);
        // The images' pixel files go in with this save: a study whose project file could
        // not be written is not a project.
        // A study that has none of its sets now (emptied since, or moved) would replace an
        // earlier project with one that lacks them all.
        if (failure.empty() && place.Replaces() && project->m_pCSISetList->IsEmpty())
            failure = "no CSI set was found in " + studyFolder;
        if (failure.empty() && !project->Save())
            failure = "the project could not be saved";
        // Closed before it is put in place or removed, with its build folder still held.
        place.HoldBuild(*project);
        project.reset();
        g_pProject = nullptr;
        if (failure.empty())
            failure = place.PutInPlace();
        // Sets the macro failed on would pass for processed ones, and a study without any of
        // its sets for a complete one: the project built goes, an earlier one stays.
        if (!failure.empty()) {
            place.Drop();
            vx::AppendBatchLog("Error: The project " + projectFolder +
                               (place.Replaces() ? " is not replaced" : " is removed") + " because " + failure + ".");
            LogWaitingAside(place);
        }
        if (!g_bBatchError)
            g_batchLog += "No error or warning. \r\n";
    }
    // A run that left no study project leaves no output folder either.
    if (madeOutput)
        vx::RemoveFile(m_strOutput);  // only when empty
    m_macroText.clear();
    scope.End();
    return true;
}

bool TBatchRun::CheckOutput() const
{
    // A relative location would put the projects wherever the program happens to run.
    if (m_strOutput.empty())
        vx::Report("Please enter the output location.", vx::ReportIcon::Exclamation);
    else if (m_strOutput.front() != '/')
        vx::Report("The output location must be a full path: " + m_strOutput, vx::ReportIcon::Exclamation);
    return !m_strOutput.empty() && m_strOutput.front() == '/';
}

bool TBatchRun::ReadMacro()
{
    // Read before batch mode begins: the message is a box, and the run ends with it.
    auto fail = [](const std::string& text) {
        vx::Report(text, vx::ReportIcon::Exclamation);
        return false;
    };
    vx::TTextFile file;
    if (!file.Open(m_strMacro, vx::TTextFile::Mode::Read))
        return fail("Can not open macro file: " + m_strMacro);
    // The file is read once: every set gets the steps it held when the run began.
    m_macroText.clear();
    for (std::string line; file.ReadString(line);)
        m_macroText += line + "\n";
    // A file that failed while it was read would run only the steps before the failure.
    if (file.Failed())
        return fail(vx::NotReadToEndText("Macro file", m_strMacro, file.LastError()));
    const TProcessingHooks& hooks = ProcessingHooks();
    TProcessStep* pStep = hooks.applyStep ? NewMacro() : nullptr;
    if (!pStep)
        return fail("Can not read from macro file " + m_strMacro + " because of wrong format.");
    // A macro of no steps applies nothing, which is no failure.
    m_bMacroEmpty = hooks.macroIsEmpty && hooks.macroIsEmpty(pStep);
    DeleteMacro(pStep);
    return true;
}

TProcessStep* TBatchRun::NewMacro() const
{
    const TProcessingHooks& hooks = ProcessingHooks();
    TProcessStep* pStep = hooks.newMacroStep ? hooks.newMacroStep(false, nullptr) : nullptr;
    vx::TTextFile text;
    text.OpenText(m_macroText);
    if (pStep && hooks.readMacro && hooks.readMacro(pStep, text))
        return pStep;
    DeleteMacro(pStep);
    return nullptr;
}

void TBatchRun::DeleteMacro(TProcessStep* pStep)
{
    if (const TProcessingHooks& hooks = ProcessingHooks(); pStep && hooks.deleteStep)
        hooks.deleteStep(pStep);
}

std::string TBatchRun::ProcessStudy(TProject& project, const std::string& studyFolder,
                                    const std::vector<std::string>& patterns)
{
    bool anyFailed = false;
    TCSIReadParams block;
    TImageImportParams record;
    TProject::ExamTypeParams(m_nExamType, block, record);
    // A study folder that cannot be listed is no empty study: its project would lack every
    // set it holds.
    const vx::TFolderListing listing = vx::ListFolder(studyFolder);
    if (!listing.Whole())
        return "its study folder " + studyFolder + " cannot be listed: " + vx::ListingErrorReason(listing.error);
    if (m_nExamType >= 0 && m_nExamType < kExamTypes)
        for (const std::string& pattern : patterns)
            for (const vx::TFolderEntry& entry : listing.entries) {
                if (!vx::SearchPatternMatch(pattern, entry.name))
                    continue;
                // Only files go to a reader: a folder or a FIFO of such a name (which would
                // keep a reader waiting) is logged as what it is, and costs only its set.
                const TFileKind kind = Classify(m_nExamType, entry.name);
                const std::string path = vx::JoinPath(studyFolder, entry.name);
                if (kind != TFileKind::Other && !vx::FileExists(path) && vx::FileIdentityOf(path)) {
                    vx::AppendBatchLog("Error: " + path + " is " + vx::WhatIsThereInstead(path) +
                                       ", not a file.");
                    vx::AppendBatchLog((kind == TFileKind::Image ? "Error: Fail to add image " : "Error: Fail to add CSI set ") +
                                       entry.name);
                    anyFailed = anyFailed || kind == TFileKind::CSISet;
                    continue;
                }
                // Only a file that cannot be read or used costs only what it holds; one that
                // was read but could not be written, or whose companion files could not be
                // looked for, ends the study, which would lack it.
                const int writeFailures = project.AddWriteFailures();
                const int failedListings = vx::FailedListings();
                switch (kind) {
                case TFileKind::Image:
                    if (!project.AddImages(studyFolder, entry.name, record))
                        vx::AppendBatchLog("Error: Fail to add image " + entry.name);
                    if (project.AddWriteFailures() != writeFailures)
                        return "the images of " + entry.name + " could not be written";
                    break;
                case TFileKind::CSISet:
                    if (!project.AddCSISet(studyFolder, entry.name, block)) {
                        vx::AppendBatchLog("Error: Fail to add CSI set " + entry.name);
                        anyFailed = true;
                    }
                    if (project.AddWriteFailures() != writeFailures)
                        return "the CSI set of " + entry.name + " could not be written";
                    break;
                case TFileKind::Other: break;
                }
                if (vx::FailedListings() != failedListings)
                    return "the files that go with " + entry.name + " could not be looked for";
            }

    const TProcessingHooks& hooks = ProcessingHooks();
    // The list is copied: a set that cannot be loaded must not change the walk.
    std::vector<TCSISet*> sets(project.m_pCSISetList->begin(), project.m_pCSISetList->end());
    bool applied = true;
    for (TCSISet* set : sets) {
        project.SetWorkSet(set);
        // A set that cannot be loaded leaves the one before as the work set, which has had
        // the macro already.
        TCSISet* workSet = project.m_pWorkSet == set ? set : nullptr;
        if (!workSet) {
            vx::AppendBatchLog("Error: Fail to apply macro to CSI set " + set->GetName());
            applied = false;
        } else {
            // A macro that fails without a message of its own would pass unnoticed. One
            // that throws has put the set back; the cause goes to the log and the run goes on.
            // Each set gets a macro of its own: one that leaves out a step failing on this
            // set must not leave it out of the sets after.
            bool setDone = m_bMacroEmpty;
            TProcessStep* pMacro = m_bMacroEmpty ? nullptr : NewMacro();
            try {
                setDone = setDone || (pMacro && hooks.applyStep(pMacro, workSet));
            } catch (...) {
                vx::ReportCurrentException();
            }
            if (!setDone) {
                vx::AppendBatchLog("Error: Fail to apply macro to CSI set " + workSet->GetName());
                applied = false;
            }
            // Nothing is undone in a batch: the copies of the set kept for undo go now.
            if (pMacro && hooks.dropStates)
                hooks.dropStates(pMacro);
            DeleteMacro(pMacro);
            workSet->UpdateMaps();
        }
        if (!project.SaveWorkSet(false))
            return "the CSI set " + set->GetName() + " could not be saved";
    }
    // A file that cannot be added costs only its set; without any set there is no project.
    if (anyFailed && project.m_pCSISetList->IsEmpty())
        return "a CSI set could not be added";
    return applied ? std::string() : std::string("the macro failed");
}
