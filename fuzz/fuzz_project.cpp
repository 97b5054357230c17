// Project folders: the project file with the data-set, map and image pixel files it names,
// through the check, the load (with the conversion of an older version, and the analyses
// stored after the sets, read through the processing library as the program reads them)
// and, for each map file, the map reader of every file version. A project loaded shows
// the pixels the input laid in its images' files; it is saved again, then anonymized and saved as a copy
// in another folder. Once it has let both folders go, the saved project must open again
// with the same sets and images, and the copy must load without a patient text, and no file
// of the copy may hold a patient text of the input (every file of its folder is searched).
// The first input byte picks the project file's name "~project.tpj" (bit 0) or
// "project.tpj", a path in double quotes (bit 1), a plain file where the copy's folder
// would be (bit 2), a project made by the program before the input's files replace its
// own (bit 3), where the project file is among the parts (bit 4) and two ways of changing
// the folder, each with a byte of choices after the first:
//  - bit 5: one field of the header of a set's data-set file (the byte picks field and set)
//    is changed after a first open that leaves the project file in the newest version; the next open must keep the set aside and name the
//    field (a broadening, which only the file holds, leaves the set in the project). The
//    run ends there.
//  - else bit 6: one of the five files (the byte modulo 5) is replaced by a FIFO, a folder
//    or a link to a FIFO (the byte / 5): an open names it as such whenever it names it, and
//    no set, map or image takes it for its file; a map file read directly is refused so.
// Bit 7, before them, takes three bytes of its own (after the byte of choices, when there
// is one): a listing (bit 0 of the first set), a size look-up (bit 3), an open to read
// (bit 4) or a read of an open file fails at the call the next two give (16 bits,
// little-endian: below 0x8000 one of the first 1024 calls, where the project file is read,
// the journals are completed and an old version is converted, else one of the first
// 32,768) while the project opens and its sets' samples and images' pixels are read,
// counted from the start of the kind of read that bits 1-2 of the first pick (modulo 3):
// the open itself (the project file, the data-set files' headers, the map files, and the
// conversion of an old version), the sets' samples or the images' pixel files; once an
// open without the fault has done what an open of the folder does, whose maps must hold the
// sizes and values their files were laid with (as this target reads the bytes it laid, or
// those a completed journal put in place, by the map file's layout). Where the fault met a
// call a message must name the file whose read, size look-up or open failed, or, for a
// listing, the project's folder (a failed read of the project file refuses the open,
// saying that the file cannot be read to its end); the project, when it opens, may hold no
// set, map or pixels other than the open without the fault gave (but the maps, as this
// target reads their files, of a set that open kept aside for its data-set file, which did not open
// with the fault); and an open refused may
// change no file but by completing the save left half done that the input laid (its
// journal beside the project file, as its lines and the staged files laid give it). The
// run ends there.
// The rest is split by Sections into six parts: the project file first
// (or, with bit 4, last: the part that takes the rest of the input, so that it may be
// longer than 65,535 bytes) and five files, each its name up to the first zero byte
// (letters, digits, "_", "-" and "." only, no ".tpj"; a part without a usable name is left
// out) and then its contents. The folder holds only these files in every run.
//
// Half of the mutations are libFuzzer's own; the other half change one number of the
// project file's records and keep their framing: mostly one of the analysis records'
// numbers that its reader checks (point range, components, slices, axis, intervals,
// flags, voxels, matrix sizes), else a 32-bit field of a small value anywhere in the file.
// A field moves by one or two, or takes the value of another (a size its index is checked
// against), 0 or -1: a bound off by one is one such change away.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cerrno>
#include <cstring>
#include <climits>
#include <cmath>
#include <iterator>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "model/TAnalysis.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TKeptRecord.h"
#include "model/TMRImage.h"
#include "model/TMap.h"
#include "model/TMapList.h"
#include "model/TProject.h"
#include "platform/FileFaults.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "processing/AnalysisRecords.h"
#include "processing/InstallProcessing.h"

