// The CSI data-set file: a 256-byte header of parameters followed by the complex
// samples of every voxel (x fastest, then y, then z), all 4-byte little-endian fields.
//
// Layouts by version: 0 and 1 hold the samples alone (the parameters come from the
// project record); 2 has the fields up to the acquisition value (offset 120); 3 adds
// the k-space and multi-slice flags, angulation and off-centre (to 152); 4 to 8 add
// the rotation (to 188); 9 adds the two applied broadenings (to 196). The header is
// 256 bytes in every version from 2 on, the rest reserved and zero.
#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "model/math/MatrixHelpers.h"
#include "model/TCSISet.h"
#include "model/math/TextHelpers.h"
#include "platform/Numbers.h"
#include "platform/OpenToRead.h"
#include "platform/Report.h"
#include "platform/TFile.h"
#include "platform/Workers.h"

namespace {

constexpr size_t kHeaderSize = 256;
constexpr size_t kBytesPerPoint = 8;  // float real, float imaginary

// Walks the header fields in file order; the reader and the writer share the order.
class THeaderReader {
public:
    explicit THeaderReader(const unsigned char* bytes) : m_bytes(bytes) {}
    void Int(const char*, int& v) { Take(&v); }
    void Float(const char*, float& v) { Take(&v); }
    size_t Offset() const { return m_pos; }

private:
    template <class T>
    void Take(T* v)
    {
        static_assert(sizeof(T) == 4);
        std::memcpy(v, m_bytes + m_pos, 4);
        m_pos += 4;
    }
    const unsigned char* m_bytes;
    size_t m_pos = 0;
};

class THeaderWriter {
public:
    explicit THeaderWriter(unsigned char* bytes) : m_bytes(bytes) {}
    void Int(const char*, const int& v) { Put(&v); }
    void Float(const char*, const float& v) { Put(&v); }
    size_t Offset() const { return m_pos; }

private:
    void Put(const void* v)
    {
        std::memcpy(m_bytes + m_pos, v, 4);
        m_pos += 4;
    }
    unsigned char* m_bytes;
    size_t m_pos = 0;
};

// The fields after the version and header-size words, as far as `version` holds them,
// each with its name for messages. P is TCSIParams or const TCSIParams, matching the walker.
template <class Walker, class P>
void WalkFields(Walker& w, P& p, int version)
{
    for (auto& v : p.m_fVoxelShift) w.Float("voxel shift", v);
    for (auto& v : p.m_fFOV) w.Float("field of view", v);
    for (auto& v : p.m_nDim) w.Int("matrix size", v);
    w.Int("points", p.m_nPoints);
    w.Int("first point", p.m_nFirstPoint);
    w.Int("last point", p.m_nLastPoint);
    w.Int("sweep width", p.m_nSpectralWidth);
    w.Float("frequency", p.m_fFrequency);
    w.Float("PPM centre", p.m_fPPMCentrePoint);
    w.Float("PPM reference", p.m_fPPMCentreValue);
    w.Float("phase 0", p.m_fPhase0);
    w.Float("phase 1", p.m_fPhase1);
    w.Int("pivot", p.m_nPivot);
    w.Int("echo shifted", p.m_bEchoShifted);
    w.Int("frequency domain", p.m_bFrequencyDomain);
    w.Int("format", p.m_nFormat);
    w.Int("echo position", p.m_nEchoPosition);
    w.Int("dimensions", p.m_nSpatialDims);
    w.Int("slice axis", p.m_nSliceAxis);
    w.Float("TR", p.m_fTR);
    w.Float("TE", p.m_fTE);
    w.Float("averages", p.m_fAverages);
    if (version < 3)
        return;
    w.Int("k-space", p.m_bKSpace);
    w.Int("multi-slice", p.m_bMultiSlice);
    for (auto& v : p.m_fAngulation) w.Float("angulation", v);
    for (auto& v : p.m_fOffCentre) w.Float("off-centre", v);
    if (version < 4)
        return;
    for (auto& row : p.m_fRotation)
        for (auto& v : row) w.Float("rotation", v);
    if (version < 9)
        return;
    w.Float("Lorentz broadening", p.m_fLorentzBroadening);
    w.Float("Gauss broadening", p.m_fGaussBroadening);
}

// The layout whose fields a project record holds as well: every field but the
// broadenings, which only the data-set file keeps.
constexpr int kFieldsOfTheRecord = 8;

// The fields as a walk meets them: name and bits, and whether they hold a float.
class TFieldValues {
public:
    struct TField {
        const char* name;
        uint32_t bits;
        bool isFloat;
        std::string Text() const
        {
            return isFloat ? vx::FormatGeneral(std::bit_cast<float>(bits))
                           : std::to_string(std::bit_cast<int32_t>(bits));
        }
    };
    void Int(const char* name, const int& v) { m_fields.push_back({name, std::bit_cast<uint32_t>(v), false}); }
    void Float(const char* name, const float& v) { m_fields.push_back({name, std::bit_cast<uint32_t>(v), true}); }
    const std::vector<TField>& Fields() const { return m_fields; }

private:
    std::vector<TField> m_fields;
};

// Sizes a read can trust: every matrix size and the point count at least 1, the grid
// within the set's limit, and the sample bytes (64-bit) no more than the file holds.
bool SamplesFit(const TCSIParams& p, int64_t bytesLeft, uint64_t& sampleBytes)
{
    if (p.m_nDim[0] < 1 || p.m_nDim[1] < 1 || p.m_nDim[2] < 1 || p.m_nPoints < 1)
        return false;
    // One axis at a time: the product of three sizes can overflow 64 bits and wrap.
    uint64_t voxels = 1;
    for (int k = 0; k < 3; ++k) {
        voxels *= uint64_t(p.m_nDim[k]);
        if (voxels > TCSISet::kMaxVoxels)
            return false;
    }
    // voxels <= 2^24 and points < 2^31: the product fits in 64 bits.
    sampleBytes = voxels * uint64_t(p.m_nPoints) * kBytesPerPoint;
    return bytesLeft >= 0 && sampleBytes <= uint64_t(bytesLeft);
}

// Reads the header fields of layout `version` (2 or later) that follow the version word;
// false when the file ends before them.
bool ReadHeaderFields(vx::TFile& file, int version, TCSIParams& header)
{
    unsigned char bytes[kHeaderSize - 4];
    if (!ReadExact(file, bytes, sizeof bytes))
        return false;
    THeaderReader reader(bytes + 4);  // the header-size word is not used
    WalkFields(reader, header, version);
    return true;
}

// What a read takes of a header's flags and point range: a range outside the points, or
// reversed (which would give the views a negative point count), becomes all points.
void NormalizeRead(TCSIParams& p)
{
    p.m_bEchoShifted &= 1;
    p.m_bFrequencyDomain &= 1;
    if (p.m_nFirstPoint < 0 || p.m_nFirstPoint >= p.m_nPoints)
        p.m_nFirstPoint = 0;
    if (p.m_nLastPoint < 0 || p.m_nLastPoint >= p.m_nPoints)
        p.m_nLastPoint = p.m_nPoints - 1;
    if (p.m_nFirstPoint > p.m_nLastPoint) {
        p.m_nFirstPoint = 0;
        p.m_nLastPoint = p.m_nPoints - 1;
    }
}

TSampleShape ShapeOf(const TCSIParams& p)
{
    return TSampleShape{{p.m_nDim[0], p.m_nDim[1], p.m_nDim[2]}, p.m_nPoints};
}

void ReportCannotOpen(const std::string& path, const vx::TFile& file)
{
    vx::Report("Can not open CSI data set file " + path + vx::NotOpenedNote(path, file.NotAFile(), file.LastError()),
               vx::ReportIcon::Exclamation);
}

// Refuses the data file with `text`, or, when a read failed or the file's size could not be
// looked up, says so instead: a file that the disk failed to give is not one too short or
// invalid.
void ReportRefused(const std::string& path, const vx::TFile& file, const std::string& text)
{
    vx::Report(file.ReadFailed()   ? vx::NotReadToEndText("The CSI data file", path, file.LastError())
               : file.SizeFailed() ? vx::SizeNotReadText("The CSI data file", path, file.LastError())
                                   : text,
               vx::ReportIcon::Exclamation);
}

void ReportInvalid(const std::string& path, const vx::TFile& file)
{
    ReportRefused(path, file, "The CSI data file " + path + " is invalid.");
}

}  // namespace

