#pragma once
// The open project, the program's document: its images, CSI sets, open image frames,
// processing history, analyses, drawn regions and region estimates, the spectrum display
// block, the work set and the handler of the current work mode. One at a time, reached
// through g_pProject.
//
// The project calls up into the GUI through IMainFrame and IImageFrameList; a project
// made without a main frame (tests, batch helpers) skips those calls. The history,
// analyses, drawn regions and region estimates are processing-library objects that the
// project drives and deletes through ProcessingHooks().
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/IImageFrameList.h"
#include "model/TCSIReadParams.h"
#include "model/TImageImportParams.h"
#include "model/TMouseEvent.h"
#include "model/TSpectrumDisplayParams.h"
#include "platform/Files.h"

namespace vx {
class TFile;
class TFileTransaction;
class TFolder;
}

class CChildFrame;
class IMainFrame;
class TAnalysis;
class TCSISet;
struct TCSIParams;
class TCSISetList;
class TDrawnRegion;
class TFolderHold;
struct TStateFile;
class TImageSet;
class TMap;
class TMapList;
class TMRImage;
struct TPoint2D;
class TProcessHistory;
class TProcessStep;
class TRegionEstimate;
class TSpectrum;

class TProject {
public:
    // The version word of the project files this program writes.
    static constexpr int32_t kFileVersion = 9;

    explicit TProject(IMainFrame* pMainFrame = nullptr);
    virtual ~TProject();
    TProject(const TProject&) = delete;
    TProject& operator=(const TProject&) = delete;

    // --- creating, saving and loading (TProjectFile.cpp) -------------------------------
    // False (nothing changed) for an empty name or one that begins with "~". Otherwise
    // takes folder and name, creates the folder, takes the "Select voxel" handler,
    // resets the display block and saves; false when the folder or file cannot be made.
    bool Create(const std::string& folder, const std::string& name);
    // The same in the folder open as `folder`, made for the project and not made again: its
    // lock is taken on that folder, which its path must still name (TFolderHold::Take).
    bool Create(const vx::TFolder& folder, const std::string& name);
    // Says that the project `name` cannot be created because its folder could not be made,
    // `error` saying why.
    static void ReportFolderNotMade(const std::string& name, const std::string& folder, int error);
    // Marks this project as one built aside, to be put in place whole or dropped (a batch
    // study's): a change of it that fails part way goes with the build, and its message
    // does not say that it is completed when the project is opened again. Built in place of
    // the project of the same name in the folder open as `replaced` (none: null), its new
    // files take the rights of that project's file, read through that folder's descriptor,
    // as a save of that project would give them.
    void BuildAside(const vx::TFolder* replaced);
    // The same for a project made without a main frame: it takes this one (and its
    // frame list) first.
    bool Create(const std::string& folder, const std::string& name, IMainFrame* pMainFrame);
    // What a project made in place of another takes over from it: its folder and name, the
    // files the project file there lists (ListedFiles), and the hold of the folder.
    struct TPlace {
        std::string folder, name;
        std::vector<std::string> replaced;
        std::unique_ptr<TFolderHold> hold;
    };
    // Gives this project's place to a project made in it (CreateInPlaceOf), as the first
    // step of a change of the folder; after it this project writes nothing there. Empty,
    // after saying why, when the folder is no longer the one this project holds.
    std::optional<TPlace> HandOverPlace();
    // Starts the project as Create does, in the place of the project handed over, but
    // neither makes the folder nor writes anything: that project stays in the folder until
    // this one's project file is first saved, which removes its files in the same change.
    // Until then sets added wait in the work folder as new images do.
    bool CreateInPlaceOf(TPlace place);
    // The files in the project folder that the project file there lists: the images' pixel
    // files and the sets' data-set and map files.
    std::vector<std::string> ListedFiles() const;
    // Opens a project file (enclosing double quotes removed); false after its messages.
    bool Load(std::string path);
    // Writes folder/name.tpj: the project file is saved, and so is the project unless its
    // work set has changes of its own, which stay to be saved or given up. False
    // (reported, flags kept) when the file cannot be written.
    bool Save();
    // The same without touching the work set's modified flag.
    bool SaveKeepModified();
    // Saves the project under location + name (location ends in a separator).
    bool SaveAs(const std::string& location, const std::string& name);
    // De-identifies every image and CSI set in memory.
    void Anonymize();
    // De-identifies the project and saves the work set (asking about its maps), its maps
    // and the project file as one change; the project stays de-identified. False when the
    // save failed (reported): the names are as they were.
    bool SaveDeidentified();
    // The file body: header, image records, CSI set records. False when a write failed.
    bool WriteStream(vx::TFile& file);
    // Writes folder/fileName (in a transaction: put in place with its other files); a
    // folder other than the project's writes nothing (true).
    bool WriteProjectFile(const std::string& folder, const std::string& fileName,
                          vx::TFileTransaction* transaction = nullptr);
    // Reads the body into this project; false for a short header or a version outside 0..9.
    bool ReadStream(vx::TFile& file);
    // True when the file opens and every part of it reads completely (nothing is built).
    // Otherwise *refusal (when given) is the message that refuses the open: "Error: Invalid
    // Project File" for a file that does not read as a project file (with what stood there
    // instead of a file), and why for one that cannot be opened: its folder missing or
    // unreachable, the file missing, or a file this user may not read and whom to ask.
    static bool CheckProjectFile(std::string path, std::string* refusal = nullptr);
    // Rewrites the data-set, map and pixel files of an older project in the newest
    // layout and saves the project file; false (old project file kept) when any failed.
    // Every file is staged first, and `ready` runs before the change is committed: a
    // conversion that fails before says so in one message, naming each file and why, and
    // nothing else the files' reads and writes said.
    bool ConvertOldVersion(const std::function<void()>& ready = {});

