// Bringing data into the project and taking it out again: CSI sets through the reader
// factory with their checks against the images, images through the image readers, whole
// exam folders, removal of images and sets with their files, the zero-filled copy of a
// set and macro runs on the work set.
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "model/IMainFrame.h"
#include "model/ProcessingHooks.h"
#include "model/ReaderHooks.h"
#include "model/TCSIReader.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TFolderHold.h"
#include "model/TImageSet.h"
#include "model/TMap.h"
#include "model/TMapList.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/OpenToRead.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFileTransaction.h"
#include "platform/TFolderLock.h"
#include "platform/TReasonCollector.h"
#include "platform/TTextFile.h"
#include "platform/WaitCursor.h"

namespace {

// Format indices the exam scans use.
constexpr int32_t kPhilips2DSlicePreR11 = 2;
constexpr int32_t kPhilips2DMultiSlicePreR11 = 5;
constexpr int32_t kPhilips3DPreR11 = 8;
constexpr int32_t kGEPfile = 15;
// The GE formats identify the exam by its number, which they keep as the patient name.
constexpr int32_t kFirstGEFormat = 12;
constexpr int32_t kLastGEFormat = 16;

// Image types the exam scans use.
constexpr int32_t kImagePARREC = 0;
constexpr int32_t kImageGEDicom = 2;

// Two rotation elements agree when they differ by less than 0.005. The matrices are
// floats, so a difference meant as 0.005 may be stored a hair below it; the margin keeps
// such a difference counted while 0.0049 still agrees.
constexpr double kRotationTolerance = 0.005 - 1e-6;

std::string TrimBlanks(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool Contains(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

bool RotationsAgree(const TCSISet& set, const TMRImage& image)
{
    float imageRotation[9];
    image.GetRotation(imageRotation);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            if (std::fabs(double(set.m_fRotation[r][c]) - double(imageRotation[3 * r + c])) >= kRotationTolerance)
                return false;
    return true;
}

// The files among a folder's entries that match the pattern, sorted by name.
std::vector<std::string> FindFiles(const std::vector<vx::TFolderEntry>& entries, const std::string& pattern)
{
    std::vector<std::string> names;
    for (const vx::TFolderEntry& entry : entries)
        if (!entry.isFolder && vx::SearchPatternMatch(pattern, entry.name))
            names.push_back(entry.name);
    return names;
}

// The read block and image record an exam type uses; the rest stays 0.
struct TExamScan {
    const char* imagePattern;
    int32_t imageType;
    const char* csiPattern;
    int32_t format;
    int32_t dimensions;
    bool multiSlice;  // option byte 14
    bool geOptions;   // centre in x, flip the frequency axis, half voxel shift
};

// Exam types 0..3. The multi-slice format reads LIST/DATA files, so type 1 looks for those.
const TExamScan kExamScans[4] = {
    {"*.PAR", kImagePARREC, "*.SPAR", kPhilips2DSlicePreR11, 2, false, false},
    {"*.PAR", kImagePARREC, "*.LIST", kPhilips2DMultiSlicePreR11, 2, true, false},
    {"*.PAR", kImagePARREC, "*.LIST", kPhilips3DPreR11, 3, false, false},
    {"e*.*", kImageGEDicom, "P*.*", kGEPfile, 3, false, true},
};

TCSIReadParams ReadParamsOf(const TExamScan& scan)
{
    TCSIReadParams params;
    params.m_nFormat = scan.format;
    params.m_nSpatialDims = scan.dimensions;
    params.m_bSpare = scan.multiSlice ? 1 : 0;
    if (scan.geOptions) {
        params.m_bCenter[0] = 1;
        params.m_bFlipFrequency = 1;
        params.m_bHalfVoxelShift = 1;
    }
    return params;
}

TImageImportParams ImageParamsOf(const TExamScan& scan)
{
    TImageImportParams params;
    params.m_nImageType = scan.imageType;
    return params;
}

// One file of an exam and how its exam type reads it.
struct TExamFile {
    std::string folder, name;
    bool image;  // else a CSI set
};

// The files of one exam folder that the scan reads, in the order they are added: the
// images, then the CSI files, which are looked for only when there are images. The other
// files go to `passedOver`. False when either search finds nothing; a folder that cannot be
// listed is named in `failed` with why, as a file that cannot be added is.
bool ListExamFolder(const std::string& folder, const TExamScan& scan, std::vector<TExamFile>& files,
                    std::vector<std::string>& passedOver, std::string& failed)
{
    const vx::TFolderListing listing = vx::ListFolder(folder);
    if (!listing.Whole()) {
        failed += folder + " (its files cannot be listed: " + vx::ListingErrorReason(listing.error) + "); ";
        return false;
    }
    const std::vector<std::string> images = FindFiles(listing.entries, scan.imagePattern);
    std::vector<std::string> csiFiles;
    if (!images.empty())
        csiFiles = FindFiles(listing.entries, scan.csiPattern);
    std::set<std::string> taken;
    for (const std::string& name : images)
        if (!Contains(name, "SURVEY")) {
            files.push_back({folder, name, true});
            taken.insert(name);
        }
    for (const std::string& name : csiFiles) {
        files.push_back({folder, name, false});
        taken.insert(name);
    }
    for (const vx::TFolderEntry& entry : listing.entries)
        if (!entry.isFolder && !taken.count(entry.name))
            passedOver.push_back(entry.name);
    return !images.empty() && !csiFiles.empty();
}

// The files of the Add Exam dialog's entries that the exam type reads, in order, and the
// files it passes over: "[folder]" is scanned, anything else is a file taken by its name.
// Only a lower-case copy of the name is matched: the file is opened by its own name. A
// folder that cannot be listed is named in `failed`.
void ListExamFiles(const std::vector<std::string>& entries, int examType, std::vector<TExamFile>& files,
                   std::vector<std::string>& passedOver, std::string& failed)
{
    for (const std::string& entry : entries) {
        if (entry.empty())
            continue;
        const bool knownType = examType >= 0 && examType <= 3;
        if (entry.front() == '[') {
            if (knownType)
                ListExamFolder(entry.size() >= 2 ? entry.substr(1, entry.size() - 2) : std::string(),
                               kExamScans[examType], files, passedOver, failed);
            continue;
        }
        const std::string folder = vx::FolderOf(entry);
        const std::string file = vx::FileNameOf(entry);
        const std::string lower = vx::ToLowerAscii(file);
        const size_t before = files.size();
        if (knownType && examType == 3 && (lower.starts_with('e') || lower.starts_with('p'))) {
            files.push_back({folder, file, lower.front() == 'e'});
        } else if (knownType && examType != 3) {
            if (Contains(lower, ".par"))
                files.push_back({folder, file, true});
            if (Contains(lower, examType == 0 ? ".spar" : ".list"))
                files.push_back({folder, file, false});
        }
        if (files.size() == before && !file.empty())
            passedOver.push_back(file);
    }
}

// Adds one file of an exam: a failure is named in `failed` with its reasons, and each
// question names its file.
void AddExamFile(TProject& project, const TExamFile& file, const TExamScan& scan, std::string& failed)
{
    vx::AddNamingFailure(
        file.name, true,
        [&] {
            return file.image ? project.AddImages(file.folder, file.name, ImageParamsOf(scan))
                              : project.AddCSISet(file.folder, file.name, ReadParamsOf(scan));
        },
        failed);
}

// Reads as the batch run does, for a trial of files: no question is asked (companion files
// are taken beside a file by name), and what the readers report or write to the error
// stream is caught as the reasons of the file being read instead of shown. The batch state
// is as it was afterwards.
class TQuietReading {
public:
    TQuietReading()
        : m_log(std::exchange(g_batchLog, std::string())), m_error(g_bBatchError), m_batch(g_bBatchMode)
    {
        g_bBatchMode = true;
    }
    ~TQuietReading()
    {
        g_batchLog = std::move(m_log);
        g_bBatchError = m_error;
        g_bBatchMode = m_batch;
    }
    TQuietReading(const TQuietReading&) = delete;
    TQuietReading& operator=(const TQuietReading&) = delete;

    // True when `read` read the file; else false with what was said about it in `reasons`.
    bool Read(const std::function<bool()>& read, std::string& reasons)
    {
        g_batchLog.clear();
        vx::TReasonCollector collector;
        const bool done = read();
        collector.Finish();
        reasons.clear();
        std::string line;
        for (const char c : g_batchLog + "\n" + collector.Reasons()) {
            if (c != '\r' && c != '\n') {
                line += c;
                continue;
            }
            if (!line.empty())
                reasons += (reasons.empty() ? "" : "\n") + line;
            line.clear();
        }
        return done;
    }

private:
    std::string m_log;
    bool m_error;
    bool m_batch;
};

// The files an exam could not add go to the caller that takes them, or in one message.
void PassFailedFiles(const std::string& failed, std::string* taken)
{
    if (taken)
        *taken += failed;
    else if (!failed.empty())
        vx::Report(vx::FailedFilesMessage(failed), vx::ReportIcon::Exclamation);
}

}  // namespace

// --- adding --------------------------------------------------------------------------------

bool TProject::AddImages(const std::string& folder, const std::string& file, TImageImportParams params)
{
    // The images wait with their pixel files for the project file that lists them.
    if (NewFiles())
        return ModifiedWhenImagesAdded(
            [&](TImageSet& set) { return set.AddImages(vx::JoinPath(folder, file), params, this); });
    NoteAddWriteFailure();
    return false;
}

std::unique_ptr<TCSISet> TProject::ReadNewSet(const std::string& folder, const std::string& file,
                                             TCSIReadParams params, bool headerOnly)
{
    const std::string path = vx::JoinPath(folder, file);
    std::unique_ptr<TCSISet> set;
    {
        std::unique_ptr<TCSIReader> reader(CreateCSIReader(uint32_t(params.m_nFormat), &params));
        if (!reader)
            return nullptr;
        if (headerOnly)
            reader->ReadHeaderOnly();
        set.reset(reader->Read(path));
    }
    if (!set)
        return nullptr;
    set->SetProject(this);
    set->SetFolder(m_strFolder);
    const std::string name = set->GetName();
    // A set the project file cannot list and read back would leave a project that no
    // longer opens after its next save.
    if (!set->CanBeListed()) {
        vx::Report("The CSI set " + name + " was not added: the field of view, frequency, sweep width, grid or "
                       "orientation that " + path + " gives it cannot be used.",
                   vx::ReportIcon::Exclamation);
        return nullptr;
    }

    // The name is also the data-set file's name: it must be one file name that neither
    // another set, an image's pixel file nor the project file already uses.
    if (IsUnusableSetName(*set) || m_pCSISetList->FindByName(name) != nullptr) {
        vx::Report(name + " already exists.\r\n", vx::ReportIcon::Exclamation);
        return nullptr;
    }
    return set;
}

bool TProject::AddCSISet(const std::string& folder, const std::string& file, TCSIReadParams params)
{
    if (!BeginChange()) {
        NoteAddWriteFailure();
        return false;
    }
    std::unique_ptr<TCSISet> set = ReadNewSet(folder, file, params);
    if (!set)
        return false;
    const std::string name = set->GetName();
    if (!ConfirmIdentity(*set, params.m_nFormat) || !ConfirmGeometry(*set))
        return false;

    // The data-set file and the project file that lists it are one change: a set without
    // its file, or a file without its set, never stays. While the folder still holds the
    // project this one replaces, the file waits with the new images' for the first save.
    const std::string failure = "The CSI set " + name + " was not added";
    if (!m_bReplacing) {
        if (CommitNewSet(set, nullptr, failure))
            return true;
        NoteAddWriteFailure();
        return false;
    }
    vx::TFileTransaction* pending = NewFiles();
    if (!pending || !set->WriteDataFile(set->GetFilePath(), true, pending, NotDoneNote(failure))) {
        NoteAddWriteFailure();
        return false;
    }
    // Only the work set keeps its samples in memory; this one reads them back when chosen.
    set->FreeSpectra();
    m_pCSISetList->Add(set.release());
    SetFileModified();
    return true;
}

bool TProject::IsUnusableSetName(const TCSISet& set) const
{
    return !vx::IsSafeFileComponent(set.GetName()) || IsAnotherFile(set.GetFilePath(), &set);
}

bool TProject::IsAnotherFile(const std::string& path, const TCSISet* owner) const
{
    if (path == GetProjectFilePath())
        return true;
    // The program's own files in the folder.
    if (vx::FolderOf(path) == m_strFolder) {
        const std::string name = vx::FileNameOf(path);
        if (name == vx::FileNameOf(WorkFolder()) || name == vx::TFolderLock::FileName() ||
            name == vx::FileNameOf(OldSaveJournalPath()))
            return true;
    }
    for (const TMRImage* pImage : *m_pImageSet)
        if (pImage->GetPath() == path)
            return true;
    // The files of the records kept aside until they can be used again.
    for (const std::vector<TKeptRecord>* kept : {&m_pCSISetList->KeptRecords(), &m_pImageSet->KeptRecords()})
        for (const TKeptRecord& record : *kept)
            for (const std::string& name : record.files)
                if (vx::JoinPath(m_strFolder, name) == path)
                    return true;
    // The files of the other sets; a set of the owner's name is the owner or is replaced by it.
    for (const TCSISet* pSet : *m_pCSISetList) {
        if (owner && (pSet == owner || pSet->GetName() == owner->GetName()))
            continue;
        if (pSet->GetFilePath() == path)
            return true;
        std::vector<std::string> maps = pSet->ListedMapNames();
        if (pSet->m_pMapList)
            for (const TMap* pMap : *pSet->m_pMapList)
                maps.push_back(pMap->GetName());
        for (const std::string& mapName : maps)
            if (pSet->MapFilePath(mapName) == path)
                return true;
    }
    return false;
}

bool TProject::ConfirmIdentity(const TCSISet& set, int32_t format)
{
    if (m_pImageSet->IsEmpty())
        return true;
    const std::string patient = TrimBlanks(set.m_strPatientName);
    bool patientDiffers = false;
    bool dateDiffers = false;
    for (const TMRImage* pImage : *m_pImageSet) {
        if (TrimBlanks(pImage->GetInfoText(TMRImage::InfoPatientName)) != patient)
            patientDiffers = true;
        if (pImage->GetInfoText(TMRImage::InfoExamDate) != set.m_strExamDate)
            dateDiffers = true;
        if (patientDiffers && dateDiffers)
            break;
    }
    const std::string name = set.GetName();
    if (patientDiffers) {
        const bool examNumber = format >= kFirstGEFormat && format <= kLastGEFormat;
        if (g_bBatchMode) {
            vx::AppendBatchLog(std::string(examNumber ? "Warning: Exam number of CSI set " : "Warning: Patient name of CSI set ") +
                               name + " is not matched with images.\r\n");
        } else if (vx::Ask(std::string(examNumber ? "Exam number" : "Patient name") +
                               " is not matched with that of the images! Would you like to continue adding the new CSI set?",
                           vx::ReportButtons::YesNo, vx::ReportAnswer::Yes) == vx::ReportAnswer::No) {
            return false;
        }
    }
    if (dateDiffers) {
        if (g_bBatchMode) {
            vx::AppendBatchLog("Warning: Exam date of CSI set " + name + " is not matched with images.\r\n");
        } else if (vx::Ask("Exam date is not matched with that of the images! Would you like to continue adding the new CSI set?",
                           vx::ReportButtons::YesNo, vx::ReportAnswer::Yes) == vx::ReportAnswer::No) {
            return false;
        }
    }
    return true;
}

bool TProject::ConfirmGeometry(const TCSISet& set)
{
    for (const TMRImage* pImage : *m_pImageSet) {
        if (RotationsAgree(set, *pImage))
            continue;
        // Only the first image that disagrees is reported.
        if (g_bBatchMode) {
            vx::AppendBatchLog("Warning: geometry of CSI set " + set.GetName() + " is not consistent with images. \r\n");
            return true;
        }
        return vx::Ask("Image and CSI geometries are not consistent! Misregistration would happen! Would you like to "
                       "continue adding the CSI set?",
                       vx::ReportButtons::YesNo, vx::ReportAnswer::No) != vx::ReportAnswer::No;
    }
    return true;
}

void TProject::ExamTypeParams(int examType, TCSIReadParams& block, TImageImportParams& record)
{
    block = TCSIReadParams{};
    record = TImageImportParams{};
    if (examType < 0 || examType > 3)
        return;
    block = ReadParamsOf(kExamScans[examType]);
    record = ImageParamsOf(kExamScans[examType]);
}

bool TProject::AddExamFolder(const std::string& folder, int examType, std::string* failedFiles)
{
    if (examType < 0 || examType > 3)
        return true;
    std::vector<TExamFile> files;
    std::vector<std::string> passedOver;
    std::string failed;
    const bool complete = ListExamFolder(folder, kExamScans[examType], files, passedOver, failed);
    for (const TExamFile& file : files)
        AddExamFile(*this, file, kExamScans[examType], failed);
    PassFailedFiles(failed, failedFiles);
    return complete;
}

bool TProject::AddExam(const std::vector<std::string>& entries, int examType, std::string* failedFiles)
{
    if (entries.empty())
        return false;
    std::vector<TExamFile> files;
    std::vector<std::string> passedOver;
    std::string failed;
    ListExamFiles(entries, examType, files, passedOver, failed);
    for (const TExamFile& file : files)
        AddExamFile(*this, file, kExamScans[examType], failed);
    PassFailedFiles(failed, failedFiles);
    return true;
}

TProject::TExamTrial TProject::TryExam(const std::vector<std::string>& entries, int examType) const
{
    TExamTrial trial;
    std::vector<TExamFile> files;
    ListExamFiles(entries, examType, files, trial.notRead, trial.failed);
    if (files.empty())
        return trial;
    // The files are read into a project that stands for the exam's: of this folder and
    // name, empty, and writing nothing. A CSI file is read as far as tells whether it can
    // be added (its headers and the size of its samples): the add reads it again, after
    // the questions, and a large set read twice would double the time Add Exam takes.
    TProject exam;
    exam.m_strFolder = m_strFolder;
    exam.m_strName = m_strName;
    exam.m_pImageSet->TryFilesOnly();
    TQuietReading quiet;
    const TExamScan& scan = kExamScans[examType];
    for (const TExamFile& file : files) {
        std::string reasons;
        const bool read = quiet.Read(
            [&] {
                return file.image ? exam.m_pImageSet->AddImages(vx::JoinPath(file.folder, file.name),
                                                                ImageParamsOf(scan), &exam)
                                  : exam.ReadNewSet(file.folder, file.name, ReadParamsOf(scan), true) != nullptr;
            },
            reasons);
        // One file that can be added is enough to go on: the exam is then added as usual.
        if (read) {
            trial.anyAddable = true;
            break;
        }
        trial.failed += file.name + (reasons.empty() ? "" : " (" + reasons + ")") + "; ";
    }
    return trial;
}

std::string TProject::ExamBringsNothingMessage(int examType, const std::string& failed,
                                               const std::vector<std::string>& notRead)
{
    std::string text = "No image or CSI set of the exam could be added: the project is unchanged.";
    if (!failed.empty())
        (text += '\n') += vx::FailedFilesMessage(failed);
    if (notRead.empty())
        return text;
    // A folder may hold many files of other kinds: the first are named, the rest counted.
    constexpr size_t kNamed = 10;
    text += "\nThese files were not looked at: ";
    for (size_t k = 0; k < notRead.size() && k < kNamed; ++k)
        text += (k == 0 ? "" : "; ") + notRead[k];
    if (notRead.size() > kNamed)
        text += " and " + std::to_string(notRead.size() - kNamed) + " more";
    text += ". ";
    static const char* const kKinds[4] = {
        "images from PAR files and CSI sets from SPAR files",
        "images from PAR files and CSI sets from LIST files",
        "images from PAR files and CSI sets from LIST files",
        "images from files whose names begin with \"e\" and CSI sets from files whose names begin with \"P\""};
    if (examType < 0 || examType > 3)
        return text + "The exam type is not known.";
    return text + "This exam type takes only " + kKinds[examType] +
           "; in a folder, images named SURVEY are passed over, and CSI files are looked for only when it holds "
           "images.";
}

// --- removing ------------------------------------------------------------------------------

void TProject::RemoveImage(TMRImage* pImage)
{
    if (m_pImageSet->Contains(pImage))
        RemoveImages({pImage});
}

void TProject::RemoveImages(const std::vector<TMRImage*>& images)
{
    // The pixel files go with the project file that no longer lists the images, as one
    // change; a failure keeps the images and their files.
    const std::vector<TMRImage*> before = m_pImageSet->Images();
    const std::unique_ptr<vx::TFileTransaction> change = BeginChange();
    if (!change)
        return;
    vx::TFileTransaction& transaction = *change;
    std::vector<TMRImage*> taken;
    for (TMRImage* pImage : images) {
        const TImageSet::iterator pos = m_pImageSet->Find(pImage);
        if (pos == m_pImageSet->End())
            continue;
        m_pImageSet->Erase(pos);
        if (vx::FolderOf(pImage->GetPath()) == m_strFolder)
            transaction.Remove(pImage->GetPath());
        taken.push_back(pImage);
    }
    const std::string failure = taken.size() == 1 ? "The image " + taken.front()->GetName() + " was not removed"
                                                  : "The images were not removed";
    if (!CommitWithProjectFile(transaction, failure)) {
        m_pImageSet->SetImages(before);
        return;
    }
    for (TMRImage* pImage : taken) {
        // Every frame that shows the image goes, not only the first.
        while (CloseImageFrame(pImage)) {
        }
        DetachFromImage(pImage);
        delete pImage;
    }
    if (!taken.empty()) {
        // Slice frames may have shown the image behind the CSI grid.
        RefreshSliceFrameImages();
        UpdateFrames(false, false, false, false, true);
    }
    ProjectFileSaved(false);
}

bool TProject::RemoveWorkSetMap(TMap* pMap)
{
    TCSISet* pSet = m_pWorkSet;
    if (!pSet || !pSet->m_pMapList ||
        std::find(pSet->m_pMapList->begin(), pSet->m_pMapList->end(), pMap) == pSet->m_pMapList->end())
        return false;
    const int32_t state = pMap->GetState();
    if (state != TMap::kNeverSaved) {
        // A map that was never saved has no file, and the project file does not name it:
        // written so, the project file names the map no longer.
        const std::string path = pSet->MapFilePath(pMap->GetName());
        const std::string failure = "The map " + pMap->GetName() + " was not removed";
        const std::unique_ptr<vx::TFileTransaction> change = BeginChange();
        if (!change)
            return false;
        vx::TFileTransaction& transaction = *change;
        if (vx::IsSafeFileComponent(pMap->GetName()) && vx::FolderOf(path) == m_strFolder)
            transaction.Remove(path);
        pMap->SetState(TMap::kNeverSaved);
        if (!CommitWithProjectFile(transaction, failure)) {
            pMap->SetState(state);
            return false;
        }
    }
    return pSet->m_pMapList->Remove(pMap);
}

bool TProject::RemoveCSISet(TCSISet* pSet)
{
    const TCSISetList::iterator pos = m_pCSISetList->Find(pSet);
    if (pos == m_pCSISetList->End())
        return false;
    if (vx::Ask("Are you sure you want to remove the set " + pSet->GetName() + " from the project?",
                vx::ReportButtons::YesNo, vx::ReportAnswer::Yes) != vx::ReportAnswer::Yes)
        return false;
    // The set's files go with the project file that no longer lists it, as one change;
    // a failure keeps the set, its files and the work set as they were.
    const std::unique_ptr<vx::TFileTransaction> change = BeginChange();
    if (!change)
        return false;
    vx::TFileTransaction& transaction = *change;
    RemoveSetFiles(transaction, *pSet, std::string());
    const TCSISetList::iterator next = m_pCSISetList->Erase(pos);
    if (!CommitWithProjectFile(transaction, "The CSI set " + pSet->GetName() + " was not removed")) {
        m_pCSISetList->Insert(next, pSet);
        return false;
    }
    if (pSet == m_pWorkSet)
        DropWorkSet();
    DetachFromSet(pSet);
    delete pSet;
    ProjectFileSaved(false);
    return true;
}

void TProject::ZeroFillCSISet(TCSISet* pSet, const int size[3])
{
    if (!pSet || !m_pWorkSet)
        return;
    if (size[0] == pSet->m_nDim[0] && size[1] == pSet->m_nDim[1] && size[2] == pSet->m_nDim[2])
        return;
    // Only the work set has its samples in memory.
    if (pSet != m_pWorkSet || !pSet->IsLoaded()) {
        vx::Report("The CSI set needs to be work set.", vx::ReportIcon::Exclamation);
        return;
    }
    vx::TWaitCursor wait;
    std::unique_ptr<TCSISet> copy = pSet->CreateZeroFilledSet(size[0], size[1], size[2]);
    if (!copy)
        return;
    AddReplacingSet(std::move(copy), false);
}

bool TProject::AddReplacingSet(std::unique_ptr<TCSISet> copy, bool keepModified)
{
    if (!copy)
        return false;
    copy->SetProject(this);
    copy->SetFolder(m_strFolder);
    // A set of that name is replaced below; any other file of that name is kept.
    if (IsUnusableSetName(*copy)) {
        vx::Report(copy->GetName() + " already exists.\r\n", vx::ReportIcon::Exclamation);
        return false;
    }
    // The copy's file, the old set's files and the project file change as one: a failure
    // keeps the project as it was.
    TCSISet* pOld = m_pCSISetList->FindByName(copy->GetName());
    if (!CommitNewSet(copy, pOld, "The CSI set " + copy->GetName() + " was not added"))
        return false;
    if (m_pMainFrame)
        m_pMainFrame->ShowProjectExplorer();
    ProjectFileSaved(keepModified);
    return true;
}

bool TProject::CommitNewSet(std::unique_ptr<TCSISet>& pNew, TCSISet* pOld, const std::string& failure)
{
    const std::unique_ptr<vx::TFileTransaction> change = BeginChange();
    if (!change)
        return false;
    vx::TFileTransaction& transaction = *change;
    if (!pNew->WriteDataFile(pNew->GetFilePath(), true, &transaction, NotDoneNote(failure)))
        return false;
    // Only the work set keeps its samples in memory.
    pNew->FreeSpectra();
    TCSISetList::iterator next = m_pCSISetList->End();
    if (pOld) {
        RemoveSetFiles(transaction, *pOld, pNew->GetFilePath());
        next = m_pCSISetList->Erase(m_pCSISetList->Find(pOld));
    }
    m_pCSISetList->Add(pNew.get());
    if (CommitWithProjectFile(transaction, failure)) {
        pNew.release();
        if (pOld)
            ReleaseReplacedSet(pOld);
        return true;
    }
    m_pCSISetList->Erase(m_pCSISetList->Find(pNew.get()));
    if (pOld)
        m_pCSISetList->Insert(next, pOld);
    return false;
}

void TProject::ReleaseReplacedSet(TCSISet* pOld)
{
    if (pOld == m_pWorkSet)
        DropWorkSet();
    DetachFromSet(pOld);
    if (m_pMainFrame) {
        m_pMainFrame->RemoveCSISetItem(pOld);
        m_pMainFrame->ShowProjectExplorer();
    }
    delete pOld;
}

bool TProject::RunMacroFile(const std::string& path)
{
    if (!m_pWorkSet)
        return false;
    vx::TWaitCursor wait;
    vx::TTextFile file;
    if (!file.Open(path, vx::TTextFile::Mode::Read)) {
        vx::Report("Can not open macro file: " + path + vx::NotAFileNote(file.NotAFile()), vx::ReportIcon::Exclamation);
        return false;
    }
    const TProcessingHooks& hooks = ProcessingHooks();
    TProcessStep* pStep = hooks.newMacroStep ? hooks.newMacroStep(m_bRecording, m_pWorkSet) : nullptr;
    // The application installs the processing hooks at start-up; only the core library used
    // on its own (without the processing library) gets here.
    if (!pStep || !hooks.readMacro || !hooks.applyStep) {
        if (pStep && hooks.deleteStep)
            hooks.deleteStep(pStep);
        vx::Report("Can not run macro file " + path + " because the processing library is not installed.",
                   vx::ReportIcon::Exclamation);
        return false;
    }
    // A file that failed while it was read would run only the steps before the failure.
    const bool read = hooks.readMacro(pStep, file) && !file.Failed();
    if (!read) {
        const bool failed = file.Failed();
        const int error = file.LastError();
        file.Close();
        if (hooks.deleteStep)
            hooks.deleteStep(pStep);
        vx::Report(failed ? vx::NotReadToEndText("Macro file", path, error)
                          : "Can not run macro file " + path + " because of wrong format.",
                   vx::ReportIcon::Exclamation);
        return false;
    }
    file.Close();
    bool applied = false;
    try {
        applied = hooks.applyStep(pStep, m_pWorkSet);
    } catch (...) {
        // The step has put the set back; it is not recorded.
        if (hooks.deleteStep)
            hooks.deleteStep(pStep);
        throw;
    }
    // A macro none of whose steps took effect left the set as it was: nothing to undo.
    if (hooks.macroIsEmpty && hooks.macroIsEmpty(pStep)) {
        if (hooks.deleteStep)
            hooks.deleteStep(pStep);
        return false;
    }
    // Recorded even when a step failed: what the others changed stays undoable, and is
    // offered for saving like a step applied from a voxel window.
    RecordStep(pStep, true);
    m_pWorkSet->SetModified();
    ShowWorkSetInfo();
    ResetSpectrumDisplay(true);
    const bool hasMaps = m_pWorkSet->HasMaps();
    m_pWorkSet->UpdateMaps();
    UpdateFrames(true, hasMaps, false, false, false);
    UpdateRegionEstimates();
    if (m_pMainFrame) {
        m_pMainFrame->RefreshVoxelWindows();
        m_pMainFrame->RefreshRegionWindows();
    }
    return applied;
}

// --- helpers -------------------------------------------------------------------------------

void TProject::DropWorkSet()
{
    TCSISet* pSet = m_pWorkSet;
    if (!pSet)
        return;
    CloseImageFrames();
    if (m_pMainFrame)
        m_pMainFrame->CloseAllChildWindows();
    pSet->FreeSpectra();
    pSet->m_bWorkSet = 0;
    m_pWorkSet = nullptr;
    LocateImagesInWorkSet();
    m_bModified = false;
    // The steps of the history and the estimates work on the set that goes.
    if (m_history && ProcessingHooks().clear)
        ProcessingHooks().clear(m_history);
    NotifyHistoryChanged();
    ClearRegionEstimates();
}

namespace {

// Takes the elements for which `uses` holds out of the container and returns them.
template <class Container, class Predicate>
std::vector<typename Container::value_type> TakeOut(Container& container, Predicate uses)
{
    std::vector<typename Container::value_type> taken;
    for (auto it = container.begin(); it != container.end();) {
        if (uses(*it)) {
            taken.push_back(*it);
            it = container.erase(it);
        } else {
            ++it;
        }
    }
    return taken;
}

// An object whose question has no hook counts as referring to the set or image.
template <class Hook, class Object, class Target>
bool Uses(const Hook& hook, Object* pObject, const Target* pTarget)
{
    return !hook || hook(pObject, pTarget);
}

}  // namespace

void TProject::DetachFromSet(const TCSISet* pSet)
{
    const TProcessingHooks& hooks = ProcessingHooks();
    const std::vector<TAnalysis*> analyses =
        TakeOut(m_analyses, [&](TAnalysis* p) { return Uses(hooks.analysisUsesSet, p, pSet); });
    const std::vector<TRegionEstimate*> estimates =
        TakeOut(m_regionEstimates, [&](TRegionEstimate* p) { return Uses(hooks.estimateUsesSet, p, pSet); });
    // Their windows would point at them.
    if ((!analyses.empty() || !estimates.empty()) && m_pMainFrame)
        m_pMainFrame->CloseAllChildWindows();
    for (TAnalysis* pAnalysis : analyses)
        DeleteAnalysis(pAnalysis);
    for (TRegionEstimate* pEstimate : estimates)
        if (hooks.deleteEstimate)
            hooks.deleteEstimate(pEstimate);
}

void TProject::DetachFromImage(const TMRImage* pImage)
{
    const TProcessingHooks& hooks = ProcessingHooks();
    const std::vector<TRegionEstimate*> estimates =
        TakeOut(m_regionEstimates, [&](TRegionEstimate* p) { return Uses(hooks.estimateUsesImage, p, pImage); });
    if (!estimates.empty() && m_pMainFrame)
        m_pMainFrame->CloseAllChildWindows();
    for (TRegionEstimate* pEstimate : estimates)
        if (hooks.deleteEstimate)
            hooks.deleteEstimate(pEstimate);
    for (auto& [key, pRegion] :
         TakeOut(m_drawnRegions, [&](const auto& entry) { return Uses(hooks.regionUsesImage, entry.second, pImage); }))
        if (hooks.deleteRegion)
            hooks.deleteRegion(pRegion);
}

std::vector<std::string> TProject::FilesOfSet(const TCSISet& set) const
{
    // A name that is not one file name never named a file of this set; a file outside the
    // project folder is not the project's.
    std::vector<std::string> paths;
    if (vx::FolderOf(set.GetFilePath()) == m_strFolder)
        paths.push_back(set.GetFilePath());
    for (const std::string& mapName : set.ListedMapNames())
        if (vx::IsSafeFileComponent(mapName) && vx::FolderOf(set.MapFilePath(mapName)) == m_strFolder)
            paths.push_back(set.MapFilePath(mapName));
    return paths;
}

void TProject::RemoveSetFiles(vx::TFileTransaction& transaction, const TCSISet& set, const std::string& keep) const
{
    for (const std::string& path : FilesOfSet(set))
        if (path != keep)
            transaction.Remove(path);
    // The new file saved over the set's own replaces it, also while it waits for the first save.
    if (const vx::TFileTransaction* waiting = m_hold->WaitingFiles(); waiting && !waiting->StagedFileOf(keep).empty())
        transaction.TakeOver(keep);
}

std::vector<std::string> TProject::ListedFiles() const
{
    // The project file in the folder does not list a new file that waits for the next
    // one, and still lists those the next one is to remove; a file of that name in the
    // folder is not this project's.
    const vx::TFileTransaction* waiting = m_hold->WaitingFiles();
    std::vector<std::string> paths = waiting ? waiting->Removals() : std::vector<std::string>();
    const auto add = [&](const std::string& path) {
        if (vx::FolderOf(path) == m_strFolder && PathToRead(path) == path)
            paths.push_back(path);
    };
    for (const TMRImage* pImage : *m_pImageSet)
        add(pImage->GetPath());
    for (const TCSISet* pSet : *m_pCSISetList)
        for (const std::string& path : FilesOfSet(*pSet))
            add(path);
    return paths;
}
