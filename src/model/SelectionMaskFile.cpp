#include "model/SelectionMaskFile.h"

#include <cstdint>
#include <limits>
#include <vector>

#include "model/TCSISet.h"
#include "model/math/TextHelpers.h"
#include "platform/Files.h"
#include "platform/OpenToRead.h"
#include "platform/Numbers.h"
#include "platform/Report.h"
#include "platform/TFile.h"

namespace {

// Grid rows of values, "+v " each, "\r\n" after a row and after each slice.
template <class ValueOf>
std::string MaskBody(const TCSISet& set, ValueOf valueOf)
{
    std::string text;
    for (int z = 0; z < set.m_nDim[2]; ++z) {
        for (int y = 0; y < set.m_nDim[1]; ++y) {
            for (int x = 0; x < set.m_nDim[0]; ++x)
                text += vx::FormatSignedInt(valueOf(set.VoxelIndex(x, y, z))) + " ";
            text += "\r\n";
        }
        text += "\r\n";
    }
    return text;
}

bool WriteMaskText(const std::string& text, const std::string& path)
{
    if (vx::WriteFileAtomically(path, text))
        return true;
    vx::Report("Cannot create text file " + path + ".", vx::ReportIcon::Exclamation);
    return false;
}

// What a mask file may hold beyond its values: comment lines, generous blanks.
constexpr int64_t kMaskSlackBytes = 1 << 20;
constexpr int64_t kMaxBytesPerValue = 64;

const char* const kWrongMask = "Wrong file format or wrong dimensions.";

bool IsStreamBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// One integer as a stream reads it: blanks skipped, an optional sign, at least one digit;
// false at the end of the text, before anything else, or on overflow.
bool ReadStreamInt(const std::string& text, size_t& pos, long long& value)
{
    while (pos < text.size() && IsStreamBlank(text[pos]))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    const size_t start = pos;
    long long magnitude = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        magnitude = magnitude * 10 + (text[pos] - '0');
        if (magnitude > std::numeric_limits<int32_t>::max())
            return false;
    }
    value = negative ? -magnitude : magnitude;
    return pos > start;
}

// Finds the dimension line; `pos` is then the start of the next line.
bool FindDimensionLine(const std::string& text, size_t& pos, int dims[3])
{
    pos = 0;
    std::vector<std::string> tokens;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        end = end == std::string::npos ? text.size() : end + 1;
        SplitString(text.substr(pos, end - pos), tokens, "\t\r\n,( #:");
        pos = end;
        if (tokens.size() == 4 && tokens[0] == "dimension") {
            for (int k = 0; k < 3; ++k)
                dims[k] = vx::LeadingInt(tokens[size_t(k) + 1]);
            return true;
        }
    }
    return false;
}

}  // namespace

std::string SelectionMaskText(const TCSISet& set)
{
    std::string text = "#Vexara voxel selection mask file\r\n#CSI data set: " + set.GetName() + "\r\n#dimension : (" +
                       vx::FormatSignedInt(set.m_nDim[0]) + " , " + vx::FormatSignedInt(set.m_nDim[1]) + " , " +
                       vx::FormatSignedInt(set.m_nDim[2]) + ")\r\n\r\n";
    return text + MaskBody(set, [&](size_t v) {
               const TSpectrum* voxel = set.GetVoxel(v);
               return voxel && voxel->m_bSelected ? 1 : 0;
           });
}

std::string KSpaceMaskText(const TCSISet& set)
{
    // A set without a mask counts as sampled everywhere, as its project record does.
    return MaskBody(set, [&](size_t v) { return v < set.m_kSpaceMask.size() ? set.m_kSpaceMask[v] : 1; });
}

bool WriteSelectionMask(const TCSISet& set, const std::string& path)
{
    return WriteMaskText(SelectionMaskText(set), path);
}

bool WriteKSpaceMask(const TCSISet& set, const std::string& path)
{
    return WriteMaskText(KSpaceMaskText(set), path);
}

bool ReadSelectionMask(TCSISet& set, const std::string& path)
{
    const int64_t size = vx::FileSize(path);
    std::string text;
    if (size < 0 || !vx::FileExists(path)) {
        // Something there that is not a file (a FIFO would never end a read) is named.
        const std::string notAFile = vx::FileIdentityOf(path) ? vx::WhatIsThereInstead(path) : std::string();
        vx::Report("Cannot open text file " + path + vx::NotAFileNote(notAFile) + ".", vx::ReportIcon::Exclamation);
        return false;
    }
    const size_t voxels = set.GridSize();
    const int64_t limit = kMaskSlackBytes + static_cast<int64_t>(voxels) * kMaxBytesPerValue;
    if (size > limit) {
        vx::Report(kWrongMask, vx::ReportIcon::None);
        return false;
    }
    vx::TWholeFileFailure failure;
    if (!vx::ReadWholeFile(path, text, limit, &failure)) {
        using TKind = vx::TWholeFileFailure::TKind;
        if (failure.kind == TKind::TooLarge)
            vx::Report(kWrongMask, vx::ReportIcon::None);
        else
            vx::Report(failure.kind == TKind::NotOpened
                           ? "Cannot open text file " + path + vx::NotAFileNote(failure.notAFile) + "."
                           : vx::WholeFileNotReadText("Text file", path, failure),
                       vx::ReportIcon::Exclamation);
        return false;
    }

    size_t pos = 0;
    int dims[3] = {0, 0, 0};
    bool ok = FindDimensionLine(text, pos, dims) && dims[0] == set.m_nDim[0] && dims[1] == set.m_nDim[1] &&
              dims[2] == set.m_nDim[2] && voxels > 0 && set.VoxelCount() == voxels;
    // Every value is read before any flag changes: a short or broken body selects nothing new.
    std::vector<uint8_t> selected(ok ? voxels : 0);
    for (size_t v = 0; ok && v < voxels; ++v) {
        long long value = 0;
        ok = ReadStreamInt(text, pos, value);
        selected[v] = value != 0;
    }
    if (!ok) {
        vx::Report(kWrongMask, vx::ReportIcon::None);
        return false;
    }
    for (size_t v = 0; v < voxels; ++v)
        if (TSpectrum* voxel = set.GetVoxel(v))
            voxel->m_bSelected = selected[v];
    return true;
}
