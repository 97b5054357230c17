#include "model/TStudyPlace.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <vector>

#include "model/TFolderHold.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/OpenToRead.h"
#include "platform/Paths.h"
#include "platform/TFileTransaction.h"
#include "platform/TFolderLock.h"
#include "platform/TRights.h"

namespace {

// The entries of an earlier project's folder that are that project's own and go with it:
// its work folder, lock and journal. Everything else there was kept beside it by the user.
std::vector<std::string> EntriesOfTheProject(const std::string& folder, const std::string& name)
{
    std::string journal = name;
    journal.insert(0, 1, '.');
    journal += ".tpj.journal";
    return {vx::FileNameOf(vx::TFileTransaction::WorkFolderOf(folder)), vx::TFolderLock::FileName(), journal};
}

// Whether all who may reach a file or folder that shows `shown` (its owner, its group,
// everyone, by its mode) may read the study folder that shows `exam`.
bool ReachedOnlyByReadersOf(const struct stat& shown, const struct stat& exam)
{
    const auto reads = [&](mode_t bits) { return (exam.st_mode & bits) == bits; };
    const bool everyone = reads(S_IROTH | S_IXOTH);
    const bool owner = everyone || shown.st_uid == ::geteuid() ||
                       (shown.st_uid == exam.st_uid && reads(S_IRUSR | S_IXUSR));
    const bool group = everyone || (shown.st_mode & S_IRWXG) == 0 ||
                       (shown.st_gid == exam.st_gid && reads(S_IRGRP | S_IXGRP));
    return owner && group && (everyone || (shown.st_mode & S_IRWXO) == 0);
}

// What the log says after "The folder <path>" of a hidden folder of a run's that another
// user, `owner`, made.
std::string MadeByAnotherUserText(uid_t owner)
{
    return " was made by another user, " + vx::UserNameOf(owner) +
           ", not left by a run of this user's: it is left as it is";
}

// What the log says of what another user made that the swap left as it is: a hidden folder,
// or a file or link at the name of its mark.
std::string LeftToItsOwnerText(const vx::TFolderSwap::TLeft& left)
{
    const char* what = S_ISDIR(left.type) ? "the folder " : S_ISLNK(left.type) ? "the symbolic link " : "the file ";
    return what + left.path + MadeByAnotherUserText(left.owner);
}

}  // namespace

TStudyPlace::TStudyPlace(const std::string& outputFolder, const std::string& name, const std::string& studyFolder)
    : m_name(name), m_studyFolder(studyFolder), m_swap(vx::JoinPath(outputFolder, name))
{
}

TStudyPlace::~TStudyPlace() = default;

std::string TStudyPlace::Refusal()
{
    const std::string& folder = Folder();
    // Looked at, listed and locked through the output folder, never through a link there.
    struct stat st {};
    if (const int looked = m_swap.LookAtFolder(st); looked != 0)
        return looked == ENOENT ? std::string() : "it cannot be looked at: " + vx::ListingErrorReason(looked);
    if (!S_ISDIR(st.st_mode))
        return S_ISREG(st.st_mode) ? "a file of that name is there"
                                   : vx::WhatIsThereInstead(folder, false) + " of that name is there";
    if (folder == m_studyFolder)
        return "it is the study's own folder";
    // A folder whose entries cannot be read may hold anything of the user's: it is never
    // taken for an empty one.
    const vx::TFolderListing listing =
        m_swap.OpenFolder() ? m_swap.Earlier().List() : vx::TFolderListing{{}, errno != 0 ? errno : EIO};
    if (!listing.Whole())
        return "its files cannot be listed: " + vx::ListingErrorReason(listing.error);
    // A lock file alone is what an earlier look at an empty folder left.
    const std::vector<vx::TFolderEntry>& entries = listing.entries;
    const bool empty = entries.empty() || (entries.size() == 1 && entries[0].name == vx::TFolderLock::FileName());
    switch (empty ? vx::TFolder::THas::Yes : m_swap.Earlier().HasFile(m_name + ".tpj")) {
    case vx::TFolder::THas::Yes: break;
    case vx::TFolder::THas::No: return "it holds files that are not a project of the study";
    case vx::TFolder::THas::Failed:
        return "its project " + m_swap.Earlier().PathOf(m_name + ".tpj") +
               " cannot be looked at: " + vx::FileErrorReason(errno);
    }
    // A folder that may only be read is of no use to a run that writes it.
    const vx::TFolderLock::TResult locked = m_swap.LockFolder();
    switch (vx::TFolderLock::OfferOf(locked)) {
    case vx::TFolderLock::TOffer::Change: return {};
    case vx::TFolderLock::TOffer::Busy: {
        const std::string shared =
            TFolderHold::WhyLockFileShared(m_swap.FolderLock(), folder, "its lock file", "make the project there");
        return shared.empty() ? "its project is open, in this or another program" : shared;
    }
    default: return "its folder " + TFolderHold::WhyNotLocked(m_swap.FolderLock(), locked, folder);
    }
}

