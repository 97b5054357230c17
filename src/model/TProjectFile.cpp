// The project file (".tpj"): a version word, the display block, the image records and
// the CSI set records. Little-endian 4-byte fields, no magic text. Writers always write
// the newest version; readers take versions 0 to 9, and an older project is converted
// on load.
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "model/IMainFrame.h"
#include "model/ProcessingHooks.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TFolderHold.h"
#include "model/TImageSet.h"
#include "model/TKeptRecord.h"
#include "model/TMap.h"
#include "model/TMapList.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/OpenToRead.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFile.h"
#include "platform/TFileTransaction.h"
#include "platform/TFolder.h"
#include "platform/TFolderLock.h"
#include "platform/TReasonCollector.h"
#include "platform/WaitCursor.h"

namespace {

std::string WithoutQuotes(const std::string& path)
{
    if (path.empty() || path.front() != '"')
        return path;
    return path.size() >= 2 ? path.substr(1, path.size() - 2) : std::string();
}

// The project's name: its file's name less its extension and a leading "~".
std::string ProjectNameOf(const std::string& path)
{
    std::string name = vx::FileNameOf(path);
    name = name.size() > 4 ? name.substr(0, name.size() - 4) : std::string();
    if (!name.empty() && name.front() == '~')
        name.erase(0, 1);
    return name;
}

// Why the project file at `path` did not open (`error` from the open), as the message that
// refuses the project: the folder missing or unreachable, else the file missing, or one this
// user may not read and whom to ask.
std::string ProjectFileNotOpened(const std::string& path, int error)
{
    const std::string refused = "The project " + ProjectNameOf(path) + " cannot be opened: ";
    // A bare name is read from the process's working folder.
    const std::string folder = vx::FolderOf(path).empty() ? "." : vx::FolderOf(path);
    const std::string file = "its project file " + path;
    if (!vx::FolderCanBeEntered(folder))
        return refused + "its folder " + TFolderHold::WhyFolderUnreachable(folder, error) + ".";
    if (error == ENOENT)
        return refused + file + " does not exist.";
    const std::string forbidden = vx::MayNotReadText(file, path, error);
    return refused + (forbidden.empty() ? file + " cannot be read: " + vx::FileErrorReason(error) : forbidden) + ".";
}

// The refusal of a project whose file failed while it was read.
std::string ProjectFileNotReadToEnd(const std::string& path, int error)
{
    return vx::NotReadToEndText("The project " + ProjectNameOf(path) + " cannot be opened: its project file", path,
                                error);
}

// The refusal of a project whose file could not be read whole, the file still open: a read
// or a look-up of its size that failed says why, else it is no valid project file.
std::string ProjectFileNotRead(const std::string& path, const vx::TFile& file)
{
    if (file.ReadFailed())
        return ProjectFileNotReadToEnd(path, file.LastError());
    if (file.SizeFailed())
        return vx::SizeNotReadText("The project " + ProjectNameOf(path) + " cannot be opened: its project file", path,
                                   file.LastError());
    return "Error: Invalid Project File";
}

bool EndsWithSeparator(const std::string& path)
{
    return !path.empty() && (path.back() == '/' || path.back() == '\\');
}

// An open that fails gives the folder back as it found it (TFolderHold::ReleaseAfterFailedOpen);
// while it lasts, the hold reads through the folder it took (TFolderHold::SetOpening).
class TOpenAttempt {
public:
    TOpenAttempt(TFolderHold& hold, const std::string& folder) : m_hold(hold), m_folder(folder)
    {
        m_hold.SetOpening(true);
    }
    ~TOpenAttempt()
    {
        m_hold.SetOpening(false);
        if (!m_opened)
            m_hold.ReleaseAfterFailedOpen(m_folder);
    }
    TOpenAttempt(const TOpenAttempt&) = delete;
    TOpenAttempt& operator=(const TOpenAttempt&) = delete;
    bool Opened()
    {
        m_opened = true;
        return true;
    }

private:
    TFolderHold& m_hold;
    std::string m_folder;
    bool m_opened = false;
};

// The batch log and the box have their own wording.
std::string ProjectWriteFailure()
{
    return g_bBatchMode ? "Can not write project file." : "Can't write project file.";
}

// The display block lies in the file as flags, x start, x end, y minimum, y maximum.
bool WriteDisplayBlock(vx::TFile& file, const TSpectrumDisplayParams& d)
{
    return file.WriteInt32(d.m_nFlags) && file.WriteInt32(d.m_nXStart) && file.WriteInt32(d.m_nXEnd) &&
           file.WriteFloat(d.m_fYMin) && file.WriteFloat(d.m_fYMax);
}

bool ReadDisplayBlock(vx::TFile& file, TSpectrumDisplayParams& d)
{
    return file.ReadInt32(d.m_nFlags) && file.ReadInt32(d.m_nXStart) && file.ReadInt32(d.m_nXEnd) &&
           file.ReadFloat(d.m_fYMin) && file.ReadFloat(d.m_fYMax);
}

}  // namespace

