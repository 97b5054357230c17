// The record of a CSI set in the project file.
//
// The record carries the parameters, texts and mask of a set, not its samples (those
// are in the set's data-set file). Groups were added over the file versions; a reader
// takes what the project file's version word says is there, and the writer always
// writes the newest layout.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "model/math/Geometry.h"
#include "model/math/MatrixHelpers.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TKeptRecord.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "model/math/TextHelpers.h"
#include "platform/Paths.h"
#include "platform/TFile.h"

namespace {

constexpr int kMaxBoxes = 2;

// The values of a localisation box that the record carries: centre, angulation and
// size (values 3 to 11 of the box table), in table order.
float* BoxValue(TCSIParams& p, int k, int box)
{
    if (k < 3)
        return &p.m_fVolOffCentre[k][box];
    if (k < 6)
        return &p.m_fVolAngulation[k - 3][box];
    return &p.m_fVolSize[k - 6][box];
}

// Reads the fields of one record in order and remembers the first short read.
class TFieldReader {
public:
    explicit TFieldReader(vx::TFile& file) : m_file(file) {}
    bool Ok() const { return m_ok; }
    void Fail() { m_ok = false; }
    vx::TFile& File() { return m_file; }

    void Int(int& v)
    {
        int32_t w = 0;
        if (m_ok && (m_ok = m_file.ReadInt32(w)))
            v = w;
    }
    void Float(float& v)
    {
        if (m_ok)
            m_ok = m_file.ReadFloat(v);
    }
    void Floats(float* v, int n)
    {
        for (int i = 0; i < n; ++i)
            Float(v[i]);
    }
    void Ints(int* v, int n)
    {
        for (int i = 0; i < n; ++i)
            Int(v[i]);
    }
    // A zero-terminated text; a file that ends before the zero is a short read.
    void Text(std::string& text)
    {
        if (!m_ok)
            return;
        const int64_t start = m_file.Tell();
        text = ReadCString(m_file);
        m_ok = m_file.Tell() - start == static_cast<int64_t>(text.size()) + 1;
    }
    // A count of items of at least `minBytes` bytes each that the rest of the file must hold.
    bool Count(int32_t& n, int64_t minBytes)
    {
        int v = 0;
        Int(v);
        n = v;
        if (m_ok && (n < 0 || static_cast<int64_t>(n) * minBytes > m_file.BytesLeft()))
            m_ok = false;
        return m_ok;
    }

private:
    vx::TFile& m_file;
    bool m_ok = true;
};

// One record as read, before it is checked and taken over by a set.
struct TParsedRecord {
    TCSIParams params;
    int workSet = 0;
    std::vector<std::string> mapNames;
    std::vector<int32_t> mask;  // empty when the file version has no mask
    int32_t sliceEntries = -1;  // per-slice entries in the file; -1 when the version has none
    std::vector<int64_t> patientTextsAt;  // file offsets of the patient name and birth date
};

int SliceCountOf(const TCSIParams& p)
{
    return p.m_nSliceAxis >= 0 && p.m_nSliceAxis < 3 ? p.m_nDim[p.m_nSliceAxis] : 0;
}

// Reads every group that the version holds. The counts read are checked against the
// bytes left in the file; meaning (validity, grid sizes) is checked by the caller.
bool ParseRecord(vx::TFile& file, int32_t version, TParsedRecord& r)
{
    TFieldReader in(file);
    TCSIParams& p = r.params;
    in.Floats(p.m_fVoxelShift, 3);
    in.Floats(p.m_fFOV, 3);
    in.Ints(p.m_nDim, 3);
    in.Int(p.m_nPoints);
    in.Int(p.m_nFirstPoint);
    in.Int(p.m_nLastPoint);
    in.Int(p.m_nSpectralWidth);
    in.Float(p.m_fFrequency);
    in.Float(p.m_fPPMCentrePoint);
    in.Float(p.m_fPPMCentreValue);
    in.Float(p.m_fPhase0);
    in.Float(p.m_fPhase1);
    in.Int(p.m_nPivot);
    in.Int(p.m_bEchoShifted);
    in.Int(p.m_bFrequencyDomain);
    in.Int(p.m_nFormat);
    in.Int(p.m_nEchoPosition);
    in.Int(p.m_nSpatialDims);
    in.Int(p.m_nSliceAxis);
    in.Int(r.workSet);
    in.Text(p.m_strName);
    in.Text(p.m_strDataPath);
    p.m_bEchoShifted &= 1;
    p.m_bFrequencyDomain &= 1;

    if (version >= 1) {
        r.patientTextsAt.push_back(file.Tell());
        for (std::string* text : {&p.m_strPatientName, &p.m_strExamName, &p.m_strExamDate, &p.m_strNucleus,
                                  &p.m_strPatientPosition, &p.m_strPatientOrientation})
            in.Text(*text);
        in.Float(p.m_fTR);
        in.Float(p.m_fTE);
        in.Float(p.m_fAverages);
    }

    if (version >= 2) {
        int32_t count = 0;
        if (in.Count(count, 1)) {
            r.mapNames.resize(count);
            for (std::string& name : r.mapNames)
                in.Text(name);
        }
    }

    if (version >= 3) {
        in.Int(p.m_bKSpace);
        in.Int(p.m_bMultiSlice);
        in.Floats(p.m_fAngulation, 3);
        in.Floats(p.m_fOffCentre, 3);
        in.Int(p.m_nVolumes);
        // The box table holds two boxes; any other count is a corrupt record.
        if (in.Ok() && (p.m_nVolumes < 0 || p.m_nVolumes > kMaxBoxes))
            in.Fail();
        for (int box = 0; in.Ok() && box < p.m_nVolumes; ++box)
            for (int k = 0; k < 9; ++k)
                in.Float(*BoxValue(p, k, box));
    }

    if (version >= 4) {
        in.Floats(&p.m_fRotation[0][0], 9);
        in.Text(p.m_strOrientation);
        r.patientTextsAt.push_back(file.Tell());
        in.Text(p.m_strPatientBirthDate);
    } else {
        AngulationMatrix(p.m_fAngulation[0], p.m_fAngulation[1], p.m_fAngulation[2], &p.m_fRotation[0][0], 1);
        AngulationMatrixInverse(p.m_fAngulation[0], p.m_fAngulation[1], p.m_fAngulation[2],
                                &p.m_fRotationInverse[0][0], 1);
    }

    if (version >= 5) {
        int32_t count = 0;
        if (in.Count(count, 12)) {
            r.sliceEntries = count;
            p.m_slicePhases.resize(count);
            for (TSlicePhase& phase : p.m_slicePhases) {
                in.Float(phase.m_fPhase0);
                in.Float(phase.m_fPhase1);
                in.Float(phase.m_fPivot);
            }
        }
    }

    if (version >= 6) {
        int32_t count = 0;
        if (in.Count(count, 4)) {
            r.mask.resize(count);
            for (int32_t& v : r.mask) {
                int w = 0;
                in.Int(w);
                v = w;
            }
        }
    }

    if (version >= 7) {
        in.Float(p.m_fSliceThickness);
        in.Float(p.m_fSliceGap);
    }
    if (version >= 8)
        in.Floats(p.m_fExtra, 3);
    return in.Ok();
}

bool WriteRecord(vx::TFile& f, const TCSISet& set)
{
    // Written from a copy, so that the slice phases can be completed without touching the set.
    // What the set's data-set file holds is written as the file holds it: changes of the
    // set not saved yet would make a record that disagrees with its file.
    TCSIParams p = set;
    if (set.FileParams())
        TCSISet::CopyFileParams(*set.FileParams(), p);
    bool ok = true;
    auto i32 = [&](int v) { ok = ok && f.WriteInt32(v); };
    auto f32 = [&](float v) { ok = ok && f.WriteFloat(v); };
    auto text = [&](const std::string& s) { ok = ok && WriteCString(f, s); };

    for (float v : p.m_fVoxelShift) f32(v);
    for (float v : p.m_fFOV) f32(v);
    for (int v : p.m_nDim) i32(v);
    i32(p.m_nPoints);
    i32(p.m_nFirstPoint);
    i32(p.m_nLastPoint);
    i32(p.m_nSpectralWidth);
    f32(p.m_fFrequency);
    f32(p.m_fPPMCentrePoint);
    f32(p.m_fPPMCentreValue);
    f32(p.m_fPhase0);
    f32(p.m_fPhase1);
    i32(p.m_nPivot);
    i32(p.m_bEchoShifted);
    i32(p.m_bFrequencyDomain);
    i32(p.m_nFormat);
    i32(p.m_nEchoPosition);
    i32(p.m_nSpatialDims);
    i32(p.m_nSliceAxis);
    i32(set.m_bWorkSet);
    text(p.m_strName);
    text(p.m_strDataPath);

    for (const std::string* s : {&p.m_strPatientName, &p.m_strExamName, &p.m_strExamDate, &p.m_strNucleus,
                                 &p.m_strPatientPosition, &p.m_strPatientOrientation})
        text(*s);
    f32(p.m_fTR);
    f32(p.m_fTE);
    f32(p.m_fAverages);

    const std::vector<std::string> mapNames = set.ListedMapNames();
    i32(static_cast<int>(mapNames.size()));
    for (const std::string& name : mapNames)
        text(name);

    i32(p.m_bKSpace);
    i32(p.m_bMultiSlice);
    for (float v : p.m_fAngulation) f32(v);
    for (float v : p.m_fOffCentre) f32(v);
    const int boxes = p.m_nVolumes < 0 ? 0 : (p.m_nVolumes > kMaxBoxes ? kMaxBoxes : p.m_nVolumes);
    i32(boxes);
    for (int box = 0; box < boxes; ++box)
        for (int k = 0; k < 9; ++k)
            f32(*BoxValue(p, k, box));

    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            f32(p.m_fRotation[r][c]);
    text(p.m_strOrientation);
    text(p.m_strPatientBirthDate);

    // A multi-slice set writes one entry per slice; slices without an entry of their
    // own take the whole-set phases, as GetPhase gives them.
    const int slices = p.m_bMultiSlice == 1 ? SliceCountOf(p) : 0;
    i32(slices);
    for (int s = 0; s < slices; ++s) {
        TSlicePhase phase{p.m_fPhase0, p.m_fPhase1, static_cast<float>(p.m_nPivot)};
        if (s < static_cast<int>(p.m_slicePhases.size()))
            phase = p.m_slicePhases[s];
        f32(phase.m_fPhase0);
        f32(phase.m_fPhase1);
        f32(phase.m_fPivot);
    }

    const size_t grid = static_cast<size_t>(std::max(p.m_nDim[0], 0)) * static_cast<size_t>(std::max(p.m_nDim[1], 0)) *
                        static_cast<size_t>(std::max(p.m_nDim[2], 0));
    i32(static_cast<int>(grid));
    // A mask of another grid (the set's unsaved one) is not the file's: every voxel counts.
    const bool maskOfGrid = grid == set.GridSize();
    for (size_t k = 0; k < grid; ++k)
        i32(maskOfGrid && k < set.m_kSpaceMask.size() ? set.m_kSpaceMask[k] : 1);

    f32(p.m_fSliceThickness);
    f32(p.m_fSliceGap);
    for (float v : p.m_fExtra) f32(v);
    return ok;
}

// The file is the project file, an image's pixel file or another set's data-set file:
// writing this set's samples there would destroy it.
bool NamesAnotherProjectFile(const TProject& project, const std::string& path)
{
    if (path == project.GetProjectFilePath())
        return true;
    for (const TMRImage* pImage : *project.m_pImageSet)
        if (pImage->GetPath() == path)
            return true;
    for (const TCSISet* pSet : *project.m_pCSISetList)
        if (pSet->GetFilePath() == path)
            return true;
    return false;
}

}  // namespace

