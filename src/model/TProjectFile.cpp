// The project file (".tpj"): a version word, the display block, the image records and
// the CSI set records. Little-endian 4-byte fields, no magic text. Writers always write
// the newest version; readers take versions 0 to 9, and an older project is converted
// on load.
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "model/ProcessingHooks.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TMap.h"
#include "model/TMapList.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFile.h"
#include "platform/WaitCursor.h"

namespace {

std::string WithoutQuotes(const std::string& path)
{
    if (path.empty() || path.front() != '"')
        return path;
    return path.size() >= 2 ? path.substr(1, path.size() - 2) : std::string();
}

bool EndsWithSeparator(const std::string& path)
{
    return !path.empty() && (path.back() == '/' || path.back() == '\\');
}

void ReportProjectWriteFailure()
{
    // The batch log and the box have their own wording.
    if (g_bBatchMode)
        vx::AppendBatchLog("Can not write project file.");
    else
        vx::Report("Can't write project file.", vx::ReportIcon::Exclamation);
}

// The display block lies in the file as flags, x start, x end, y minimum, y maximum.
bool WriteDisplayBlock(vx::TFile& file, const TSpectrumDisplayParams& d)
{
    return file.WriteInt32(d.m_nFlags) && file.WriteInt32(d.m_nXStart) && file.WriteInt32(d.m_nXEnd) &&
           file.WriteFloat(d.m_fYMin) && file.WriteFloat(d.m_fYMax);
}

bool ReadDisplayBlock(vx::TFile& file, TSpectrumDisplayParams& d)
{
    return file.ReadInt32(d.m_nFlags) && file.ReadInt32(d.m_nXStart) && file.ReadInt32(d.m_nXEnd) &&
           file.ReadFloat(d.m_fYMin) && file.ReadFloat(d.m_fYMax);
}

}  // namespace

std::string TProject::GetProjectFilePath() const
{
    return vx::JoinPath(m_strFolder, m_strName + ".tpj");
}

bool TProject::Create(const std::string& folder, const std::string& name)
{
    if (name.empty() || name.front() == '~' || !vx::IsSafeFileComponent(name))
        return false;
    m_strFolder = folder;
    m_strName = name;
    vx::MakeFolder(folder);
    m_pfnMouseHandler = SelectVoxelHandler();
    m_display = TSpectrumDisplayParams{};
    TakeFolder();
    return Save();
}

bool TProject::Create(const std::string& folder, const std::string& name, IMainFrame* pMainFrame)
{
    if (!m_pMainFrame && pMainFrame && !name.empty() && name.front() != '~')
        AttachMainFrame(pMainFrame);
    return Create(folder, name);
}

bool TProject::Save()
{
    if (!WriteProjectFile(m_strFolder, m_strName + ".tpj"))
        return false;
    m_bModified = false;
    return true;
}

bool TProject::SaveKeepModified()
{
    return WriteProjectFile(m_strFolder, m_strName + ".tpj");
}

bool TProject::WriteStream(vx::TFile& file)
{
    if (!file.WriteInt32(kFileVersion) || !WriteDisplayBlock(file, m_display) || !m_pImageSet->Write(file) ||
        !m_pCSISetList->Write(file))
        return false;
    const auto& writeAnalyses = ProcessingHooks().writeAnalyses;
    return m_analyses.empty() || !writeAnalyses || writeAnalyses(file, m_analyses);
}

bool TProject::WriteProjectFile(const std::string& folder, const std::string& fileName,
                                vx::TFileTransaction* transaction)
{
    if (folder != m_strFolder)
        return true;
    // Written beside the old file and renamed over it: a failed write keeps the old project.
    vx::TAtomicFile out;
    if (!out.Begin(vx::JoinPath(folder, fileName), transaction) || !WriteStream(out.File()) || !out.Commit()) {
        out.Abort();
        ReportProjectWriteFailure();
        return false;
    }
    return true;
}