std::string TProject::GetProjectFilePath() const
{
    return vx::JoinPath(m_strFolder, m_strName + ".tpj");
}

bool TProject::Start(const std::string& folder, const std::string& name, std::vector<std::string>& made)
{
    if (!TakeName(folder, name))
        return false;
    // A folder that cannot be made is refused with the making's own error.
    if (!vx::MakeFolder(folder, &made)) {
        ReportFolderNotMade(name, folder, errno);
        return false;
    }
    return TakeFolder(true);
}

void TProject::ReportFolderNotMade(const std::string& name, const std::string& folder, int error)
{
    vx::Report("The project " + name + " cannot be created: its folder " + folder + " cannot be made: " +
                   vx::FileErrorReason(error) + ".",
               vx::ReportIcon::Exclamation);
}

bool TProject::TakeName(const std::string& folder, const std::string& name)
{
    if (name.empty() || name.front() == '~' || !vx::IsSafeFileComponent(name))
        return false;
    m_strFolder = folder;
    m_strName = name;
    m_pfnMouseHandler = SelectVoxelHandler();
    m_display = m_fileDisplay = TSpectrumDisplayParams{};
    return true;
}

bool TProject::Create(const std::string& folder, const std::string& name)
{
    // The folders a create makes, from the project's own up to the first one that was there:
    // a create that fails takes them back, so that a refused command leaves no trace.
    std::vector<std::string> made;
    if (Start(folder, name, made) && Save())
        return true;
    // A lock file it made goes while it is still held; the rest only when empty.
    m_hold->ReleaseAfterFailedOpen(folder);
    if (!made.empty())
        vx::RemoveFile(vx::TFileTransaction::WorkFolderOf(folder));
    vx::RemoveMadeFolders(made);
    return false;
}

bool TProject::Create(const vx::TFolder& folder, const std::string& name)
{
    if (TakeName(folder.Path(), name) &&
        m_hold->Take(folder.Path(), name, TFolderHold::TPurpose::Create, &folder) && Save())
        return true;
    // A lock file it made goes while it is still held; the folder is its maker's.
    m_hold->ReleaseAfterFailedOpen(folder.Path());
    return false;
}

std::optional<TProject::TPlace> TProject::HandOverPlace()
{
    if (!m_hold->KeepForChange(m_strFolder, m_strName))
        return std::nullopt;
    TPlace place{m_strFolder, m_strName, ListedFiles(), nullptr};
    // The new project starts with no waiting files of this one's.
    m_hold->DropNewFiles();
    place.hold = std::exchange(m_hold, std::make_unique<TFolderHold>());
    // Without the hold this project has no folder to change.
    m_strFolder.clear();
    return place;
}

bool TProject::CreateInPlaceOf(TPlace place)
{
    // The folder is the one the other project held until now: it is neither made again
    // nor locked anew, so that a folder gone meanwhile is not made at its old path.
    if (!place.hold || !TakeName(place.folder, place.name))
        return false;
    m_hold = std::move(place.hold);
    m_bReplacing = true;
    vx::TFileTransaction* pending = NewFiles();
    if (!pending)
        return false;
    for (const std::string& path : place.replaced)
        if (vx::FolderOf(path) == m_strFolder)
            pending->Remove(path);
    // The folder holds the other project until this one is saved.
    SetFileModified();
    return true;
}

bool TProject::Create(const std::string& folder, const std::string& name, IMainFrame* pMainFrame)
{
    if (!m_pMainFrame && pMainFrame && !name.empty() && name.front() != '~')
        AttachMainFrame(pMainFrame);
    return Create(folder, name);
}