std::string TStudyPlace::Take()
{
    // An earlier project is held before anything beside it is mended: another run that
    // replaces it meanwhile is left to finish, and nothing of its is taken for a leftover.
    std::string refusal = Refusal();
    if (refusal.empty()) {
        switch (m_swap.MendLeftovers()) {
        case vx::TFolderSwap::TMend::Done: break;
        case vx::TFolderSwap::TMend::Busy: refusal = "another program is making it"; break;
        case vx::TFolderSwap::TMend::Failed:
            refusal = "what an earlier run left beside it could not be cleared: " + vx::FileErrorReason(errno);
            break;
        case vx::TFolderSwap::TMend::Unlisted:
            refusal = "what an earlier run left beside it cannot be looked for: the files of " +
                      vx::FolderOf(Folder()) + " cannot be listed: " + vx::ListingErrorReason(errno);
            break;
        case vx::TFolderSwap::TMend::AnotherUsers:
            refusal = LeftToItsOwnerText(m_swap.LeftToItsOwner());
            break;
        }
    }
    // A folder put back from aside is held; one found there only now is looked at first.
    if (refusal.empty() && !m_swap.HoldsFolder())
        refusal = Refusal();
    // What waits aside is told by one look at it, which must not fail.
    struct stat st {};
    const int aside = refusal.empty() ? m_swap.Parent().Stat(vx::FileNameOf(m_swap.RetiredFolder()), st) : ENOENT;
    if (aside != 0 && aside != ENOENT)
        refusal = "what an earlier run left beside it cannot be looked at: " + m_swap.RetiredFolder() + ": " +
                  vx::FileErrorReason(aside);
    else if (aside == 0 && S_ISDIR(st.st_mode) && !m_swap.Parent().MadeByThisUser(st))
        m_anotherUsers += "Warning: The folder " + m_swap.RetiredFolder() + MadeByAnotherUserText(st.st_uid) + ".\r\n";
    else if (aside == 0 && S_ISDIR(st.st_mode))
        m_keptAside = m_swap.RetiredFolder();
    m_replaces = refusal.empty() && m_swap.HoldsFolder();
    return refusal;
}