bool TCSISet::WriteToProject(vx::TFile& file) const
{
    return WriteRecord(file, *this);
}

bool TCSISet::SkipProjectEntry(vx::TFile& file, int32_t version)
{
    TParsedRecord record;
    return ParseRecord(file, version, record);
}

bool TCSISet::ReadFromProject(vx::TFile& file, TKeptRecord* unusable)
{
    const int32_t version = m_pProject ? m_pProject->m_nFileVersion : TProject::kFileVersion;
    const int64_t start = file.Tell();
    TParsedRecord r;
    if (!ParseRecord(file, version, r))
        return false;
    TCSIParams& p = r.params;
    p.m_pProject = m_pProject;

    // A whole record that cannot be used costs only this set: its bytes and files are
    // kept for the caller, which writes them back unchanged.
    const auto keep = [&](const std::string& reason) {
        if (!unusable)
            return false;
        TKeptRecord kept;
        kept.name = p.m_strName;
        kept.reason = reason;
        for (int64_t at : r.patientTextsAt)
            kept.patientTexts.push_back(at - start);
        const std::string folder = m_pProject ? m_pProject->GetFolder() : std::string();
        // Files that are another's are not this record's to keep.
        if (vx::IsSafeFileComponent(p.m_strName) &&
            !(m_pProject && NamesAnotherProjectFile(*m_pProject, vx::JoinPath(folder, p.m_strName)))) {
            kept.files.push_back(p.m_strName);
            for (const std::string& mapName : r.mapNames)
                if (vx::IsSafeFileComponent(mapName))
                    kept.files.push_back(p.m_strName + "_" + mapName);
        }
        if (kept.TakeBytes(file, start))
            *unusable = std::move(kept);
        return false;
    };

    // The name becomes a file name in the project folder: it must stay there.
    if (!vx::IsSafeFileComponent(p.m_strName))
        return keep("its name is not a file name of the project folder");
    // The slice axis indexes the matrix sizes, the grid must be one the set can hold, and
    // the record must be one that is written back and read again (older versions' rotation
    // comes from the angulation).
    const std::string unlistable = WhyNotListable(p);
    if (!unlistable.empty())
        return keep(unlistable);
    const int64_t grid = static_cast<int64_t>(p.m_nDim[0]) * p.m_nDim[1] * p.m_nDim[2];
    const int slices = SliceCountOf(p);

    if (version >= 4 && !InvertMatrix3x3(&p.m_fRotation[0][0], &p.m_fRotationInverse[0][0], FailureMessage::None))
        return keep("its rotation cannot be inverted");
    if (version < 4) {
        p.m_strOrientation = "RAH";
        p.m_strPatientBirthDate = "n/a";
    }
    // Per-slice phases: one entry per slice, or none. A multi-slice set without entries
    // (older files) takes the whole-set phases for every slice.
    if (r.sliceEntries > 0 && r.sliceEntries != slices)
        return keep("its slice phases do not match its slices");
    if (r.sliceEntries <= 0 && p.m_bMultiSlice == 1 && slices >= 1)
        p.m_slicePhases.assign(slices, TSlicePhase{p.m_fPhase0, p.m_fPhase1, static_cast<float>(p.m_nPivot)});
    if (version >= 6) {
        if (static_cast<int64_t>(r.mask.size()) != grid)
            return keep("its voxel mask does not match its grid");
    } else {
        r.mask.assign(static_cast<size_t>(grid), 1);
    }
    if (version < 7) {
        p.m_fSliceThickness = p.m_fFOV[p.m_nSliceAxis] / static_cast<float>(p.m_nDim[p.m_nSliceAxis]);
        p.m_fSliceGap = 0;
    }
    if (version < 8) {
        p.m_fExtra[0] = 0.0f;
        p.m_fExtra[1] = 1.0f;
        p.m_fExtra[2] = 0.0f;
    }
    const std::string folder = m_pProject ? m_pProject->GetFolder() : std::string();
    p.m_strFilePath = vx::JoinPath(folder, p.m_strName);
    if (m_pProject && NamesAnotherProjectFile(*m_pProject, p.m_strFilePath))
        return keep("its data-set file is another file of the project");

    // A data-set file that holds another set (a copy of the folder that mixes an
    // interrupted save's files with earlier ones, two files swapped) would be loaded under
    // this record. The files of older versions are read as they are: their conversion
    // records each set as its file holds it; a file of the newest layout under an older
    // project is one its conversion cannot read. The file is opened once for all questions.
    vx::TFile data;
    const bool opened = m_pProject ? m_pProject->OpenToRead(p.m_strFilePath, data)
                                   : data.Open(p.m_strFilePath, vx::TFile::Mode::Read);
    const TDataFileCheck dataFile =
        CheckDataFile(p, data, opened, m_pProject ? m_pProject->PathToRead(p.m_strFilePath) : p.m_strFilePath,
                      m_pProject ? version : -1);
    if (!dataFile.disagreement.empty())
        return keep(dataFile.disagreement);

    static_cast<TCSIParams&>(*this) = std::move(p);
    m_bWorkSet = r.workSet;
    m_kSpaceMask = std::move(r.mask);
    // A data-set file that cannot be opened now (moved away for a while) does not cost
    // the set its entry: parameters, mask and maps stay, and are written back on save.
    m_bDataFileMissing = !dataFile.opens;
    m_nDataFileError = dataFile.error;

    // Maps named in the record: a map whose file does not read stays out of the map list
    // and keeps its name in the record.
    ReadMapFiles(r.mapNames);
    return true;
}