bool TProject::Save()
{
    if (!WriteProjectFile(m_strFolder, m_strName + ".tpj"))
        return false;
    ProjectFileSaved(false);
    return true;
}

void TProject::ProjectFileSaved(bool keepModified)
{
    m_bFileModified = false;
    // Without a work set nothing is left unsaved; the work set's own changes are not saved
    // by the project file.
    if (!keepModified && !m_pWorkSet)
        m_bModified = false;
}

bool TProject::SaveKeepModified()
{
    if (!WriteProjectFile(m_strFolder, m_strName + ".tpj"))
        return false;
    ProjectFileSaved(true);
    return true;
}

bool TProject::WriteStream(vx::TFile& file)
{
    // Like the analyses, the display of a work set reaches the file with the save of the
    // set (StageWorkSet): any other write writes again the block the file holds.
    if (!m_pWorkSet)
        m_fileDisplay = m_display;
    if (!file.WriteInt32(kFileVersion) || !WriteDisplayBlock(file, m_fileDisplay) || !m_pImageSet->Write(file) ||
        !m_pCSISetList->Write(file))
        return false;
    // The analyses of a set kept aside are kept with it.
    bool anyAnalyses = !m_analyses.empty();
    for (const TKeptRecord& kept : m_pCSISetList->KeptRecords())
        anyAnalyses = anyAnalyses || !kept.analyses.empty();
    const auto& writeAnalyses = ProcessingHooks().writeAnalyses;
    return !anyAnalyses || !writeAnalyses || writeAnalyses(file, *this);
}

bool TProject::WriteProjectFile(const std::string& folder, const std::string& fileName,
                                vx::TFileTransaction* transaction)
{
    if (folder != m_strFolder)
        return true;
    if (!transaction) {
        // On its own: put in place as a change of the folder, or reported and left as it was.
        const std::unique_ptr<vx::TFileTransaction> own = BeginChange();
        if (!own)
            return false;
        if (!WriteProjectFile(folder, fileName, own.get())) {
            ReportChangeFailure(*own, ProjectWriteFailure());
            return false;
        }
        return CommitChange(*own, ProjectWriteFailure(), true);
    }
    vx::TAtomicFile out;
    if (!out.Begin(vx::JoinPath(folder, fileName), transaction) || !WriteStream(out.File()) || !out.Commit()) {
        out.Abort();
        return false;
    }
    // The file lists the new images (and sets): their files go in with it.
    if (vx::TFileTransaction* waiting = m_hold->WaitingFiles())
        transaction->Include(*waiting);
    return true;
}

bool TProject::StageProjectFile(vx::TFileTransaction& transaction, const std::string& failure)
{
    // A project without a name (only made in memory) has no file.
    if (m_strName.empty() || WriteProjectFile(m_strFolder, m_strName + ".tpj", &transaction))
        return true;
    ReportChangeFailure(transaction, failure);
    transaction.Abort();
    return false;
}

bool TProject::CommitWithProjectFile(vx::TFileTransaction& transaction, const std::string& failure,
                                     bool untilInPlace)
{
    return StageProjectFile(transaction, failure) && CommitChange(transaction, failure, untilInPlace);
}

bool TProject::ReadStream(vx::TFile& file)
{
    int32_t version = 0;
    if (!file.ReadInt32(version) || version < 0 || version > kFileVersion)
        return false;
    TSpectrumDisplayParams display;
    if (!ReadDisplayBlock(file, display))
        return false;
    m_fileDisplay = display;
    // The stored flags are not kept: a loaded project shows the grid and the real part.
    display.m_nFlags = TSpectrumDisplayParams{}.m_nFlags;
    m_nFileVersion = version;
    m_display = display;
    // A count that cannot be read means a file cut short: loading it as a project with
    // fewer (or no) images or sets would let the next save write over what it held.
    if (!m_pImageSet->Read(file) || !m_pCSISetList->Read(file))
        return false;
    return !ProcessingHooks().readAnalyses || ProcessingHooks().readAnalyses(file, *this);
}