bool TProject::ReadStream(vx::TFile& file)
{
    int32_t version = 0;
    if (!file.ReadInt32(version) || version < 0 || version > kFileVersion)
        return false;
    TSpectrumDisplayParams display;
    if (!ReadDisplayBlock(file, display))
        return false;
    // The stored flags are not kept: a loaded project shows the grid and the real part.
    display.m_nFlags = TSpectrumDisplayParams{}.m_nFlags;
    m_nFileVersion = version;
    m_display = display;
    // A count that cannot be read means a file cut short: loading it as a project with
    // fewer (or no) images or sets would let the next save write over what it held.
    if (!m_pImageSet->Read(file) || !m_pCSISetList->Read(file))
        return false;
    return !ProcessingHooks().readAnalyses || ProcessingHooks().readAnalyses(file, *this);
}

bool TProject::CheckProjectFile(std::string quotedPath)
{
    const std::string path = WithoutQuotes(quotedPath);
    vx::TFile file;
    if (!file.Open(path, vx::TFile::Mode::Read))
        return false;
    int32_t version = 0;
    TSpectrumDisplayParams display;
    return file.ReadInt32(version) && ReadDisplayBlock(file, display) && TImageSet::SkipRecords(file, version) &&
           TCSISetList::SkipFromProject(file, version);
}

bool TProject::Load(std::string quotedPath)
{
    vx::TWaitCursor wait;
    const std::string path = WithoutQuotes(quotedPath);
    std::string name = vx::FileNameOf(path);
    name = name.size() > 4 ? name.substr(0, name.size() - 4) : std::string();
    if (!name.empty() && name.front() == '~')
        name.erase(0, 1);
    m_strName = name;
    m_strFolder = vx::FolderOf(path);
    // A save that a killed process left half done is completed before anything is read.
    if (!TakeFolder())
        return false;
    vx::TFile file;
    if (!file.Open(path, vx::TFile::Mode::Read)) {
        const int error = errno;
        vx::Report(std::string(std::strerror(error)).substr(0, 100), vx::ReportIcon::Exclamation);
        return false;
    }

    if (!ReadStream(file)) {
        vx::Report("Error: Invalid Project File", vx::ReportIcon::Exclamation, vx::BatchPolicy::AlwaysBox);
        return false;
    }
    file.Close();
    if (m_nFileVersion < kFileVersion) {
        vx::Report("The project file " + m_strName + " has an old version. Click OK to convert it to the newest version.",
                   vx::ReportIcon::Exclamation);
        // A project left in its old version cannot be worked on: every file written from
        // now on would be of the newest layout while the project still reads the old one.
        if (!ConvertOldVersion())
            return false;
        vx::Report("The project file " + m_strName + " is converted successfully.", vx::ReportIcon::Exclamation);
    }
    RemoveLeftoverFiles();
    SelectSavedWorkSet();
    m_pfnMouseHandler = SelectVoxelHandler();
    return true;
}