bool TCSISet::CanOpenDataFile(bool report) const
{
    vx::TFile file;
    if (OpenDataFile(file))
        return true;
    if (report)
        ReportCannotOpen(m_strFilePath, file);
    return false;
}

int TCSISet::DataFileLayout(int projectVersion) const
{
    if (projectVersion != kDataFileVersion)
        return projectVersion;
    vx::TFile file;
    if (!OpenDataFile(file))
        return projectVersion;
    const int64_t size = file.BytesLeft();
    int32_t first = 0;
    if (!file.ReadInt32(first) || first == kDataFileVersion)
        return projectVersion;
    // Layouts 0 and 1 are the samples of the set's grid alone, with no header;
    // 2 to 8 begin with their version word and a header.
    uint64_t sampleBytes = 0;
    if (SamplesFit(*this, size, sampleBytes) && sampleBytes == uint64_t(size))
        return 1;
    if (first >= 2 && first < kDataFileVersion && size >= static_cast<int64_t>(kHeaderSize))
        return first;
    return projectVersion;
}

TCSISet::TDataFileCheck TCSISet::CheckDataFile(const TCSIParams& record, vx::TFile& file, bool opened,
                                               const std::string& path, int projectVersion)
{
    TDataFileCheck check;
    if (!opened) {
        if (!file.NotAFile().empty())
            check.disagreement = "its data-set file " + path + " is " + file.NotAFile() + ", not a file";
        check.error = file.LastError();
        return check;
    }
    check.opens = true;
    // A file too short for what is read is damaged, which a load refuses as such; what the
    // file holds but failed while it was read could be another set's.
    const auto unread = [&](int64_t bytes) {
        // A size that could not be looked up is said as such, with its own error.
        if (file.SizeFailed()) {
            const std::string text = vx::SizeNotReadText("its data-set file", path, file.LastError());
            check.disagreement = text.substr(0, text.size() - 1);  // the list adds its own end
        } else if (file.Size() >= bytes) {
            check.disagreement = "its data-set file " + path + " cannot be read to its end";
        }
        return check;
    };
    // Only a header of the newest layout is compared; a file of another layout waits for
    // its conversion, which reads it as that layout.
    int32_t version = 0;
    if (projectVersion < 0)
        return check;
    if (!file.ReadInt32(version))
        return unread(4);
    if (version != kDataFileVersion)
        return check;
    // An older project's files begin with its own version word (those of versions 0 and 1
    // with samples): one of the newest layout was not converted with it, and reading it as
    // the project's version, as the conversion does, fails.
    if (projectVersion >= 2 && projectVersion < kDataFileVersion) {
        check.disagreement = "its data-set file " + path +
                             " was not converted with the project: it is of the newest version already, the project "
                             "file of version " + std::to_string(projectVersion);
        return check;
    }
    TCSIParams header = record;
    if (projectVersion != kDataFileVersion)
        return check;
    if (!ReadHeaderFields(file, version, header))
        return unread(static_cast<int64_t>(kHeaderSize));
    // A header that no set could have is a damaged file, which the load refuses as such;
    // so is a file too short for the samples its own header gives, whose header says
    // nothing sure of the set (an older project's file that no conversion rewrote can
    // begin with this version's word).
    uint64_t sampleBytes = 0;
    const int64_t left = file.BytesLeft();
    if (file.SizeFailed())
        return unread(static_cast<int64_t>(kHeaderSize));
    if (!CanBeListed(header) || !SamplesFit(header, left, sampleBytes))
        return check;
    // Both as a load takes them: a record written after a load holds what the load made of
    // its file's point range.
    TCSIParams said = record;
    NormalizeRead(said);
    NormalizeRead(header);
    TFieldValues recordFields, fileFields;
    WalkFields(recordFields, static_cast<const TCSIParams&>(said), kFieldsOfTheRecord);
    WalkFields(fileFields, static_cast<const TCSIParams&>(header), kFieldsOfTheRecord);
    const std::vector<TFieldValues::TField>&r = recordFields.Fields(), &f = fileFields.Fields();
    // Each field named once with all its values (the three of the field of view), after
    // the grid, points and frequency that say which set a file holds.
    std::string recordSays, fileSays;
    bool differs = false;
    for (size_t begin = 0, end; begin < r.size(); begin = end) {
        bool same = true;
        for (end = begin; end < r.size() && std::string_view(r[end].name) == r[begin].name; ++end)
            same = same && r[end].bits == f[end].bits;
        differs = differs || !same;
        const std::string_view name = r[begin].name;
        if (same || name == "matrix size" || name == "points" || name == "frequency")
            continue;
        recordSays += ", " + std::string(name);
        fileSays += ", " + std::string(name);
        for (size_t k = begin; k < end; ++k) {
            (recordSays += ' ') += r[k].Text();
            (fileSays += ' ') += f[k].Text();
        }
    }
    if (!differs)
        return check;
    const auto describe = [](const TCSIParams& p) {
        return std::to_string(p.m_nDim[0]) + "x" + std::to_string(p.m_nDim[1]) + "x" + std::to_string(p.m_nDim[2]) +
               ", " + std::to_string(p.m_nPoints) + " points, " + vx::FormatFixed(p.m_fFrequency, 2) + " MHz";
    };
    check.disagreement = "its data-set file " + path + " holds another set: the record says " + describe(said) +
                         recordSays + ", the file " + describe(header) + fileSays;
    return check;
}

