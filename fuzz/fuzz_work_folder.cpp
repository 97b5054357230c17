// What an open reads from the work folder that saves leave: the journal of an interrupted
// save (every layout, and the old ".project.tpj.journal" beside the project file) and the
// "saving-as" note of an interrupted Save As, which names another folder whose journal the
// open completes and whose files it removes. Each run copies a project the program made
// (a project file and one CSI set) into "project" under a scratch root beside a file
// "outside", lays the input's files there, and opens it with TProject::Load.
//
// The first input byte picks where the journal goes (bits 0-1: the project's work folder,
// the old place beside the project file, the other folder's work folder, none), whether
// the project has a "saving-as" note (bit 2), and whether the folder "other" of the
// scratch root holds a copy of the project (bit 3) or is an empty folder (bit 4; neither:
// no such folder), and whether every file and folder laid there is of another group than
// the process's (bit 5), and whether a read of an open file (bits 6-7 = 1), a size look-up
// or an open to read (2) or a listing (3) fails with EIO at the call that a third byte
// counts (1 + its value), as the journals, the note and the project's files are read. The
// second picks what the open finds of the folder's lock (bits 0-3:
// the lock file as the program left it, a folder, a FIFO, a link to a file, a link to
// nothing, a link to a FIFO, a file no one may read, a file no one may write, the lock
// file held by another program, the folder itself held by another program and its lock
// file gone, the project folder read-only, no lock file, a project of the folder open in
// this process already, a hard link to the file "outside"; rights stop root in nothing),
// whether locks need the lock file open for writing as on NFS (bit 4), and whether lock
// calls fail (bits 5-6: with ENOLCK, EROFS or EIO), every one or (bit 7) every one from the
// second on, the lock of a lock file the first one made. The rest is split by Sections into
// the journal, the note and four files; a file is a letter for its place ("p" the project
// folder, "w" its work folder, "o" the other folder, "v" that one's work folder; in
// capitals a folder of that name), its name up to a zero byte (letters, digits, "_", "-"
// and "." only) and its contents. In the note "@" stands for the scratch root, which the
// folder a note names must be in, and "%p" and "%n" for the device and inode of the project
// folder and of the folder it names (the note is this process's own file, which an open
// trusts when those are right); in the journal "#0" to "#3" stand for the inode identity
// a layout-2 journal records of each file, "$0" to "$3" for the size and checksum the
// present layout records.
//
// Beyond the sanitizers: an open refuses, or opens read-only, as the lock's state demands
// for this user, and says why: a lock file that is no file is named as what it is, one
// this user may not read is named so (a hard link is locked as it is, and the file it names
// keeps its rights), a folder another program or another project of this process holds is said to
// be open there, a folder this user cannot write opens read-only,
// and so does one whose lock needs write access to a lock file this user may only read,
// saying so; a lock that cannot be taken never gives a project that may be changed, and
// one that can always does. A project opened read-only refuses a save, saying that nothing
// was written, and neither the open nor the save changes any file (no lock file is left
// where none was); a refused open leaves no lock file it made. An open refused for a journal it cannot complete leaves
// every file as it was; a whole journal of the folder (every line one its layout writes,
// each staged file there with the size and checksum its line records, computed here from
// the bytes laid) is completed where no call fails, no note is laid and the lock may be
// taken; a journal an open completed leaves each target its
// lines name as they record it (the staged file's bytes and rights, of the size and
// checksum a line of the present layout gives; a removed file gone); no file outside the
// project folder and the folder the note names changes, nor its rights, and nothing there
// unless the note is the project's own (a note of another changes nothing but itself); an
// open that got past the journals leaves none;
// a note that stays leaves its folder as it was, but for the completion of its journal.
//
// Half of the mutations are libFuzzer's own; the other half change the journal by its
// lines: a line of any kind is put in (a rename of one of the input's files, or of a name
// that has none, recording its identity or another file's; a removal of a file of the
// project, of the folder's own names, of "../outside"), a line loses or gains a field, is
// repeated, dropped or swapped with another, or the first line becomes another layout's.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "model/TProject.h"
#include "platform/FileFaults.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFileTransaction.h"
#include "platform/TFolderLock.h"
#include "readers/ReaderFactory.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 4;

