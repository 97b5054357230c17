// The analyses' part of the project file (AnalysisRecords.h).
#include "processing/AnalysisRecords.h"

#include <cstring>
#include <memory>
#include <string>

#include "model/TAnalysis.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TKeptRecord.h"
#include "model/TProject.h"
#include "model/math/TextHelpers.h"
#include "platform/Report.h"
#include "platform/TFile.h"
#include "platform/TRecordReader.h"
#include "processing/TAnalysisNMF.h"
#include "processing/TAnalysisPCA.h"

namespace {

constexpr size_t kMaxSetNameLength = 4096;

// A new analysis of the record kind; null for a kind this program does not know.
std::unique_ptr<TAnalysis> NewAnalysisOfKind(int32_t kind)
{
    if (kind == TAnalysisPCA::kRecordKind)
        return std::make_unique<TAnalysisPCA>();
    if (kind == TAnalysisNMF::kRecordKind)
        return std::make_unique<TAnalysisNMF>();
    return nullptr;
}

}  // namespace

bool WriteAnalysisRecords(vx::TFile& file, const TProject& project)
{
    // An analysis made from samples its set's file does not hold, or of a set that holds
    // such samples now, reaches the file with the save of its set, which records the set as
    // it is then: until that save the record the file held is written again, and an
    // analysis that had none is left out, so that every record fits its set as the file
    // records it.
    const std::vector<TAnalysis*>& analyses = project.m_analyses;
    size_t count = 0;
    for (const TKeptRecord& kept : project.m_pCSISetList->KeptRecords())
        count += kept.analyses.size();
    for (const TAnalysis* analysis : analyses)
        if (!analysis->WaitsForSetSave() || !analysis->SavedRecord().empty())
            ++count;
    if (count > INT32_MAX || !file.WriteInt32(kAnalysisSectionTag) || !file.WriteInt32(static_cast<int32_t>(count)))
        return false;
    for (const TKeptRecord& kept : project.m_pCSISetList->KeptRecords())
        for (const std::string& record : kept.analyses)
            if (!file.Write(record.data(), record.size()))
                return false;
    for (TAnalysis* analysis : analyses) {
        if (analysis->WaitsForSetSave()) {
            const std::string& saved = analysis->SavedRecord();
            if (!file.Write(saved.data(), saved.size()))
                return false;
            continue;
        }
        const TCSISet* set = analysis->GetCSISet();
        // The record is kept as it is written, to be written again while the analysis is of
        // unsaved samples: the file being written is not read back.
        const int64_t start = file.Tell();
        std::string record;
        file.CopyWritesTo(&record);
        const bool written = start >= 0 && file.WriteInt32(analysis->RecordKind()) && file.WriteInt32(0) &&
                             WriteCString(file, set ? set->GetName() : std::string()) && analysis->WriteRecord(file);
        file.CopyWritesTo(nullptr);
        // The length, after the kind, is known once the body is written.
        const int64_t length = static_cast<int64_t>(record.size()) - 8;
        if (!written || length > INT32_MAX || !file.Seek(start + 4) ||
            !file.WriteInt32(static_cast<int32_t>(length)) || !file.Seek(start + 8 + length))
            return false;
        const auto length32 = static_cast<int32_t>(length);
        std::memcpy(record.data() + 4, &length32, 4);
        analysis->RecordInFile(std::move(record));
    }
    return true;
}

bool ReadAnalysisRecords(vx::TFile& file, TProject& project)
{
    // Whatever follows the sets must be one whole part: loaded without it, the project
    // would lose its analyses at the next save. A file that ends right after the sets
    // holds no analyses (a part cut exactly there cannot be told from that); one whose size
    // cannot be looked up is not known to end there.
    const int64_t left = file.BytesLeft();
    if (left <= 0)
        return left == 0;
    int32_t tag = 0, count = 0;
    // Every record takes at least its kind and length.
    if (!file.ReadInt32(tag) || tag != kAnalysisSectionTag || !file.ReadInt32(count) || count < 0 ||
        count > file.BytesLeft() / 8)
        return false;
    // The analyses read so far go again with a damaged part.
    const auto fail = [&project, before = project.m_analyses.size()] {
        while (project.m_analyses.size() > before) {
            delete project.m_analyses.back();
            project.m_analyses.pop_back();
        }
        std::vector<TKeptRecord> kept = project.m_pCSISetList->KeptRecords();
        for (TKeptRecord& record : kept)
            record.analyses.clear();
        project.m_pCSISetList->SetKeptRecords(std::move(kept));
        return false;
    };
    std::vector<std::string> failed;
    for (int32_t i = 0; i < count; ++i) {
        int32_t kind = 0, length = 0;
        if (!file.ReadInt32(kind) || !file.ReadInt32(length) || length < 0 || length > file.BytesLeft())
            return fail();
        const int64_t start = file.Tell() - 8;
        vx::TRecordReader in(file, length);
        std::string setName;
        std::unique_ptr<TAnalysis> analysis = NewAnalysisOfKind(kind);
        const bool named = in.ReadText(setName, kMaxSetNameLength);
        TCSISet* set = named ? project.m_pCSISetList->FindByName(setName) : nullptr;
        TKeptRecord* keptSet = named && !set ? project.m_pCSISetList->FindKept(setName) : nullptr;
        if (keptSet) {
            // The set cannot be used now; its analyses stay with its record.
            std::string record(static_cast<size_t>(length) + 8, '\0');
            if (!file.ReadExactAt(start, record.data(), record.size()))
                return fail();
            keptSet->analyses.push_back(std::move(record));
        } else if (analysis && set && analysis->ReadRecord(in, set)) {
            std::string record(static_cast<size_t>(length) + 8, '\0');
            if (!file.ReadExactAt(start, record.data(), record.size()))
                return fail();
            analysis->RecordInFile(std::move(record));
            project.m_analyses.push_back(analysis.release());
        } else {
            failed.push_back("record " + std::to_string(i + 1) + (setName.empty() ? "" : " (" + setName + ")"));
        }
        if (!in.SkipRest())
            return fail();
    }
    if (file.BytesLeft() != 0)
        return fail();
    if (failed.empty())
        return true;
    // A complete record this program cannot take (another kind, a set not in the project)
    // is left out; the rest of the part is whole.
    std::string text = "These analyses stored in the project file could not be read and were left out:";
    for (const std::string& f : failed)
        text += "\r\n" + f;
    vx::Report(text);
    return true;
}