void TCSISet::CopyFileParams(const TCSIParams& from, TCSIParams& to)
{
    unsigned char bytes[kHeaderSize] = {};
    THeaderWriter writer(bytes);
    WalkFields(writer, from, kDataFileVersion);
    THeaderReader reader(bytes);
    WalkFields(reader, to, kDataFileVersion);
}

TSampleShape TCSISet::SampleShape() const
{
    return ShapeOf(*this);
}

bool TCSISet::ReadDataFile(const std::string& path, int fileVersion, const TSampleShape* expected)
{
    vx::TFile file;
    const bool opened = file.Open(path, vx::TFile::Mode::Read);
    return ReadDataFile(file, opened, path, fileVersion, expected);
}

bool TCSISet::ReadDataFile(vx::TFile& file, bool opened, const std::string& path, int fileVersion,
                           const TSampleShape* expected)
{
    if (!opened) {
        m_bDataFileNotGiven = file.NotAFile().empty() && file.LastError() != ENOENT && file.LastError() != ENOTDIR;
        ReportCannotOpen(path, file);
        return false;
    }
    const bool read = ReadOpenDataFile(file, fileVersion, expected);
    // However the file was refused, a read or a size look-up that failed made it so.
    m_bDataFileNotGiven = file.ReadFailed() || file.SizeFailed();
    return read;
}