bool TStudyPlace::EarlierLendsItsRights()
{
    const vx::TFolder& earlier = m_swap.Earlier();
    struct stat folder {}, file {};
    if (::fstat(earlier.Fd(), &folder) != 0)
        return false;
    const bool hasFile = earlier.Stat(m_name + ".tpj", file) == 0;
    if (m_swap.Parent().MadeByThisUser(folder) && (!hasFile || earlier.MadeByThisUser(file)))
        return true;
    // Another user may have put any folder at the study's name: its rights, owner and group
    // are lent only as far as they let no one reach the results who may not read the study's
    // files. An ACL, which may let anyone in, is lent by no such folder.
    struct stat exam {};
    vx::TRights folderRights, fileRights;
    const bool lends =
        ::stat(m_studyFolder.c_str(), &exam) == 0 && ReachedOnlyByReadersOf(folder, exam) &&
        vx::TRights::Of(earlier, std::string(), folderRights) == vx::TRights::TFound::There && !folderRights.HasAcl() &&
        (!hasFile || (ReachedOnlyByReadersOf(file, exam) &&
                      vx::TRights::Of(earlier, m_name + ".tpj", fileRights) == vx::TRights::TFound::There &&
                      !fileRights.HasAcl()));
    if (!lends)
        m_anotherUsers += "Warning: The folder " + Folder() + " was made by another user, " +
                          vx::UserNameOf(folder.st_uid == ::geteuid() ? file.st_uid : folder.st_uid) +
                          ": the new project takes this user's own rights, not that folder's.\r\n";
    return lends;
}

bool TStudyPlace::Build(TProject& project)
{
    // A build whose save fails part way is dropped, never completed later. One in place of an
    // earlier project takes that one's rights, whoever runs the batch with whatever umask,
    // as far as EarlierLendsItsRights allows; a study made for the first time those the
    // system gives in the output folder.
    const bool lends = m_replaces && EarlierLendsItsRights();
    project.BuildAside(lends ? &m_swap.Earlier() : nullptr);
    // The project is made in the very folder the swap made, whatever stands at its name.
    const vx::TFolder* build = m_swap.MakeBuild(lends);
    if (!build) {
        TProject::ReportFolderNotMade(m_name, m_swap.BuildFolder(), errno);
        return false;
    }
    return project.Create(*build, m_name);
}

void TStudyPlace::HoldBuild(TProject& project)
{
    std::optional<TProject::TPlace> place = project.HandOverPlace();
    if (!place)
        return;
    m_buildHold = std::move(place->hold);
    m_swap.HoldBuild([this] { m_buildHold.reset(); });
}

std::string TStudyPlace::PutInPlace()
{
    const std::string& folder = Folder();
    vx::TTreeFailure kept;
    if (m_swap.HoldsFolder() && !m_swap.KeepEntriesBeside(EntriesOfTheProject(folder, m_name), kept)) {
        if (kept.path == folder)
            return "its files cannot be listed: " + vx::ListingErrorReason(errno);
        // A file or folder of the user's that cannot be read is left to the user to open up
        // or move; the project is replaced once it can be carried.
        const bool unreadable = kept.reading && (errno == EACCES || errno == EPERM);
        return "the other files of its folder could not be kept: " + kept.path + ": " +
               (unreadable ? "it cannot be read; make it readable, or move it out of the folder"
                           : vx::FileErrorReason(errno));
    }
    if (m_swap.PutInPlace())
        return {};
    if (errno == EPERM && !m_swap.LeftToItsOwner().path.empty())
        return LeftToItsOwnerText(m_swap.LeftToItsOwner());
    return "it could not be put in its folder: " +
           (errno == ESTALE ? "another program moved or replaced its folder or the one it was built in meanwhile"
                            : vx::FileErrorReason(errno));
}

void TStudyPlace::Drop()
{
    m_swap.DropBuild();
}

std::string TStudyPlace::WaitsAside() const
{
    struct stat st {};
    const bool aside = m_swap.LookAtFolder(st) == ENOENT &&
                       m_swap.Parent().HasFolder(vx::FileNameOf(m_swap.RetiredFolder())) == vx::TFolder::THas::Yes &&
                       !m_swap.RetiredByAnotherUser();
    return aside ? m_swap.RetiredFolder() : std::string();
}

vx::TFolder::THas TStudyPlace::ProjectWaitsAside() const
{
    const vx::TFolder aside = m_swap.Parent().OpenFolder(vx::FileNameOf(m_swap.RetiredFolder()));
    return aside ? aside.HasFile(m_name + ".tpj") : errno == ENOENT ? vx::TFolder::THas::No : vx::TFolder::THas::Failed;
}