namespace {

constexpr int kFiles = 5;

// A 32-bit field whose value is that of a count, size, index or flag.
bool IsSmallField(const uint8_t* at)
{
    int32_t value = 0;
    std::memcpy(&value, at, 4);
    return value >= -16 && value < 256;
}

// The offsets of the numbers of the analysis records in a project file: each record's
// point range, components, slices, axis, intervals, flags, voxels and matrix sizes (the
// fields its reader checks against the set and each other). Empty without analyses.
std::vector<size_t> AnalysisFields(std::string_view file)
{
    std::vector<size_t> fields;
    const int32_t tag = kAnalysisSectionTag;
    size_t at = file.find(std::string_view(reinterpret_cast<const char*>(&tag), 4));
    const auto int32At = [&](size_t offset, int32_t& v) {
        if (offset > file.size() || file.size() - offset < 4)
            return false;
        std::memcpy(&v, file.data() + offset, 4);
        return true;
    };
    int32_t count = 0;
    if (at == std::string_view::npos || !int32At(at + 4, count))
        return fields;
    at += 8;
    for (int32_t record = 0; record < count && record < 16; ++record) {
        int32_t kind = 0, length = 0;
        if (!int32At(at, kind) || !int32At(at + 4, length) || length < 0)
            break;
        const size_t body = at + 8, end = std::min(file.size(), body + size_t(length));
        size_t p = body;
        for (int text = 0; text < 2; ++text) {  // the set's name, then the analysis's
            p = file.find('\0', p);
            if (p == std::string_view::npos || p >= end)
                return fields;
            ++p;
        }
        const auto take = [&](int64_t n) {
            for (int64_t i = 0; i < n && p + 4 <= end; ++i, p += 4)
                fields.push_back(p);
        };
        take(5);  // first, last, components, slices, axis
        int32_t intervals = 0, voxels = 0;
        if (!int32At(p, intervals))
            break;
        take(1);
        const size_t table = p;
        take(2 * int64_t(std::clamp(intervals, 0, TAnalysis::kMaxIntervals)));
        p = table + 8 * size_t(TAnalysis::kMaxIntervals);
        take(2);  // selection, computed
        if (!int32At(p, voxels))
            break;
        take(1 + 3 * int64_t(std::clamp(voxels, 0, 1 << 16)));
        for (int matrix = 0; matrix < 4; ++matrix) {
            int32_t rows = 0, columns = 0;
            if (!int32At(p, rows) || !int32At(p + 4, columns))
                break;
            take(2);
            p += 4 * uint64_t(uint32_t(rows)) * uint32_t(columns);
        }
        at = body + size_t(length);
    }
    return fields;
}

// Changes one field of data: moves it by one or two or gives it the value of another of
// the fields (a size its index is checked against), 0 or -1.
void ChangeField(uint8_t* data, size_t at, size_t other, std::minstd_rand& random)
{
    int32_t value = 0;
    std::memcpy(&value, data + at, 4);
    static constexpr int32_t kSteps[] = {-2, -1, 1, 2};
    const unsigned choice = random() % 7;
    if (choice < 4)  // wrapping, as the field's bits do
        value = int32_t(uint32_t(value) + uint32_t(kSteps[choice]));
    else if (choice < 6)
        std::memcpy(&value, data + other, 4);
    else
        value = (random() % 2) ? 0 : -1;
    std::memcpy(data + at, &value, 4);
}

// The part of the input that holds the project file.
size_t ProjectPart(uint8_t pick) { return (pick & 16) ? kFiles : 0; }

// The fields of a data-set file's header (the newest layout), by offset, whose change by
// one leaves a header that a set could have: those its record holds too, whose change must
// keep the set aside naming the field (the frequency is named by its value), and the
// broadenings, which only the file holds.
struct THeaderField {
    const char* name;
    size_t offset;
    bool isFloat;
    bool inRecord;
};
constexpr THeaderField kHeaderFields[] = {
    {"voxel shift", 8, true, true},   {"voxel shift", 12, true, true},   {"voxel shift", 16, true, true},
    {"field of view", 20, true, true}, {"field of view", 24, true, true}, {"field of view", 28, true, true},
    {"sweep width", 56, false, true}, {"frequency", 60, true, true},      {"PPM centre", 64, true, true},
    {"PPM reference", 68, true, true}, {"phase 0", 72, true, true},       {"phase 1", 76, true, true},
    {"TR", 108, true, true},          {"TE", 112, true, true},            {"averages", 116, true, true},
    {"angulation", 128, true, true},  {"angulation", 132, true, true},    {"angulation", 136, true, true},
    {"off-centre", 140, true, true},  {"off-centre", 144, true, true},    {"off-centre", 148, true, true},
    {"Lorentz broadening", 188, true, false}, {"Gauss broadening", 192, true, false}};
constexpr size_t kHeaderFieldCount = std::size(kHeaderFields);
constexpr size_t kHeaderBytes = 256;

// The version a project file of these bytes gives; -1 when it is too short to give one.
int32_t VersionOf(const std::string& bytes)
{
    int32_t version = -1;
    if (bytes.size() >= 4)
        std::memcpy(&version, bytes.data(), 4);
    return version;
}

// Whether the data-set file reads as the samples of a set the project file could list: a
// header no set could have (a slice axis or echo position out of range, no sweep width...)
// is a damaged file, which an open does not compare with the set's record.
bool HoldsASet(const std::string& path)
{
    TCSISet probe;
    return probe.ReadDataFile(path) && probe.CanBeListed();
}

// Opens the project, then changes one header field (by `choice`) of the data-set file of
// one of its sets listed with a file of the newest layout, and opens it again: a field the
// record holds too keeps the set aside with the field named; a broadening leaves it listed.
// A file no set could have stays damaged: its set may stay listed, and its samples are then
// refused, naming the file. Only where the project file opened again is of the newest
// version: an older "~project.tpj" is converted into "project.tpj", and stays old itself.
void CheckChangedHeaderField(const std::string& projectFile, uint8_t choice)
{
    std::vector<std::pair<std::string, std::string>> sets;  // name and data-set file
    {
        TProject project;
        std::string file;
        if (!project.Load(projectFile) || project.m_nFileVersion != TProject::kFileVersion ||
            !vx::ReadWholeFile(projectFile, file, int64_t{1} << 30) || VersionOf(file) != TProject::kFileVersion)
            return;
        for (const TCSISet* pSet : *project.m_pCSISetList) {
            std::string bytes;
            int32_t version = 0;
            if (vx::ReadWholeFile(pSet->GetFilePath(), bytes, int64_t{1} << 30) && bytes.size() >= kHeaderBytes &&
                (std::memcpy(&version, bytes.data(), 4), version == TCSISet::kDataFileVersion))
                sets.emplace_back(pSet->GetName(), pSet->GetFilePath());
        }
    }
    if (sets.empty())
        return;
    const THeaderField& field = kHeaderFields[choice % kHeaderFieldCount];
    const std::string name = sets[(choice / kHeaderFieldCount) % sets.size()].first;
    const std::string path = sets[(choice / kHeaderFieldCount) % sets.size()].second;
    const bool holdsASet = HoldsASet(path);
    std::string bytes;
    if (!vx::ReadWholeFile(path, bytes, int64_t{1} << 30))
        __builtin_trap();
    char* at = bytes.data() + field.offset;
    if (field.isFloat) {
        float value = 0;
        std::memcpy(&value, at, 4);
        // Another finite value of the same sign: sizes stay positive.
        const float changed = std::isfinite(value) && value + 1.0f != value ? value + 1.0f : 1.0f;
        if (changed == value)
            return;
        std::memcpy(at, &changed, 4);
    } else {
        int32_t value = 0;
        std::memcpy(&value, at, 4);
        if (value == INT32_MAX)
            return;
        ++value;
        std::memcpy(at, &value, 4);
    }
    if (!vx::WriteFileAtomically(path, bytes))
        __builtin_trap();
    TProject again;
    if (!again.Load(projectFile))
        __builtin_trap();
    TCSISet* const listed = again.m_pCSISetList->FindByName(name);
    if (!field.inRecord) {
        if (!listed)
            __builtin_trap();
        return;
    }
    if (listed) {
        vx::fuzz::Require(!holdsASet, "a changed header field of a set's file keeps the set aside");
        vx::fuzz::ClearReportTexts();
        vx::fuzz::Require(!listed->LoadData() && vx::fuzz::Reported(path),
                          "the samples of a damaged data-set file are refused, naming it");
        return;
    }
    const std::vector<TKeptRecord>& kept = again.m_pCSISetList->KeptRecords();
    const auto record = std::find_if(kept.begin(), kept.end(), [&](const TKeptRecord& k) { return k.name == name; });
    if (record == kept.end() || record->reason.find("holds another set") == std::string::npos)
        __builtin_trap();
    // Named with the record's value and the file's: twice.
    const std::string named = ", " + std::string(field.name) + " ";
    if (std::string_view(field.name) != "frequency") {
        const size_t first = record->reason.find(named);
        if (first == std::string::npos || record->reason.find(named, first + 1) == std::string::npos)
            __builtin_trap();
    }
}

// After an open of a folder where `special` is something other than a file (`what`, as an
// open names it): no set, map or image took it for its file, and every message that names
// it says what it is.
void CheckSpecialFile(const TProject& project, const std::string& special, const std::string& what)
{
    if (!vx::fuzz::EveryReportNaming(special, what + ", not a file"))
        __builtin_trap();
    for (const TCSISet* pSet : *project.m_pCSISetList) {
        if (pSet->GetFilePath() == special)
            __builtin_trap();
        if (pSet->m_pMapList)
            for (const TMap* pMap : *pSet->m_pMapList)
                if (pSet->MapFilePath(pMap->GetName()) == special)
                    __builtin_trap();
    }
    for (TMRImage* pImage : *project.m_pImageSet)
        if (pImage->PixelFileToRead() == special && pImage->PixelFileProblem().empty())
            __builtin_trap();
}

// The files the input laid into the project folder, by path, as the target wrote them.
using TLaidFiles = std::map<std::string, std::string>;

// Whether `pixels` are those that `bytes` hold: two bytes a pixel, little-endian, or, in
// a pixel file of a project of version 4 or older (one byte a pixel, which the open
// widens), one.
bool PixelsHeld(const std::vector<int16_t>& pixels, const std::string& bytes, bool narrow)
{
    if (bytes.size() < pixels.size() * (narrow ? 1 : 2))
        return false;
    for (size_t k = 0; k < pixels.size(); ++k) {
        const auto byte = [&](size_t at) { return unsigned(uint8_t(bytes[at])); };
        const unsigned value = narrow ? byte(k) : byte(2 * k) | byte(2 * k + 1) << 8;
        if (uint16_t(pixels[k]) != value)
            return false;
    }
    return true;
}

// Every image whose pixel file holds its pixels shows them as the input laid the file:
// 16-bit pixels, or, under a project file of version 4 or older, the 8-bit pixels of a file
// of other than two bytes a pixel, each its byte's value. Where the input laid a journal,
// which may put another of its files in place first, any of them may hold the pixels and
// the project file read may be another.
void CheckPixels(TProject& project, const TLaidFiles& laid, const std::string& projectFile)
{
    bool journal = false, old = false;
    for (const auto& [path, bytes] : laid)
        journal = journal || path.ends_with(".journal");
    for (const auto& [path, bytes] : laid)
        if (path == projectFile || journal)
            old = old || (VersionOf(bytes) >= 0 && VersionOf(bytes) <= 4);
    for (TMRImage* pImage : *project.m_pImageSet) {
        if (!pImage->PixelFileProblem().empty())
            continue;
        const size_t count = size_t(pImage->GetWidth()) * size_t(pImage->GetHeight());
        if (!pImage->EnsurePixels())
            __builtin_trap();
        bool held = false;
        for (const auto& [path, bytes] : laid)
            if (path == pImage->PixelFileToRead() || journal)
                held = held || PixelsHeld(pImage->GetPixels(), bytes, false) ||
                       (old && bytes.size() >= count && bytes.size() != 2 * count &&
                        PixelsHeld(pImage->GetPixels(), bytes, true));
        vx::fuzz::Require(held, "an image shows the pixels its file was laid with");
        pImage->FreePixels();
    }
}

// What a project held when it was saved: its sets and its images' records.
struct TSaved {
    std::string projectFile;
    std::vector<vx::fuzz::TSetContents> sets;
    std::vector<std::unique_ptr<TMRImage>> images;
};

TSaved SavedOf(const TProject& project)
{
    TSaved saved{project.GetProjectFilePath(), {}, {}};
    for (const TCSISet* pSet : *project.m_pCSISetList)
        saved.sets.push_back(vx::fuzz::ContentsOf(*pSet));
    for (auto it = project.m_pImageSet->Begin(); it != project.m_pImageSet->End(); ++it) {
        auto copy = std::make_unique<TMRImage>(nullptr);
        copy->CopyHeaderFrom(**it);
        saved.images.push_back(std::move(copy));
    }
    return saved;
}

// A project saved opens again, once the project that saved it has let its folder go, with
// the sets and images it had.
void CheckSavedProject(const TSaved& saved)
{
    TProject again;
    if (!again.Load(saved.projectFile) || size_t(again.m_pCSISetList->GetCount()) != saved.sets.size() ||
        size_t(again.m_pImageSet->GetCount()) != saved.images.size())
        __builtin_trap();
    auto set = again.m_pCSISetList->begin();
    for (const vx::fuzz::TSetContents& contents : saved.sets)
        if (!vx::fuzz::SameSet(contents, **set++))
            __builtin_trap();
    auto image = again.m_pImageSet->Begin();
    for (const std::unique_ptr<TMRImage>& pImage : saved.images)
        if (!vx::fuzz::SameImage(*pImage, **image++))
            __builtin_trap();
}

// The offset of the text that follows `fixed` bytes and `skip` texts of a record; npos
// when the record ends first.
size_t TextOffset(const std::string& record, size_t fixed, int skip)
{
    size_t at = fixed;
    for (int k = 0; k < skip && at < record.size(); ++k) {
        const size_t end = record.find('\0', at);
        at = end == std::string::npos ? record.size() : end + 1;
    }
    return at < record.size() ? at : std::string::npos;
}

// The patient texts of a project as it was read, each with the number of fields that hold
// it: every set's name and birth date, every image's name, and in the records kept aside
// both the texts at the offsets the reader gave and the patient name found here from the
// records' layout alone (a set record's third text after its 26 numbers, an image
// record's second after its 17), so that a reader that gives none is found out too.
std::map<std::string, int> PatientTextsOf(const TProject& project)
{
    std::map<std::string, int> texts;
    for (const TCSISet* pSet : *project.m_pCSISetList) {
        ++texts[pSet->m_strPatientName];
        ++texts[pSet->m_strPatientBirthDate];
    }
    for (auto it = project.m_pImageSet->Begin(); it != project.m_pImageSet->End(); ++it)
        ++texts[(*it)->GetInfoText(TMRImage::InfoPatientName)];
    const auto kept = [&](const std::vector<TKeptRecord>& records, size_t numbers, int before) {
        for (const TKeptRecord& record : records) {
            std::set<size_t> at;
            for (const int64_t offset : record.patientTexts)
                if (offset >= 0)
                    at.insert(size_t(offset));
            at.insert(TextOffset(record.bytes, 4 * numbers, before));
            for (const size_t offset : at)
                if (offset < record.bytes.size())
                    if (const size_t end = record.bytes.find('\0', offset); end != std::string::npos)
                        ++texts[record.bytes.substr(offset, end - offset)];
        }
    };
    kept(project.m_pCSISetList->KeptRecords(), 26, 2);
    kept(project.m_pImageSet->KeptRecords(), 17, 1);
    return texts;
}

// How often the text stands, with its terminating zero, in the files under the folder; a
// text of fewer than four characters (which turns up in numbers) only as a whole text, after
// the terminating zero of another.
size_t CountInFolder(const std::string& folder, const std::string& text)
{
    const std::string needle = text.size() < 4 ? std::string(1, '\0').append(text) += '\0' : text + '\0';
    size_t count = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error)) {
        std::string bytes;
        if (!entry.is_regular_file(error) || !vx::ReadWholeFile(entry.path().string(), bytes))
            continue;
        // Texts side by side share a zero: the next search starts on it.
        for (size_t at = bytes.find(needle); at != std::string::npos; at = bytes.find(needle, at + needle.size() - 1))
            ++count;
    }
    return count;
}