bool TCSISet::ReadDataFile(const vx::TFolder& folder, const std::string& name, int fileVersion,
                           const TSampleShape* expected)
{
    vx::TFile file;
    if (!file.Open(folder, name)) {
        ReportCannotOpen(folder.PathOf(name), file);
        return false;
    }
    return ReadOpenDataFile(file, fileVersion, expected);
}

bool TCSISet::ReadOwnDataFile(int fileVersion)
{
    vx::TFile file;
    const bool opened = OpenDataFile(file);
    return ReadDataFile(file, opened, DataFileToRead(), fileVersion, nullptr);
}

bool TCSISet::ReadOpenDataFile(vx::TFile& file, int fileVersion, const TSampleShape* expected)
{
    const std::string path = file.Path();
    // Parse into a copy; the set changes only once the whole file has been read.
    TCSIParams header = *this;
    if (fileVersion >= 2) {
        int32_t version = 0;
        if (!ReadExact(file, &version, 4) || version != fileVersion) {
            ReportRefused(path, file, "The CSI data file " + path + " has invalid version.");
            return false;
        }
        if (!ReadHeaderFields(file, fileVersion, header)) {
            ReportInvalid(path, file);
            return false;
        }
        // The file has no inverse rotation: keep it the inverse of the rotation read,
        // as the CSI-to-patient transform needs (a singular matrix leaves it alone).
        float inverse[3][3];
        if (fileVersion >= 4 && InvertMatrix3x3(header.m_fRotation, inverse, FailureMessage::None))
            std::memcpy(header.m_fRotationInverse, inverse, sizeof inverse);
    }

    // Everything else in the program indexes by these: refuse what it cannot use.
    uint64_t sampleBytes = 0;
    if (!SamplesFit(header, file.BytesLeft(), sampleBytes) || header.m_nSliceAxis < 0 ||
        header.m_nSliceAxis > 2 || header.m_nEchoPosition < 0 || header.m_nEchoPosition >= header.m_nPoints) {
        ReportInvalid(path, file);
        return false;
    }
    // A set the project file lists must stay one it can list: a header with a field of
    // view, frequency or sweep width of zero, or a rotation without inverse, would make
    // the next save write a project that no longer opens.
    if (fileVersion >= 2 && CanBeListed() && !CanBeListed(header)) {
        ReportInvalid(path, file);
        return false;
    }
    if (expected && ShapeOf(header) != *expected) {
        vx::Report("The CSI data file " + path + " does not belong to the CSI set " + m_strName +
                       ": its grid or point count differs.",
                   vx::ReportIcon::Exclamation);
        return false;
    }
    NormalizeRead(header);

    // The sizes were checked against the file above, so nothing allocated here is
    // larger than the file. A set that has spectra for this grid keeps them (views hold
    // pointers to them, the selection of a loaded set survives, and their memory is
    // reused); otherwise the samples go into new spectra that replace the voxel array
    // only once everything has been read.
    const size_t voxels = static_cast<size_t>(header.m_nDim[0]) * size_t(header.m_nDim[1]) * size_t(header.m_nDim[2]);
    const size_t voxelBytes = static_cast<size_t>(header.m_nPoints) * kBytesPerPoint;
    const bool reuse = m_bAllocated && m_voxels.size() == voxels &&
                       std::all_of(m_voxels.begin(), m_voxels.end(), [](const auto& v) { return v != nullptr; });
    std::vector<std::unique_ptr<TSpectrum>> fresh;
    if (!reuse) {
        fresh.reserve(voxels);
        for (size_t i = 0; i < voxels; ++i)
            fresh.push_back(std::make_unique<TSpectrum>());
    }
    std::vector<std::unique_ptr<TSpectrum>>& target = reuse ? m_voxels : fresh;
    // The voxels are read in blocks on the workers (new memory is first touched there
    // as well), each at its own place in the file, and each spectrum's ranges taken
    // right after its read.
    const int64_t samplesAt = file.Tell();
    const auto readBlock = [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            TSpectrum& spectrum = *target[i];
            if (spectrum.m_nPoints != header.m_nPoints || spectrum.SampleCount() != header.m_nPoints)
                spectrum.AllocateZeroed(header.m_nPoints);
            if (!spectrum.Data() ||
                !file.ReadExactAt(samplesAt + static_cast<int64_t>(i * voxelBytes), spectrum.Data(), voxelBytes))
                return false;
            spectrum.m_nPoints = header.m_nPoints;  // as InitVoxels sets it below
            spectrum.UpdateRange();                  // while the samples are in the cache
        }
        return true;
    };
    // Small files are read on the calling thread: starting threads would cost more.
    constexpr uint64_t kParallelBytes = uint64_t(4) << 20;
    const bool read = samplesAt >= 0 && (sampleBytes < kParallelBytes ? readBlock(0, voxels)
                                                                      : vx::RunWorkerBlocks(voxels, readBlock));
    if (!read) {
        // Only a failing disk gets here (or a file cut short since its size was looked up).
        // The old samples of a reused set are gone:
        // it is left cleanly not loaded, with its parameters and zeroed spectra.
        if (reuse) {
            for (const std::unique_ptr<TSpectrum>& v : m_voxels) {
                v->AllocateZeroed(std::max(m_nPoints, 0));
                v->m_nPoints = m_nPoints;
            }
            m_bLoaded = false;
        }
        ReportInvalid(path, file);
        return false;
    }
    file.Close();

    static_cast<TCSIParams&>(*this) = header;
    if (!reuse) {
        FreeSpectra();
        m_voxels = std::move(fresh);
        m_bAllocated = true;
    }
    // A reused loaded set keeps its selection; new spectra start with the flags clear.
    InitVoxels();
    m_bLoaded = true;
    CombineDataRanges();
    return true;
}