    // --- state ---------------------------------------------------------------------------
    // Writes the work set's data-set file, its map files (asking first with `ask`) and,
    // for a project with a name, the project file as one change: a failure, or a process
    // killed at any moment, leaves every file as it was or all of them new. The history
    // stops offering undo only once all are in place. False (reported) when any failed.
    bool SaveWorkSet(bool ask);
    // SaveWorkSet, then the project file when that did not write it already: the project
    // is saved (modified flag cleared) or, false (reported), left to be saved.
    bool SaveWorkSetAndProject(bool ask);
    // When modified asks whether to save; false when the user said Yes and saving failed.
    bool SaveIfModified();
    // True marks the work set changed; false marks everything saved.
    void SetModified(bool modified)
    {
        m_bModified = modified;
        if (!modified)
            m_bFileModified = false;
    }
    // Only the project file's content changed (images, their settings): saving the project
    // file saves it.
    void SetFileModified() { m_bFileModified = true; }
    bool IsFileModified() const { return m_bFileModified; }
    bool IsModified() const { return m_bModified || m_bFileModified; }
    // True while the folder at the project's path is the one its hold holds, looked at
    // without a word: a save would not be refused for the folder's sake.
    bool HoldsItsFolder() const;
    std::string GetFolder() const { return m_strFolder; }
    // Begins a change of the project folder: every write and removal there goes through
    // the transaction it gives (or through NewFiles, which begins the same way). Null,
    // after saying so, when the folder's hold refuses it (TFolderHold::KeepForChange: the
    // folder was renamed, moved, removed or replaced while open, another program took or
    // changed it, or it cannot be written): nothing may be written there then, or the
    // project would be split between two folders or overwrite another program's work.
    std::unique_ptr<vx::TFileTransaction> BeginChange();
    // Commits a change of the project folder, completing first a change this program left
    // unfinished. True when the change holds: made, or (rarely) decided and completed
    // when the project is opened again; with `untilInPlace`, a change whose new files are
    // not in place yet does not count (a save the caller does not take for done). A
    // failure is reported as `failure` followed by the file concerned, the call that
    // failed and why; a change that holds all the same, as done, and what is left.
    bool CommitChange(vx::TFileTransaction& transaction, const std::string& failure, bool untilInPlace = false);
    // False for a project opened from a folder it cannot write (read-only media, where no
    // lock file can be made): the commands that would change the folder are not offered.
    bool FolderCanBeWritten() const;
    // Why not, to follow "because": "its folder cannot be written: the folder or file is
    // write-protected"; empty while the folder can be written.
    std::string WhyFolderCannotBeWritten() const;
    // The files written for the project that no project file in the folder lists yet (the
    // pixel files of new images; in a project made by CreateInPlaceOf also the data-set files
    // of new sets, and the replaced project's files to remove): staged in the work folder,
    // they are put in place with the next project file written there, and removed with the
    // project when none is. Null, as BeginChange, when the folder is not the one held.
    vx::TFileTransaction* NewFiles();
    // Gives up the new file staged for that path (removed where the folder is held).
    void DiscardNewFile(const std::string& path);
    // Where a file of the project is read now, to name it: the file staged for it among the
    // new files, else the path itself.
    std::string PathToRead(const std::string& path) const;
    // Opens that file to read (TFile::Open), a staged one through the work folder's
    // descriptor (TFolderHold::OpenToRead).
    bool OpenToRead(const std::string& path, vx::TFile& file) const;
    // The sentence after a file writer's own message: `failure`, and why.
    static vx::TWriteFailureNote NotDoneNote(const std::string& failure);
    // Where the undo states of this project's steps are kept: the program's work folder
    // in the project folder, reached through the held folder's descriptor, or the system's
    // temporary folder while the project has none or its folder cannot be written. None,
    // after saying why, when the work folder cannot be had: no state can be kept. The
    // states are removed with TFolderHold::RemoveStateFile.
    TStateFile StateFolder();
    const std::string& GetName() const { return m_strName; }
    // The full path of the project file.
    std::string GetProjectFilePath() const;
    void SetSpectrumDisplay(const TSpectrumDisplayParams& display) { m_display = display; }
    void ResetSpectrumDisplay(bool resetX);
    void ToggleDisplayFlag(int32_t bits);