// The texts worth looking for in files: not empty and not what de-identifying writes (a
// short one is looked for as a whole text only, which "Anonymized" holds none of).
bool IsSearchable(const std::string& text)
{
    return !text.empty() && (text.size() < 4 || !std::string("Anonymized").ends_with(text));
}

// How often each patient text stands in the files of the saved project: the fields that
// hold it and whatever else holds the same bytes.
std::map<std::string, size_t> CountPatientTexts(const std::string& folder, const std::map<std::string, int>& texts)
{
    std::map<std::string, size_t> counts;
    for (const auto& [text, fields] : texts)
        if (IsSearchable(text))
            counts[text] = CountInFolder(folder, text);
    return counts;
}

// No patient text is left in an anonymized project: not in its sets and images, nor in
// the records it keeps as they were read; and no file of its folder holds a patient text
// of the project it was saved from more often than that project's folder held it outside
// its patient fields.
void CheckAnonymized(const TProject& copy, const std::string& copyFolder, const std::map<std::string, int>& texts,
                     const std::map<std::string, size_t>& counts)
{
    static const std::string kAnonymized("Anonymized", 11);  // with its terminating zero
    for (const TCSISet* pSet : *copy.m_pCSISetList)
        if (pSet->m_strPatientName != "Anonymized" || pSet->m_strPatientBirthDate != "Anonymized")
            __builtin_trap();
    for (auto it = copy.m_pImageSet->Begin(); it != copy.m_pImageSet->End(); ++it)
        if ((*it)->GetInfoText(TMRImage::InfoPatientName) != "Anonymized")
            __builtin_trap();
    for (const std::vector<TKeptRecord>* kept : {&copy.m_pCSISetList->KeptRecords(), &copy.m_pImageSet->KeptRecords()})
        for (const TKeptRecord& record : *kept)
            for (const int64_t at : record.patientTexts)
                if (record.bytes.compare(size_t(at), kAnonymized.size(), kAnonymized) != 0)
                    __builtin_trap();
    for (const auto& [text, count] : counts) {
        const size_t fields = size_t(texts.at(text));
        if (CountInFolder(copyFolder, text) + fields > count)
            __builtin_trap();
    }
}