namespace {

// Reports a data-set file that could not be written, the note's sentence after it.
bool ReportNotWritten(const std::string& path, const vx::TWriteFailureNote& note, const std::string& why)
{
    vx::Report("Can not write CSI data set file " + path + ".\r\n" + (note ? note(why) : std::string()),
               vx::ReportIcon::Exclamation);
    return false;
}

}  // namespace

bool TCSISet::WriteDataFile(const std::string& path, bool durable, vx::TFileTransaction* transaction,
                            const vx::TWriteFailureNote& note)
{
    // A set whose samples are not in memory (they live in its data-set file) has
    // nothing to write: its header alone would claim samples the file does not hold,
    // and written over its own file it would destroy the only copy of them.
    if (!m_bAllocated && GridSize() > 0 && m_nPoints > 0)
        return ReportNotWritten(path, note, std::string());
    vx::TAtomicFile out;
    if (!out.Begin(path, transaction))
        return ReportNotWritten(path, note, out.WhyNotWritten());
    if (!WriteDataFields(out.File(), durable) || !out.Commit(durable)) {
        const std::string why = out.WhyNotWritten();
        out.Abort();
        return ReportNotWritten(path, note, why);
    }
    return true;
}

bool TCSISet::WriteDataFile(vx::TFile& file, const vx::TWriteFailureNote& note)
{
    if (!m_bAllocated && GridSize() > 0 && m_nPoints > 0)
        return ReportNotWritten(file.Path(), note, std::string());
    if (!WriteDataFields(file, false) || !file.Close())
        return ReportNotWritten(file.Path(), note,
                                file.LastError() == 0 ? std::string() : vx::FileErrorReason(file.LastError()));
    return true;
}

