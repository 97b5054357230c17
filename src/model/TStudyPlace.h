#pragma once
// The place of one study's project in a batch run's output folder, from the first look at
// it to the new project put in it: the folder of the study's name, where an earlier project
// of the study may stand, and the hidden folders the new project is built in and an
// earlier one steps aside to, with their locks and the mending of what a killed run left
// (TFolderSwap). An earlier project there is held from the first look on, so that another
// run into the same output folder neither mends nor replaces anything of this study
// meanwhile, and the new project is held until it is in place. Nothing but an empty folder
// or an earlier project of the study is ever replaced: a study's own files would be lost
// with anything else.
#include <memory>
#include <string>

#include "platform/TFolderSwap.h"

class TFolderHold;
class TProject;

class TStudyPlace {
public:
    // The place of the study `name`, whose files are in studyFolder, in outputFolder.
    TStudyPlace(const std::string& outputFolder, const std::string& name, const std::string& studyFolder);
    ~TStudyPlace();
    TStudyPlace(const TStudyPlace&) = delete;
    TStudyPlace& operator=(const TStudyPlace&) = delete;

    const std::string& Folder() const { return m_swap.Folder(); }
    // Whether an earlier project of the study stands in the folder, to be replaced.
    bool Replaces() const { return m_replaces; }

    // Takes the place for a new project: holds an earlier project there and mends what a
    // run killed on its way left beside it (an earlier project it had set aside goes back
    // first: it is the study's project). Empty when the project may be built; else why
    // not, for "cannot take the study's project: ".
    std::string Take();
    // Where an earlier project of the study waits aside, kept because the folder in its
    // place is not one a run put there; empty when none does.
    const std::string& KeptAside() const { return m_keptAside; }
    // Makes the study's project in the build folder (TProject::Create). In place of an
    // earlier project it takes that one's rights where this user made it, or where they let
    // no one reach the project who may not read the study's files; else this user's own.
    bool Build(TProject& project);
    // What another user made at the study's name (the earlier project, whose rights the new
    // one did not take) or aside (never put back): the log lines that say so, one a line
    // ending in CR LF; empty when there is none.
    const std::string& AnotherUsersFolders() const { return m_anotherUsers; }
    // Takes the hold of the build folder (its lock) from its project, which writes nothing
    // there after: the build stays held until it is in place or dropped, also once the
    // project is gone.
    void HoldBuild(TProject& project);
    // Puts the new project, saved and closed, in place, with what the user kept beside an
    // earlier project carried into it. Empty when it is there; else why not: the folder
    // is as it was, or its earlier project waits aside (WaitsAside).
    std::string PutInPlace();
    // Removes the build folder of a project given up.
    void Drop();
    // Where the earlier project waits for the next run to put it back, when nothing is in
    // its place; empty otherwise.
    std::string WaitsAside() const;
    // Whether what waits aside is an earlier project of the study, not the empty folder of
    // the user's that stood in its place (Failed, errno set, where that cannot be looked at).
    vx::TFolder::THas ProjectWaitsAside() const;

private:
    // Why the folder cannot take the study's project; empty when there is none, or it is
    // empty or an earlier project of the study, which the swap then holds.
    std::string Refusal();
    // Whether the earlier project held lends the build its rights (Build); when it does not
    // because another user made it, says so in m_anotherUsers.
    bool EarlierLendsItsRights();

    std::string m_name, m_studyFolder, m_keptAside, m_anotherUsers;
    std::unique_ptr<TFolderHold> m_buildHold;  // the build folder's, taken from its project
    vx::TFolderSwap m_swap;  // after the hold: it lets the hold go before it is destroyed
    bool m_replaces = false;
};
