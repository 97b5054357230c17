// The project folder while the project is open: the changes of it, through its hold
// (TFolderHold), and what a failed change reports.
#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TFolderHold.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TOpenRecovery.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFileTransaction.h"
#include "platform/TFolder.h"

namespace {

// What a change that a failure describes ("The CSI set b was not removed") did once its
// journal is written: "The CSI set b is removed"; "Can't write project file." becomes "The
// project file is written", "Failed to save project to /q." "The project is saved to /q".
std::string DoneText(const std::string& failure)
{
    std::string text = failure;
    if (text.ends_with('.'))
        text.pop_back();
    for (const std::string notDone : {" was not ", " could not be "})
        if (const size_t at = text.find(notDone); at != std::string::npos)
            return text.replace(at, notDone.size(), " is ");
    for (const std::string cannot : {"Can't write ", "Can not write "})
        if (text.starts_with(cannot))
            return "The " + text.substr(cannot.size()) + " is written";
    if (const std::string failed = "Failed to save project to "; text.starts_with(failed))
        return "The project is saved to " + text.substr(failed.size());
    return "The change is made";
}

}  // namespace

std::string TProject::OldSaveJournalPath() const
{
    return TFolderHold::OldSaveJournalPath(m_strFolder, m_strName);
}

std::string TProject::WorkFolder() const
{
    return vx::TFileTransaction::WorkFolderOf(m_strFolder);
}

void TProject::FollowMovedFolder()
{
    const std::string now = m_hold->FollowMovedFolder(m_strFolder);
    if (now.empty())
        return;
    for (TCSISet* pSet : *m_pCSISetList)
        pSet->SetFolder(now);
    for (TMRImage* pImage : *m_pImageSet)
        if (vx::FolderOf(pImage->GetPath()) == m_strFolder)
            pImage->SetPath(vx::JoinPath(now, vx::FileNameOf(pImage->GetPath())));
    m_strFolder = now;
}

bool TProject::TakeFolder(bool creating)
{
    return m_strFolder.empty() ||
           m_hold->Take(m_strFolder, m_strName, creating ? TFolderHold::TPurpose::Create : TFolderHold::TPurpose::Open);
}

bool TProject::FolderCanBeWritten() const
{
    return !m_hold || !m_hold->IsReadOnly();
}

std::string TProject::WhyFolderCannotBeWritten() const
{
    return FolderCanBeWritten() ? std::string() : "its folder " + m_hold->WhyReadOnly(m_strFolder);
}

std::unique_ptr<vx::TFileTransaction> TProject::BeginChange()
{
    std::unique_ptr<vx::TFileTransaction> change = m_hold->BeginChange(m_strFolder, m_strName);
    // A new set, map or pixel file may be read by whoever may read the project file.
    if (change && !m_strName.empty())
        NewFilesTakeRights(*change);
    return change;
}

void TProject::BuildAside(const vx::TFolder* replaced)
{
    m_bBuiltAside = true;
    m_replacedFolder = replaced ? std::make_shared<const vx::TFolder>(replaced->Duplicate()) : nullptr;
}

void TProject::NewFilesTakeRights(vx::TFileTransaction& transaction) const
{
    // The earlier project's file is read in the folder held, never at its path, where
    // whoever may write the folder around it can put another folder lending its rights.
    if (m_replacedFolder && m_replacedFolder->IsOpen())
        transaction.NewFilesTakeRightsOf(*m_replacedFolder, m_strName + ".tpj");
    else
        transaction.NewFilesTakeRightsOf(GetProjectFilePath());
}

vx::TFileTransaction* TProject::NewFiles()
{
    vx::TFileTransaction* pending = m_hold->NewFiles(m_strFolder, m_strName);
    if (pending && !m_strName.empty())
        NewFilesTakeRights(*pending);
    return pending;
}

void TProject::DiscardNewFile(const std::string& path)
{
    m_hold->DiscardNewFile(path);
}

std::string TProject::PathToRead(const std::string& path) const
{
    return m_hold->PathToRead(path);
}

bool TProject::OpenToRead(const std::string& path, vx::TFile& file) const
{
    return m_hold->OpenToRead(path, file);
}