bool TProject::CheckProjectFile(std::string quotedPath, std::string* refusal)
{
    const std::string path = WithoutQuotes(quotedPath);
    vx::TFile file;
    const bool opened = file.Open(path, vx::TFile::Mode::Read);
    const int error = file.LastError();
    int32_t version = 0;
    TSpectrumDisplayParams display;
    if (opened && file.ReadInt32(version) && ReadDisplayBlock(file, display) && TImageSet::SkipRecords(file, version) &&
        TCSISetList::SkipFromProject(file, version))
        return true;
    if (refusal)
        *refusal = !opened && file.NotAFile().empty() ? ProjectFileNotOpened(path, error)
                   : opened                                ? ProjectFileNotRead(path, file)
                                                           : "Error: Invalid Project File" + vx::NotAFileNote(file.NotAFile());
    return false;
}

bool TProject::Load(std::string quotedPath)
{
    vx::TWaitCursor wait;
    const std::string path = WithoutQuotes(quotedPath);
    m_strName = ProjectNameOf(path);
    m_strFolder = vx::FolderOf(path);
    TOpenAttempt attempt(*m_hold, m_strFolder);
    // A save that a killed process left half done is completed before anything is read.
    if (!TakeFolder(false))
        return false;
    vx::TFile file;
    if (!file.Open(path, vx::TFile::Mode::Read)) {
        vx::Report(file.NotAFile().empty() ? ProjectFileNotOpened(path, file.LastError())
                                           : "The project file " + path + " is " + file.NotAFile() + ", not a file.",
                   vx::ReportIcon::Exclamation);
        return false;
    }

    // What the reading says is held back until it is known whether the project opens.
    vx::TReasonCollector reading;
    const bool read = ReadStream(file);
    reading.Finish();
    file.Close();
    const bool keptRecords = !m_pCSISetList->KeptRecords().empty() || !m_pImageSet->KeptRecords().empty();
    if (read && m_nFileVersion < kFileVersion && keptRecords) {
        // A record kept aside is written back as it was read, which the newest layout cannot
        // hold: the project is neither converted nor opened, and its files stay as they are.
        vx::Report("The project " + m_strName + " cannot be opened: it was saved by an older version of the program, "
                       "and it cannot be converted to the newest version while it holds these CSI sets and images, "
                       "which cannot be used:" + KeptRecordLines(m_pCSISetList->KeptRecords()) +
                       KeptRecordLines(m_pImageSet->KeptRecords()) +
                       "\r\nIts files are left as they are. Remove these sets and images in the version of the "
                       "program that saved the project, save it there, and open it here again.",
                   vx::ReportIcon::Exclamation);
        return false;
    }
    if (!read) {
        reading.ShowHeld();
        vx::Report(ProjectFileNotRead(path, file), vx::ReportIcon::Exclamation, vx::BatchPolicy::AlwaysBox);
        return false;
    }
    if (m_nFileVersion < kFileVersion) {
        // A project left in its old version cannot be worked on: every file written from
        // now on would be of the newest layout while the project still reads the old one.
        // What the reading said (images and sets that stay in the project) is told only
        // once the conversion is ready to be made: a project that cannot be converted is
        // not opened.
        if (!ConvertOldVersion([&] {
                reading.ShowHeld();
                vx::Report("The project file " + m_strName +
                               " has an old version. Click OK to convert it to the newest version.",
                           vx::ReportIcon::Exclamation);
            }))
            return false;
        vx::Report("The project file " + m_strName + " is converted successfully.", vx::ReportIcon::Exclamation);
    } else {
        reading.ShowHeld();
    }
    m_hold->RemoveLeftoverFiles(m_strFolder);
    SelectSavedWorkSet();
    m_pfnMouseHandler = SelectVoxelHandler();
    return attempt.Opened();
}

