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
// no such folder). The rest is split by Sections into the journal, the note and four
// files; a file is a letter for its place ("p" the project folder, "w" its work folder,
// "o" the other folder, "v" that one's work folder; in capitals a folder of that name),
// its name up to a zero byte (letters, digits, "_", "-" and "." only) and its contents.
// In the note "@" stands for the scratch root, which the folder a note names must be in;
// in the journal "#0" to "#3" stand for the inode identity a layout-2 journal records of
// each file, "$0" to "$3" for the size and checksum the present layout records.
//
// Beyond the sanitizers: an open refused for a damaged journal leaves every file as it
// was; no file outside the project folder and the folder the note names changes; an open
// that got past the journals leaves none; a note that stays leaves its folder as it was.
#include <sys/stat.h>

#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "model/TProject.h"
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

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
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

}  // namespace

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
    uint8_t pick = 0;
    if (!vx::fuzz::TakeByte(data, size, pick))
        return 0;
    const auto parts = vx::fuzz::Sections(data, size, 2 + kFiles);
    const std::string root = vx::JoinPath(vx::fuzz::ScratchFolder(), "root");
    const std::string project = vx::JoinPath(root, "project"), other = vx::JoinPath(root, "other");

    // The note may only name a folder of the scratch root: what an open does there is
    // checked, and the rest of the disk is never touched.
    const std::string note = Replaced(std::string(parts[1]), "@", root);
    const std::vector<std::string> noteLines = Lines(note);
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
    fs::remove_all(root, error);
    fs::create_directories(root, error);
    fs::copy(MadeProject(), project, fs::copy_options::recursive, error);
    if (pick & 8)
        fs::copy(MadeProject(), other, fs::copy_options::recursive, error);
    else if (pick & 16)
        vx::MakeFolder(other);
    vx::fuzz::WriteScratch("root/outside", std::string_view("a file of no project"));
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
            contents[k] = vx::TFileTransaction::StagedFileIdentity(path);
        } else {
            vx::MakeFolder(path);
        }
    }
    std::string journal(parts[0]);
    for (int k = 0; k < kFiles; ++k) {
        journal = Replaced(journal, "#" + std::to_string(k), identities[k]);
        journal = Replaced(journal, "$" + std::to_string(k), contents[k]);
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
    if ((pick & 4) && !vx::FolderExists(notePath))
        vx::fuzz::WriteScratch(fs::path(notePath).lexically_relative(vx::fuzz::ScratchFolder()).string(), note);

    const vx::fuzz::TTree before = vx::fuzz::Snapshot(root);
    reports.clear();
    bool opened = false;
    {
        TProject loaded;
        opened = loaded.Load(vx::JoinPath(project, "project.tpj"));
    }
    const vx::fuzz::TTree after = vx::fuzz::Snapshot(root);

    const auto has = [&](const char* text) {
        for (const std::string& report : reports)
            if (report.find(text) != std::string::npos)
                return true;
        return false;
    };
    const bool refusedFolder = !opened && has("The project project cannot be opened");
    const bool damaged = refusedFolder && has("is damaged");
    // The old journal is completed first: a damaged new one then refuses a changed folder.
    const bool bothJournals = before.contains("project/.vexara/journal") && before.contains("project/.project.tpj.journal");
    const std::vector<std::string> changed = Changed(before, after);
    for (const std::string& path : changed) {
        // A refused journal changes nothing (unless the old one, completed first, did).
        if (damaged && !bothJournals)
            __builtin_trap();
        // Nothing outside the project folder, and the folder a note names, changes.
        if (!Within(path, "project") && !Within(path, noteFolder))
            __builtin_trap();
    }
    if (!refusedFolder) {
        // An open past the journals has completed them.
        if (vx::FileExists(journalPaths[0]) || vx::FolderExists(journalPaths[0]) || vx::FileExists(journalPaths[1]))
            __builtin_trap();
        // A note that stays leaves its folder as it was.
        if (vx::FileExists(notePath) && before.contains("project/.vexara/saving-as"))
            for (const std::string& path : changed)
                if (!Within(path, "project") && Within(path, noteFolder))
                    __builtin_trap();
    }
    return 0;
}
