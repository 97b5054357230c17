#include "model/TextExports.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <vector>

#include "model/TCSISet.h"
#include "model/TMap.h"
#include "model/math/TextHelpers.h"
#include "platform/Numbers.h"
#include "platform/Report.h"
#include "platform/TFile.h"

namespace {

std::string MethodText(int32_t method)
{
    switch (method) {
    case kMapAreaIntegration: return "Area integration";
    case kMapPrincipalComponent: return "Principal Component Analysis";
    case kMapFromAnalysis: return "Imported from analysis";
    default: return "Unknown";
    }
}

std::string Unsigned(int32_t value)
{
    return std::to_string(static_cast<uint32_t>(value));
}

void AppendMapTable(std::string& text, int number, const TMap& map)
{
    const int32_t* n = map.size;
    text += "\r\nMap " + vx::FormatSignedInt(number) + "\r\n";
    text += "Map name: " + map.GetName() + "\r\n";
    text += "Peak interval(ppm): " + FloatToString(map.peakStartPPM, 2) + " ~ " + FloatToString(map.peakEndPPM, 2) +
            "\r\n";
    text += "Size (x,y,z): " + Unsigned(n[0]) + "," + Unsigned(n[1]) + "," + Unsigned(n[2]) + "\r\n";
    text += "Quantification method: " + MethodText(map.method) + "\r\n\r\n";
    text += "Index\t\tReal\t\tImag\t\tMagnitude\r\n";
    // A map whose values do not fill its grid has no rows to give.
    if (n[0] < 1 || n[1] < 1 || n[2] < 1 ||
        map.ValueCount() != static_cast<size_t>(n[0]) * static_cast<size_t>(n[1]) * static_cast<size_t>(n[2]))
        return;
    for (int x = 0; x < n[0]; ++x)
        for (int y = 0; y < n[1]; ++y)
            for (int z = 0; z < n[2]; ++z) {
                const TComplex value = map.Values()[map.ValueIndex(x, y, z)];
                const float re = value.real();
                const float im = value.imag();
                const float magnitude = std::sqrt(re * re + im * im);
                text += "(" + Unsigned(x) + "," + Unsigned(y) + "," + Unsigned(z) + ") \t" +
                        vx::FormatSignedFloat(re) + "\t" + vx::FormatSignedFloat(im) + "\t" +
                        vx::FormatSignedFloat(magnitude) + "\r\n";
            }
}

// The export range inside the set's spectra.
void ClampRange(const TCSISet& set, int& first, int& last)
{
    first = std::max(first, 0);
    last = std::min(last, set.m_nPoints - 1);
}

// Copies what the file at `path` holds into `out`; a missing file gives nothing.
bool CopyOldContent(const std::string& path, vx::TFile& out)
{
    vx::TFile in;
    // Only a file that is not there has nothing to keep: one this user may not read, or that
    // cannot be opened otherwise, would be replaced by the new part alone.
    if (!in.Open(path, vx::TFile::Mode::Read))
        return in.LastError() == ENOENT && in.NotAFile().empty();
    std::vector<char> buffer(size_t(1) << 20);
    for (;;) {
        const size_t got = in.Read(buffer.data(), buffer.size());
        if (got == 0)
            return !in.ReadFailed();
        if (!out.Write(buffer.data(), got))
            return false;
    }
}

bool ReportCannotCreate(const std::string& path)
{
    vx::Report("Cannot create file " + path + ".", vx::ReportIcon::Exclamation);
    return false;
}

}  // namespace

std::string MapTablesText(const std::vector<const TMap*>& maps)
{
    std::string text;
    int number = 0;
    for (const TMap* map : maps)
        if (map)
            AppendMapTable(text, ++number, *map);
    return text;
}

bool WriteMapTables(const std::vector<const TMap*>& maps, const std::string& path)
{
    if (vx::WriteFileAtomically(path, MapTablesText(maps)))
        return true;
    vx::Report("Cannot create Txt File" + path, vx::ReportIcon::Exclamation);
    return false;
}

std::vector<const TSpectrum*> SelectedVoxels(const TCSISet& set)
{
    std::vector<const TSpectrum*> voxels;
    for (size_t v = 0; v < set.VoxelCount(); ++v)
        if (const TSpectrum* voxel = set.GetVoxel(v); voxel && voxel->m_bSelected)
            voxels.push_back(voxel);
    return voxels;
}

std::string VoxelExportText(const TCSISet& set, const std::vector<const TSpectrum*>& voxels, int first, int last)
{
    ClampRange(set, first, last);
    const int points = std::max(0, last - first + 1);
    std::string text = "CSI set name: " + set.GetName() + "\r\n";
    text += "Number of voxels: " + std::to_string(voxels.size()) + "\r\n";
    text += "Number of points per voxel: " + vx::FormatSignedInt(points) + " (" + vx::FormatSignedInt(first) + " , " +
            vx::FormatSignedInt(last) + ")\r\n\r\n";
    text += "Voxel Index:\r\n";
    for (const TSpectrum* voxel : voxels)
        text += vx::FormatSignedInt(voxel->m_nX) + " " + vx::FormatSignedInt(voxel->m_nY) + " " +
                vx::FormatSignedInt(voxel->m_nZ) + "\r\n";
    text += "Real\t\tImaginary\r\n";
    for (const TSpectrum* voxel : voxels)
        for (int i = first; i <= last; ++i)
            text += vx::FormatSignedFloat(voxel->GetReal(i)) + "\t" + vx::FormatSignedFloat(voxel->GetImag(i)) + "\r\n";
    return text;
}

bool WriteVoxelText(const TCSISet& set, const std::vector<const TSpectrum*>& voxels, int first, int last,
                    const std::string& path, bool append)
{
    vx::TAtomicFile out;
    if (!out.Begin(path) || (append && !CopyOldContent(path, out.File())) ||
        !out.File().WriteText(VoxelExportText(set, voxels, first, last)) || !out.Commit())
        return ReportCannotCreate(path);
    return true;
}

bool WriteVoxelBinary(const TCSISet& set, const std::vector<const TSpectrum*>& voxels, int first, int last,
                      const std::string& path)
{
    ClampRange(set, first, last);
    vx::TAtomicFile out;
    if (!out.Begin(path))
        return ReportCannotCreate(path);
    std::vector<float> values;
    for (const TSpectrum* voxel : voxels) {
        values.clear();
        for (int i = first; i <= last; ++i) {
            values.push_back(voxel->GetReal(i));
            values.push_back(voxel->GetImag(i));
        }
        // The file holds little-endian floats, the byte order of every supported host.
        if (!values.empty() && !out.File().Write(values.data(), values.size() * sizeof(float)))
            return ReportCannotCreate(path);
    }
    if (!out.Commit())
        return ReportCannotCreate(path);
    return true;
}