// A map as its file gave it: its grid and its values' bits.
struct TMapContents {
    std::string path;
    std::vector<int32_t> size;
    std::string values;
    bool operator==(const TMapContents&) const = default;
};

TMapContents ContentsOf(const TMap& map, const std::string& path)
{
    const auto* values = reinterpret_cast<const char*>(map.Values());
    return {path, {map.size[0], map.size[1], map.size[2]},
            values ? std::string(values, map.ValueCount() * sizeof(TComplex)) : std::string()};
}

// The map a map file of these bytes holds, as the format lays it out: the version word, the
// word 256, then 4-byte little-endian fields with the sizes at offsets 32, 36 and 40; the
// values (two floats each, x fastest) from offset 256 below version 8, else after the two
// zero-terminated reference names that follow the fields at 192. None where a size is not
// positive or the values the sizes claim are not all there.
std::optional<TMapContents> MapHeld(const std::string& path, const std::string& bytes)
{
    const auto int32At = [&](size_t at) {
        int32_t value = 0;
        std::memcpy(&value, bytes.data() + at, 4);
        return value;
    };
    if (bytes.size() < 192)
        return std::nullopt;
    TMapContents held{path, {int32At(32), int32At(36), int32At(40)}, {}};
    size_t at = 256;
    if (int32At(0) >= 8) {
        at = bytes.find('\0', 192);
        at = at == std::string::npos ? at : bytes.find('\0', at + 1);
        if (at == std::string::npos)
            return std::nullopt;
        ++at;
    }
    uint64_t count = 1;
    for (const int32_t size : held.size) {
        if (size < 1)
            return std::nullopt;
        count *= uint64_t(size);
        if (count > bytes.size())
            return std::nullopt;
    }
    if (at > bytes.size() || (bytes.size() - at) / 8 < count)
        return std::nullopt;
    held.values = bytes.substr(at, size_t(count) * 8);
    return held;
}