    // --- work set ----------------------------------------------------------------------
    // Makes the first set whose work-set flag is set the work set.
    void SelectSavedWorkSet();
    void SetWorkSet(TCSISet* pSet);
    // Gives up the work set (asking to save a changed one). False when the set had to be
    // saved and could not be: it then stays the loaded work set.
    bool ReleaseWorkSet();

    // --- images ------------------------------------------------------------------------
    // Places every image of complete geometry in the work set's frame.
    void LocateImagesInWorkSet();
    TMRImage* FindNearestImage(int orientation, float from, float to) const;
    // Moves the work set's voxel grid to the shift (mm) in the plane of the slice axis.
    void ShiftWorkSetVoxels(const TPoint2D& shift, int sliceAxis);
    // New images re-sliced from a stack, or summed per slice of the work set, by the
    // image collection; the project is marked modified when any were made.
    bool Reconstruct3D(std::vector<TMRImage*> images);
    bool AverageImages(std::vector<TMRImage*> images);

    // --- adding and removing data (TProjectAddRemove.cpp) --------------------------------
    // Reads folder/file with the image reader of the record's type; its result. The new
    // images' pixel files wait among the new files for the next project file saved.
    bool AddImages(const std::string& folder, const std::string& file, TImageImportParams params);
    // Reads folder/file with the reader of the block's format and adds the set after the
    // name, identity and geometry checks (questions, or warnings in batch mode), writing
    // its data-set file. False (nothing of the set kept) when refused or failed.
    bool AddCSISet(const std::string& folder, const std::string& file, TCSIReadParams params);
    // How many times data being added could not be written into the project's folder (or
    // the folder was gone); a file that cannot be read or used is not counted. The batch
    // run ends a study at such a failure, which would otherwise cost the study a set.
    int AddWriteFailures() const { return m_nAddWriteFailures; }
    void NoteAddWriteFailure() { ++m_nAddWriteFailures; }
    // The read block and image record of the files of exam type 0..3 (all zero for any
    // other type): the format, dimensions and options its CSI files are read with.
    static void ExamTypeParams(int examType, TCSIReadParams& block, TImageImportParams& record);
    // Adds the images and CSI files of one exam folder of exam type 0..3 (any other type
    // does nothing). False when a file pattern finds nothing; what was added stays. The
    // files that fail are appended to `failedFiles` ("name (reasons); "), or else reported
    // in one message; each question names its file.
    bool AddExamFolder(const std::string& folder, int examType, std::string* failedFiles = nullptr);
    // Adds the entries of the Add Exam dialog: "[folder]" scans a folder, anything else
    // is a file added by its name (in a project made by CreateInPlaceOf everything waits
    // for the save that follows). False for an empty list. Failures as AddExamFolder's.
    bool AddExam(const std::vector<std::string>& entries, int examType, std::string* failedFiles = nullptr);
    // What an exam of these entries can bring, found before anything is changed or asked:
    // its files are read as the batch run reads them (no question is asked, companion files
    // are taken beside them by name) into a project that stands for the exam's, nothing is
    // written and this project stays as it is. The files are tried in order until one can
    // be added. A CSI file is read only as far as that needs: its headers and the size of
    // its samples.
    struct TExamTrial {
        bool anyAddable = false;           // a file reads as images or as a CSI set that can be added
        std::string failed;                // the files tried before that could not: "name (reasons); "
        std::vector<std::string> notRead;  // the files of the entries that the exam type does not read
    };
    TExamTrial TryExam(const std::vector<std::string>& entries, int examType) const;
    // The message of an exam that brings nothing: the files tried, each with its reasons, and
    // those the exam type of 0..3 did not read, with the kinds of file it takes.
    static std::string ExamBringsNothingMessage(int examType, const std::string& failed,
                                                const std::vector<std::string>& notRead);
    // Takes the images out of the project with their frames and pixel files and saves, as
    // one change of the folder (a failure is reported and keeps them).
    void RemoveImage(TMRImage* pImage);
    void RemoveImages(const std::vector<TMRImage*>& images);
    // Takes the map out of the work set's list (the caller owns it then). A map the
    // project file names goes with its map file and that file, which no longer names it,
    // as one change; false (reported, the map kept) when the change failed.
    bool RemoveWorkSetMap(TMap* pMap);
    // Asks, then takes the set out with its data-set and map files and saves; true
    // when the set was removed.
    bool RemoveCSISet(TCSISet* pSet);
    // Adds a copy of the loaded work set whose grid is zero filled to the size (x, y, z)
    // and writes its data-set file; an earlier copy of the same name is replaced. The
    // work set stays as it was. Another set, or a size the copy cannot have, is reported.
    void ZeroFillCSISet(TCSISet* pSet, const int size[3]);
    // Adds a set made from the project's data (its samples in memory) and writes its
    // data-set file; a set of the same name is replaced, with its analyses and windows.
    // The project file is saved (keepModified: without clearing the modified flag). False,
    // the project unchanged, for a name that cannot be a file or a failed write.
    bool AddReplacingSet(std::unique_ptr<TCSISet> pSet, bool keepModified);
    // Reads the macro file and applies it to the work set as one recorded step. False
    // without a work set, for a file that cannot be opened or read (reported; the set
    // unchanged) and when any of its steps failed (reported; the others stay applied
    // and are undone together).
    bool RunMacroFile(const std::string& path);

