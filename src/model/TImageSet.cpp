#include "model/TImageSet.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "model/ReaderHooks.h"
#include "model/TKeptRecord.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/OpenToRead.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFile.h"
#include "platform/TFileTransaction.h"

namespace {

// The position of the image along its own slice axis.
float SlicePositionOf(const TMRImage* pImage)
{
    const int orientation = pImage->GetOrientation();
    if (orientation < 0 || orientation > 2)
        return pImage->GetSlicePosition();
    float position[3];
    pImage->GetPosition(position);
    return position[orientation];
}

}  // namespace

TImageSet::TImageSet(TProject* pProject) : m_pProject(pProject) {}

TImageSet::~TImageSet() = default;

void TImageSet::Insert(TMRImage* pImage)
{
    int id = 0;
    if (!m_images.empty()) {
        int largest = m_images.front()->GetId();
        for (const TMRImage* pOther : m_images)
            if (pOther->GetId() > largest)
                largest = pOther->GetId();
        id = largest + 1;
    }
    pImage->SetId(id);
    ++m_nCount;

    const int orientation = pImage->GetOrientation();
    const float position = SlicePositionOf(pImage);
    auto it = m_images.begin();
    for (; it != m_images.end(); ++it) {
        const int other = (*it)->GetOrientation();
        if (other > orientation || (other == orientation && SlicePositionOf(*it) >= position))
            break;
    }
    m_images.insert(it, pImage);
}

void TImageSet::Append(TMRImage* pImage)
{
    m_images.push_back(pImage);
    ++m_nCount;
}

bool TImageSet::AddNew(TMRImage* pImage, const std::string& failure)
{
    Insert(pImage);
    if (m_bTryOnly)
        return true;
    vx::TFileTransaction* pending = m_pProject ? m_pProject->NewFiles() : nullptr;
    if (pending && pImage->SavePixels(pImage->GetPath(), TProject::NotDoneNote(failure), pending))
        return true;
    // An image that was read but could not be written is the project's failure, not the file's.
    if (m_pProject)
        m_pProject->NoteAddWriteFailure();
    Erase(Find(pImage));
    delete pImage;
    return false;
}

void TImageSet::DropNewImages(const std::vector<TMRImage*>& added)
{
    for (TMRImage* pImage : added) {
        const auto it = Find(pImage);
        if (it != m_images.end())
            Erase(it);
        m_pProject->DiscardNewFile(pImage->GetPath());
        delete pImage;
    }
}

TImageSet::iterator TImageSet::Erase(iterator pos)
{
    --m_nCount;
    return m_images.erase(pos);
}

void TImageSet::SetImages(const std::vector<TMRImage*>& images)
{
    m_images.assign(images.begin(), images.end());
    m_nCount = static_cast<int32_t>(images.size());
}

TImageSet::iterator TImageSet::Find(const TMRImage* pImage)
{
    for (auto it = m_images.begin(); it != m_images.end(); ++it)
        if (*it == pImage)
            return it;
    return m_images.end();
}

bool TImageSet::Contains(const TMRImage* pImage) const
{
    for (const TMRImage* pOther : m_images)
        if (pOther == pImage)
            return true;
    return false;
}

TMRImage* TImageSet::GetPrevious(const TMRImage* pImage) const
{
    TMRImage* pPrevious = nullptr;
    for (TMRImage* pOther : m_images) {
        if (pOther == pImage)
            return pPrevious;
        pPrevious = pOther;
    }
    return nullptr;
}

TMRImage* TImageSet::GetNext(const TMRImage* pImage) const
{
    for (auto it = m_images.begin(); it != m_images.end(); ++it)
        if (*it == pImage) {
            ++it;
            return it == m_images.end() ? nullptr : *it;
        }
    return nullptr;
}

TMRImage* TImageSet::FindNearest(int orientation, float from, float to) const
{
    const float centre = (from + to) * 0.5f;
    TMRImage* pBest = nullptr;
    double bestDistance = 0;
    for (TMRImage* pImage : m_images) {
        if (pImage->GetOrientation() != orientation)
            continue;
        const float p = pImage->GetSlicePosition();
        if (!(from <= p && p < to))
            continue;
        const double distance = std::fabs(std::trunc(static_cast<double>(p - centre)));
        if (!pBest || distance < bestDistance) {
            pBest = pImage;
            bestDistance = distance;
        }
    }
    return pBest;
}

