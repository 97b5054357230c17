#include "support/FolderKill.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <vector>

#include "platform/TFile.h"
#include "support/TestFiles.h"

namespace vx::test {

TFolderBytes ReadFolderTree(const std::string& folder, bool withLockFile)
{
    TFolderBytes files;
    if (!std::filesystem::exists(folder))
        return files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string name = std::filesystem::relative(entry.path(), folder).generic_string();
        if (entry.is_regular_file() && (withLockFile || entry.path().filename() != ".vexara.lock"))
            files[name] = ReadBytes(entry.path().string());
    }
    return files;
}

std::vector<std::string> FolderTreeNames(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& [name, bytes] : ReadFolderTree(folder))
        names.push_back(name);
    return names;
}

std::string DescribeFolder(const TOpened& got, const TOpened& before, const TOpened& after)
{
    std::map<std::string, int> seen;
    for (const TOpened* opened : {&got, &before, &after})
        for (const auto& [name, bytes] : opened->files)
            seen[name];
    std::string text;
    // A named variable, not a structured binding: clang 14 lets no lambda capture one.
    for (const auto& entry : seen) {
        const std::string& name = entry.first;
        const auto same = [&](const TOpened& other) {
            const auto it = other.files.find(name), mine = got.files.find(name);
            return it == other.files.end() ? mine == got.files.end()
                                           : mine != got.files.end() && it->second == mine->second;
        };
        const bool isOld = same(before), isNew = same(after);
        text += " " + name + (got.files.count(name) ? "" : "(missing)") + ":" + (isOld ? "old" : "") +
                (isNew ? "new" : "") + (!isOld && !isNew ? "neither" : "");
    }
    for (const std::string& message : got.messages)
        text += "\n message: " + message;
    return text;
}

void KillAtStep(int killAt)
{
    if (killAt <= 0)
        return;
    TFile::SetStepHook([steps = 0, killAt]() mutable {
        if (++steps == killAt)
            std::raise(SIGKILL);
    });
}

bool RunInChild(const std::function<bool()>& body)
{
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body() ? 0 : 3);
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    if (WIFSIGNALED(status)) {
        EXPECT_EQ(WTERMSIG(status), SIGKILL);
        return true;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the command failed";
    return false;
}

