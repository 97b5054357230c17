#include "FuzzSupport.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <filesystem>
#include <memory>

#include "model/TCSISet.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFile.h"
#include "platform/Workers.h"

namespace vx::fuzz {

void Prepare()
{
    vx::SetReportHandler([](const vx::TReportRequest& r) { return r.defaultAnswer; });
    vx::SetProcessorCount(1);
}

const std::string& ScratchFolder()
{
    static const std::string folder = [] {
        const std::string f = vx::JoinPath(vx::TempFolder(), "vexara-fuzz-" + std::to_string(getpid()));
        vx::MakeFolder(f);
        return f;
    }();
    return folder;
}

std::string WriteScratch(const std::string& name, const uint8_t* data, size_t size)
{
    const std::string path = vx::JoinPath(ScratchFolder(), name);
    vx::TFile file;
    if (file.Open(path, vx::TFile::Mode::Write)) {
        file.Write(data, size);
        file.Close();
    }
    return path;
}

bool TakeByte(const uint8_t*& data, size_t& size, uint8_t& byte)
{
    if (size < 1)
        return false;
    byte = data[0];
    ++data;
    --size;
    return true;
}

std::string WriteScratchOrRemove(const std::string& name, std::string_view bytes)
{
    if (!bytes.empty())
        return WriteScratch(name, bytes);
    const std::string path = vx::JoinPath(ScratchFolder(), name);
    vx::RemoveFile(path);
    return path;
}

std::vector<std::string_view> Sections(const uint8_t* data, size_t size, int count)
{
    std::vector<std::string_view> parts(static_cast<size_t>(count));
    const size_t lengthBytes = 2 * size_t(count - 1);
    if (size < lengthBytes)
        return parts;
    const char* at = reinterpret_cast<const char*>(data) + lengthBytes;
    size_t left = size - lengthBytes;
    for (size_t k = 0; k + 1 < parts.size(); ++k) {
        const size_t length = std::min(left, size_t(data[2 * k]) | (size_t(data[2 * k + 1]) << 8));
        parts[k] = std::string_view(at, length);
        at += length;
        left -= length;
    }
    parts.back() = std::string_view(at, left);
    return parts;
}

std::string PackSections(const std::vector<std::string>& parts)
{
    std::string input;
    for (size_t k = 0; k + 1 < parts.size(); ++k) {
        input += char(parts[k].size() & 0xff);
        input += char((parts[k].size() >> 8) & 0xff);
    }
    for (const std::string& part : parts)
        input += part;
    return input;
}

std::string WriteScratch(const std::string& name, std::string_view bytes)
{
    return WriteScratch(name, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

TCSISet* LoadedSet(int nx, int ny, int nz, int points)
{
    auto* set = new TCSISet();
    set->m_strName = "csi";
    set->m_nDim[0] = nx;
    set->m_nDim[1] = ny;
    set->m_nDim[2] = nz;
    set->m_nPoints = points;
    set->m_nSpectralWidth = 2000;
    set->m_fFrequency = 127.7f;
    set->m_nLastPoint = points - 1;
    set->m_fPPMCentrePoint = float(points / 2);
    if (!set->AllocateVoxels()) {
        delete set;
        return nullptr;
    }
    set->InitVoxels();
    std::vector<TComplex> samples(size_t(points), TComplex{});
    for (size_t v = 0; v < set->VoxelCount(); ++v) {
        for (int i = 0; i < points; ++i)
            samples[size_t(i)] = std::polar(100.0f * std::exp(-0.05f * float(i)), 0.3f * float(i) * float(1 + v % 5));
        set->GetVoxel(v)->SetComplexData(samples.data());
    }
    set->m_bLoaded = true;
    return set;
}

TTree Snapshot(const std::string& folder)
{
    namespace fs = std::filesystem;
    TTree tree;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        TTreeEntry& entry = tree[it->path().lexically_relative(folder).string()];
        entry.folder = it->is_directory(error);
        if (!entry.folder)
            vx::ReadWholeFile(it->path().string(), entry.bytes, int64_t{1} << 24);
    }
    return tree;
}

}  // namespace vx::fuzz
