#pragma once
// What the open of a project folder recovers once it holds the folder's lock, before the
// project is read: the change an interrupted save left half done (the journal of earlier
// versions beside the project file, then the one in the work folder), and a Save As into
// another folder that was interrupted (its note in the work folder). Whoever may write the
// folder may put a journal or a note there: only what this user made is acted on
// (vx::TFolder::MadeByThisUser), asked for the journals by TFileTransaction::Recover and for
// the note here; anything else changes nothing.
#include <string>
#include <utility>

#include "platform/Files.h"
#include "platform/TFileTransaction.h"
#include "platform/TFolder.h"

class TOpenRecovery {
public:
    // The folder `held`, taken at `folder`, whose identity is `identity`, and its work
    // folder `work` (not open where it has none); both stay open while this object is used.
    TOpenRecovery(const vx::TFolder& held, const vx::TFolder& work, std::string folder, vx::TFileIdentity identity)
        : m_held(held), m_work(work), m_folder(std::move(folder)), m_identity(identity)
    {
    }

    // Completes the journal of earlier versions `earlierJournal` (a name in the folder),
    // then the one in the work folder. Empty when each is completed or none waits; else why
    // the project cannot be opened, to follow "The project p cannot be opened: ", with what
    // opens it. A journal that cannot be completed stays.
    std::string CompleteJournals(const std::string& earlierJournal) const;
    // Completes or takes back what a Save As that was killed left in the folder it wrote, as
    // its note in the work folder says, where the note is one this user's Save As made for
    // this folder (any other goes, and changes nothing else). True when that cannot be done
    // now (another program has that folder open, its change cannot be completed, its work
    // folder cannot be listed): the note stays for a later open.
    bool FinishInterruptedSaveAs() const;

    // Why an interrupted change cannot be completed, as the end of a sentence.
    static std::string WhyNotCompleted(const vx::TFileTransaction::TRecoveryFailure& why, const std::string& work);
    // Yes when something stands at a journal's name in `folder`: at `earlier` (the journal of
    // earlier versions) or in its work folder, which is never followed; Failed (errno set)
    // when either cannot be looked at.
    [[nodiscard]] static vx::TFolder::THas JournalWaits(const vx::TFolder& folder, const std::string& earlier);
    // The note a Save As leaves in the work folder of the folder it saves from while it
    // writes to `target` (what it made there: the folder, its work folder, its lock file),
    // for the held folder of identity `held`: its name there and its text.
    static const char* SaveAsNoteName();
    static std::string SaveAsNoteText(const vx::TFolder& target, bool madeFolder, bool madeWork, bool madeLock,
                                      const vx::TFileIdentity& held);
    // Removes the files of a work folder (what was staged and never put in place, undo
    // states) but the one named `keep`; the folders in it and everything outside it stay, and
    // so does all of it when it cannot be listed: false then. Every name is reached through
    // the folder's descriptor: a link put at one by whoever may write the folder is removed
    // itself, and leads to no other file.
    static bool RemoveWorkFiles(const vx::TFolder& work, const std::string& keep = std::string());

private:
    const vx::TFolder& m_held;
    const vx::TFolder& m_work;
    std::string m_folder;
    vx::TFileIdentity m_identity;
};