bool TProject::ConvertOldVersion(const std::function<void()>& ready)
{
    // A record kept aside is written back as it was read, which the newest layout
    // cannot hold: the project stays in its old version, as it is (Load says why).
    if (!m_pCSISetList->KeptRecords().empty() || !m_pImageSet->KeptRecords().empty())
        return false;
    // Every converted file and the new project file are one change of the folder: a
    // failure leaves the old project (file and data files, all of the old version) as it
    // was, and a kill at any moment leaves the old project or the converted one.
    const std::string work = vx::TFileTransaction::WorkFolderOf(m_strFolder);
    const bool hadWork = vx::FolderExists(work);
    // A work folder this conversion made goes again when it fails (only when empty).
    const auto refused = [&] {
        if (!hadWork)
            vx::RemoveFile(work);
        return false;
    };
    const std::unique_ptr<vx::TFileTransaction> change = BeginChange();
    if (!change)
        return refused();
    vx::TFileTransaction& transaction = *change;
    // What the conversion of the files says is held until it is known to go through; a
    // failure is told in one message, a line for each file that failed: what its
    // conversion said, else that it could not be written.
    vx::TReasonCollector staging;
    std::string failed;
    const auto convert = [&failed](const std::string& path, const std::function<bool()>& step) {
        vx::TReasonCollector said;
        const bool done = step();
        said.Finish();
        if (done) {
            said.ShowHeld();
            return;
        }
        const std::string reasons = said.Reasons();
        failed += "\r\n";
        for (const char c : reasons.empty() ? path + " could not be written." : reasons)
            failed += c == '\n' ? std::string("\r\n") : std::string(1, c);
    };
    for (TCSISet* pSet : *m_pCSISetList) {
        // A set whose data cannot be read (it has said why) is left as it is, but one whose
        // file the system failed to give: left in its old layout under a project of the
        // newest version, it would be read by what its file looks like, not as written. So
        // is one whose file, away when the project was read, is back but refused (it holds
        // another set, or is of the newest layout already): the open refuses a project
        // that holds such a set.
        convert(pSet->GetFilePath(), [&] {
            const bool wasLoaded = pSet->IsLoaded();
            if (!wasLoaded && !pSet->LoadData())
                return !pSet->DataFileNotGiven() && !(pSet->DataFileMissing() && pSet->CanOpenDataFile(false));
            const bool written = pSet->WriteDataFile(pSet->GetFilePath(), true, &transaction);
            if (!wasLoaded)
                pSet->FreeSpectra();
            return written;
        });
        // The maps read with the project are in memory: they need no samples. One whose file
        // the system failed to give would be left in its old layout, which no open of the
        // newest version reads.
        if (pSet->m_pMapList)
            for (TMap* pMap : *pSet->m_pMapList) {
                const std::string target = pSet->MapFilePath(pMap->GetName());
                convert(target, [&] {
                    return vx::IsSafeFileComponent(pMap->GetName()) && pMap->WriteFile(target, &transaction);
                });
            }
        for (const std::string& name : pSet->MapsNotGiven())
            failed += "\r\nThe map file " + pSet->MapFilePath(name) + " could not be read when the project was read.";
    }
    if (m_nFileVersion <= 4)
        for (const TMRImage* pImage : *m_pImageSet)
            convert(pImage->GetPath(), [&] { return TImageSet::ConvertPixelFileTo16Bit(*pImage, transaction); });
    if (failed.empty())
        convert(GetProjectFilePath(), [&] { return WriteProjectFile(m_strFolder, m_strName + ".tpj", &transaction); });
    staging.Finish();
    if (!failed.empty()) {
        transaction.Abort();
        vx::Report("The project " + m_strName + " cannot be opened: it was saved by an older version of the program "
                       "and could not be converted to the newest version:" + failed +
                       "\r\nIts files are left as they are.",
                   vx::ReportIcon::Exclamation);
        return refused();
    }
    if (ready)
        ready();
    staging.ShowHeld();
    // A conversion left to be completed is the converted project the next time it opens.
    if (!CommitChange(transaction, "The project file " + m_strName + " could not be converted", true))
        return refused();
    m_nFileVersion = kFileVersion;
    SetModified(false);
    return true;
}