    // --- the explorer's commands on sets (TProjectSetCommands.cpp) -----------------------
    enum class TSetOperation { Sum, Subtract, Ratio };
    // Reads the sets again from their data-set files and combines them in order into one
    // new set (A + B, A - B, or 100 B / A sample by sample), named after them joined by
    // "+", "-" or "_To_"; its data-set file is written and it joins the project, which is
    // saved. False, with the cause reported, when sizes differ, an operation refuses, or
    // the name is taken.
    bool CombineCSISets(const std::vector<TCSISet*>& sets, TSetOperation operation);
    // A copy of the work set under the name, with its own data-set file, added to the
    // project (the work set stays the work set). A set of that name is replaced after the
    // user agreed; the work set's own name writes the work set. False when nothing was saved.
    bool SaveWorkSetAs(const std::string& name);
    // Coil quality factor, receiver gain, frequency (MHz) and spectral width (Hz), field of
    // view and off-centre (mm) of the work set; a new geometry is carried to the images,
    // voxels, maps, estimates and windows. The project is saved and stays modified until
    // the work set's data-set file holds them too.
    void SetWorkSetParameters(const float scalars[4], const float fov[3], const float offCentre[3]);

    // --- processing --------------------------------------------------------------------
    // Undoes every step, clears the history and, with a work set, drops its maps and
    // estimates and brings the windows back to the set as loaded. A step whose undo fails
    // (reported) ends it there: that step and the older ones stay in the history, the
    // steps undone so far can be redone, and the windows show the set as it now is.
    void ClearAllOperations();
    void ClearRegionEstimates();
    void UpdateRegionEstimates();
    void SetAnalysesDone(bool done);
    // The history takes the step; dataChanged marks every analysis not computed.
    void RecordStep(TProcessStep* pStep, bool dataChanged);
    // One step back or forward; false when nothing moved (a step that failed stays).
    bool Undo();
    bool Redo();