TChildRun BesideAChild(const std::function<bool(const std::function<void(bool)>& pause)>& child,
                       const std::function<void()>& meanwhile)
{
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) {
        ADD_FAILURE() << "no pipe to the child";
        return {};
    }
    const pid_t pid = fork();
    if (pid == 0) {
        const bool result = child([&](bool answer) {
            char c = answer ? 'y' : 'n';
            if (write(fromChild[1], &c, 1) != 1 || read(toChild[0], &c, 1) != 1)
                _exit(1);
        });
        _exit(result ? 0 : 4);
    }
    // Only the child writes to this process and reads from it: a child that ends before
    // its pause ends the read below.
    close(fromChild[1]);
    close(toChild[0]);
    char answer = 0;
    const bool paused = read(fromChild[0], &answer, 1) == 1;
    EXPECT_TRUE(paused) << "the child ended before its pause";
    if (paused) {
        meanwhile();
        EXPECT_EQ(write(toChild[1], "x", 1), 1);
    }
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    close(toChild[1]);
    close(fromChild[0]);
    EXPECT_TRUE(WIFEXITED(status)) << "the child did not end by itself";
    return {answer == 'y', WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

std::string AsAnOrdinaryUser(const std::function<std::string()>& body)
{
    return AsUser(65534, 65534, body);
}

std::string AsUser(uid_t uid, gid_t gid, const std::function<std::string()>& body, const std::vector<gid_t>& more)
{
    int fromChild[2];
    if (pipe(fromChild) != 0)
        return "no pipe to the child";
    const pid_t pid = fork();
    if (pid == 0) {
        close(fromChild[0]);
        const bool refused =
            geteuid() == 0 && (setgroups(more.size(), more.data()) != 0 || setgid(gid) != 0 || setuid(uid) != 0);
        const std::string text = refused ? "no ordinary user" : body();
        const bool written = write(fromChild[1], text.data(), text.size()) == ssize_t(text.size());
        _exit(written ? 0 : 1);
    }
    close(fromChild[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fromChild[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, size_t(n));
    close(fromChild[0]);
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child did not end by itself";
    return text;
}

std::string AsAnOrdinaryUserHere(const std::function<std::string()>& body)
{
    if (geteuid() != 0)
        return body();
    std::vector<gid_t> groups(size_t(std::max(getgroups(0, nullptr), 0)));
    const gid_t group = getegid();
    if (getgroups(int(groups.size()), groups.data()) != int(groups.size()) || setgroups(0, nullptr) != 0 ||
        setegid(65534) != 0 || seteuid(65534) != 0)
        return "no ordinary user";
    const std::string text = body();
    // Root is taken back before anything else can fail.
    const bool back = seteuid(0) == 0 && setegid(group) == 0 && setgroups(groups.size(), groups.data()) == 0;
    EXPECT_TRUE(back) << "root's rights did not come back";
    return text;
}

void RestoreFolder(const std::string& pristine, const std::string& folder)
{
    std::filesystem::remove_all(folder);
    std::filesystem::copy(pristine, folder, std::filesystem::copy_options::recursive);
}

void CopyInPlace(const std::string& folder)
{
    // The copy is made while the files still exist, so none can get an inode back.
    const std::string copy = folder + ".copy";
    RestoreFolder(folder, copy);
    const auto time = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 365);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(copy))
        if (entry.is_regular_file())
            std::filesystem::last_write_time(entry.path(), time);
    std::filesystem::remove_all(folder);
    std::filesystem::rename(copy, folder);
}

namespace {

// The folder as the open leaves it, before and after the command ran to its end.
std::pair<TOpened, TOpened> OldAndNew(const TCommandTrial& trial)
{
    RestoreFolder(trial.pristine, trial.root);
    const TOpened before = trial.open();
    RestoreFolder(trial.pristine, trial.root);
    EXPECT_FALSE(RunInChild([&] { return trial.command(0); }));
    const TOpened after = trial.open();
    EXPECT_NE(before, after);
    return {before, after};
}

}  // namespace

std::pair<int, int> KillAtEveryStep(const TCommandTrial& trial)
{
    const auto [before, after] = OldAndNew(trial);
    int olds = 0, news = 0;
    for (int killAt = 1; killAt < 500; ++killAt) {
        SCOPED_TRACE("killed at step " + std::to_string(killAt));
        RestoreFolder(trial.pristine, trial.root);
        const bool killed = RunInChild([&] { return trial.command(killAt); });
        if (trial.copied)
            CopyInPlace(trial.root);
        const TOpened got = trial.open();
        if (got == before) {
            // Once the new folder is in place, a later kill cannot bring the old one back.
            EXPECT_EQ(news, 0) << "the old folder after the new one";
            ++olds;
        } else {
            EXPECT_TRUE(got == after) << "neither the old nor the new folder:" << DescribeFolder(got, before, after);
            ++news;
        }
        if (!killed)
            break;
    }
    return {olds, news};
}

int FillDiskAtEveryLevel(const TCommandTrial& trial, const std::function<bool(std::vector<std::string>&)>& run,
                         int step)
{
    const auto [before, after] = OldAndNew(trial);
    RestoreFolder(trial.pristine, trial.root);
    const TFolderBytes untouched = ReadFolderTree(trial.root);
    int failures = 0, successesInARow = 0;
    for (int64_t level = 0; successesInARow < 3 && level < (int64_t{2} << 20); level += step) {
        SCOPED_TRACE("the disk full after " + std::to_string(level) + " bytes");
        RestoreFolder(trial.pristine, trial.root);
        std::vector<std::string> messages;
        TFile::FailWritesAfter(level);
        const bool ok = run(messages);
        TFile::FailWritesAfter(-1);
        if (ok) {
            ++successesInARow;
            const TOpened got = trial.open();
            EXPECT_TRUE(got == after) << "a success that does not reopen as the new folder:"
                                      << DescribeFolder(got, before, after);
            continue;
        }
        successesInARow = 0;
        ++failures;
        EXPECT_FALSE(messages.empty()) << "a failure without a message";
        EXPECT_TRUE(ReadFolderTree(trial.root) == untouched) << "a failure that changed the folder";
    }
    EXPECT_EQ(successesInARow, 3);
    return failures;
}

}  // namespace vx::test
