// Project folders: the project file with the data-set, map and image pixel files it names,
// through the check, the load (with the conversion of an older version, and the analyses
// stored after the sets, read through the processing library as the program reads them)
// and, for each map file, the map reader of every file version; a project loaded is saved
// again and as an anonymized copy in another folder, which must load. The first input
// byte picks the project file's name "~project.tpj" (bit 0) or "project.tpj", a path in
// double quotes (bit 1), a plain file where the copy's folder would be (bit 2) and a
// project made by the program before the input's files replace its own (bit 3). The rest
// is split by Sections into six parts: the project file and five files, each its name up
// to the first zero byte (letters, digits, "_", "-" and "." only, no ".tpj"; a part
// without a usable name is left out) and then its contents. The folder holds only these
// files in every run.
//
// Half of the mutations are libFuzzer's own; the other half change one field of the
// project file's records and keep their framing: a 32-bit integer of a small value (a
// count, size, index or flag, not a sample) moves by one or two, or takes the value of
// another such field (a size its index is checked against), half of the time in the
// analysis part, whose records otherwise take many changes at once to reach.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "model/TMap.h"
#include "model/TProject.h"
#include "platform/Paths.h"
#include "processing/AnalysisRecords.h"
#include "processing/InstallProcessing.h"

namespace {

constexpr int kFiles = 5;

bool UsableName(std::string_view name)
{
    if (name.empty() || name == "." || name == ".." || name.size() > 64)
        return false;
    for (const char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.')
            return false;
    return true;
}

// A 32-bit field whose value is that of a count, size, index or flag.
bool IsSmallField(const uint8_t* at)
{
    int32_t value = 0;
    std::memcpy(&value, at, 4);
    return value >= -16 && value < 256;
}

// Changes one small 32-bit field of the bytes [begin, end) of data; false when it finds none.
bool ChangeOneField(uint8_t* data, size_t begin, size_t end, std::minstd_rand& random)
{
    if (end < begin + 4)
        return false;
    const auto pickField = [&](size_t& at) {
        for (int tries = 0; tries < 64; ++tries) {
            at = begin + random() % (end - begin - 3);
            if (IsSmallField(data + at))
                return true;
        }
        return false;
    };
    size_t at = 0, other = 0;
    if (!pickField(at))
        return false;
    int32_t value = 0;
    std::memcpy(&value, data + at, 4);
    static constexpr int32_t kSteps[] = {-2, -1, 1, 2};
    const unsigned choice = random() % 6;
    if (choice < 4)
        value += kSteps[choice];
    else if (pickField(other))
        std::memcpy(&value, data + other, 4);
    else
        value = choice == 4 ? 0 : -1;
    std::memcpy(data + at, &value, 4);
    return true;
}

}  // namespace

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed)
{
    std::minstd_rand random(seed);
    if (random() % 2 == 0 && size > 1) {
        // The project file: the first part after the byte of choices.
        const auto parts = vx::fuzz::Sections(data + 1, size - 1, 1 + kFiles);
        if (parts[0].empty())
            return LLVMFuzzerMutate(data, size, maxSize);
        const auto* file = reinterpret_cast<const uint8_t*>(parts[0].data());
        const size_t begin = size_t(file - data), end = begin + parts[0].size();
        size_t from = begin;
        if (random() % 2 == 0) {
            const int32_t tag = kAnalysisSectionTag;
            const std::string_view text = parts[0];
            const size_t section = text.find(std::string_view(reinterpret_cast<const char*>(&tag), 4));
            if (section != std::string_view::npos)
                from = begin + section;
        }
        if (ChangeOneField(data, from, end, random))
            return size;
    }
    return LLVMFuzzerMutate(data, size, maxSize);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = (vx::fuzz::Prepare(), InstallProcessing(), true);
    (void)ready;
    uint8_t pick = 0;
    if (!vx::fuzz::TakeByte(data, size, pick))
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
    vx::fuzz::WriteScratch("project/" + projectName + ".tpj", parts[0]);
    std::vector<std::string> maps;
    for (int k = 1; k <= kFiles; ++k) {
        const std::string_view part = parts[size_t(k)];
        const size_t end = part.find('\0');
        if (end == std::string_view::npos || !UsableName(part.substr(0, end)) || part.substr(0, end).ends_with(".tpj"))
            continue;
        const std::string name(part.substr(0, end));
        const std::string path = vx::fuzz::WriteScratch("project/" + name, part.substr(end + 1));
        if (name.ends_with("_map"))
            maps.push_back(path);
    }

    TProject::CheckProjectFile(projectFile);
    {
        // A project loaded is saved again, then anonymized and saved as a copy in another
        // folder, as the program saves them; a copy the program saved must load.
        TProject project;
        if (project.Load((pick & 2) ? "\"" + projectFile + "\"" : projectFile) && project.Save()) {
            project.Anonymize();
            const std::string copyFolder = vx::JoinPath(vx::fuzz::ScratchFolder(), "copy");
            std::filesystem::remove_all(copyFolder, error);
            if (pick & 4)  // a file where the copy's folder would be: the copy is refused
                vx::fuzz::WriteScratch("copy", std::string_view("x"));
            if (project.SaveAs(vx::fuzz::ScratchFolder() + "/", "copy")) {
                TProject copy;
                if (!copy.Load(vx::JoinPath(copyFolder, "copy.tpj")))
                    __builtin_trap();
            }
        }
    }
    for (const std::string& path : maps)
        for (int version = 0; version <= TProject::kFileVersion; ++version) {
            TMap map;
            map.ReadFile(path, version);
        }
    return 0;
}