void TProject::ChangeMade()
{
    // The first project file of a project that replaces another has taken the other's
    // files away with it.
    const vx::TFileTransaction* waiting = m_hold->WaitingFiles();
    if (!waiting || waiting->IsEmpty())
        m_bReplacing = false;
    m_hold->NoteChangeMade(m_strFolder, m_strName);
}

bool TProject::CommitChange(vx::TFileTransaction& transaction, const std::string& failure, bool untilInPlace)
{
    // The folder may have gone since the change began, while its files were staged: nothing
    // is put in place, and what was staged stays where it is.
    if (!m_hold->KeepForChange(m_strFolder, m_strName)) {
        transaction.LetGo();
        return false;
    }
    // A change this program could not complete earlier is completed first; only the
    // holder of the folder's lock may complete a journal it finds.
    if (m_hold->Holds(m_strFolder)) {
        vx::TFileTransaction::TRecoveryFailure why;
        if (vx::TFileTransaction::Recover(transaction.Handle(), &why) == vx::TFileTransaction::TRecovery::Damaged) {
            // Its journal stands in the way of this change's: this one is not made.
            transaction.Abort();
            vx::Report(failure + (failure.ends_with('.') ? " An" : ": an") +
                           " earlier change of the project is not completed: " +
                           TOpenRecovery::WhyNotCompleted(why, vx::TFileTransaction::WorkFolderOf(transaction.Folder())) + ".",
                       vx::ReportIcon::Exclamation);
            return false;
        }
    }
    if (transaction.Commit()) {
        ChangeMade();
        return true;
    }
    // Refused at its last look at the folder, which said why: nothing changed.
    if (transaction.Refused()) {
        TFolderHold::ReportRefusedJournalKept(transaction);
        return false;
    }
    ReportChangeFailure(transaction, failure, untilInPlace);
    // A change whose journal is written is the project's: it is completed later.
    if (!transaction.LeftJournal())
        return false;
    ChangeMade();
    return !untilInPlace || transaction.LeftOnlyTheJournal();
}

vx::TWriteFailureNote TProject::NotDoneNote(const std::string& failure)
{
    return [failure](const std::string& why) { return failure + (why.empty() ? "." : ": " + why + "."); };
}

void TProject::ReportChangeFailure(const vx::TFileTransaction& transaction, const std::string& failure,
                                   bool untilInPlace, const std::string& pending)
{
    // A change whose journal stays is made as far as the user sees it (unless the caller
    // waits for its new files to be in place and they are not): the message says so, and
    // what is still to be done. Otherwise it is a failure, and says that.
    const bool left = transaction.LeftJournal();
    const bool made = left && (!untilInPlace || transaction.LeftOnlyTheJournal());
    std::string text = made ? DoneText(failure) : failure;
    if (!transaction.FailedPath().empty()) {
        const int error = transaction.FailedError();
        const bool workFolder = transaction.FailedCall() == vx::TFileTransaction::TCall::WriteWorkFolder;
        std::string what = workFolder ? transaction.WhyWorkFolderNotWritten(error, "could not")
                                      : TFolderHold::FailedCallText(transaction.FailedPath(), transaction.FailedCall(),
                                                                    "could not") +
                                            (error == 0 ? "" : ": " + vx::FileErrorReason(error));
        const bool sentence = !made && failure.ends_with('.');
        if (sentence)
            what[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(what[0])));
        text += (made ? ", but " : sentence ? " " : ": ") + what + ".";
    }
    if (left && transaction.FailedCall() == vx::TFileTransaction::TCall::RemoveJournal)
        text += " It is removed when the project is opened again.";
    else if (made)
        text += " The change reaches the disk when the project is opened again.";
    else if (left && !m_bBuiltAside)
        text += pending.empty() ? " The change is completed when the project is opened again." : " " + pending;
    else if (!left && transaction.FailedCall() == vx::TFileTransaction::TCall::Read)
        // The file at fault is not one the change writes: the copy is not half made either.
        text += " Nothing was saved.";
    vx::Report(text, vx::ReportIcon::Exclamation);
}