    // True when `path`, the file of something new (a data-set or map file of the set
    // `owner`, or with no owner a new image's pixel file), is another file of the project:
    // the project file, a file the program keeps for itself, an image's pixel file, or a
    // data-set or map file of another set (a set of the owner's name is not another: it
    // is replaced).
    bool IsAnotherFile(const std::string& path, const TCSISet* owner = nullptr) const;

    // --- maps ---------------------------------------------------------------------------
    // Over every set in list order, the maps offered as quantification references.
    std::vector<TMap*> CollectMarkedMaps() const;
    void CollectMarkedMaps(std::vector<TMap*>& maps) const { maps = CollectMarkedMaps(); }
    // The map of that name of the first set named setName (exact); null when none.
    TMap* FindSetMap(const std::string& setName, const std::string& mapName) const;

    // --- information window ---------------------------------------------------------------
    void ShowWorkSetInfo() { ShowWorkSetInfo(m_pWorkSet); }
    void ShowWorkSetInfo(TCSISet* pSet);
    void ShowImageInfo(TMRImage* pImage);
    void ShowMapInfo(std::vector<TMRImage*> overlays);

    // --- image frames (forwarded to the frame list when there is one) ----------------------
    void CloseImageFrames();
    void UpdateFrames(bool reload, bool image, bool regions, bool voi, bool rebuild);
    void RedrawVoxel(int x, int y, int z);
    void RedrawVoxelSet(const std::vector<TSpectrum*>& voxels);
    bool CloseImageFrame(TMRImage* pImage);
    CChildFrame* OpenImageFrame(TMRImage* pImage);
    CChildFrame* OpenSliceFrameByIndex(int axis, int index);
    CChildFrame* OpenSliceFrameByPosition(int axis, float position);
    void ApplyMapScale(TMap* pMap);
    void RefreshSliceFrameImages();

