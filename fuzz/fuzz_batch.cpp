// The batch run over two studies "s1" and "s2" into an output folder that holds what
// earlier runs and the user left: each run restores the projects a first run made (one CSI
// set "a" each), lays the input's files and leftovers over them and runs the batch again,
// now over the sets "a" and "b" of each study (a reader of this target's own makes every
// file a small set; the macro marks a sample of each set), with a chosen file system fault;
// then once more without a fault.
//
// The first input byte picks the file system: bit 0 offers no rename flags, bit 1 keeps
// a removed file still open as a hidden file (FUSE, NFS), bit 2 refuses hard links (EXDEV),
// bits 3-4 fail the writes after the step the second byte gives with ENOSPC, every write
// with EIO, or every removal with EBUSY. A byte for each study lays its output: bit 0 an
// earlier project, bit 1 set aside as ".<study>.batch-old" by a run killed on its way,
// bit 2 an empty folder at the study's name (the user's, a sync client's), bit 3 a build
// folder left by a killed run, bit 4 a folder an earlier run could not remove, bit 5 the
// mark of a swap killed on its way (its text the first part of the rest); bit 6 a FIFO and
// bit 7 a folder named like a CSI file in the study's own folder. The rest is split by
// Sections into that mark and four files: a byte for the kind (a file, a symbolic link, a
// FIFO, a folder holding a file, a file no one may read), a byte for the place (bit 0 the
// study, bit 1 into its earlier project, else into its build folder; bit 2 in a folder
// "sub" there), the name up to a zero byte (letters, digits, "_", "-" and "." only; "u_"
// put before it) and the contents.
//
// Beyond the sanitizers: after each run every study is absent (its earlier project then
// waiting aside), its earlier project as it was, its new project whole (both sets, each
// marked by the macro), or the empty folder; every file of the user put in an earlier
// project is still there, in the study's folder or aside, of its kind and with its bytes;
// after a run without an injected error (whatever the file system) every study holds its
// new project and nothing the runs make is left beside it but an earlier project kept aside
// beside a folder no run put there (which, without rename flags, also leaves the study
// without its new project until the user moves it).
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "model/ProcessingHooks.h"
#include "model/ReaderHooks.h"
#include "model/TBatchRun.h"
#include "model/TCSIReader.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TProject.h"
#include "platform/FileFaults.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "platform/TFile.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kStudies[] = {"s1", "s2"};
constexpr int kFiles = 4;
const TComplex kMark(42.0f, 0.0f);

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "fuzz_batch: %s\n%s\n", what.c_str(), g_batchLog.c_str());
    std::abort();
}

// Every CSI file is a small set named after the file.
class TSmallSetReader : public TCSIReader {
public:
    using TCSIReader::TCSIReader;
    TCSISet* Read(std::string path) override
    {
        TCSISet* set = vx::fuzz::LoadedSet(2, 2, 1, 8);
        if (set)
            set->m_strName = vx::StemOf(path);
        return set;
    }
};

struct TPlaces {
    std::string root, exams, output, pristine;
};

const TPlaces& Places()
{
    static const TPlaces places = [] {
        TPlaces p;
        p.root = vx::JoinPath(vx::fuzz::ScratchFolder(), "batch");
        p.exams = vx::JoinPath(p.root, "exams");
        p.output = vx::JoinPath(p.root, "CSIProjects");
        p.pristine = vx::JoinPath(vx::fuzz::ScratchFolder(), "pristine");
        return p;
    }();
    return places;
}

TBatchRun MakeRun(const std::string& patterns)
{
    TBatchRun run;
    run.m_strExamFolder = Places().exams;
    run.m_studies = {kStudies[0], kStudies[1]};
    run.m_strPatterns = patterns;
    run.m_strOutput = Places().output;
    run.m_strMacro = vx::JoinPath(Places().root, "steps.mcr");
    return run;
}

// What stands at a path: "" for nothing, else its kind and, for a file, its bytes.
std::string WhatIsAt(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return "";
    if (S_ISLNK(st.st_mode))
        return "link " + fs::read_symlink(path).string();
    if (S_ISFIFO(st.st_mode))
        return "fifo";
    if (S_ISDIR(st.st_mode))
        return "folder";
    std::string bytes;
    vx::ReadWholeFile(path, bytes);
    return "file " + bytes;
}

// The files of a folder tree by path, with what they are (lock files and the files of the
// user left out), for telling a project from another.
std::map<std::string, std::string> ProjectFiles(const std::string& folder)
{
    std::map<std::string, std::string> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().lexically_relative(folder).string();
        if (it->path().filename() != ".vexara.lock" && !name.starts_with("u_") && !name.starts_with("sub"))
            files[name] = WhatIsAt(it->path().string());
    }
    return files;
}