bool TProject::AskToLeaveOut(const std::string& folder, TLeftOut& leftOut)
{
    // Each is named with why its file did not open (nothing for one that is not there).
    std::vector<std::string> sets, images;
    size_t setsMissing = 0, imagesMissing = 0;
    const auto name = [](std::vector<std::string>& names, size_t& missing, const std::string& entry,
                         const std::string& path, const vx::TFile& file) {
        const std::string why = vx::NotOpenedNote(path, file.NotAFile(), file.LastError());
        names.push_back(entry + why);
        missing += why.empty() ? 1 : 0;
    };
    for (TCSISet* pSet : *m_pCSISetList)
        if (vx::TFile file; !pSet->IsLoaded() && !pSet->OpenDataFile(file)) {
            name(sets, setsMissing, pSet->GetName() + " (" + pSet->GetFilePath() + ")", pSet->DataFileToRead(), file);
            leftOut.sets.push_back(pSet);
        }
    for (TMRImage* pImage : *m_pImageSet)
        if (vx::TFile file; !pImage->IsLoaded() && (pImage->GetPath().empty() || !pImage->OpenPixelFile(file))) {
            name(images, imagesMissing, pImage->GetName() + " (" + pImage->GetPath() + ")", pImage->PixelFileToRead(),
                 file);
            leftOut.images.push_back(pImage);
        }
    if (leftOut.sets.empty() && leftOut.images.empty())
        return true;
    const size_t setCount = leftOut.sets.size(), imageCount = leftOut.images.size();
    const auto state = [](size_t count, size_t missing) {
        return missing == count ? (count == 1 ? "is missing:" : "are missing:")
               : missing == 0   ? "cannot be read:"
                                : "are missing or cannot be read:";
    };
    // A folder gone takes many files with it: a list of them all would push the box's
    // buttons off the screen. The first of each kind are named and the others counted; the
    // details hold them all.
    const size_t named = setCount && imageCount ? 4 : 8;
    bool cut = false;
    const auto lines = [&](const std::vector<std::string>& names, bool all) {
        std::string text;
        for (size_t k = 0; k < names.size() && (all || k < named); ++k)
            text += "\r\n" + names[k];
        if (!all && names.size() > named) {
            text += "\r\n... and " + std::to_string(names.size() - named) + " more (the details name them all)";
            cut = true;
        }
        return text;
    };
    const auto missing = [&](bool all) {
        const std::string setFiles = setCount == 1 ? "The data-set file of this CSI set "
                                                   : "The data-set files of these CSI sets ";
        const std::string imageFiles = imageCount == 1 ? "The pixel file of this image "
                                                       : "The pixel files of these images ";
        return (setCount == 0 ? std::string() : setFiles + state(setCount, setsMissing) + lines(sets, all) + "\r\n") +
               (imageCount == 0 ? std::string()
                                : imageFiles + state(imageCount, imagesMissing) + lines(images, all) + "\r\n");
    };
    const std::string question =
        missing(false) + "Save the project to " + folder + " without " + (setCount + imageCount == 1 ? "it?" : "them?");
    std::string details;
    if (cut)
        for (const char c : missing(true))
            if (c != '\r')
                details += c;
    if (vx::Ask(question, vx::ReportButtons::YesNo, vx::ReportAnswer::Yes, vx::ReportIcon::Question, {}, details) !=
        vx::ReportAnswer::Yes) {
        leftOut = TLeftOut{};
        return false;
    }
    // Out of the lists, the project file does not name them; their analyses go with them.
    leftOut.setsBefore.assign(m_pCSISetList->begin(), m_pCSISetList->end());
    leftOut.imagesBefore = m_pImageSet->Images();
    leftOut.analysesBefore = m_analyses;
    for (TCSISet* pSet : leftOut.sets) {
        m_pCSISetList->Erase(m_pCSISetList->Find(pSet));
        const auto& uses = ProcessingHooks().analysisUsesSet;
        std::erase_if(m_analyses, [&](TAnalysis* pAnalysis) { return !uses || uses(pAnalysis, pSet); });
    }
    for (TMRImage* pImage : leftOut.images)
        m_pImageSet->Erase(m_pImageSet->Find(pImage));
    return true;
}

void TProject::PutBack(TLeftOut& leftOut)
{
    if (leftOut.sets.empty() && leftOut.images.empty())
        return;
    while (!m_pCSISetList->IsEmpty())
        m_pCSISetList->Erase(m_pCSISetList->begin());
    for (TCSISet* pSet : leftOut.setsBefore)
        m_pCSISetList->Insert(m_pCSISetList->End(), pSet);
    m_pImageSet->SetImages(leftOut.imagesBefore);
    m_analyses = leftOut.analysesBefore;
    leftOut = TLeftOut{};
}

void TProject::LetGo(TLeftOut& leftOut)
{
    // Their analyses and estimates go with them, as with a removed set.
    if (!leftOut.sets.empty())
        m_analyses = leftOut.analysesBefore;
    for (TCSISet* pSet : leftOut.sets) {
        DetachFromSet(pSet);
        if (m_pMainFrame)
            m_pMainFrame->RemoveCSISetItem(pSet);
        delete pSet;
    }
    for (TMRImage* pImage : leftOut.images) {
        // Every frame that shows the image goes, not only the first.
        while (CloseImageFrame(pImage)) {
        }
        DetachFromImage(pImage);
        delete pImage;
    }
    if (!leftOut.images.empty()) {
        RefreshSliceFrameImages();
        UpdateFrames(false, false, false, false, true);
    }
    leftOut = TLeftOut{};
}