    // --- fields ------------------------------------------------------------------------------
    TImageSet* m_pImageSet = nullptr;      // owned
    TCSISetList* m_pCSISetList = nullptr;  // owned
    TCSISet* m_pWorkSet = nullptr;         // an element of the set list, loaded; or null
    std::string m_strFolder;               // project folder, no trailing separator
    std::string m_strName;                 // project name, no extension
    bool m_bModified = false;              // the work set (or, without one, the project) changed
    TMouseHandler m_pfnMouseHandler = nullptr;  // handler of the current work mode
    TSpectrumDisplayParams m_display;
    // The display block the project file holds, fitting the work set as its data-set file
    // holds it: only the save of the work set writes the display shown (StageWorkSet); every
    // other write of the project file writes this one again while there is a work set
    // (WriteStream).
    TSpectrumDisplayParams m_fileDisplay;
    IMainFrame* m_pMainFrame = nullptr;         // not owned
    std::unique_ptr<IImageFrameList> m_frameList;  // null without a main frame
    int32_t m_nMapColormap = 1;  // 0 gray, 1 hot, 2 cool, 3 jet
    int32_t m_nMapOpacity = 1;   // 0 high, 1 medium, 2 low
    // The version word of the file being read (every nested reader decides by it);
    // kFileVersion otherwise.
    int32_t m_nFileVersion = kFileVersion;
    int32_t m_nDrawShape = 0;    // 0 rectangle, 1 ellipse, 2 polygon
    std::list<TRegionEstimate*> m_regionEstimates;   // owned
    std::map<int, TDrawnRegion*> m_drawnRegions;     // owned
    std::vector<TAnalysis*> m_analyses;              // owned, in creation order
    TProcessHistory* m_history = nullptr;            // owned; null without processing hooks
    bool m_bRecording = false;                       // macro recording on

private:
    // Refreshes the explorer and the information window after the work set changed.
    void RefreshShell();
    // Opens the middle slice of each axis when no image frame is open.
    void OpenMiddleSliceFrames();
    void MarkAnalysesNotComputed();
    // The work set's samples changed (a step applied, undone or redone).
    void SamplesChanged();
    // Tells the main frame that the history changed.
    void NotifyHistoryChanged();
    void DeleteAnalyses();
    // Runs an operation that adds images: the project file has changed when it added any.
    bool ModifiedWhenImagesAdded(const std::function<bool(TImageSet&)>& make);
    // Deletes one analysis after the component maps made from it have let go of it.
    void DeleteAnalysis(TAnalysis* pAnalysis);
    void DestroyHistory();
    void AttachMainFrame(IMainFrame* pMainFrame);
    // Drops the maps of a set from memory.
    static void DeleteMapList(TCSISet* pSet);

    // The project folder (TProjectFolder.cpp). The journal of this project's saves as
    // earlier versions wrote it beside the project file.
    std::string OldSaveJournalPath() const;
    // The hidden folder of the program's own files in the project folder.
    std::string WorkFolder() const;
    // A folder moved while open: its sets and images are read where it is now, and the
    // project is of that folder (it holds its lock) from now on.
    void FollowMovedFolder();
    // `pending`: the sentence after a failure whose journal stays to be completed (by
    // default, that the next open of the project completes it).
    void ReportChangeFailure(const vx::TFileTransaction& transaction, const std::string& failure,
                             bool untilInPlace = false, const std::string& pending = {});
    // Writes the project file into the transaction; false (reported as `failure`, the
    // transaction given up) when it could not be written.
    bool StageProjectFile(vx::TFileTransaction& transaction, const std::string& failure);
    // StageProjectFile, then CommitChange.
    bool CommitWithProjectFile(vx::TFileTransaction& transaction, const std::string& failure,
                               bool untilInPlace = false);
    // The project file now lists the project as it is; keepModified: the work set's flag
    // stays even without a work set.
    void ProjectFileSaved(bool keepModified);
    // SaveWorkSet; `projectWritten` tells whether the project file was among its files.
    bool SaveWorkSet(bool ask, bool& projectWritten);
    // The work set's maps as they were before a save, put back when it fails.
    struct TKeptMaps {
        std::unique_ptr<TMapList> dropped;  // the maps the user chose not to save
        std::vector<int32_t> states;
        // What the set's data-set file held before the save (TCSISet::FileState).
        std::shared_ptr<const TCSIParams> fileParams;
        uint64_t fileSamples = 0;
        bool fileWritten = false;  // the set's data-set file was staged
        TSpectrumDisplayParams fileDisplay;  // the project's display block before the save
    };
    // Writes the work set's data-set file and map files into the transaction (asking
    // first about the maps with `ask`); false when one could not be written (reported).
    bool StageWorkSet(vx::TFileTransaction& transaction, bool ask, TKeptMaps& kept);
    void RestoreWorkSetMaps(TKeptMaps& kept);
    // The work set's files hold its samples now: the history stops offering undo.
    void WorkSetSaved();
    // Takes the project folder for an open or a create (TFolderHold::Take): its lock, and
    // a change that a killed process left half done completed. False (reported, nothing
    // changed) when it cannot be taken.
    bool TakeFolder(bool creating);
    // The project folder's lock, journal and waiting files (see NewFiles); never null.
    std::unique_ptr<TFolderHold> m_hold;
    // The holds of the folders a Save As left, whose work folders may still hold undo
    // states of the history: kept while the project lives, so that the states go with it.
    std::vector<std::unique_ptr<TFolderHold>> m_formerHolds;
    // The folder still holds the project this one replaces (CreateInPlaceOf).
    bool m_bReplacing = false;
    bool m_bBuiltAside = false;  // see BuildAside()
    std::shared_ptr<const vx::TFolder> m_replacedFolder;  // see BuildAside()
    int m_nAddWriteFailures = 0;  // see AddWriteFailures()
    // The sets and images a save under another folder leaves out (their files are gone and
    // they are not in memory), taken out of the project while the save runs, with the lists
    // and analyses as they were before.
    struct TLeftOut {
        std::vector<TCSISet*> sets, setsBefore;
        std::vector<TMRImage*> images, imagesBefore;
        std::vector<TAnalysis*> analysesBefore;
    };
    // Asks, naming them, whether to save to `folder` without the sets and images whose files
    // are gone and that are not in memory, and takes them out for the save; false when the
    // user said No (nothing changed).
    bool AskToLeaveOut(const std::string& folder, TLeftOut& leftOut);
    // The save failed: they are back where they were.
    void PutBack(TLeftOut& leftOut);
    // The save holds: they go with their analyses, estimates and windows.
    void LetGo(TLeftOut& leftOut);
    // Gives the project's new files in `transaction` the rights of its project file, or of
    // that of the project a build replaces.
    void NewFilesTakeRights(vx::TFileTransaction& transaction) const;
    // The beginning of Create: the folder and name, the folder made (`made` gets the folders
    // it made), its lock.
    bool Start(const std::string& folder, const std::string& name, std::vector<std::string>& made);
    // The folder and name, the "Select voxel" handler and a new display block; false
    // (nothing changed) for a name that cannot be a project's.
    bool TakeName(const std::string& folder, const std::string& name);
    // A change of the folder is in place, or decided with its journal left: the new files
    // it took along are the project's own now, and the hold notes the project file and
    // the journal as this program wrote them.
    void ChangeMade();
    bool m_bFileModified = false;  // the project file's content changed since it was written

