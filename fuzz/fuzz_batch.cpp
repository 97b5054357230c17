// The batch run over two studies "s1" and "s2" into an output folder that holds what
// earlier runs and the user left: each run restores the projects a first run made (one CSI
// set "a" each), lays the input's files and leftovers over them and runs the batch again,
// now over the sets "a" and "b" of each study (a reader of this target's own makes every
// file a small set, "b" with twice the samples of "a") and an image "i.PAR" where the
// input gives one, with the processing library's macro steps and a chosen file system
// fault; then once more without a fault.
//
// The first input byte picks the file system and the reader: bit 7 reads the CSI files with
// the Philips single-voxel reader instead (raw), each "<set>.SPAR" a SPAR file whose samples
// wait in "<set>.sdat" (those of "b" twice those of "a"), which the reader finds only through a
// listing of the study's folder (its exact name ".SDAT" is not there); bit 0 offers no
// rename flags, bit 1 keeps a removed file still open as a hidden file (FUSE, NFS), bit 2
// refuses hard links (EXDEV);
// bits 3-5 the fault: every write after the step the second byte gives failing with ENOSPC
// (1) or EIO (2), every removal with EBUSY (3), one write after that step with EIO (4; a
// rename after a refused renameat2 is a call of its own), the listing of a folder that the
// second byte counts with EIO (5; each read of its entries counts too), every listing
// after that step with EACCES (6), or one call of any kind after that step with EIO (7: a
// write, a removal, a lock, a sync, a listing, a read, a size look-up, an open to read, the
// rights given to a file made; with bit 7 of the second byte, which the step then leaves
// out, a read of an open file alone, so that a read after its file's open is met too);
// bit 6 also fails with EIO the rename that the second byte counts among those that may
// replace their target (as the one after a refused renameat2 may). Two bytes for each
// study follow. The first lays its output: bit 0 an earlier project, bit 1 set aside as
// ".<study>.batch-old" by a run killed on its way, bit 2 an empty folder at the study's
// name (the user's, a sync client's), bit 3 a build folder left by a killed run, bit 4 a
// folder an earlier run could not remove, bit 5 the mark of a swap killed on its way (its
// text the first part of the rest, where "#0" to "#3" stand for the identities of the
// study's folder, the folder aside, the build folder and the output folder); bit 6 a FIFO
// and bit 7 a folder named like a CSI file in the study's own folder. The second: bits 0-1
// the study's own folder with mode 311 (1) or 000 (2), or emptied of its CSI files (3);
// bits 2-3 the folder at the study's name with mode 311 (1) or 000 (2), or a folder of the
// user's in the earlier project that no one may read (3); bit 4 the earlier project open
// in this process (the main window's) through both runs; bit 5 a file of the user's at the
// study's name, which makes a folder there that is no project of the study where no
// earlier project stands; bit 6 an older project aside beside the earlier project, as a
// swap killed after putting the earlier one in place leaves it (its mark, when valid,
// tells the one from the other; a valid mark beside anything else is no state a run
// leaves, and such inputs are skipped). Bit 7 of s1's second byte: four more bytes give the
// macro file the target writes (one phasing block, two, of which the second rules, one of
// a type no step has or one with a line that does not read; the zero-order phase in steps
// of 1.25 degrees and the first-order one in steps of 2.5, signed; the pivot), else it
// holds no step; bit 7 of s2's: then a byte of its size (1-4 by 1-4) and its pixels give a
// 16-bit image that the target writes as a PAR/REC pair "i.PAR" into each study that holds
// its CSI files. The rest is split by Sections into that mark and
// four files: a byte for the kind (a file, a symbolic link, a FIFO, a folder holding a
// file, a file no one may read; a link points within the target's own folder only, at
// times into a folder "kept" beside the studies; with bit 7 its files of another group
// than the process's, which a file carried must keep), a byte for the place (bit 0 the
// study, bit 1 into its earlier project, else into its build folder; bit 2 in a folder
// "sub" there), the name up
// to a zero byte (letters, digits, "_", "-" and "." only; "u_" put before it) and the
// contents. Rights stop root in nothing: run as an ordinary user, the same inputs make
// folders that cannot be listed and files that cannot be carried.
//
// Beyond the sanitizers, each run is checked against what stood at each study's name and
// aside before it, file by file (kind, rights, owner, group, bytes; lock files left out): the study's
// folder is as it was, its new project (both sets, each holding its file's samples phased
// as the macro's last phasing block says and recording those phases, but a set whose file
// a failed call kept from being read, as the log says; none where the study holds none
// now, replaces no earlier project and no file of it failed as a CSI set; the image with
// the pixels written, unless the log says it failed), the
// earlier project put back from
// aside, absent only where the earlier project stands whole aside, and an empty folder only
// where it was one or the earlier project survives aside as it was. A new project stands
// only where an empty folder or an earlier project of the study stood, or nothing; the
// earlier project survives as it was at either place unless a new project replaced it; what
// stood aside stays, unless it was the earlier project put back, or a valid mark says the
// folder in place replaced it, and only the folder the run was to replace may wait there;
// every file of the user put in the earlier project is still there, in the study's folder
// or aside, of its kind and with its bytes, rights, owner and group; the folder "kept",
// which links may point at, is as it was; and the log says of every study that was not
// replaced that it failed, and why (that a folder cannot be listed, where the files that
// go with a CSI file could not be looked for).
// A macro file of the wrong format must be refused, saying so, and a run refused for its
// macro file (one it could not read, too) changes no study.
// After a run without an injected error (whatever the file system) every study holds its
// new project with nothing of the runs beside it but an earlier project kept aside, unless
// the input gives a reason to keep it as it was: its project open here, a folder there that
// is no project, a file or folder this user may not read or list, the study holding no set
// now beside an earlier project or beside a CSI file that is none, or an earlier project
// kept aside where folders cannot be exchanged.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "model/ReaderHooks.h"
#include "model/TBatchRun.h"
#include "model/TCSIReader.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/FileFaults.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "platform/TFile.h"
#include "platform/TFolderLock.h"
#include "processing/InstallProcessing.h"
#include "readers/ImageReaders.h"
#include "readers/ReaderFactory.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kStudies[] = {"s1", "s2"};
constexpr uint32_t kSingleVoxelFormat = 0;
constexpr int kFiles = 4;
// A single-voxel SPAR file of 8 points; its data file is SdatOf the set.
constexpr int kSparPoints = 8;
const std::string kSparText = "samples : 8\r\nrows : 1\r\nsample_frequency : 2000\r\n"
                              "synthesizer_frequency : 63860000\r\necho_time : 30\r\nrepetition_time : 2000\r\n";

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "fuzz_batch: %s\n%s\n", what.c_str(), g_batchLog.c_str());
    std::abort();
}