// True when `path` is `folder` or lies below it (both relative to the root).
bool Within(const std::string& path, const std::string& folder)
{
    return !folder.empty() && (folder == "." || path == folder || path.starts_with(folder + "/"));
}

// A lock file that taking a folder's lock made: the only file an open may leave behind
// where it changes nothing else.
bool IsNewLock(const std::string& path, const vx::fuzz::TTree& before, const vx::fuzz::TTree& after)
{
    const auto it = after.find(path);
    return fs::path(path).filename() == vx::TFolderLock::FileName() && !before.contains(path) &&
           it != after.end() && !it->second.folder && it->second.bytes.empty();
}

// The paths whose entry differs, new and lost lock files left out.
std::vector<std::string> Changed(const vx::fuzz::TTree& before, const vx::fuzz::TTree& after)
{
    std::vector<std::string> changed;
    for (const auto& [path, entry] : before) {
        const auto it = after.find(path);
        if (it == after.end() || !(it->second == entry))
            changed.push_back(path);
    }
    for (const auto& [path, entry] : after)
        if (!before.contains(path) && !IsNewLock(path, before, after))
            changed.push_back(path);
    return changed;
}

// What a journal records of a staged file: inode, size and time of last change.
// A folder's device and inode as a Save As note records them; "0 0" when nothing is there.
std::string FolderIdentityText(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return "0 0";
    return std::to_string(uint64_t(st.st_dev)) + " " + std::to_string(uint64_t(st.st_ino));
}

