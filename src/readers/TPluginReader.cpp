#include "readers/TPluginReader.h"

#include <algorithm>
#include <new>

#include "platform/Paths.h"
#include "platform/PluginTable.h"
#include "platform/Report.h"
#include "readers/CSIFormats.h"
#include "readers/PluginRecords.h"
#include "readers/ReaderHelpers.h"

namespace {

using CreateCSISetFn = void* (*)(const char* path, void* params);
using FreeCSISetFn = void (*)(void* record);

// Calls "FreeCSISet" once with the record, whatever way the read ends.
class TRecordGuard {
public:
    TRecordGuard(FreeCSISetFn freeSet, void* record) : m_free(freeSet), m_record(record) {}
    ~TRecordGuard() { m_free(m_record); }
    TRecordGuard(const TRecordGuard&) = delete;
    TRecordGuard& operator=(const TRecordGuard&) = delete;

private:
    FreeCSISetFn m_free;
    void* m_record;
};

}  // namespace

TCSISet* TPluginReader::Read(std::string path)
{
    const std::vector<TPluginRecord> table = vx::PluginTable();
    const int64_t k = int64_t(m_params.m_nFormat) - vx::kFirstPluginFormat;
    if (k < 0 || k >= int64_t(table.size()))
        return nullptr;
    const TPluginRecord& row = table[static_cast<size_t>(k)];
    if (!row.hModule || !row.hModule->IsOpen())
        return nullptr;

    auto createSet = reinterpret_cast<CreateCSISetFn>(row.hModule->Symbol("CreateCSISet"));
    auto freeSet = reinterpret_cast<FreeCSISetFn>(row.hModule->Symbol("FreeCSISet"));
    if (!createSet || !freeSet) {
        vx::Report("Failed to get the exported functions CreateCSISet and FreeCSISet.", vx::ReportIcon::Exclamation);
        return nullptr;
    }

    alignas(8) unsigned char params[kPluginParamsBytes];
    PackPluginParams(m_params, params);
    auto* record = static_cast<const unsigned char*>(createSet(path.c_str(), params));
    TRecordGuard guard(freeSet, const_cast<unsigned char*>(record));
    if (!record || !PluginSetSamples(record)) {
        vx::Report("The DLL failed to read the data.", vx::ReportIcon::Exclamation);
        return nullptr;
    }
    UnpackPluginParams(params, m_params);

    m_pCSISet = std::make_unique<TCSISet>();
    TCSISet& set = *m_pCSISet;
    set.m_nFormat = m_params.m_nFormat;
    set.m_strName = vx::StemOf(path);
    CopyPluginSetRecord(record, set);
    set.m_nSpatialDims = SpatialDimsOf(set.m_nDim);
    m_params.m_nSpatialDims = set.m_nSpatialDims;
    set.m_nFirstPoint = 0;
    set.m_nLastPoint = set.m_nPoints > 0 ? set.m_nPoints - 1 : 0;
    set.m_fPPMCentrePoint = static_cast<float>(set.m_nPoints / 2);
    set.m_fPPMCentreValue = 0.0f;
    set.m_strDataPath = path;

    // The grid must fit the program's limits as well as the check of its values; a
    // slice axis outside 0..2 would index the per-axis fields out of range.
    const uint64_t floats = GridFloatCount(set);
    if (!Validate() || floats == 0 || set.m_nSliceAxis < 0 || set.m_nSliceAxis > 2) {
        vx::Report("Some parameters of the CSI set are invalid.", vx::ReportIcon::Exclamation);
        return DiscardSet();
    }
    m_nRawFloats = static_cast<size_t>(floats);
    m_pRawData.reset(new (std::nothrow) float[m_nRawFloats]);
    if (!m_pRawData)
        return DiscardSet();
    std::copy(PluginSetSamples(record), PluginSetSamples(record) + m_nRawFloats, m_pRawData.get());

    if (!FillCSISet())
        return DiscardSet();
    return CompleteRead(false);
}
