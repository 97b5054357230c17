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
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "model/TMap.h"
#include "model/TProject.h"
#include "platform/Paths.h"
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

}  // namespace

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