bool TProject::SaveAs(const std::string& location, const std::string& name)
{
    const std::string folder = location.empty() || EndsWithSeparator(location) ? location + name
                                                                                : vx::JoinPath(location, name);
    const auto refuse = [&](const std::string& reason = std::string()) {
        vx::Report("Failed to save project to " + folder + "." + reason, vx::ReportIcon::None);
        return false;
    };
    if (name.empty() || name.front() == '~' || !vx::IsSafeFileComponent(name))
        return refuse();
    // A folder moved while open has its files where it is now.
    FollowMovedFolder();
    // The project's own folder, however it is spelt.
    if (folder == m_strFolder || m_hold->Holds(folder)) {
        // Another name in the same folder: the work set and the new project file.
        const std::string oldName = m_strName;
        m_strName = name;
        if (SaveWorkSetAndProject(true))
            return true;
        m_strName = oldName;
        return false;
    }
    // Sets and images whose files are gone and that are not in memory cannot go along:
    // the user is asked before the project is saved without them.
    TLeftOut leftOut;
    if (!AskToLeaveOut(folder, leftOut))
        return false;

    // What this save makes in the new folder goes again when it fails.
    const std::string work = vx::TFileTransaction::WorkFolderOf(folder), lockFile = vx::JoinPath(folder, vx::TFolderLock::FileName());
    // Whatever stands under the lock file's name is not this save's to remove.
    const bool hadFolder = vx::FolderExists(folder), hadWork = vx::FolderExists(work),
               hadLock = vx::FileIdentityOf(lockFile).has_value();
    bool noted = false;
    auto hold = std::make_unique<TFolderHold>();
    // The folder and those above it that this save made.
    std::vector<std::string> made;
    const auto undoMade = [&] {
        PutBack(leftOut);
        // A lock file made here goes while it is still held.
        hold->ReleaseAfterFailedOpen(folder);
        if (!hadWork)
            vx::RemoveFile(work);  // only when empty
        vx::RemoveMadeFolders(made);
        if (noted)
            m_hold->DropSaveAsNote(m_strFolder);
    };
    // The folders it makes take the rights of the project's folder, so that a private
    // project stays private whatever the umask.
    const std::string foldersLike = m_strFolder.empty() || !vx::FolderExists(m_strFolder) ? std::string()
                                                                                          : m_strFolder + "/.";
    if (!hadFolder && !vx::MakeFolder(folder, &made, foldersLike)) {
        const int error = errno;
        undoMade();
        return refuse("\r\nThat folder cannot be made: " + vx::FileErrorReason(error) + ".");
    }
    // The note names that folder by its identity too: only the folder this save wrote to is
    // the next open's to clear.
    noted = m_hold->NoteSaveAs(m_strFolder, vx::TFolder::Open(folder, vx::TFolder::kFollowLast), !hadFolder, !hadWork,
                               !hadLock);
    // The new folder is this program's to write only while no other program has it open,
    // and only once a change left there half done is completed.
    using TResult = vx::TFolderLock::TResult;
    const TResult held = hold->Lock(folder);
    if (held != TResult::Held) {
        std::string why = hold->WhyLockFileShared(folder, "The lock file of that folder", "save there");
        if (!why.empty())
            why += ".";
        else if (held == TResult::HeldElsewhere)
            why = "Another program has a project of that folder open.";
        else if (held == TResult::HeldHere)
            why = "This program has a project of that folder open.";
        else
            why = "That folder " + hold->WhyNotLocked(held, folder) + ".";
        undoMade();
        return refuse("\r\n" + why);
    }
    // The folder held from here on, whatever stands at its path later.
    vx::TFileTransaction transaction(folder, hold->Folder(folder));
    if (vx::TFileTransaction::Recover(transaction.Handle()) == vx::TFileTransaction::TRecovery::Damaged) {
        undoMade();
        return refuse("\r\nA change of a project in that folder was interrupted and cannot be completed.");
    }
    // The new folder as this save found it, for the last look before its files are put in
    // place.
    hold->NoteChangeMade(folder, name);

    // Every file goes to the new folder in one change; the project moves there only once
    // they are all in place.
    const std::string oldFolder = m_strFolder, oldName = m_strName;
    std::vector<std::string> imagePaths;
    for (const TMRImage* pImage : *m_pImageSet)
        imagePaths.push_back(pImage->GetPath());
    hold->GuardCommit(transaction, folder, name);
    // Who may read the project may read its copy, and no one else, as with a save's new files.
    if (!oldFolder.empty() && !oldName.empty())
        NewFilesTakeRights(transaction);
    const std::string failure = "Failed to save project to " + folder + ".";
    bool ok = m_pImageSet->CopyFilesToFolder(folder, transaction);
    ok = m_pCSISetList->CopyDataFiles(folder, transaction, m_pWorkSet) && ok;
    m_strFolder = folder;
    m_strName = name;
    TKeptMaps kept;
    if (ok && m_pWorkSet)
        ok = StageWorkSet(transaction, true, kept);
    if (ok && !WriteProjectFile(folder, name + ".tpj", &transaction))
        ok = false;
    if (ok && !transaction.Commit()) {
        // A journal left with the new files not all in place: this save holds the new
        // folder, so it completes the journal now if it can. If not, the project stays where
        // it was, and the copy in the new folder is completed when it is opened.
        const bool completed = transaction.LeftJournal() && vx::TFileTransaction::Recover(transaction.Handle()) ==
                                                                 vx::TFileTransaction::TRecovery::Completed;
        ok = completed || transaction.LeftOnlyTheJournal();
        // A refusal at the last look at the folder has said why.
        TFolderHold::ReportRefusedJournalKept(transaction);
        if (!completed && !transaction.Refused())
            ReportChangeFailure(transaction, failure, true,
                                "The project stays in " + oldFolder + "; the copy in " + folder +
                                    " is completed when it is opened.");
    } else if (!ok) {
        ReportChangeFailure(transaction, failure);
    }
    if (!ok) {
        transaction.Abort();
        m_strFolder = oldFolder;
        m_strName = oldName;
        size_t i = 0;
        for (TMRImage* pImage : *m_pImageSet)
            pImage->SetPath(imagePaths[i++]);
        for (TCSISet* pSet : *m_pCSISetList)
            pSet->SetFolder(oldFolder);
        if (m_pWorkSet)
            RestoreWorkSetMaps(kept);
        undoMade();
        return false;
    }
    if (noted)
        m_hold->DropSaveAsNote(oldFolder);
    // The new images' files went to the new folder as copies; the old folder keeps the
    // project as it was. What this project kept in its work folder goes while the old
    // folder is still held.
    m_hold->DropNewFiles();
    m_bReplacing = false;
    LetGo(leftOut);
    if (m_pWorkSet)
        WorkSetSaved();
    // The history's undo states in the old folder go with the history.
    m_hold->LetGo();
    m_formerHolds.push_back(std::exchange(m_hold, std::move(hold)));
    m_hold->NoteChangeMade(folder, name);
    SetModified(false);
    return true;
}