// What an open gave of a project: its sets' parameters and samples by name, its maps by
// set and map name, and its images' pixels by name (none for a set or image whose samples
// or pixels could not be read, nor for a map file that was not read); the sets, maps and
// images of an open with the fault are compared with those of the open without it.
struct TOpened {
    std::map<std::string, vx::fuzz::TSetContents> sets;
    std::vector<const TCSISet*> loaded;  // the sets whose samples were read, while the project lives
    std::map<std::pair<std::string, std::string>, TMapContents> maps;
    std::map<std::string, std::vector<int16_t>> pixels;
};

// Where a fault of an open counts its calls from: the open itself (the project file, the
// data-set files' headers and the map files), the reads of the sets' samples, or those of
// the images' pixel files, so that each kind of file the open reads is reached by a small
// count, however many calls the kinds before it take.
enum class TReadKind { Open, Samples, Pixels };

// A fault and the kind of read from which it counts its calls; none for an open without one.
struct TPlannedFault {
    std::vector<vx::TFileFault> faults;
    TReadKind from = TReadKind::Open;
};

// Opens the project, loads every set's samples and every image's pixels, with the fault
// armed from the start of its kind of read: the sets, maps and pixels that could be read.
TOpened OpenAndRead(TProject& project, const std::string& file, bool& opened, const TPlannedFault& fault = {})
{
    const auto arm = [&](TReadKind kind) {
        if (fault.from == kind)
            vx::SetFileFaults(fault.faults);
    };
    TOpened got;
    arm(TReadKind::Open);
    opened = project.Load(file);
    if (!opened)
        return got;
    arm(TReadKind::Samples);
    for (TCSISet* pSet : std::vector<TCSISet*>(project.m_pCSISetList->begin(), project.m_pCSISetList->end())) {
        if (pSet->m_pMapList)
            for (const TMap* pMap : *pSet->m_pMapList)
                got.maps[{pSet->GetName(), pMap->GetName()}] = ContentsOf(*pMap, pSet->MapFilePath(pMap->GetName()));
        if (pSet->LoadData()) {
            got.sets.emplace(pSet->GetName(), vx::fuzz::ContentsOf(*pSet));
            got.loaded.push_back(pSet);
        }
    }
    arm(TReadKind::Pixels);
    for (TMRImage* pImage : *project.m_pImageSet)
        if (pImage->EnsurePixels()) {
            got.pixels.emplace(pImage->GetName(), pImage->GetPixels());
            pImage->FreePixels();
        }
    return got;
}

