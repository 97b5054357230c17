#pragma once
// Commands of the project folder killed at every step of the file layer, or run on a disk
// that fills up at many levels, and the folder compared byte for byte afterwards.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vx::test {

// Every file under a folder (names relative to it, "/" between folders) with its bytes,
// but the lock file every open makes unless it is asked for; none when there is no folder.
using TFolderBytes = std::map<std::string, std::string>;
TFolderBytes ReadFolderTree(const std::string& folder, bool withLockFile = false);

// The names of the files ReadFolderTree gives, in order.
std::vector<std::string> FolderTreeNames(const std::string& folder);

// A folder as an open leaves it, with the messages the open gave.
struct TOpened {
    TFolderBytes files;
    std::vector<std::string> messages;
    bool operator==(const TOpened& other) const = default;
};

// Which files of `got` are those of `before`, of `after`, or neither.
std::string DescribeFolder(const TOpened& got, const TOpened& before, const TOpened& after);

// Kills this process at its killAt-th step of the file layer from now on (0: never).
void KillAtStep(int killAt);

// Runs body in a forked child. True when the child was killed; false when body ran to
// its end (a failed expectation when it returned false or the child ended otherwise).
bool RunInChild(const std::function<bool()>& body);

// Runs `child` in a forked process that may call pause(answer) once: `meanwhile` then
// runs here while the child waits, and the child goes on once it is done. Expects the child
// to pause and to end by itself; gives its answer and whether `child` returned true.
struct TChildRun {
    bool answer = false, result = false;
};
TChildRun BesideAChild(const std::function<bool(const std::function<void(bool)>& pause)>& child,
                       const std::function<void()>& meanwhile);

// Runs body in a forked child with the rights of an ordinary user (root may write
// anything) and gives what it returned; "no ordinary user" when the child cannot become one.
std::string AsAnOrdinaryUser(const std::function<std::string()>& body);
// The same as the user `uid` of the group `gid` and of the groups `more` (root only:
// elsewhere the body runs as this user).
std::string AsUser(uid_t uid, gid_t gid, const std::function<std::string()>& body,
                   const std::vector<gid_t>& more = {});
// AsAnOrdinaryUser in this process, for the GUI: a forked child cannot draw, since the
// threads Qt draws with stay behind in the parent. Root's effective user and groups, which
// decide what a file call may do, become the ordinary user's while body runs, and root's
// again after.
std::string AsAnOrdinaryUserHere(const std::function<std::string()>& body);

// Replaces `folder` by a copy of `pristine`.
void RestoreFolder(const std::string& pristine, const std::string& folder);

// Replaces `folder` by a copy of itself as a backup or a copy to another disk makes it:
// every file another one (its own inode) with another time of last change.
void CopyInPlace(const std::string& folder);

// A command of the project folder tried the hard way. `command(killAt)` runs it (in a
// child) on the project restored from `pristine` into `root`/`folder`, arming
// KillAtStep(killAt) where the command begins; `open()` opens the project as a user does
// and gives the folder (`root`, which may hold several folders) as the open leaves it.
struct TCommandTrial {
    std::string pristine, root;
    std::function<bool(int killAt)> command;
    std::function<TOpened()> open;
    // After each kill the folder is copied (CopyInPlace) before it is opened.
    bool copied = false;
};

// Kills the command at step 1, 2, ... until it runs to its end. After each kill the
// open must give exactly the old folder (the open without the command) or the new one
// (after the command ran to its end), and once the new one was seen, never the old one
// again. Returns the number of kills that reopened old and new.
std::pair<int, int> KillAtEveryStep(const TCommandTrial& trial);

// Runs the command in this process with the disk full after 0, step, 2 step, ... bytes
// until three levels in a row succeed. `run()` gives the command's result and `messages`
// what it reported. After a failure the folder must be exactly as before, with a message;
// after a success the open must give the new folder. Returns the number of failed
// levels.
int FillDiskAtEveryLevel(const TCommandTrial& trial, const std::function<bool(std::vector<std::string>&)>& run,
                         int step);

}  // namespace vx::test