// Whether the CSI files of this input are read by the Philips single-voxel reader, which
// looks for its data file beside each.
bool g_philipsFiles = false;

// The macro file of this input's runs, as the target wrote it: the phases (radians) and
// pivot that its last phasing block gives every set, or a file of the wrong format.
struct TMacro {
    std::string text;
    bool wrongFormat = false;
    double phase0 = 0.0, phase1 = 0.0;
    int pivot = 0;
};
TMacro g_macro;
constexpr const char* kMacroHeader = "#Vexara Macro File#\r\n\r\n";

// The image the target wrote into each study's folder as "i.PAR" and "i.REC", if any.
struct TWrittenImage {
    int width = 0, height = 0;
    std::vector<int16_t> pixels;
};
std::optional<TWrittenImage> g_image;
// The name the PAR reader gives the image of the file's first line.
constexpr const char* kImageName = "i.PAR_1";

// The small set of 2 by 2 voxels of 8 points whose samples, scaled, every CSI file gives.
const TCSISet& SmallSet()
{
    static const std::unique_ptr<TCSISet> small(vx::fuzz::LoadedSet(2, 2, 1, 8));
    if (!small)
        __builtin_trap();
    return *small;
}

// How many times the small set's samples the CSI file of a set gives: twice for "b", so
// that a set given the samples of another is seen.
float ScaleOf(const std::string& set)
{
    return set == "b" ? 2.0f : 1.0f;
}

// Every CSI file is the small set named after the file, its samples scaled by ScaleOf.
class TSmallSetReader : public TCSIReader {
public:
    using TCSIReader::TCSIReader;
    TCSISet* Read(std::string path) override
    {
        TCSISet* set = vx::fuzz::LoadedSet(2, 2, 1, 8);
        if (!set)
            return nullptr;
        set->m_strName = vx::StemOf(path);
        for (size_t v = 0; v < set->VoxelCount(); ++v) {
            std::vector<TComplex> samples(SmallSet().GetVoxel(v)->Data(), SmallSet().GetVoxel(v)->Data() + 8);
            for (TComplex& sample : samples)
                sample *= ScaleOf(set->m_strName);
            set->GetVoxel(v)->SetComplexData(samples.data());
        }
        return set;
    }
};

// The SDAT file of a set for the single-voxel reader: the first voxel's samples of the small
// set, scaled by ScaleOf, as VAX floats.
std::string SdatOf(const std::string& set)
{
    std::string file;
    for (int k = 0; k < kSparPoints; ++k) {
        const TComplex sample = SmallSet().GetVoxel(0)->Data()[k] * ScaleOf(set);
        vx::fuzz::PutVax(file, sample.real());
        vx::fuzz::PutVax(file, sample.imag());
    }
    return file;
}

struct TPlaces {
    // `kept`: a folder beside the studies that links of the user's may point at.
    std::string root, exams, output, pristine, kept;
};