// Puts the files of a snapshot back in place of what the folder holds, with their rights.
void PutBack(const std::string& folder, const vx::fuzz::TTree& tree)
{
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    std::filesystem::create_directories(folder, error);
    for (const auto& [relative, entry] : tree) {
        const std::string path = vx::JoinPath(folder, relative);
        if (entry.folder)
            std::filesystem::create_directories(path, error);
        else
            vx::fuzz::WriteScratch(path.substr(vx::fuzz::ScratchFolder().size() + 1), entry.bytes);
        vx::fuzz::GiveRights(path, entry.group, int(entry.mode));
    }
}

// The kind of call that the first of a fault's bytes makes fail: a listing (bit 0), a size
// look-up (bit 3), an open to read (bit 4), else a read of an open file.
unsigned FaultCalls(uint8_t byte)
{
    return (byte & 1) ? vx::kFileList : (byte & 8) ? vx::kFileSize : (byte & 16) ? vx::kFileOpenRead : vx::kFileRead;
}

// The call a fault strikes, from the 16 bits an input gives: one of the first 1024 calls
// for half of them (below 0x8000), where an open reads its project file, completes its
// journals and converts an old version; one of the first 32,768 for the others.
int FaultCall(uint16_t bits)
{
    return 1 + (bits < 0x8000 ? bits & 0x3ff : bits & 0x7fff);
}

// The folder as an open leaves it that completes the journal the input laid beside the
// project file (the only place its names reach) and is refused after that: the files its
// lines name as they record them, the journal gone. None where the journal is not one to
// be completed.
std::optional<vx::fuzz::TTree> JournalCompleted(const vx::fuzz::TTree& laid, const std::string& projectName)
{
    const std::string journal = "." + projectName + ".tpj.journal";
    std::map<std::string, vx::fuzz::TJournalOutcome> outcomes;
    const auto it = laid.find(journal);
    if (it == laid.end() || it->second.folder || !vx::fuzz::CompleteJournal(laid, journal, outcomes))
        return std::nullopt;
    vx::fuzz::TTree completed = laid;
    completed.erase(journal);
    for (const auto& [path, outcome] : outcomes) {
        if (!outcome.bytes) {
            completed.erase(path);
            continue;
        }
        vx::fuzz::TTreeEntry& entry = completed[path];
        entry = {false, *outcome.bytes, outcome.mode, outcome.owner, outcome.group};
    }
    return completed;
}

