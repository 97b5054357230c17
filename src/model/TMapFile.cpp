// The map file: the version word, the word 256, the map's parameters field by field
// (their file order is not the order of TMapParams), the two reference names and the
// values, x fastest. All numbers are 4-byte little-endian.
//
// Layouts by version: below 3 the 26 fields up to offset 112, then 144 unused bytes;
// 3 to 7 add angulation and off-centre (to 136), then 120 unused bytes, so that the
// values begin at 256 in both; from 8 the quantitation fields (to 192), the two names
// and then the values.
#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "model/TCSISet.h"
#include "model/TMap.h"
#include "model/TProject.h"
#include "model/math/TextHelpers.h"
#include "platform/OpenToRead.h"
#include "platform/Report.h"
#include "platform/TFile.h"

namespace {

constexpr int32_t kMapFileVersion = 9;
constexpr int32_t kWord256 = 256;
// Where the values begin in the layouts before version 8.
constexpr int64_t kOldHeaderSize = 256;

// The fields after the two leading words, as far as `version` holds them. P is
// TMapParams or const TMapParams, matching the walker.
template <class Walker, class P>
bool WalkFields(Walker& w, P& p, int version)
{
    bool ok = true;
    auto ints = [&](auto&... v) { ((ok = ok && w.Int(v)), ...); };
    auto floats = [&](auto&... v) { ((ok = ok && w.Float(v)), ...); };
    floats(p.voxelShift[0], p.voxelShift[1], p.voxelShift[2], p.fov[0], p.fov[1], p.fov[2]);
    ints(p.size[0], p.size[1], p.size[2], p.selectedOnly, p.aux1);
    floats(p.peakEndPPM, p.peakStartPPM);
    ints(p.aux2, p.method, p.aux3, p.centreOnPeak, p.ratioOfPeaks);
    floats(p.refPeakEndPPM, p.refPeakStartPPM, p.maxMagnitude, p.maxImag, p.maxReal, p.minMagnitude, p.minImag,
           p.minReal);
    if (version < 3)
        return ok;
    floats(p.angulation[0], p.angulation[1], p.angulation[2], p.offCentre[0], p.offCentre[1], p.offCentre[2]);
    if (version < 8)
        return ok;
    ints(p.useInternalReference, p.useReferenceMap, p.molarUnit, p.relaxationCorrection);
    floats(p.quantScale, p.aux5, p.aux6, p.referenceConcentration);
    ints(p.aux4);
    floats(p.t1, p.t2);
    ints(p.referenceVoxel[0], p.referenceVoxel[1], p.referenceVoxel[2]);
    return ok;
}

class TFieldReader {
public:
    explicit TFieldReader(vx::TFile& file) : m_file(file) {}
    bool Int(int32_t& v) { return m_file.ReadInt32(v); }
    bool Float(float& v) { return m_file.ReadFloat(v); }

private:
    vx::TFile& m_file;
};

class TFieldWriter {
public:
    explicit TFieldWriter(vx::TFile& file) : m_file(file) {}
    bool Int(const int32_t& v) { return m_file.WriteInt32(v); }
    bool Float(const float& v) { return m_file.WriteFloat(v); }

private:
    vx::TFile& m_file;
};

// Reading messages are boxes even while a batch runs.
bool Refuse(const std::string& text)
{
    vx::Report(text, vx::ReportIcon::Exclamation, vx::BatchPolicy::AlwaysBox);
    return false;
}

}  // namespace

bool TMap::WriteFile(const std::string& path, vx::TFileTransaction* transaction, const vx::TWriteFailureNote& note)
{
    const auto fail = [&](const std::string& why) {
        vx::Report("Can not write map file " + path + (note ? "\r\n" + note(why) : std::string()),
                   vx::ReportIcon::Exclamation);
        return false;
    };
    // A map without its values would give a file whose sizes claim values it lacks.
    const size_t count = size[0] < 1 || size[1] < 1 || size[2] < 1
                             ? 0
                             : static_cast<size_t>(size[0]) * static_cast<size_t>(size[1]) * static_cast<size_t>(size[2]);
    vx::TAtomicFile out;
    if (count == 0 || count != m_values.size())
        return fail(std::string());
    if (!out.Begin(path, transaction))
        return fail(out.WhyNotWritten());
    vx::TFile& file = out.File();
    TFieldWriter writer(file);
    bool ok = file.WriteInt32(kMapFileVersion) && file.WriteInt32(kWord256) &&
              WalkFields(writer, static_cast<const TMapParams&>(*this), kMapFileVersion) &&
              WriteCString(file, GetReferenceSetName()) && WriteCString(file, GetReferenceMapName());
    static_assert(sizeof(TComplex) == 8, "a value is two floats");
    ok = ok && file.Write(m_values.data(), m_values.size() * sizeof(TComplex));
    if (!ok || !out.Commit()) {
        const std::string why = out.WhyNotWritten();
        out.Abort();
        return fail(why);
    }
    return true;
}

bool TMap::ReadFile(const std::string& path)
{
    const TProject* project = csiSet ? csiSet->GetProject() : nullptr;
    return ReadFile(path, project ? project->m_nFileVersion : TProject::kFileVersion);
}

bool TMap::ReadFile(const std::string& path, int fileVersion)
{
    vx::TFile file;
    m_bFileNotGiven = false;
    if (!(csiSet ? csiSet->OpenMapFile(path, file) : file.Open(path, vx::TFile::Mode::Read))) {
        m_bFileNotGiven = file.NotAFile().empty() && file.LastError() != ENOENT && file.LastError() != ENOTDIR;
        return Refuse("Cannot open map file " + path + vx::NotOpenedNote(path, file.NotAFile(), file.LastError()));
    }
    // A read that failed is said to have failed: the file is not known to be damaged.
    const auto invalid = [&] {
        m_bFileNotGiven = file.ReadFailed();
        return Refuse(file.ReadFailed() ? vx::NotReadToEndText("The map file", path, file.LastError())
                                        : "The map file " + path + " is invalid.");
    };
    int32_t version = 0;
    if (!file.ReadInt32(version))
        return invalid();
    if (version != fileVersion)
        return Refuse("The map file " + path + " has invalid version.");

    // Parse into a copy; the map changes only once the whole file has been read.
    TMapParams header = *this;
    header.csiSet = csiSet;
    int32_t word256 = 0;
    TFieldReader reader(file);
    if (!file.ReadInt32(word256) || !WalkFields(reader, header, version))
        return invalid();
    if (version < 8) {
        if (!file.Seek(kOldHeaderSize))
            return invalid();
    } else if (!ReadCString(file, header.referenceSetName) || !ReadCString(file, header.referenceMapName)) {
        return invalid();
    }

    // The sizes come from the file: the values they claim must be there, and fit a map.
    uint64_t count = 1;
    for (int d = 0; d < 3; ++d) {
        if (header.size[d] < 1)
            return invalid();
        count *= static_cast<uint64_t>(header.size[d]);
        if (count > kMaxValues)
            return invalid();
    }
    const int64_t left = file.BytesLeft();
    if (left < 0)
        return Refuse(vx::SizeNotReadText("The map file", path, file.LastError()));
    if (count * sizeof(TComplex) > static_cast<uint64_t>(left))
        return invalid();
    std::vector<TComplex> values(static_cast<size_t>(count));
    if (!file.ReadExact(values.data(), values.size() * sizeof(TComplex)))
        return invalid();
    file.Close();

    header.displayMax = header.maxReal;
    header.displayMin = header.minReal;
    static_cast<TMapParams&>(*this) = std::move(header);
    m_values = std::move(values);
    m_nState = kSaved;
    return true;
}