bool TImageSet::Write(vx::TFile& file) const
{
    return WriteRecordsKeeping(file, m_nCount, m_images, m_kept,
                               [&file](const TMRImage* pImage) { return pImage->Write(file); });
}

bool TImageSet::Read(vx::TFile& file)
{
    int32_t count = 0;
    if (!file.ReadInt32(count))
        return false;
    if (count <= 0)
        return true;
    const int32_t version = m_pProject ? m_pProject->m_nFileVersion : TProject::kFileVersion;
    const std::string folder = m_pProject ? m_pProject->GetFolder() : std::string();
    // A record cut short is a damaged file: a project opened without that image (and
    // every record after it) would lose them at its next save. The images read so far go
    // again. An image whose pixel file is missing or cut short keeps its entry; a whole
    // record that cannot be used is kept aside and written back as it was read.
    const size_t before = m_images.size(), keptBefore = m_kept.size();
    const auto fail = [&] {
        while (m_images.size() > before) {
            delete m_images.back();
            m_images.pop_back();
            --m_nCount;
        }
        m_kept.resize(keptBefore);
        return false;
    };
    // A line per image whose pixels cannot be had, by the cause, in the order of
    // TMRImage::TPixelFileCause.
    std::vector<TWaitingFiles> withoutPixels{{"", "show once their pixel files are back"},
                                             {"", "show once their pixel files may be read"},
                                             {"", "show once their pixel files can be read"},
                                             {"", "show once their pixel files are whole again"}};
    std::string unusable;  // a line per image
    for (int32_t i = 0; i < count; ++i) {
        // A hostile count stops at the end of the file instead of failing record after record.
        const int64_t start = file.Tell();
        if (file.BytesLeft() <= 0 || !TMRImage::SkipRecord(file, version) || !file.Seek(start))
            return fail();
        auto image = std::make_unique<TMRImage>(m_pProject);
        TKeptRecord kept;
        const bool read = image->Read(file, version, folder, &kept);
        if (read && !PathInUse(image->GetPath())) {
            TMRImage::TPixelFileCause cause = TMRImage::TPixelFileCause::None;
            const std::string problem = image->PixelFileProblem(version <= 4 ? 1 : 2, &cause);
            if (!problem.empty())
                withoutPixels[static_cast<size_t>(cause) - 1].lines +=
                    "\r\n" + image->GetName() + ": " + problem + " (" + image->GetPath() + ")";
            Append(image.release());
            continue;
        }
        if (read) {
            // The pixel file is another's: it is not this record's to keep. Its patient name
            // is, to be replaced when the project is de-identified.
            if (!TMRImage::KeepRecord(file, start, version, "its pixel file is another file of the project", kept))
                return fail();
            kept.files.clear();
        } else if (kept.bytes.empty()) {
            return fail();
        } else if (PathInUse(vx::JoinPath(folder, kept.files.front()))) {
            kept.files.clear();
        }
        kept.position = i;
        unusable += KeptRecordLines({kept});
        m_kept.push_back(std::move(kept));
    }
    std::string text = WaitingFilesText(folder, "images", withoutPixels);
    if (!unusable.empty())
        text += unusable + "\r\nThese images cannot be used; their records and files stay in the project unchanged.";
    if (!text.empty())
        vx::Report("Some of the image files could not be loaded" + text, vx::ReportIcon::Exclamation);
    return true;
}

bool TImageSet::PathInUse(const std::string& path) const
{
    // An image whose pixel file is the project file or another image's would write over it.
    if (m_pProject && path == m_pProject->GetProjectFilePath())
        return true;
    for (const TMRImage* pImage : m_images)
        if (pImage->GetPath() == path)
            return true;
    const std::string folder = m_pProject ? m_pProject->GetFolder() : std::string();
    for (const TKeptRecord& kept : m_kept)
        for (const std::string& name : kept.files)
            if (vx::JoinPath(folder, name) == path)
                return true;
    return false;
}