// The names of the study's new project's sets, each found marked by the macro; empty when
// the folder does not open as a whole project.
std::string NewProjectSets(const std::string& folder, const std::string& study)
{
    TProject project;
    TProject* const kept = g_pProject;
    g_pProject = &project;
    const int reports = vx::fuzz::ReportCount();
    bool whole = project.Load(vx::JoinPath(folder, study + ".tpj"));
    std::string names;
    for (TCSISet* set : std::vector<TCSISet*>(project.m_pCSISetList->begin(), project.m_pCSISetList->end())) {
        project.SetWorkSet(set);
        whole = whole && project.m_pWorkSet == set && set->GetVoxel(size_t(0))->Data()[0] == kMark;
        (names += names.empty() ? "" : " ") += set->GetName();
    }
    g_pProject = kept;
    return whole && vx::fuzz::ReportCount() == reports ? names : std::string();
}

// Checks every study after a run over the output the layout bytes laid; `clean`: a run
// without an error (on any file system), after which every study has its new project and
// nothing of the runs is left beside it, but where the earlier project kept aside leaves no
// room for stepping aside (`noFlags`).
void CheckStudies(const std::vector<std::map<std::string, std::string>>& userFiles, const uint8_t* layout, bool clean,
                  bool noFlags)
{
    for (size_t k = 0; k < 2; ++k) {
        const std::string study = kStudies[k];
        const std::string folder = vx::JoinPath(Places().output, study);
        const std::string aside = vx::JoinPath(Places().output, "." + study + ".batch-old");
        std::string state = "absent";
        if (vx::FolderExists(folder)) {
            const std::map<std::string, std::string> files = ProjectFiles(folder);
            state = files.empty()                                  ? "empty"
                    : NewProjectSets(folder, study) == "a b"       ? "new"
                    : files == ProjectFiles(vx::JoinPath(Places().pristine, study)) ? "earlier"
                                                                   : "damaged";
        }
        const bool hadEarlier = (layout[k] & 1) != 0;
        const bool keptAside = (layout[k] & 7) == 7;
        if (state == "damaged" || (state == "absent" && hadEarlier && !vx::FolderExists(aside)) ||
            (clean && state != "new" && !(noFlags && keptAside)))
            Fail(study + " is " + state + (clean ? " after a run without an error" : ""));
        for (const auto& [name, what] : userFiles[k])
            if (WhatIsAt(vx::JoinPath(folder, name)) != what && WhatIsAt(vx::JoinPath(aside, name)) != what)
                Fail("the user's " + name + " of " + study + " is lost");
        if (!clean)
            continue;
        const vx::TFolderListing output = vx::ListFolder(Places().output);
        if (!output.Whole())
            Fail("the output folder cannot be listed");
        for (const vx::TFolderEntry& entry : output.entries)
            if (entry.name.starts_with("." + study + ".") &&
                !(keptAside && entry.name == "." + study + ".batch-old"))
                Fail(entry.name + " is left beside " + study);
    }
}

void Put(const std::string& path, std::string_view bytes)
{
    vx::TFile file;
    if (file.Open(path, vx::TFile::Mode::Write)) {
        file.Write(bytes.data(), bytes.size());
        file.Close();
    }
}

// Lays a file of the user's of the kind the byte picks.
void Lay(const std::string& path, uint8_t kind, std::string_view bytes)
{
    vx::MakeFolder(vx::FolderOf(path));
    switch (kind % 5) {
    case 0: Put(path, bytes); break;
    case 1: (void)::symlink(std::string(bytes.substr(0, 200)).c_str(), path.c_str()); break;
    case 2: ::mkfifo(path.c_str(), 0600); break;
    case 3:
        vx::MakeFolder(path);
        Put(path + "/inside", bytes);
        break;
    default:
        // A file no one but root may read: the batch carries it as root. Run as another
        // user (the replay test of an ordinary user's build) the batch could not carry it
        // and keeps the earlier project, which the checks here do not expect: it stays
        // readable then.
        Put(path, bytes);
        if (::geteuid() == 0)
            ::chmod(path.c_str(), 0);
        break;
    }
}