const TPlaces& Places()
{
    static const TPlaces places = [] {
        TPlaces p;
        p.root = vx::JoinPath(vx::fuzz::ScratchFolder(), "batch");
        p.exams = vx::JoinPath(p.root, "exams");
        p.output = vx::JoinPath(p.root, "CSIProjects");
        p.pristine = vx::JoinPath(vx::fuzz::ScratchFolder(), "pristine");
        p.kept = vx::JoinPath(p.root, "kept");
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

// Runs `look` with the owner granted `need` on the file or folder at `path` (as an
// ordinary user; root needs none), and puts its mode back.
template <class TLook>
void WithRights(const std::string& path, const struct stat& st, mode_t need, TLook look)
{
    const mode_t mode = st.st_mode & 07777;
    const bool grant = ::geteuid() != 0 && !S_ISLNK(st.st_mode) && (mode & need) != need;
    if (grant)
        ::chmod(path.c_str(), mode | need);
    look();
    if (grant)
        ::chmod(path.c_str(), mode);
}

// What stands at a path: "" for nothing, else its kind and, for a file, its bytes (read
// also where its mode lets no one read it).
struct TWhat {
    std::string what;
    unsigned mode = 0, owner = 0, group = 0;
    bool operator==(const TWhat&) const = default;
};

TWhat WhatIsAt(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return {};
    const unsigned mode = st.st_mode & 07777, owner = st.st_uid, group = st.st_gid;
    std::error_code error;
    if (S_ISLNK(st.st_mode))
        return {"link " + fs::read_symlink(path, error).string(), 0, owner, group};
    if (S_ISFIFO(st.st_mode))
        return {"fifo", mode, owner, group};
    if (S_ISDIR(st.st_mode))
        return {"folder", mode, owner, group};
    std::string bytes;
    WithRights(path, st, S_IRUSR, [&] { vx::ReadWholeFile(path, bytes); });
    return {"file " + bytes, mode, owner, group};
}

std::string KindOf(const TWhat& what)
{
    return what.what.substr(0, what.what.find(' '));
}

std::string RightsText(unsigned mode)
{
    return vx::fuzz::Printed("%04o", mode);
}

// What became of a file or folder of the user's that is still there, but not as it was:
// another kind, other bytes or link target, other rights, owner or group.
std::string Changed(const TWhat& was, const TWhat& now)
{
    std::string change = KindOf(now) != KindOf(was) ? "a " + KindOf(now) + " now"
                         : KindOf(now) == "link" && now.what != was.what ? "a link to " + now.what.substr(5) + " now"
                         : now.what != was.what                          ? "holding other bytes now"
                                                                         : "of other rights now";
    if (now.mode != was.mode)
        change += ", of rights " + RightsText(now.mode);
    if (now.owner != was.owner || now.group != was.group)
        change += vx::fuzz::Printed(", of owner %u and group %u", now.owner, now.group);
    return change;
}

// The names in a folder, also where its mode lets no one list it.
std::vector<std::string> NamesIn(const std::string& folder, const struct stat& st)
{
    std::vector<std::string> names;
    WithRights(folder, st, S_IRUSR | S_IXUSR, [&] {
        if (DIR* dir = ::opendir(folder.c_str())) {
            while (const dirent* entry = ::readdir(dir))
                if (std::string_view(entry->d_name) != "." && std::string_view(entry->d_name) != "..")
                    names.emplace_back(entry->d_name);
            ::closedir(dir);
        }
    });
    return names;
}

// Everything at and below a path by relative path ("" for the path itself), with what it
// is and its mode; lock files, which any look may leave, and the hidden files a FUSE file
// system keeps of removed open files are left out. Empty when nothing is there.
using TTree = std::map<std::string, TWhat>;

void AddTree(const std::string& path, const std::string& relative, TTree& tree)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return;
    tree[relative] = WhatIsAt(path);
    if (!S_ISDIR(st.st_mode))
        return;
    const std::vector<std::string> names = NamesIn(path, st);
    WithRights(path, st, S_IXUSR, [&] {
        for (const std::string& name : names)
            if (name != vx::TFolderLock::FileName() && !name.starts_with(".fuse_hidden"))
                AddTree(vx::JoinPath(path, name), relative.empty() ? name : relative + "/" + name, tree);
    });
}

TTree Tree(const std::string& path)
{
    TTree tree;
    AddTree(path, "", tree);
    return tree;
}

// Gives the owner every right on the folders at and below `path`, so that they can be
// looked at and removed.
void OpenUp(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return;
    ::chmod(path.c_str(), (st.st_mode & 07777) | 0700);
    for (const std::string& name : NamesIn(path, st))
        OpenUp(vx::JoinPath(path, name));
}

bool IsProject(const TTree& tree, const std::string& study)
{
    return tree.contains(study + ".tpj");
}

bool IsEmptyFolder(const TTree& tree)
{
    return tree.size() == 1 && tree.begin()->second.what == "folder";
}

// A folder's device and inode numbers as a swap's mark writes them.
std::string IdentityText(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return {};
    return std::to_string(uint64_t(st.st_dev)) + " " + std::to_string(uint64_t(st.st_ino));
}

std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Whether a set holds the samples its CSI file gave it, phased as the macro says: every
// sample k times exp(i (phase0 + (k - pivot) phase1 / points)), and records those phases.
bool PhasedAsTheMacroSays(const TCSISet& set)
{
    const size_t voxels = g_philipsFiles ? 1 : SmallSet().VoxelCount();
    const int points = g_philipsFiles ? kSparPoints : SmallSet().m_nPoints;
    if (set.VoxelCount() != voxels || set.m_nPoints != points)
        return false;
    std::vector<std::complex<double>> expected(static_cast<size_t>(points));
    for (size_t v = 0; v < voxels; ++v) {
        for (int k = 0; k < points; ++k) {
            const std::complex<double> read(SmallSet().GetVoxel(v)->Data()[k] * ScaleOf(set.GetName()));
            expected[size_t(k)] = read * std::polar(1.0, g_macro.phase0 + double(k - g_macro.pivot) * g_macro.phase1 / points);
        }
        if (!vx::fuzz::VoxelNear(set, v, expected.data(), points))
            return false;
    }
    float phase0 = 0.0f, phase1 = 0.0f;
    int pivot = 0;
    set.GetPhase(-1, phase0, phase1, pivot);
    return vx::fuzz::Near(phase0, g_macro.phase0) && vx::fuzz::Near(phase1, g_macro.phase1) && pivot == g_macro.pivot;
}

// Whether an image holds the size and pixels the target wrote, read from its pixel file.
bool AsWritten(const TMRImage& image)
{
    std::vector<int16_t> pixels;
    return g_image && image.GetWidth() == g_image->width && image.GetHeight() == g_image->height &&
           vx::fuzz::PixelsOfFile(image.PixelFileToRead(), g_image->pixels.size(), pixels) &&
           pixels == g_image->pixels;
}

// The names of the sets and then the images of the project in `folder`, each set found
// processed by the macro and each image as the target wrote it; nothing when the folder
// does not open as a whole project.
std::optional<std::string> ProjectSets(const std::string& folder, const std::string& study)
{
    TProject project;
    TProject* const kept = g_pProject;
    g_pProject = &project;
    const int reports = vx::fuzz::ReportCount();
    bool whole = project.Load(vx::JoinPath(folder, study + ".tpj"));
    std::string names;
    for (TCSISet* set : std::vector<TCSISet*>(project.m_pCSISetList->begin(), project.m_pCSISetList->end())) {
        project.SetWorkSet(set);
        whole = whole && project.m_pWorkSet == set && PhasedAsTheMacroSays(*set);
        (names += names.empty() ? "" : " ") += set->GetName();
    }
    for (const TMRImage* image : *project.m_pImageSet) {
        whole = whole && AsWritten(*image);
        (names += names.empty() ? "" : " ") += image->GetName();
    }
    g_pProject = kept;
    if (!whole || vx::fuzz::ReportCount() != reports)
        return std::nullopt;
    return names;
}

// What the run wrote of the study whose project folder is `folder`: from its line to the
// next study's.
std::string LogOf(const std::string& folder)
{
    const std::string& log = g_batchLog;
    size_t at = log.find("\r\nProject " + folder + ": \r\n");
    if (at == std::string::npos)
        at = log.find("\r\nMaking new project for " + folder + " is failed.\r\n");
    if (at == std::string::npos)
        return {};
    const size_t end = std::min(log.find("\r\nProject ", at + 2), log.find("\r\nMaking new project for ", at + 2));
    return log.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// One study, and what the input made of it.
struct TStudy {
    std::string name, folder, aside, mark, input;
    // The files of the user laid in the earlier project, by relative path, with what they are.
    std::map<std::string, TWhat> userFiles;
    bool emptied = false;      // the study holds no CSI file now
    bool oddFiles = false;     // a FIFO or folder named like a CSI file is in the study
    bool openHere = false;     // its earlier project is open in this process
    bool uncarriable = false;  // a file or folder of the user's there that this user may not read
    bool unlistable = false;   // the folder at its name, or its own folder, cannot be listed by this user
};

// What stood at a study's name and aside before a run.
struct TBefore {
    TTree folder, aside;
    std::string folderIdentity;
    bool markValid = false;  // the mark names the folder in place and the one aside
};

TBefore Look(const TStudy& study)
{
    TBefore before{Tree(study.folder), Tree(study.aside), IdentityText(study.folder)};
    std::string mark;
    const std::string folder = IdentityText(study.folder), aside = IdentityText(study.aside);
    before.markValid = !folder.empty() && !aside.empty() && vx::ReadWholeFile(study.mark, mark, 128) &&
                       mark == folder + " " + aside;
    return before;
}

// Checks a study after a run against what stood there before it; `clean`: a run without
// an injected error, `noFlags`: on a file system without rename flags.
void CheckStudy(const TStudy& study, const TBefore& before, bool clean, bool noFlags)
{
    const TTree folder = Tree(study.folder), aside = Tree(study.aside);
    // The earlier project: in the study's folder, or aside with nothing in its place (the
    // run puts it back first). One aside beside a folder is kept, unless the mark says the
    // folder in place is the one a swap put there in its place.
    const TTree* earlier = IsProject(before.folder, study.name)                   ? &before.folder
                           : before.folder.empty() && !before.aside.empty() ? &before.aside
                                                                            : nullptr;
    const bool asideKept = !before.aside.empty() && !before.folder.empty() && !before.markValid;
    const bool mayReplace = !study.openHere &&
                            (before.folder.empty() || IsEmptyFolder(before.folder) || IsProject(before.folder, study.name));
    const bool replaced = IdentityText(study.folder) != before.folderIdentity;
    // The new project holds both sets; a study that holds none now gets a project without
    // any only where it replaces no earlier project and no CSI file of it failed.
    const bool noSet = study.emptied && (earlier || study.oddFiles);
    // A CSI file that a failed call kept from being read costs only its set, as the log says.
    std::string sets;
    for (const char* set : {"a", "b"})
        if (clean || LogOf(study.folder).find("Error: Fail to add CSI set " + std::string(set) + ".SPAR") ==
                         std::string::npos)
            (sets += sets.empty() ? "" : " ") += set;
    // So does an image file, after the sets.
    const bool image = g_image && !study.emptied &&
                       (clean || LogOf(study.folder).find("Error: Fail to add image i.PAR") == std::string::npos);
    const std::string expected = sets + (image ? std::string(sets.empty() ? "" : " ") + kImageName : "");
    bool isNew = false;
    std::optional<std::string> made;
    if (replaced && !folder.empty()) {
        made = ProjectSets(study.folder, study.name);
        isNew = made && (study.emptied ? made->empty() && !noSet : *made == expected && !sets.empty());
    }
    const std::string state = !replaced && folder == before.folder ? "as it was"
                              : isNew                               ? "new"
                              : folder.empty()                      ? "absent"
                              : earlier && folder == *earlier       ? "the earlier project"
                              : IsEmptyFolder(folder)               ? "an empty folder"
                                                                    : "damaged";
    const std::string name = study.name + (clean ? " (a run without an error)" : "");
    const bool earlierAside = earlier && aside == *earlier;
    if (state == "damaged")
        Fail(name + " is damaged" +
             (made ? ": its project holds \"" + *made + "\", not \"" + expected + "\"" : std::string()));
    if (state == "new" && !mayReplace)
        Fail(name + " is new, in place of what was no project of the study or is open");
    if (state == "absent" && earlier && !earlierAside)
        Fail(name + " is absent, and its earlier project does not wait aside as it was");
    if (state == "an empty folder" && !earlierAside)
        Fail(name + " is an empty folder, and its earlier project does not wait aside as it was");
    if (earlier && state != "new" && folder != *earlier && !earlierAside)
        Fail(name + " lost its earlier project");
    // What stood aside stays, but the earlier project put back (and replaced since), and
    // an older one that the mark says was replaced by the one in place; the folder the run
    // was to replace (the earlier project, an empty folder) may wait there.
    if (!aside.empty() || !before.aside.empty()) {
        const bool same = aside == before.aside;
        const bool putBack = earlier == &before.aside && aside.empty();
        const bool markedGone = before.markValid && !before.folder.empty() && aside.empty();
        const bool waiting = (earlier == &before.folder || IsEmptyFolder(before.folder)) && aside == before.folder;
        if (!same && !putBack && !markedGone && !waiting)
            Fail("what stood aside of " + name + " is " + (aside.empty() ? "gone" : "changed"));
    }
    for (const auto& file : study.userFiles) {
        const std::string& relative = file.first;
        const TWhat& was = file.second;
        const auto at = [&relative](const TTree& tree) {
            const auto it = tree.find(relative);
            return it == tree.end() ? nullptr : &it->second;
        };
        const TWhat *here = at(folder), *besides = at(aside);
        if ((here && *here == was) || (besides && *besides == was))
            continue;
        if (!here && !besides)
            Fail("the user's " + relative + " of " + name + " is lost");
        Fail("the user's " + relative + " of " + name + ", " + KindOf(was) + " of rights " + RightsText(was.mode) +
             ", is " + Changed(was, here ? *here : *besides) + (here ? "" : " aside"));
    }
    if (state != "new") {
        // Its line says it failed, or an error follows it; never that all went well.
        const std::string log = LogOf(study.folder);
        const bool said = log.starts_with("\r\nMaking new project for ") || log.find("Error: ") != std::string::npos;
        if (!said || log.find("No error or warning.") != std::string::npos)
            Fail("the log does not say why " + name + " is " + state);
        // Files that could not be looked for were so because a listing failed: said so.
        if (log.find("could not be looked for") != std::string::npos && log.find("cannot be listed") == std::string::npos)
            Fail("the log does not say that a folder of " + name + " cannot be listed");
    }
    if (!clean)
        return;
    const bool excused = !mayReplace || study.uncarriable || study.unlistable ||
                         noSet || (study.emptied && IsEmptyFolder(before.folder)) || (noFlags && asideKept);
    if (state != "new") {
        if (!excused)
            Fail(name + " is " + state);
        return;
    }
    const vx::TFolderListing output = vx::ListFolder(Places().output);
    if (!output.Whole())
        Fail("the output folder cannot be listed");
    for (const vx::TFolderEntry& entry : output.entries)
        if (entry.name.starts_with("." + study.name + ".") && !(asideKept && entry.name == vx::FileNameOf(study.aside)))
            Fail(entry.name + " is left beside " + name);
}

void Put(const std::string& path, std::string_view bytes)
{
    vx::TFile file;
    if (file.Open(path, vx::TFile::Mode::Write)) {
        file.Write(bytes.data(), bytes.size());
        file.Close();
    }
}

// Where a link of the user's points: never outside the target's own folder, which a tree
// removal that followed links would empty. A text of names joined by "/" after at most two
// "..", each taken from where the link lies (two levels below the run's folder at least:
// a study's folder, its build folder or one aside, or a folder in them), or after a "/",
// which stands for the run's folder; any other text points at a name beside the link that
// nothing has.
std::string LinkTarget(std::string_view text)
{
    std::string target = text.starts_with('/') ? Places().root : std::string();
    if (text.starts_with('/'))
        text.remove_prefix(1);
    int ups = 0;
    bool named = false;
    for (size_t at = 0; at <= text.size();) {
        const size_t end = std::min(text.find('/', at), text.size());
        const std::string_view name = text.substr(at, end - at);
        if (name == ".." && target.empty() && !named && ups < 2)
            ++ups;
        else if (vx::fuzz::UsableName(name))
            named = true;
        else
            return "u_nothing";
        at = end + 1;
    }
    return target.empty() ? std::string(text) : vx::JoinPath(target, std::string(text));
}

// Lays a file of the user's of the kind the byte picks (bits 0-6), its files of another
// group than the process's with bit 7.
void Lay(const std::string& path, uint8_t kind, std::string_view bytes)
{
    vx::MakeFolder(vx::FolderOf(path));
    const bool otherGroup = (kind & 0x80) != 0;
    const auto put = [&](const std::string& file) {
        Put(file, bytes);
        if (otherGroup)
            vx::fuzz::GiveRights(file, vx::fuzz::OtherGroup());
    };
    switch ((kind & 0x7f) % 5) {
    case 0: put(path); break;
    case 1: (void)::symlink(LinkTarget(bytes.substr(0, 200)).c_str(), path.c_str()); break;
    case 2: ::mkfifo(path.c_str(), 0600); break;
    case 3:
        vx::MakeFolder(path);
        put(path + "/inside");
        break;
    default:
        // Root reads it all the same, and the run carries it; an ordinary user's run cannot.
        put(path);
        ::chmod(path.c_str(), 0);
        break;
    }
}

// Whether this user may read everything at and below `path` (links not followed).
bool AllReadable(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISLNK(st.st_mode))
        return true;
    if (::access(path.c_str(), S_ISDIR(st.st_mode) ? R_OK | X_OK : R_OK) != 0)
        return false;
    if (!S_ISDIR(st.st_mode))
        return true;
    for (const std::string& name : NamesIn(path, st))
        if (!AllReadable(vx::JoinPath(path, name)))
            return false;
    return true;
}

// A phasing block of a macro file, its phases in degrees; `type` other than 1 names no
// step, and `unreadable` writes the first phase's line without its "=".
std::string PhasingBlock(const std::string& phase0, const std::string& phase1, int pivot, int type = 1,
                         bool unreadable = false)
{
    return "<action>\r\n#Phasing\r\ntype = " + std::to_string(type) + "\r\nConstantPhaseinDegree " +
           (unreadable ? "" : "= ") + phase0 + "\r\nLinearPhaseinDegree = " + phase1 + "\r\nPivot = " +
           std::to_string(pivot) + "\r\nIsMultiSlice = 0\r\nSliceIndex = 0\r\n</action>\r\n\r\n";
}

// The macro the four bytes choose: the first picks one phasing block (0), two, of which
// the second must rule (1), a block of a type no step has (2) or one with a line that does
// not read (3); then the zero-order phase in steps of 1.25 degrees and the first-order one
// in steps of 2.5 (signed bytes) and the pivot (0-7).
TMacro ChosenMacro(const uint8_t bytes[4])
{
    const double degrees0 = int8_t(bytes[1]) * 1.25, degrees1 = int8_t(bytes[2]) * 2.5;
    const std::string phase0 = vx::fuzz::Printed("%.2f", degrees0), phase1 = vx::fuzz::Printed("%.1f", degrees1);
    TMacro macro;
    macro.pivot = bytes[3] % 8;
    macro.phase0 = degrees0 * std::numbers::pi / 180.0;
    macro.phase1 = degrees1 * std::numbers::pi / 180.0;
    macro.text = kMacroHeader;
    switch (bytes[0] & 3) {
    case 0: macro.text += PhasingBlock(phase0, phase1, macro.pivot); break;
    case 1: macro.text += PhasingBlock(phase1, phase0, 7 - macro.pivot) + PhasingBlock(phase0, phase1, macro.pivot); break;
    case 2: macro.text += PhasingBlock(phase0, phase1, macro.pivot, 99); break;
    default: macro.text += PhasingBlock(phase0, phase1, macro.pivot, 1, true); break;
    }
    macro.wrongFormat = (bytes[0] & 3) >= 2;
    return macro;
}

// The PAR text of one 16-bit image line of the written image's size, and its REC file.
std::string ImageParText(const TWrittenImage& image)
{
    std::string text = "# === DATA DESCRIPTION FILE ======================\n#\n"
                       "# CLINICAL TRYOUT             Research image export tool     V4.2\n#\n"
                       ".    Patient name                       :   Batch\n"
                       ".    Examination name                   :   Batch\n"
                       ".    Protocol name                      :   batch\n"
                       ".    Examination date/time              :   2024.01.02 / 12:34:56\n"
                       ".    Repetition time [msec]             :   1000.00\n"
                       ".    Angulation midslice(ap,fh,rl)[degr]:   0.0000  0.0000  0.0000\n"
                       ".    Off Centre midslice(ap,fh,rl) [mm] :   0.0000  0.0000  0.0000\n#\n";
    std::vector<std::string> columns(41, "0");
    columns[6] = "1";
    columns[7] = "16";
    columns[9] = std::to_string(image.width);
    columns[10] = std::to_string(image.height);
    columns[22] = "5.0000";
    columns[25] = "1";
    columns[28] = columns[29] = "1.0000";
    for (const std::string& column : columns)
        text += " " + column;
    return text + "\n";
}

std::string RecBytes(const TWrittenImage& image)
{
    std::string rec;
    for (const int16_t v : image.pixels) {
        rec += char(uint16_t(v) & 0xff);
        rec += char(uint16_t(v) >> 8);
    }
    return rec;
}

// What the folder beside the studies holds, laid once.
const TTree& KeptTree()
{
    static const TTree tree = [] {
        const TPlaces& p = Places();
        vx::MakeFolder(vx::JoinPath(p.kept, "sub"));
        Put(vx::JoinPath(p.kept, "inside"), "beside the studies");
        Put(vx::JoinPath(p.kept, "sub/deeper"), "below them");
        return Tree(p.kept);
    }();
    return tree;
}

// No removal, of a run or of this target's own, may reach through a link into the folder
// beside the studies.
void CheckKept(const char* after)
{
    if (Tree(Places().kept) != KeptTree())
        Fail(std::string("the folder beside the studies, which links may point at, changed ") + after);
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
    Put(vx::JoinPath(p.root, "steps.mcr"), kMacroHeader);
    TBatchRun first = MakeRun("a.*");
    if (!first.Run() || g_bBatchError)
        Fail("the first run failed");
    fs::rename(p.output, p.pristine);
}

// Runs the batch with `faults` armed and checks every study against what stood there.
void RunAndCheck(std::array<TStudy, 2>& studies, const std::vector<vx::TFileFault>& faults, bool clean, bool noFlags)
{
    const std::array<TBefore, 2> before{Look(studies[0]), Look(studies[1])};
    TBatchRun run = MakeRun("*.SPAR, *.PAR");
    vx::fuzz::ClearReportTexts();
    vx::SetFileFaults(faults);
    const bool ran = run.Run();
    const bool struck = vx::FileFaultStruck();
    vx::SetFileFaults({});
    if (ran && g_macro.wrongFormat)
        Fail("a macro file of the wrong format was run");
    if (!ran) {
        // Refused before any study, only where the macro file could not be read or is of
        // the wrong format: saying so, and with every study as it was.
        const bool said = (struck && vx::fuzz::ReportedPath(run.m_strMacro)) ||
                          (g_macro.wrongFormat &&
                           vx::fuzz::Reported("Can not read from macro file " + run.m_strMacro + " because of wrong format."));
        if (!said)
            Fail("the run was refused");
        for (size_t k = 0; k < 2; ++k)
            if (Tree(studies[k].folder) != before[k].folder || Tree(studies[k].aside) != before[k].aside)
                Fail(studies[k].name + " changed in a run that was refused");
        return;
    }
    for (size_t k = 0; k < 2; ++k)
        CheckStudy(studies[k], before[k], clean, noFlags);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = [] {
        vx::fuzz::Prepare();
        InstallCSIReaderFactory([](uint32_t, const TCSIReadParams* p) -> TCSIReader* {
            if (!g_philipsFiles)
                return new TSmallSetReader(p);
            TCSIReadParams params = *p;
            params.m_nFormat = kSingleVoxelFormat;
            // Raw: the set holds the samples as its SDAT file gives them.
            params.m_bLoadRawData = 1;
            return CreateReader(kSingleVoxelFormat, &params);
        });
        InstallProcessing();
        RegisterImageReaders();
        std::error_code error;
        OpenUp(Places().root);
        fs::remove_all(Places().root, error);
        fs::remove_all(Places().pristine, error);
        vx::MakeFolder(Places().root);
        (void)KeptTree();
        MakePristine();
        return true;
    }();
    (void)ready;
    uint8_t system = 0, at = 0, layout[2] = {}, extra[2] = {};
    for (uint8_t* byte : {&system, &at, &layout[0], &layout[1], &extra[0], &extra[1]})
        if (!vx::fuzz::TakeByte(data, size, *byte))
            return 0;
    uint8_t macro[4] = {};
    if (extra[0] & 128)
        for (uint8_t& byte : macro)
            if (!vx::fuzz::TakeByte(data, size, byte))
                return 0;
    g_macro = (extra[0] & 128) ? ChosenMacro(macro) : TMacro{kMacroHeader};
    g_image.reset();
    if (extra[1] & 128) {
        uint8_t sizes = 0;
        if (!vx::fuzz::TakeByte(data, size, sizes))
            return 0;
        TWrittenImage image{1 + sizes % 4, 1 + (sizes >> 2) % 4, {}};
        for (int k = 0; k < image.width * image.height; ++k) {
            uint8_t low = 0, high = 0;
            if (!vx::fuzz::TakeByte(data, size, low) || !vx::fuzz::TakeByte(data, size, high))
                return 0;
            image.pixels.push_back(int16_t(uint16_t(low | high << 8)));
        }
        g_image = std::move(image);
    }
    const std::vector<std::string_view> parts = vx::fuzz::Sections(data, size, 1 + kFiles);
    g_philipsFiles = (system & 128) != 0;

    const TPlaces& p = Places();
    std::error_code error;
    // What the output folder holds: the first run's projects, where the layout keeps them.
    OpenUp(p.output);
    OpenUp(p.exams);
    Put(vx::JoinPath(p.root, "steps.mcr"), g_macro.text);
    vx::RemoveFolderTree(p.output);
    CheckKept("when the last input's output folder was removed");
    fs::copy(p.pristine, p.output, fs::copy_options::recursive, error);
    std::array<TStudy, 2> studies;
    for (size_t k = 0; k < 2; ++k) {
        TStudy& s = studies[k];
        s.name = kStudies[k];
        s.folder = vx::JoinPath(p.output, s.name);
        const std::string hidden = vx::JoinPath(p.output, "." + s.name);
        s.aside = hidden + ".batch-old";
        s.mark = hidden + ".batch-swap";
        s.input = vx::JoinPath(p.exams, s.name);
        const uint8_t bits = layout[k], more = extra[k];
        for (const char* file : {"f.SPAR", "d.SPAR", "a.SPAR", "b.SPAR", "a.sdat", "b.sdat", "i.PAR", "i.REC"})
            vx::RemoveFolderTree(vx::JoinPath(s.input, file));
        s.emptied = (more & 3) == 3;
        s.oddFiles = (bits & 0xc0) != 0;
        if (!s.emptied)
            for (const char* set : {"a", "b"}) {
                Put(vx::JoinPath(s.input, std::string(set) + ".SPAR"), g_philipsFiles ? kSparText : std::string());
                if (g_philipsFiles)
                    Put(vx::JoinPath(s.input, std::string(set) + ".sdat"), SdatOf(set));
            }
        if (g_image && !s.emptied) {
            Put(vx::JoinPath(s.input, "i.PAR"), ImageParText(*g_image));
            Put(vx::JoinPath(s.input, "i.REC"), RecBytes(*g_image));
        }
        if (bits & 0x40)
            ::mkfifo(vx::JoinPath(s.input, "f.SPAR").c_str(), 0600);
        if (bits & 0x80)
            vx::MakeFolder(vx::JoinPath(s.input, "d.SPAR"));
        if (!(bits & 1))
            vx::RemoveFolderTree(s.folder);
        // The files of the user in the earlier project, wherever it is.
        // What could be made (a link to nothing cannot).
        const auto record = [&](const std::string& relative) {
            const TWhat what = WhatIsAt(vx::JoinPath(s.folder, relative));
            if (!what.what.empty())
                s.userFiles[relative] = what;
        };
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
            const std::string base = (place & 2) ? s.folder : hidden + ".batch";
            if (vx::FolderExists(vx::JoinPath(base, relative)) || vx::FileExists(vx::JoinPath(base, relative)))
                continue;
            Lay(vx::JoinPath(base, relative), kind, part);
            if (place & 2) {
                record(relative);
                if ((kind & 0x7f) % 5 == 3)
                    record(relative + "/inside");
            }
        }
        if ((bits & 1) && (more & 12) == 12) {
            // A folder of the user's that no one may read.
            vx::MakeFolder(vx::JoinPath(s.folder, "u_closed"));
            Put(vx::JoinPath(s.folder, "u_closed/inside"), "kept closed");
            record("u_closed/inside");
            ::chmod(vx::JoinPath(s.folder, "u_closed").c_str(), 0);
            record("u_closed");
        }
        if ((bits & 3) == 3)
            fs::rename(s.folder, s.aside, error);
        if (bits & 4)
            vx::MakeFolder(s.folder);
        if (more & 32) {
            vx::MakeFolder(s.folder);
            Put(vx::JoinPath(s.folder, "u_own.txt"), "the user's own");
            if ((bits & 3) == 1)
                record("u_own.txt");
        }
        // An older project aside: the one a swap killed after the earlier project was put
        // in its place would have removed next.
        if ((more & 64) && (bits & 3) == 1)
            fs::copy(vx::JoinPath(p.pristine, s.name), s.aside, fs::copy_options::recursive, error);
        if (bits & 8)
            vx::MakeFolder(hidden + ".batch");
        if (bits & 16) {
            // In the private folder that carried it away, as a run leaves it.
            vx::MakeFolder(hidden + ".batch-gone.1.1/gone/.vexara");
            ::chmod((hidden + ".batch-gone.1.1").c_str(), 0700);
        }
        if (bits & 32) {
            std::string mark(parts[0]);
            const std::string named[] = {s.folder, s.aside, hidden + ".batch", p.output};
            for (int n = 0; n < 4; ++n)
                mark = Replaced(mark, "#" + std::to_string(n), IdentityText(named[n]));
            Put(s.mark, mark);
        }
        // A valid mark is only ever left by a swap that put its folder in place of the one
        // aside: one naming a folder the user made there is no state a run leaves.
        if (Look(s).markValid && !((more & 64) && (bits & 3) == 1))
            return 0;
        for (const auto& [relative, was] : s.userFiles)
            s.uncarriable = s.uncarriable || !AllReadable(vx::JoinPath(s.folder, relative));
        switch ((more >> 2) & 3) {
        case 1: ::chmod(s.folder.c_str(), 0311); break;
        case 2: ::chmod(s.folder.c_str(), 0); break;
        default: break;
        }
        switch (more & 3) {
        case 1: ::chmod(s.input.c_str(), 0311); break;
        case 2: ::chmod(s.input.c_str(), 0); break;
        default: break;
        }
        s.unlistable = (vx::FolderExists(s.folder) && ::access(s.folder.c_str(), R_OK | X_OK) != 0) ||
                       ::access(s.input.c_str(), R_OK | X_OK) != 0;
    }
    // The earlier projects open in the main window stay open through both runs.
    std::vector<std::unique_ptr<TProject>> windows;
    for (size_t k = 0; k < 2; ++k) {
        if (!(extra[k] & 16) || !vx::FileExists(vx::JoinPath(studies[k].folder, studies[k].name + ".tpj")))
            continue;
        auto project = std::make_unique<TProject>();
        g_pProject = project.get();
        studies[k].openHere = project->Load(vx::JoinPath(studies[k].folder, studies[k].name + ".tpj"));
        windows.push_back(std::move(project));
    }

    std::vector<vx::TFileFault> faults;
    const bool noFlags = (system & 1) != 0;
    // The file system's own faults first: where one meets an injected fault at a call, it
    // strikes, and the injected one fails the call after it.
    if (noFlags)
        faults.push_back({vx::kFileRenameFlags, EINVAL, 1, true});
    if (system & 2) {
        vx::TFileFault hide{vx::kFileRemove, 0, 1, true};
        hide.hidesOpenFiles = true;
        faults.push_back(hide);
    }
    if (system & 4)
        faults.push_back({vx::kFileLink, EXDEV, 1, true});
    constexpr unsigned kAnyCall = vx::kFileAnyWrite | vx::kFileRemove | vx::kFileLock | vx::kFileSyncFolder |
                                  vx::kFileList | vx::kFileRead | vx::kFileReadAt | vx::kFileSize |
                                  vx::kFileOpenRead | vx::kFileRights;
    switch ((system >> 3) & 7) {
    case 1: faults.push_back({vx::kFileAnyWrite, ENOSPC, int(at), true, true}); break;
    case 2: faults.push_back({vx::kFileAnyWrite, EIO, int(at), true, true}); break;
    case 3: faults.push_back({vx::kFileRemove, EBUSY, 1, true}); break;
    case 4: faults.push_back({vx::kFileAnyWrite, EIO, int(at), false, true}); break;
    case 5: faults.push_back({vx::kFileList, EIO, int(at), false}); break;
    case 6: faults.push_back({vx::kFileList, EACCES, int(at), true, true}); break;
    case 7:
        // With bit 7 of the second byte a read alone: the one after an open (a copy's).
        faults.push_back({(at & 128) ? unsigned(vx::kFileRead | vx::kFileReadAt) : kAnyCall, EIO, int(at & 127), false, true});
        break;
    default: break;
    }
    if (system & 64)
        faults.push_back({vx::kFileRename, EIO, int(at), false});
    // Only injected errors may cost a study; a file system without rename flags or links,
    // or one that keeps removed open files, may not.
    RunAndCheck(studies, faults, ((system >> 3) & 7) == 0 && !(system & 64), noFlags);
    CheckKept("in a run");
    RunAndCheck(studies, {}, true, false);
    CheckKept("in a run without a fault");
    windows.clear();
    g_pProject = nullptr;
    return 0;
}