    // Helpers of adding and removing (TProjectAddRemove.cpp).
    // Reads folder/file with the reader of the block's format as a new set of this project,
    // refusing (reported) a set the project file could not list or whose name is taken;
    // null when it was not read or refused. With `headerOnly` the reader only checks the
    // file (TCSIReader::ReadHeaderOnly): the set comes without samples.
    std::unique_ptr<TCSISet> ReadNewSet(const std::string& folder, const std::string& file, TCSIReadParams params,
                                        bool headerOnly = false);
    // The identity and geometry questions of a new set; false when the user declined.
    bool ConfirmIdentity(const TCSISet& set, int32_t format);
    bool ConfirmGeometry(const TCSISet& set);
    // True when a new set of that name cannot have its own data-set file: the name is
    // not one file name, or the file would be another file of the project.
    bool IsUnusableSetName(const TCSISet& set) const;
    // The work set stops being one without being saved: it is about to go.
    void DropWorkSet();
    // Deletes the analyses and estimates built on the set, the estimates and regions
    // drawn on the image; closes the child windows first when any must go.
    void DetachFromSet(const TCSISet* pSet);
    void DetachFromImage(const TMRImage* pImage);
    // Removes in the transaction the data-set and map files of the set that lie in the
    // project folder, but `keep`.
    void RemoveSetFiles(vx::TFileTransaction& transaction, const TCSISet& set, const std::string& keep) const;
    // The data-set and map files of the set that lie in the project folder.
    std::vector<std::string> FilesOfSet(const TCSISet& set) const;
    // Writes the data-set file of the new set (its samples then leave memory) and puts the
    // set into the list in place of pOld (null: at the end), removing pOld's files, as
    // one change with the project file. False (reported as `failure` and why) with the
    // list and folder as they were and pNew kept; on success the list owns the set and
    // pOld is gone.
    bool CommitNewSet(std::unique_ptr<TCSISet>& pNew, TCSISet* pOld, const std::string& failure);
    // Lets go of a set taken out of the list for a new one of its name, with its windows.
    void ReleaseReplacedSet(TCSISet* pOld);
};