bool TProject::ConvertOldVersion()
{
    // Every file is first written under a temporary name; only when all of them and the
    // new project file are written are they put in place. A failure leaves the old
    // project (file and data files, all of the old version) as it was.
    std::vector<std::string> converted;  // targets whose new content is at target + suffix
    std::vector<std::string> attempted;  // every target a temporary file may lie beside
    std::vector<std::string> failed;
    auto convert = [&](const std::string& target, bool written) {
        attempted.push_back(target);
        (written ? converted : failed).push_back(target);
    };
    for (TCSISet* pSet : *m_pCSISetList) {
        const bool wasLoaded = pSet->IsLoaded();
        // A set whose data cannot be read (it has said why) is left as it is.
        if (wasLoaded || pSet->LoadData()) {
            const std::string target = pSet->GetFilePath();
            convert(target, pSet->WriteDataFile(target + kConvertingSuffix));
            if (!wasLoaded)
                pSet->FreeSpectra();
        }
        // The maps read with the project are in memory: they need no samples.
        if (pSet->m_pMapList)
            for (TMap* pMap : *pSet->m_pMapList) {
                const std::string target = pSet->MapFilePath(pMap->GetName());
                convert(target, vx::IsSafeFileComponent(pMap->GetName()) && pMap->WriteFile(target + kConvertingSuffix));
            }
    }
    std::vector<std::string> pixelFailures;
    if (m_nFileVersion <= 4) {
        for (const std::string& widened : m_pImageSet->ConvertPixelFilesTo16Bit(kConvertingSuffix, pixelFailures))
            converted.push_back(widened);
    }
    for (const std::string& name : pixelFailures) {
        failed.push_back(vx::JoinPath(m_strFolder, name));
        attempted.push_back(failed.back());
    }
    attempted.insert(attempted.end(), converted.begin(), converted.end());

    vx::TAtomicFile projectFile;
    bool ok = failed.empty();
    if (ok && !(projectFile.Begin(GetProjectFilePath()) && WriteStream(projectFile.File()))) {
        failed.push_back(GetProjectFilePath());
        ok = false;
    }
    if (!ok) {
        projectFile.Abort();
        for (const std::string& target : attempted)
            vx::RemoveFile(target + kConvertingSuffix);
        std::string text = "The project file " + m_strName + " could not be converted. These files could not be written:";
        for (const std::string& path : failed)
            text += "\r\n" + path;
        vx::Report(text, vx::ReportIcon::Exclamation);
        return false;
    }

    for (const std::string& target : converted)
        if (!vx::RenameFile(target + kConvertingSuffix, target))
            failed.push_back(target);
    m_nFileVersion = kFileVersion;
    if (!projectFile.Commit())
        failed.push_back(GetProjectFilePath());
    if (!failed.empty()) {
        std::string text = "The project file " + m_strName + " was converted, but these files could not be written:";
        for (const std::string& path : failed)
            text += "\r\n" + path;
        vx::Report(text, vx::ReportIcon::Exclamation);
        return false;
    }
    m_bModified = false;
    return true;
}

bool TProject::SaveAs(const std::string& location, const std::string& name)
{
    const std::string folder = location.empty() || EndsWithSeparator(location) ? location + name
                                                                                : vx::JoinPath(location, name);
    const auto refuse = [&](const std::string& reason = std::string()) {
        vx::Report("Failed to save project to " + folder + "." + reason, vx::ReportIcon::None);
        return false;
    };
    if (name.empty() || name.front() == '~' || !vx::IsSafeFileComponent(name))
        return refuse();
    // A set whose data-set file is away has nothing to copy: the move is refused before
    // anything is written, naming the sets.
    if (folder != m_strFolder) {
        std::string missing;
        int count = 0;
        for (const TCSISet* pSet : *m_pCSISetList)
            if (!pSet->CanOpenDataFile(false)) {
                missing += "\r\n" + pSet->GetName() + " (" + pSet->GetFilePath() + ")";
                ++count;
            }
        if (count > 0)
            return refuse(count == 1 ? "\r\nThe data-set file of this CSI set is missing:" + missing
                                     : "\r\nThe data-set files of these CSI sets are missing:" + missing);
    }
    if (!vx::FolderExists(folder) && !vx::MakeFolder(folder))
        return refuse();

    // The files are copied before the project moves: a failed copy leaves it where it was.
    if (folder != m_strFolder) {
        const std::string oldFolder = m_strFolder;
        const bool imagesCopied = m_pImageSet->CopyFilesToFolder(folder);
        const bool setsCopied = m_pCSISetList->CopyDataFiles(folder);
        if (!imagesCopied || !setsCopied) {
            for (TMRImage* pImage : *m_pImageSet)
                pImage->SetPath(vx::JoinPath(oldFolder, vx::SanitizeFileComponent(pImage->GetName())));
            for (TCSISet* pSet : *m_pCSISetList)
                pSet->SetFolder(oldFolder);
            return refuse();
        }
    }
    m_strFolder = folder;
    m_strName = name;
    TakeFolder();
    return SaveWorkSetAndProject(true);
}

void TProject::Anonymize()
{
    m_pImageSet->Anonymize();
    m_pCSISetList->Anonymize();
}
