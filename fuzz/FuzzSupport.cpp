#include "FuzzSupport.h"

#include <unistd.h>


#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TFile.h"

namespace vx::fuzz {

void SilenceReports()
{
    vx::SetReportHandler([](const vx::TReportRequest& r) { return r.defaultAnswer; });
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

}  // namespace vx::fuzz