bool TImageSet::SkipRecords(vx::TFile& file, int32_t version)
{
    int32_t count = 0;
    if (!file.ReadInt32(count))
        return false;
    for (int32_t i = 0; i < count; ++i)
        if (!TMRImage::SkipRecord(file, version))
            return false;
    return true;
}

void TImageSet::Anonymize()
{
    for (TMRImage* pImage : m_images)
        pImage->Anonymize();
    for (TKeptRecord& kept : m_kept)
        kept.Anonymize();
}

void TImageSet::LocateAllInCSISet()
{
    const TCSISet* pWorkSet = m_pProject ? m_pProject->m_pWorkSet : nullptr;
    for (TMRImage* pImage : m_images)
        if (pImage->IsGeometryComplete()) {
            pImage->LocateInCSISet(pWorkSet);
            pImage->ApplyDirectionCode(false);
        }
}

bool TImageSet::ConvertPixelFileTo16Bit(const TMRImage& image, vx::TFileTransaction& transaction)
{
    const std::string& path = image.GetPath();
    const int64_t pixels = static_cast<int64_t>(image.GetWidth()) * image.GetHeight();
    if (pixels <= 0)
        return true;
    // A pixel file that is there but cannot be read would stay 8 bits wide under a project
    // of the newest version, which reads it as 16: the image would be lost. The conversion
    // fails instead, saying why, and the old project stays as it was.
    const auto notRead = [](const std::string& text) {
        vx::Report(text, vx::ReportIcon::Exclamation);
        return false;
    };
    vx::TFile in;
    if (!image.OpenPixelFile(in)) {
        // One that is away (missing, or something other than a file) keeps its entry, as
        // when the project opened.
        if (in.NotAFile().empty() && in.LastError() != ENOENT)
            return notRead(vx::NotOpenedToReadText("The pixel file", path, in.LastError()));
        return true;
    }
    const int64_t size = in.Size();
    if (size < 0)
        return notRead(vx::SizeNotReadText("The pixel file", path, in.LastError()));
    // A file that already holds 16-bit pixels (a conversion of an earlier version that
    // stopped before the project file was rewritten) is left alone rather than widened a
    // second time; one cut short keeps its entry and its bytes, as when the project opened.
    if (size == 2 * pixels || size < pixels)
        return true;
    std::string bytes(static_cast<size_t>(pixels), '\0');
    if (!in.ReadExact(bytes.data(), bytes.size()))
        return notRead(vx::NotReadToEndText("The pixel file", path, in.LastError()));
    in.Close();
    std::string wide(bytes.size() * 2, '\0');
    for (size_t k = 0; k < bytes.size(); ++k)
        wide[2 * k] = bytes[k];  // little-endian: the byte value, then a zero high byte
    vx::TAtomicFile out;
    return out.Begin(path, &transaction) && out.File().Write(wide.data(), wide.size()) && out.Commit();
}

bool TImageSet::CopyFilesToFolder(const std::string& folder, vx::TFileTransaction& transaction)
{
    bool allCopied = CopyKeptFiles(m_kept, m_pProject ? m_pProject->GetFolder() : std::string(), folder, transaction);
    for (TMRImage* pImage : m_images) {
        // The name may come from a project file: it only ever names a file inside the folder.
        const std::string target = vx::JoinPath(folder, vx::SanitizeFileComponent(pImage->GetName()));
        // Pixels held in memory whose file is gone are written from memory.
        vx::TFile from;
        const bool copied = pImage->IsLoaded() && !pImage->PixelFileExists()
                                ? pImage->SavePixels(target, {}, &transaction)
                                : pImage->OpenPixelFile(from) && vx::CopyFileAtomically(from, target, &transaction);
        if (!copied)
            allCopied = false;
        pImage->SetPath(target);
    }
    return allCopied;
}

bool TImageSet::AddImages(const std::string& path, TImageImportParams params, TProject* pProject)
{
    const TImageReader reader = ImageReaderFor(params.m_nImageType);
    return reader ? reader(*this, path, params, pProject) : false;
}