void TProject::Anonymize()
{
    m_pImageSet->Anonymize();
    m_pCSISetList->Anonymize();
}

bool TProject::SaveDeidentified()
{
    // The names de-identifying replaces, to give back when the save fails.
    std::vector<std::string> imageNames;
    for (const TMRImage* pImage : *m_pImageSet)
        imageNames.push_back(pImage->GetInfoText(TMRImage::InfoPatientName));
    std::vector<std::pair<std::string, std::string>> setNames;
    for (const TCSISet* pSet : *m_pCSISetList)
        setNames.emplace_back(pSet->m_strPatientName, pSet->m_strPatientBirthDate);
    const std::vector<TKeptRecord> keptSets = m_pCSISetList->KeptRecords(), keptImages = m_pImageSet->KeptRecords();
    Anonymize();
    if (SaveWorkSetAndProject(true))
        return true;
    size_t i = 0;
    for (TMRImage* pImage : *m_pImageSet)
        pImage->SetInfoText(imageNames[i++], TMRImage::InfoPatientName, false);
    i = 0;
    for (TCSISet* pSet : *m_pCSISetList)
        std::tie(pSet->m_strPatientName, pSet->m_strPatientBirthDate) = setNames[i++];
    m_pCSISetList->SetKeptRecords(keptSets);
    m_pImageSet->SetKeptRecords(keptImages);
    return false;
}
