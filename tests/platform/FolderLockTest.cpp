// The folder lock between running programs: several processes taking one folder in turn,
// each removing the lock file before it lets go as the program does, on a local file
// system and with locks as an NFS client takes them.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>

#include "platform/FileFaults.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/TFolderLock.h"
#include "support/FileFaultScope.h"
#include "support/FolderKill.h"
#include "support/TestFiles.h"

using namespace vx;
using namespace vx::test;

namespace {

// What the processes share: how many hold the folder now, the most that ever did at once,
// and how often each took it.
struct TShared {
    std::atomic<int> holders{0};
    std::atomic<int> most{0};
    std::atomic<int> taken[4];

    // True once every process has taken the folder `turns` times.
    bool AllHadTurns(int turns) const
    {
        for (const std::atomic<int>& count : taken)
            if (count < turns)
                return false;
        return true;
    }
};

}  // namespace

TEST(FolderLock, ProcessesTakingItInTurnAndRemovingTheLockFileNeverHoldItTogether)
{
    constexpr int kProcesses = 4;
    // Each process goes on taking the folder until every one has had this many turns, so that
    // all of them race however the system schedules them; a process that can never take it
    // gives up after kTries.
    constexpr int kTurns = 25;
    constexpr long kTries = 2'000'000;
    const struct {
        const char* what;
        std::vector<TFileFault> faults;
    } rows[] = {
        {"a local file system", {}},
        {"locks as on NFS: the lock file alone", {LocksAsOnNFS()}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TTempFolder dir;
        void* memory = ::mmap(nullptr, sizeof(TShared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(memory, MAP_FAILED);
        auto* shared = new (memory) TShared{};
        TFileFaultScope faults(row.faults);
        std::vector<pid_t> children;
        for (int i = 0; i < kProcesses; ++i) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                TFolderLock lock;
                for (long turn = 0; !shared->AllHadTurns(kTurns) && turn < kTries; ++turn) {
                    if (lock.Acquire(dir.Path()) != TFolderLock::TResult::Held)
                        continue;
                    const int now = ++shared->holders;
                    for (int most = shared->most; now > most && !shared->most.compare_exchange_weak(most, now);) {
                    }
                    ++shared->taken[i];
                    ::sched_yield();
                    --shared->holders;
                    // Every other turn the holder removes the lock file before it lets go,
                    // as an open that failed or a Save As taken back does.
                    if (turn % 2 == 0)
                        lock.RemoveLockFileAndRelease(dir.Path());
                    else
                        lock.Release();
                }
                ::_exit(0);
            }
            ASSERT_GT(pid, 0);
            children.push_back(pid);
        }
        for (const pid_t pid : children) {
            int status = 0;
            EXPECT_EQ(::waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        EXPECT_EQ(shared->most.load(), 1) << "two processes held the folder at once";
        for (int i = 0; i < kProcesses; ++i)
            EXPECT_GE(shared->taken[i].load(), kTurns) << "process " << i << " did not have its turns";
        ::munmap(memory, sizeof(TShared));
    }
}

// A lock file is made private to its maker and then given its rights. Another user's
// program that meets it before that (on NFS the lock file alone keeps it out) waits for
// them and finds the folder held, never a lock file it may not read or write.
TEST(FolderLock, AnotherUsersProgramWaitsForTheRightsOfALockFileInTheMaking)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "a lock file of another user is made only by root";
    TTempFolder dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
    TFileFaultScope nfs({LocksAsOnNFS()});
    int told[2], go[2];  // from the maker, and to it
    ASSERT_TRUE(::pipe(told) == 0 && ::pipe(go) == 0);
    char c = 0;
    const auto tell = [&](int fd, const char* what) { return ::write(fd, what, 1) == 1; };
    const pid_t maker = ::fork();
    if (maker == 0) {
        // It stops between the making and the rights until let on, then holds the folder.
        SetBeforeRightsHook([&](const std::string&) { (void)(tell(told[1], "m") && ::read(go[0], &c, 1)); });
        TFolderLock lock;
        const bool held = tell(told[1], lock.Acquire(dir.Path()) == TFolderLock::TResult::Held ? "h" : "x");
        ::_exit(held && ::read(go[0], &c, 1) == 1 ? 0 : 1);
    }
    ASSERT_TRUE(maker > 0 && ::read(told[0], &c, 1) == 1);
    const std::string said = AsAnOrdinaryUser([&] {
        std::string maker;
        SetRightsAwaitedHook([&] {
            if (maker.empty() && tell(go[1], "g") && ::read(told[0], &c, 1) == 1)
                maker = c == 'h' ? "waited for the maker" : "the maker did not take it";
        });
        TFolderLock lock;
        return maker + (lock.Acquire(dir.Path()) == TFolderLock::TResult::HeldElsewhere ? ", held" : ", not held");
    });
    EXPECT_EQ(::write(go[1], "ee", 2), 2);  // the maker ends, also one still in the making
    int status = 0;
    EXPECT_EQ(::waitpid(maker, &status, 0), maker);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(said, "waited for the maker, held");
    struct stat st {};
    ASSERT_EQ(::stat(JoinPath(dir.Path(), TFolderLock::FileName()).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0666u) << "the rights of its folder";
    for (const int fd : {told[0], told[1], go[0], go[1]})
        ::close(fd);
}