// An open with a listing, a read, a size look-up or an open to read failing at the call `at`
// of those from the start of the kind of read `from` (see the file's head), against an open
// without the fault of the folder as the input laid it.
void CheckFailingOpen(const std::string& projectFile, unsigned calls, int at, TReadKind from)
{
    const std::string folder = vx::FolderOf(projectFile);
    const vx::fuzz::TTree laid = vx::fuzz::Snapshot(folder);
    TOpened clean;
    bool cleanOpened = false;
    {
        TProject project;
        clean = OpenAndRead(project, projectFile, cleanOpened);
    }
    const vx::fuzz::TTree cleanAfter = vx::fuzz::Snapshot(folder);
    // The files the open read: as the input laid them, or as the journal it laid, once
    // completed, put them in place.
    const std::optional<vx::fuzz::TTree> completed = JournalCompleted(laid, vx::StemOf(projectFile));
    const vx::fuzz::TTree& files =
        completed && !cleanAfter.contains("." + vx::StemOf(projectFile) + ".tpj.journal") ? *completed : laid;
    const auto heldAt = [&](const std::string& path) {
        const auto it = files.find(path.substr(std::min(path.size(), folder.size() + 1)));
        return it == files.end() || it->second.folder ? std::nullopt : MapHeld(path, it->second.bytes);
    };
    // A map read holds the sizes and values its file was laid with.
    for (const auto& [name, map] : clean.maps)
        vx::fuzz::Require(map.values.empty() || heldAt(map.path) == map, "a map holds the values its file was laid with");
    PutBack(folder, laid);
    vx::fuzz::ClearReportTexts();
    bool opened = false, asClean = true, projectFileFailed = false;
    std::string failedFile;  // the file whose read, size look-up or open failed
    bool named = false;
    {
        TProject project;
        const TOpened got = OpenAndRead(project, projectFile, opened, {{{calls, EIO, at}}, from});
        const bool struck = vx::FileFaultStruck();
        failedFile = vx::FileFaultStruckRead();
        projectFileFailed = calls == vx::kFileRead && failedFile == projectFile;
        vx::SetFileFaults({});
        // A failure is named by the file that failed, a failed listing by the project's
        // folder (its own, or its work folder's).
        named = failedFile.empty() ? vx::fuzz::Reported(folder) : vx::fuzz::ReportedPath(failedFile);
        vx::fuzz::Require(struck || opened == cleanOpened, "a project opens as before where no call failed");
        for (const TCSISet* pSet : got.loaded) {
            const auto it = clean.sets.find(pSet->GetName());
            vx::fuzz::Require(it != clean.sets.end() && vx::fuzz::SameSet(it->second, *pSet),
                              "a set read despite a failed listing or read is the set read without it");
        }
        // A map of a set that the open without the fault kept aside (its data-set file holding
        // another set), which the fault left listed (the file did not open), is its file's.
        for (const auto& [name, read] : got.maps) {
            const auto it = clean.maps.find(name);
            vx::fuzz::Require(it != clean.maps.end() ? it->second == read : heldAt(read.path) == read,
                              "a map read despite a failed listing or read is the map read without it");
        }
        for (const auto& [name, read] : got.pixels) {
            const auto it = clean.pixels.find(name);
            vx::fuzz::Require(it != clean.pixels.end() && it->second == read,
                              "pixels read despite a failed listing or read are those read without it");
        }
        asClean = got.loaded.size() == clean.loaded.size() && got.maps.size() == clean.maps.size() &&
                  got.pixels.size() == clean.pixels.size();
    }
    // A read of the project file itself that fails refuses the open, naming the file and
    // saying that it cannot be read to its end.
    vx::fuzz::Require(!projectFileFailed || (!opened && vx::fuzz::Reported(projectFile + " cannot be read to its end")),
                      "an open whose read of the project file failed is refused as one that cannot be read to its end");
    if (!opened) {
        vx::fuzz::Require(!cleanOpened || named, "an open refused after a failed listing or read names it");
        // Nothing but the completion of the save left half done that the input laid: a
        // conversion of an old version is the last step of an open that is not refused.
        const vx::fuzz::TTree after = vx::fuzz::Snapshot(folder);
        vx::fuzz::Require(after == laid || (completed && after == *completed),
                          "an open refused after a failed listing or read writes nothing of its own");
        return;
    }
    vx::fuzz::Require(cleanOpened, "a project opens only where it opens without a failed call");
    // What an open that met a failed call did not name must be what the open without it
    // gives: the same sets, maps and pixels, and the folder left alike.
    vx::fuzz::Require(named || (asClean && vx::fuzz::Snapshot(folder) == cleanAfter),
                      "a listing or read that failed in an open, and mattered, is named");
}

}  // namespace

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed)
{
    std::minstd_rand random(seed);
    if (random() % 2 == 0 && size > 1) {
        // The project file: the first part after the byte of choices.
        const auto parts = vx::fuzz::Sections(data + 1, size - 1, 1 + kFiles);
        const std::string_view file = parts[ProjectPart(data[0])];
        if (file.size() >= 4) {
            const size_t begin = size_t(reinterpret_cast<const uint8_t*>(file.data()) - data);
            const std::vector<size_t> fields = AnalysisFields(file);
            if (!fields.empty() && random() % 4 != 0) {
                ChangeField(data, begin + fields[random() % fields.size()], begin + fields[random() % fields.size()],
                            random);
                return size;
            }
            // Else a number of any record: a field of a small value, found in a few tries.
            for (int tries = 0; tries < 64; ++tries) {
                const size_t at = begin + random() % (file.size() - 3);
                const size_t other = begin + random() % (file.size() - 3);
                if (IsSmallField(data + at)) {
                    ChangeField(data, at, IsSmallField(data + other) ? other : at, random);
                    return size;
                }
            }
        }
    }
    return LLVMFuzzerMutate(data, size, maxSize);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = (vx::fuzz::Prepare(), InstallProcessing(), true);
    (void)ready;
    uint8_t pick = 0, choice = 0, fault[3] = {};
    if (!vx::fuzz::TakeByte(data, size, pick) || ((pick & 0x60) && !vx::fuzz::TakeByte(data, size, choice)))
        return 0;
    if (pick & 0x80)
        for (uint8_t& byte : fault)
            if (!vx::fuzz::TakeByte(data, size, byte))
                return 0;
    const std::string folder = vx::JoinPath(vx::fuzz::ScratchFolder(), "project");
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    std::filesystem::create_directories(folder, error);
    const std::string projectName = (pick & 1) ? "~project" : "project";
    if (pick & 8) {
        // A project the program made: the input's project file then takes its place.
        TProject made;
        made.Create(folder, "project");
    }

    const auto parts = vx::fuzz::Sections(data, size, 1 + kFiles);
    const std::string projectFile = vx::JoinPath(folder, projectName + ".tpj");
    const size_t projectPart = ProjectPart(pick);
    vx::fuzz::WriteScratch("project/" + projectName + ".tpj", parts[projectPart]);
    std::vector<std::string> maps, named;
    TLaidFiles laid{{projectFile, std::string(parts[projectPart])}};
    for (size_t k = 0; k <= kFiles; ++k) {
        if (k == projectPart)
            continue;
        const std::string_view part = parts[k];
        const size_t end = part.find('\0');
        if (end == std::string_view::npos || !vx::fuzz::UsableName(part.substr(0, end)) || part.substr(0, end).ends_with(".tpj"))
            continue;
        const std::string name(part.substr(0, end));
        const std::string path = vx::fuzz::WriteScratch("project/" + name, part.substr(end + 1));
        named.push_back(path);
        laid[path] = std::string(part.substr(end + 1));
        if (name.ends_with("_map"))
            maps.push_back(path);
    }
    if (pick & 128) {
        CheckFailingOpen(projectFile, FaultCalls(fault[0]), FaultCall(uint16_t(fault[1] | fault[2] << 8)),
                         TReadKind(((fault[0] >> 1) & 3) % 3));
        return 0;
    }
    if (pick & 32) {
        CheckChangedHeaderField(projectFile, choice);
        return 0;
    }
    std::string special, what;
    if ((pick & 64) && !named.empty()) {
        special = named[(choice % kFiles) % named.size()];
        what = vx::fuzz::PutSpecialFile(special, choice / kFiles);
        if (what.empty())
            __builtin_trap();
    }

    TProject::CheckProjectFile(projectFile);
    // A project loaded shows its images' pixels and is saved again; then it is anonymized
    // and saved as a copy in another folder, as the program saves them. Once it has let
    // both folders go, the saved project must open again as it was, and the copy without a
    // patient text.
    std::optional<TSaved> saved;
    std::map<std::string, int> texts;
    std::map<std::string, size_t> counts;
    const std::string copyFolder = vx::JoinPath(vx::fuzz::ScratchFolder(), "copy");
    bool copied = false;
    {
        TProject project;
        vx::fuzz::ClearReportTexts();
        if (project.Load((pick & 2) ? "\"" + projectFile + "\"" : projectFile)) {
            if (!special.empty())
                CheckSpecialFile(project, special, what);
            CheckPixels(project, laid, projectFile);
            if (project.Save()) {
                saved = SavedOf(project);
                texts = PatientTextsOf(project);
                counts = CountPatientTexts(folder, texts);
                project.Anonymize();
                std::filesystem::remove_all(copyFolder, error);
                if (pick & 4)  // a file where the copy's folder would be: the copy is refused
                    vx::fuzz::WriteScratch("copy", std::string_view("x"));
                copied = project.SaveAs(vx::fuzz::ScratchFolder() + "/", "copy");
            }
        }
    }
    if (saved)
        CheckSavedProject(*saved);
    if (copied) {
        TProject copy;
        if (!copy.Load(vx::JoinPath(copyFolder, "copy.tpj")))
            __builtin_trap();
        CheckAnonymized(copy, copyFolder, texts, counts);
    }
    for (const std::string& path : maps)
        for (int version = 0; version <= TProject::kFileVersion; ++version) {
            TMap map;
            vx::fuzz::ClearReportTexts();
            const bool read = map.ReadFile(path, version);
            // Something other than a file is refused, saying what it is.
            if (path == special && (read || !vx::fuzz::Reported(special) ||
                                    !vx::fuzz::EveryReportNaming(special, what + ", not a file")))
                __builtin_trap();
        }
    return 0;
}