// The first run's projects, made once: one set "a" in each study.
void MakePristine()
{
    const TPlaces& p = Places();
    for (const char* study : kStudies) {
        vx::MakeFolder(vx::JoinPath(p.exams, study));
        for (const char* file : {"a.SPAR", "b.SPAR"})
            Put(vx::JoinPath(vx::JoinPath(p.exams, study), file), "");
    }
    Put(vx::JoinPath(p.root, "steps.mcr"), "#Vexara Macro File#\r\n");
    TBatchRun first = MakeRun("a.*");
    if (!first.Run() || g_bBatchError)
        Fail("the first run failed");
    fs::rename(p.output, p.pristine);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = [] {
        vx::fuzz::Prepare();
        InstallCSIReaderFactory([](uint32_t, const TCSIReadParams* p) -> TCSIReader* { return new TSmallSetReader(p); });
        static int step = 0;
        TProcessingHooks hooks;
        hooks.newMacroStep = [](bool, TCSISet*) { return reinterpret_cast<TProcessStep*>(&step); };
        hooks.readMacro = [](TProcessStep*, vx::TTextFile&) { return true; };
        hooks.applyStep = [](TProcessStep*, TCSISet* set) {
            set->GetVoxel(size_t(0))->Data()[0] = kMark;
            return true;
        };
        hooks.deleteStep = [](TProcessStep*) {};
        InstallProcessingHooks(hooks);
        std::error_code error;
        fs::remove_all(Places().root, error);
        fs::remove_all(Places().pristine, error);
        vx::MakeFolder(Places().root);
        MakePristine();
        return true;
    }();
    (void)ready;
    uint8_t system = 0, at = 0, layout[2] = {};
    if (!vx::fuzz::TakeByte(data, size, system) || !vx::fuzz::TakeByte(data, size, at) ||
        !vx::fuzz::TakeByte(data, size, layout[0]) || !vx::fuzz::TakeByte(data, size, layout[1]))
        return 0;
    const std::vector<std::string_view> parts = vx::fuzz::Sections(data, size, 1 + kFiles);

    const TPlaces& p = Places();
    std::error_code error;
    // What the output folder holds: the first run's projects, where the layout keeps them.
    vx::RemoveFolderTree(p.output);
    fs::copy(p.pristine, p.output, fs::copy_options::recursive, error);
    std::vector<std::map<std::string, std::string>> userFiles(2);
    for (size_t k = 0; k < 2; ++k) {
        const std::string study = kStudies[k];
        const std::string folder = vx::JoinPath(p.output, study), hidden = vx::JoinPath(p.output, "." + study);
        const uint8_t bits = layout[k];
        for (const char* odd : {"f.SPAR", "d.SPAR"})
            vx::RemoveFolderTree(vx::JoinPath(vx::JoinPath(p.exams, study), odd));
        if (bits & 0x40)
            ::mkfifo(vx::JoinPath(vx::JoinPath(p.exams, study), "f.SPAR").c_str(), 0600);
        if (bits & 0x80)
            vx::MakeFolder(vx::JoinPath(vx::JoinPath(p.exams, study), "d.SPAR"));
        if (!(bits & 1))
            vx::RemoveFolderTree(folder);
        // The files of the user in the earlier project, wherever it is.
        for (int f = 0; f < kFiles && (bits & 1); ++f) {
            std::string_view part = parts[size_t(1 + f)];
            if (part.size() < 2)
                continue;
            const uint8_t kind = uint8_t(part[0]), place = uint8_t(part[1]);
            part.remove_prefix(2);
            const size_t end = part.find('\0');
            const std::string name(part.substr(0, end));
            part.remove_prefix(end == std::string_view::npos ? part.size() : end + 1);
            if ((place & 1) != k || !vx::fuzz::UsableName(name))
                continue;
            const std::string relative = std::string((place & 4) ? "sub/" : "") + "u_" + name;
            const std::string base = (place & 2) ? folder : hidden + ".batch";
            if (vx::FolderExists(vx::JoinPath(base, relative)) || vx::FileExists(vx::JoinPath(base, relative)))
                continue;
            Lay(vx::JoinPath(base, relative), kind, part);
            if (place & 2) {
                userFiles[k][relative] = WhatIsAt(vx::JoinPath(base, relative));
                if (kind % 5 == 3)
                    userFiles[k][relative + "/inside"] = WhatIsAt(vx::JoinPath(base, relative + "/inside"));
            }
        }
        if ((bits & 3) == 3)
            fs::rename(folder, hidden + ".batch-old", error);
        if (bits & 4)
            vx::MakeFolder(folder);
        if (bits & 8)
            vx::MakeFolder(hidden + ".batch");
        if (bits & 16)
            vx::MakeFolder(hidden + ".batch-gone.1.1/.vexara");
        if (bits & 32)
            Put(hidden + ".batch-swap", parts[0]);
    }

    std::vector<vx::TFileFault> faults;
    if (system & 1)
        faults.push_back({vx::kFileRenameFlags, EINVAL, 1, true});
    if (system & 2) {
        vx::TFileFault hide{vx::kFileRemove, 0, 1, true};
        hide.hidesOpenFiles = true;
        faults.push_back(hide);
    }
    if (system & 4)
        faults.push_back({vx::kFileLink, EXDEV, 1, true});
    switch ((system >> 3) & 3) {
    case 1: faults.push_back({vx::kFileAnyWrite, ENOSPC, int(at), false, true}); break;
    case 2: faults.push_back({vx::kFileAnyWrite, EIO, int(at), true, true}); break;
    case 3: faults.push_back({vx::kFileRemove, EBUSY, 1, true}); break;
    default: break;
    }
    TBatchRun run = MakeRun("*.SPAR");
    vx::SetFileFaults(faults);
    const bool ran = run.Run();
    vx::SetFileFaults({});
    if (!ran)
        Fail("the run was refused");
    // Only injected errors may cost a study; a file system without rename flags or links, or
    // one that keeps removed open files, may not.
    CheckStudies(userFiles, layout, ((system >> 3) & 3) == 0, (system & 1) != 0);
    TBatchRun again = MakeRun("*.SPAR");
    if (!again.Run())
        Fail("the run without a fault was refused");
    CheckStudies(userFiles, layout, true, false);
    return 0;
}