std::string IdentityText(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return "0:0:0.0";
    char text[96];
    std::snprintf(text, sizeof text, "%" PRIu64 ":%" PRId64 ":%" PRId64 ".%09" PRId64, uint64_t(st.st_ino),
                  int64_t(st.st_size), int64_t(st.st_mtim.tv_sec), int64_t(st.st_mtim.tv_nsec));
    return text;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// A folder with a project the program made, and one CSI set in it: made once per process.
const std::string& MadeProject()
{
    static const std::string folder = [] {
        const std::string made = vx::JoinPath(vx::fuzz::ScratchFolder(), "made");
        fs::remove_all(made);
        vx::MakeFolder(made);
        {
            std::unique_ptr<TCSISet> set(vx::fuzz::LoadedSet(2, 2, 1, 16));
            set->m_nSpatialDims = 2;
            set->WriteDataFile(vx::JoinPath(vx::fuzz::ScratchFolder(), "csi"), false);
        }
        TProject project;
        TCSIReadParams params;
        params.m_nFormat = 22;
        if (!project.Create(vx::JoinPath(made, "project"), "project") ||
            !project.AddCSISet(vx::fuzz::ScratchFolder(), "csi", params) || !project.Save())
            __builtin_trap();
        return vx::JoinPath(made, "project");
    }();
    return folder;
}

// Whether a Save As note of this text, laid in the work folder of `project` before the
// open, is one the open takes for the project's own: at most 64 KiB, five lines each
// ending in a line feed (the heading, the folder it names with no zero byte, three flags,
// the identities of the project folder and of the folder named, as they stand).
bool IsOwnNote(const std::string& text, const std::string& project)
{
    std::vector<std::string> lines = vx::fuzz::Lines(text);
    if (!text.ends_with('\n') && !lines.empty())
        lines.pop_back();
    return text.size() <= (1 << 16) && lines.size() == 5 && lines[0] == "Vexara save as 2" &&
           lines[1].find('\0') == std::string::npos && lines[2].size() == 3 &&
           lines[3] == FolderIdentityText(project) && lines[4] == FolderIdentityText(lines[1]);
}

// The target a staged name is for: the name without its dot and six letters or digits.
std::string TargetOf(const std::string& staged)
{
    return staged.size() > 7 && staged[staged.size() - 7] == '.' ? staged.substr(0, staged.size() - 7) : staged;
}

// Changes a journal by its lines (see the top of this file). `parts` are the input's
// parts, whose files give the names of the lines put in.
std::string ChangeJournal(const std::string& journal, const std::vector<std::string>& parts, std::minstd_rand& random)
{
    static const char* const kHeaders[] = {"Vexara file journal 1", "Vexara file journal 2", "Vexara file journal 3"};
    static const char* const kRemovals[] = {"../outside", "outside", "csi", "project.tpj", ".vexara", ".vexara.lock",
                                            "gone", "journal", "", "a/b"};
    std::vector<std::string> lines = vx::fuzz::Lines(journal);
    if (lines.size() < 2)
        lines = {kHeaders[1 + random() % 2], "end"};
    // The names of the input's files, and the staged names among them.
    std::vector<std::string> names{"csi"}, staged{"csi.a1b2c3"};
    for (size_t k = 2; k < parts.size(); ++k) {
        const size_t end = parts[k].find('\0');
        if (parts[k].empty() || end == std::string::npos || end < 2)
            continue;
        const std::string name = parts[k].substr(1, end - 1);
        names.push_back(name);
        if (TargetOf(name) != name)
            staged.push_back(name);
    }
    const auto any = [&](const auto& list) { return std::string(list[random() % std::size(list)]); };
    const size_t line = 1 + random() % std::max<size_t>(1, lines.size() - 1);  // after the first
    switch (random() % 8) {
    case 0:
    case 1:
    case 2: {
        const std::string from = any(staged), k = std::to_string(random() % kFiles);
        const std::string to = random() % 4 ? TargetOf(from) : any(names);
        std::string made;
        switch (random() % 4) {
        case 0: made = "remove\t" + (random() % 2 ? any(kRemovals) : any(names)); break;
        case 1: made = from + "\t" + to; break;  // the layout of earlier versions
        default: {
            const char* const ids[] = {"$", "#"};
            const std::string id = random() % 8 ? any(ids) + k : "0:" + std::string(32, '0');
            made = "rename\t" + from + "\t" + to + "\t" + id;
            break;
        }
        }
        lines.insert(lines.begin() + std::ptrdiff_t(std::min(line, lines.size() - 1)), made);
        break;
    }
    case 3: {  // a field less
        std::vector<std::string> fields = vx::fuzz::TabFields(lines[line - 1]);
        if (fields.size() > 1)
            fields.erase(fields.begin() + std::ptrdiff_t(random() % fields.size()));
        std::string text;
        for (const std::string& field : fields)
            text += (text.empty() ? "" : "\t") + field;
        lines[line - 1] = text;
        break;
    }
    case 4: lines[line - 1] += "\t" + vx::fuzz::TabFields(lines[line - 1]).back(); break;  // a field more
    case 5: lines.insert(lines.begin() + std::ptrdiff_t(line), lines[line - 1]); break;
    case 6:
        if (random() % 2)
            lines.erase(lines.begin() + std::ptrdiff_t(line - 1));
        else
            std::swap(lines[line - 1], lines[random() % lines.size()]);
        break;
    default: lines.front() = any(kHeaders); break;
    }
    std::string text;
    for (const std::string& l : lines)
        text += l + "\n";
    return text;
}

// What the open finds of the folder's lock (bits 0-3 of the second input byte).
enum TLockState {
    kLockAsLeft,
    kLockFolder,
    kLockFifo,
    kLockLinkToFile,
    kLockLinkToNothing,
    kLockLinkToFifo,
    kLockUnreadable,
    kLockUnwritable,
    kLockHeld,
    kFolderHeld,
    kFolderReadOnly,
    kLockMissing,
    kOpenHere,
    kLockHardLink,
};

// What an open of the project must do for the lock's state, as this user.
struct TLockDemand {
    bool refused = false;   // refused, saying `says`
    bool readOnly = false;  // opened read-only (or refused for its journal), saying `says`
    bool writable = false;  // opened, if at all, with the folder locked
    std::string says;
};

// Locks taken on descriptors of their own, as another program takes them.
struct TOtherProgram {
    std::vector<int> fds;
    ~TOtherProgram()
    {
        for (const int fd : fds)
            ::close(fd);
    }
    bool Lock(const std::string& path, int flags)
    {
        const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
        if (fd >= 0)
            fds.push_back(fd);
        return fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    }
};

// Lays the lock's state in the project folder; nothing when the state cannot be laid or is
// none a program could meet (a folder held by another program where folders cannot be
// locked).
std::optional<TLockDemand> LayLock(const std::string& project, int state, bool nfs, bool lockFails,
                                   TOtherProgram& other, std::unique_ptr<TProject>& openHere)
{
    const std::string lock = vx::JoinPath(project, vx::TFolderLock::FileName());
    const std::string held = "another program has a project of its folder open";
    TLockDemand demand;
    std::error_code error;
    const auto notAFile = [&](const std::string& what) {
        demand.refused = true;
        demand.says = "its lock file " + lock + " is " + what;
    };
    if (state >= kLockFolder && state <= kLockLinkToFifo)
        fs::remove_all(lock, error);
    switch (state) {
    case kLockFolder:
        vx::MakeFolder(lock);
        notAFile("a folder, not a file");
        break;
    case kLockFifo:
        if (::mkfifo(lock.c_str(), 0600) != 0)
            return std::nullopt;
        notAFile("a FIFO, not a file");
        break;
    case kLockLinkToFile:
    case kLockLinkToNothing:
    case kLockLinkToFifo: {
        const std::string fifo = vx::JoinPath(vx::fuzz::ScratchFolder(), "linked.fifo");
        fs::remove_all(fifo, error);
        const std::string to = state == kLockLinkToFile ? "../outside" : state == kLockLinkToNothing ? "gone" : fifo;
        if ((state == kLockLinkToFifo && ::mkfifo(fifo.c_str(), 0600) != 0) || ::symlink(to.c_str(), lock.c_str()) != 0)
            return std::nullopt;
        notAFile("a symbolic link, not a file");
        break;
    }
    case kLockUnreadable:
        vx::fuzz::WriteScratch(fs::path(lock).lexically_relative(vx::fuzz::ScratchFolder()).string(), "");
        ::chmod(lock.c_str(), 0);
        if (::access(lock.c_str(), R_OK) != 0) {
            demand.refused = true;
            demand.says = "you may not read its lock file " + lock;
        }
        break;
    case kLockUnwritable:
        vx::fuzz::WriteScratch(fs::path(lock).lexically_relative(vx::fuzz::ScratchFolder()).string(), "");
        ::chmod(lock.c_str(), 0444);
        // A user who may only read it locks it, but where locks need write access.
        if (nfs && ::access(lock.c_str(), W_OK) != 0) {
            demand.readOnly = true;
            demand.says = "you may not write its lock file " + lock;
        }
        break;
    case kLockHeld:
        if (!other.Lock(lock, O_RDWR | O_CREAT))
            return std::nullopt;
        demand.refused = true;
        demand.says = held;
        break;
    case kFolderHeld:
        // On NFS no program locks a folder itself.
        fs::remove_all(lock, error);
        if (nfs || !other.Lock(project, O_RDONLY | O_DIRECTORY))
            return std::nullopt;
        demand.refused = true;
        demand.says = held;
        break;
    case kFolderReadOnly:
        ::chmod(project.c_str(), 0555);
        demand.readOnly = ::access(project.c_str(), W_OK) != 0;
        break;
    case kLockMissing: fs::remove_all(lock, error); break;
    case kLockHardLink:
        fs::remove_all(lock, error);
        // Locked as it is, as a lock file of a project copied with cp -al.
        if (::link(vx::JoinPath(vx::FolderOf(project), "outside").c_str(), lock.c_str()) != 0)
            return std::nullopt;
        break;
    case kOpenHere:
        // A project of the folder open in this process already, with its lock.
        openHere = std::make_unique<TProject>();
        if (!openHere->Load(vx::JoinPath(project, "project.tpj")) || !openHere->FolderCanBeWritten())
            return std::nullopt;
        demand.refused = true;
        demand.says = "a project of its folder is open in this program already";
        break;
    default: break;
    }
    // A lock call that fails leaves the folder unlocked: refused, or read-only. It strikes
    // before the lock that another program holds is met, and before a lock that needs
    // write access is refused.
    if (lockFails && (state == kLockHeld || state == kLockUnwritable || (!demand.refused && !demand.readOnly))) {
        demand.refused = false;
        demand.readOnly = true;
        demand.says.clear();
    }
    demand.writable = !demand.refused && !demand.readOnly;
    return demand;
}

// The bytes of choices before the parts: two, and a third, the count of a failing call,
// where bits 6-7 of the first ask for one.
size_t ChoiceBytes(const uint8_t* data, size_t size)
{
    return std::min(size, size_t(size > 0 && (data[0] & 0xc0) ? 3 : 2));
}

}  // namespace

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed)
{
    std::minstd_rand random(seed);
    const size_t choices = ChoiceBytes(data, size);
    if (size < choices + 1 || random() % 2 == 0)
        return LLVMFuzzerMutate(data, size, maxSize);
    const auto sections = vx::fuzz::Sections(data + choices, size - choices, 2 + kFiles);
    std::vector<std::string> parts(sections.begin(), sections.end());
    parts[0] = ChangeJournal(parts[0], parts, random);
    const std::string input =
        std::string(reinterpret_cast<const char*>(data), choices).append(vx::fuzz::PackSections(parts));
    if (parts[0].size() > 0xffff || input.size() > maxSize)
        return LLVMFuzzerMutate(data, size, maxSize);
    std::memcpy(data, input.data(), input.size());
    return input.size();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::vector<std::string> reports;
    static const bool ready = [] {
        vx::fuzz::Prepare();
        RegisterReaders();
        MadeProject();
        vx::SetReportHandler([](const vx::TReportRequest& r) {
            reports.push_back(r.text);
            return r.defaultAnswer;
        });
        return true;
    }();
    (void)ready;
    uint8_t pick = 0, lockPick = 0, failingCall = 0;
    if (!vx::fuzz::TakeByte(data, size, pick) || !vx::fuzz::TakeByte(data, size, lockPick) ||
        ((pick & 0xc0) && !vx::fuzz::TakeByte(data, size, failingCall)))
        return 0;
    const auto parts = vx::fuzz::Sections(data, size, 2 + kFiles);
    const std::string root = vx::JoinPath(vx::fuzz::ScratchFolder(), "root");
    const std::string project = vx::JoinPath(root, "project"), other = vx::JoinPath(root, "other");

    // The note may only name a folder of the scratch root: what an open does there is
    // checked, and the rest of the disk is never touched.
    const std::string note = Replaced(std::string(parts[1]), "@", root);
    const std::vector<std::string> noteLines = vx::fuzz::Lines(note);
    std::string noteFolder;  // relative to the root
    if ((pick & 4) && noteLines.size() >= 2) {
        const std::string& named = noteLines[1];
        if (named.find("/..") != std::string::npos || (named != root && !named.starts_with(root + "/")))
            return 0;
        noteFolder = named == root ? "." : fs::path(named).lexically_relative(root).lexically_normal().string();
        if (!noteFolder.empty() && noteFolder.back() == '/')
            noteFolder.pop_back();
    }

    std::error_code error;
    ::chmod(project.c_str(), 0755);
    fs::remove_all(root, error);
    fs::create_directories(root, error);
    fs::copy(MadeProject(), project, fs::copy_options::recursive, error);
    if (pick & 8)
        fs::copy(MadeProject(), other, fs::copy_options::recursive, error);
    else if (pick & 16)
        vx::MakeFolder(other);
    vx::fuzz::WriteScratch("root/outside", std::string_view("a file of no project"));
    // Private: a lock file that is a hard link to it must not widen its rights.
    const std::string outside = vx::JoinPath(root, "outside");
    ::chmod(outside.c_str(), 0600);
    const std::string work = vx::TFileTransaction::WorkFolderOf(project);
    const std::string otherWork = vx::TFileTransaction::WorkFolderOf(other);
    vx::MakeFolder(work);

    std::string identities[kFiles], contents[kFiles];
    for (int k = 0; k < kFiles; ++k) {
        const std::string_view part = parts[size_t(2 + k)];
        const size_t end = part.find('\0');
        if (part.empty() || end == std::string_view::npos || !vx::fuzz::UsableName(part.substr(1, end - 1)))
            continue;
        const char place = part[0];
        const std::string* folder = nullptr;
        switch (place | 0x20) {
        case 'p': folder = &project; break;
        case 'w': folder = &work; break;
        case 'o': folder = &other; break;
        case 'v': folder = &otherWork; break;
        default: continue;
        }
        if (folder == &otherWork && vx::FolderExists(other))
            vx::MakeFolder(otherWork);
        if (!vx::FolderExists(*folder))
            continue;
        const std::string path = vx::JoinPath(*folder, std::string(part.substr(1, end - 1)));
        fs::remove_all(path, error);
        if (place & 0x20) {
            vx::fuzz::WriteScratch(fs::path(path).lexically_relative(vx::fuzz::ScratchFolder()).string(),
                                   part.substr(end + 1));
            identities[k] = IdentityText(path);
            contents[k] = vx::fuzz::JournalContentIdentity(part.substr(end + 1));
        } else {
            vx::MakeFolder(path);
        }
    }
    std::string journal(parts[0]);
    for (int k = 0; k < kFiles; ++k) {
        journal = Replaced(journal, std::string(1, '#').append(std::to_string(k)), identities[k]);
        journal = Replaced(journal, std::string(1, '$').append(std::to_string(k)), contents[k]);
    }
    const std::string journalPaths[3] = {vx::TFileTransaction::JournalPathOf(project),
                                         vx::JoinPath(project, ".project.tpj.journal"),
                                         vx::TFileTransaction::JournalPathOf(other)};
    if ((pick & 3) != 3) {
        const std::string& path = journalPaths[pick & 3];
        if (vx::FolderExists(vx::FolderOf(path)) && !vx::FolderExists(path))
            vx::fuzz::WriteScratch(fs::path(path).lexically_relative(vx::fuzz::ScratchFolder()).string(), journal);
    }
    const std::string notePath = vx::JoinPath(work, "saving-as");
    bool ownNote = false;  // a note this open takes for its project's own
    if ((pick & 4) && !vx::FolderExists(notePath)) {
        const std::string text = Replaced(Replaced(note, "%p", FolderIdentityText(project)), "%n",
                                          noteLines.size() >= 2 ? FolderIdentityText(noteLines[1]) : "0 0");
        vx::fuzz::WriteScratch(fs::path(notePath).lexically_relative(vx::fuzz::ScratchFolder()).string(), text);
        ownNote = IsOwnNote(text, project);
    }

    // Bit 5: every file and folder of the root is of another group than this process's.
    if (pick & 32)
        for (const auto& entry : fs::recursive_directory_iterator(root, error))
            vx::fuzz::GiveRights(entry.path().string(), vx::fuzz::OtherGroup());

    TOtherProgram anotherProgram;
    std::unique_ptr<TProject> openHere;
    const bool nfs = (lockPick & 16) != 0;
    const int lockFault = (lockPick >> 5) & 3;
    // Failing from the second lock call on, the first failure the open meets is the lock of
    // the lock file it made; where a lock file is there, the lock is taken first.
    const bool lateFault = (lockPick & 128) != 0;
    const std::optional<TLockDemand> demand = LayLock(project, lockPick & 15, nfs,
                                                      lockFault != 0 && (!lateFault || (lockPick & 15) == kLockMissing),
                                                      anotherProgram, openHere);
    if (!demand)
        return 0;
    std::vector<vx::TFileFault> faults;
    if (nfs) {
        vx::TFileFault needWrite;
        needWrite.locksNeedWrite = true;
        faults.push_back(needWrite);
    }
    if (lockFault != 0)
        faults.push_back(
            {vx::kFileLock, lockFault == 1 ? ENOLCK : lockFault == 2 ? EROFS : EIO, lateFault ? 2 : 1, true});
    // Bits 6-7 of the first byte: a read of an open file, a size look-up or an open to read,
    // or a listing failing at the call the third byte counts.
    static constexpr unsigned kFailing[] = {0, vx::kFileRead, vx::kFileSize | vx::kFileOpenRead, vx::kFileList};
    if (pick & 0xc0)
        faults.push_back({kFailing[pick >> 6], EIO, 1 + failingCall, false});

    const auto has = [&](const std::string& text) {
        if (text.empty())
            return true;
        for (const std::string& report : reports)
            if (report.find(text) != std::string::npos)
                return true;
        return false;
    };
    const auto modeOf = [](const std::string& path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : mode_t{0};
    };
    const mode_t outsideMode = modeOf(outside);
    const vx::fuzz::TTree before = vx::fuzz::Snapshot(root);
    reports.clear();
    bool opened = false;
    {
        TProject loaded;
        vx::SetFileFaults(faults);
        opened = loaded.Load(vx::JoinPath(project, "project.tpj"));
        vx::SetFileFaults({});
        const bool readOnly = opened && !loaded.FolderCanBeWritten();
        const bool refused = !opened && has("The project project cannot be opened");
        // The open refuses, or opens read-only, as the lock's state demands, and says why.
        if (demand->refused && (!refused || !has(demand->says)))
            __builtin_trap();
        if (demand->readOnly && (opened ? !readOnly || !has(demand->says) : !refused))
            __builtin_trap();
        if (demand->writable && readOnly)
            __builtin_trap();
        // A project opened read-only changes nothing, and its save writes nothing.
        if (readOnly) {
            if (vx::fuzz::Snapshot(root) != before || loaded.Save() || !has("so nothing was written") ||
                vx::fuzz::Snapshot(root) != before)
                __builtin_trap();
        }
    }
    // Taken before the project folder's rights are given back: a read-only folder stays so.
    const vx::fuzz::TTree after = vx::fuzz::Snapshot(root);
    ::chmod(project.c_str(), 0755);
    // The file outside keeps its rights, whatever names it.
    if (modeOf(outside) != outsideMode)
        __builtin_trap();

    // The program's refusals to open a folder whose journal it cannot complete begin so; a
    // refusal of the project file itself comes once the folder's journals are completed (a
    // completed journal may have removed that file).
    const bool refusedFolder = !opened && has("The project project cannot be opened") &&
                               !has("The project project cannot be opened: its project file");
    const auto completed = [&](const std::string& journal) {
        return before.contains(journal) && !before.at(journal).folder && !after.contains(journal);
    };
    // The old journal is completed first: a new one then refused leaves a changed folder.
    const std::string journals[] = {"project/.project.tpj.journal", "project/.vexara/journal", "other/.vexara/journal"};
    const std::vector<std::string> changed = Changed(before, after);
    for (const std::string& path : changed) {
        // A refused journal changes nothing (unless the old one, completed first, did).
        if (refusedFolder && !completed(journals[0]))
            __builtin_trap();
        // Nothing outside the project folder, and the folder a note names, changes; and
        // nothing there but for a note that is this project's own.
        if (!Within(path, "project") && !Within(path, noteFolder))
            __builtin_trap();
        vx::fuzz::Require(Within(path, "project") || ownNote, "a note that is not the project's own changes nothing but itself");
    }
    // A refused open gives the folder back as it found it: a lock file it made goes too.
    const std::string lockFile = "project/" + std::string(vx::TFolderLock::FileName());
    if (refusedFolder && !completed(journals[0]) && !before.contains(lockFile) && after.contains(lockFile))
        __builtin_trap();
    // A completed journal has put in place what its lines record, in the order the open
    // completes them. The work folders' files are the open's to clear afterwards.
    std::map<std::string, vx::fuzz::TJournalOutcome> outcomes;
    // A whole journal of the project's own (no note, nothing failing, a lock this open may
    // take) is completed.
    if (!(pick & 0xc4) && lockFault == 0 && demand->writable)
        for (const std::string& journal : {journals[0], journals[1]})
            vx::fuzz::Require(!vx::fuzz::IsWholeJournal(before, journal) || completed(journal),
                              "an open completes a whole journal of its folder");
    for (const std::string& journal : journals)
        if (completed(journal) && !vx::fuzz::CompleteJournal(before, journal, outcomes))
            __builtin_trap();
    for (const auto& [path, outcome] : outcomes) {
        if (fs::path(path).parent_path().filename() == ".vexara")
            continue;
        const auto it = after.find(path);
        const bool there = it != after.end() && !it->second.folder;
        if (there != outcome.bytes.has_value() ||
            (there && (it->second.bytes != *outcome.bytes || it->second.mode != outcome.mode ||
                       it->second.owner != outcome.owner || it->second.group != outcome.group)))
            __builtin_trap();
        if (!outcome.identity.empty() &&
            vx::fuzz::ContentIdentity(vx::fuzz::JournalContentIdentity(it->second.bytes)) !=
                vx::fuzz::ContentIdentity(outcome.identity))
            __builtin_trap();
    }
    if (!refusedFolder) {
        // An open past the journals has completed them.
        if (vx::FileExists(journalPaths[0]) || vx::FolderExists(journalPaths[0]) || vx::FileExists(journalPaths[1]))
            __builtin_trap();
        // A note that stays leaves its folder as it was, but for the completion of its
        // journal (a work folder there that cannot be listed keeps the note).
        if (vx::FileExists(notePath) && before.contains("project/.vexara/saving-as"))
            for (const std::string& path : changed)
                if (!Within(path, "project") && Within(path, noteFolder) &&
                    !(completed(journals[2]) && (path == journals[2] || outcomes.contains(path))))
                    __builtin_trap();
    }
    return 0;
}