bool TCSISet::WriteDataFields(vx::TFile& file, bool durable) const
{
    unsigned char header[kHeaderSize] = {};
    THeaderWriter writer(header);
    const int version = kDataFileVersion;
    const int headerSize = static_cast<int>(kHeaderSize);
    writer.Int("version", version);
    writer.Int("header size", headerSize);
    WalkFields(writer, static_cast<const TCSIParams&>(*this), kDataFileVersion);
    bool ok = file.Write(header, sizeof header);

    // Samples in voxel-array order, written from the spectra's own arrays in groups of
    // about 1 MB. The file always matches its header: the grid's voxel count of the
    // set's point count each, a missing voxel or sample written as zero.
    const size_t points = m_nPoints > 0 ? static_cast<size_t>(m_nPoints) : 0;
    const size_t voxelBytes = points * kBytesPerPoint;
    const size_t voxels = GridSize();
    if (ok && m_bAllocated && voxelBytes > 0) {
        const size_t perGroup = std::max<size_t>(1, (size_t(1) << 20) / voxelBytes);
        const std::vector<TComplex> zeros(points);
        std::vector<vx::TFile::TPart> parts;
        for (size_t i = 0; ok && i < voxels; ++i) {
            const TSpectrum* s = GetVoxel(i);
            const size_t have = s ? std::min(points, static_cast<size_t>(s->SampleCount())) : 0;
            if (have > 0)
                parts.push_back({s->Data(), have * kBytesPerPoint});
            if (have < points)
                parts.push_back({zeros.data(), (points - have) * kBytesPerPoint});
            if ((i + 1) % perGroup == 0 || i + 1 == voxels) {
                ok = file.WriteParts(parts.data(), parts.size());
                parts.clear();
                // A durable file goes to the disk every 8 MB while the next groups are
                // written, leaving the sync before the rename little to wait for.
                if (ok && durable && (i + 1) % (8 * perGroup) == 0)
                    file.StartWriteBack();
            }
        }
    }
    return ok;
}
