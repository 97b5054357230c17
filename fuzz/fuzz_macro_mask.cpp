// Macro files and voxel selection mask files, as the user applies them to the work set.
// Bit 0 of the first input byte picks the macro file, run as the program runs a file the
// user chose (one that is not a macro file is refused first) on a loaded 8 x 8 x 1 set of
// 64 points through the project's "run macro file" with the processing library
// installed (its recorded steps are then saved as a macro file, which must read again),
// or the selection mask, read into a set of 1 + bits 1-3 by 1 + bits 4-6 by
// 1 + bit 7 voxels and, when it reads, written back with the k-space mask. The rest of
// the input is the file.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <vector>

#include "FuzzSupport.h"
#include "model/SelectionMaskFile.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TProject.h"
#include "platform/Paths.h"
#include "platform/TTextFile.h"
#include "processing/InstallProcessing.h"
#include "processing/MacroFile.h"
#include "processing/TProcessHistory.h"
#include "processing/TProcessStep.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = (vx::fuzz::Prepare(), InstallProcessing(), true);
    (void)ready;
    uint8_t pick = 0;
    if (!vx::fuzz::TakeByte(data, size, pick))
        return 0;
    if ((pick & 1) == 0) {
        const std::string folder = vx::JoinPath(vx::fuzz::ScratchFolder(), "macro");
        std::error_code error;
        std::filesystem::remove_all(folder, error);
        const std::string path = vx::fuzz::WriteScratch("run.mcr", data, size);
        if (MacroFileKind(path) == TMacroFileKind::Other)
            return 0;
        TProject project;
        if (!project.Create(folder, "macro"))
            return 0;
        TCSISet* set = vx::fuzz::LoadedSet(8, 8, 1, 64);
        if (!set)
            return 0;
        project.m_pCSISetList->Add(set);
        project.m_pWorkSet = set;
        project.m_bRecording = true;
        project.RunMacroFile(path);
        // The recorded steps are saved as a macro file, which must read again.
        const std::string saved = vx::JoinPath(vx::fuzz::ScratchFolder(), "saved.mcr");
        vx::TTextFile out;
        if (project.m_history && out.Open(saved, vx::TTextFile::Mode::Write) && project.m_history->WriteMacro(out) &&
            out.Close()) {
            vx::TTextFile in;
            std::list<TProcessStep*> steps;
            const bool read = in.Open(saved, vx::TTextFile::Mode::Read) && ReadMacroSteps(in, steps);
            for (TProcessStep* step : steps)
                delete step;
            if (!read)
                __builtin_trap();
        }
        return 0;
    }
    const std::string path = vx::fuzz::WriteScratch("selection.txt", data, size);
    std::unique_ptr<TCSISet> set(vx::fuzz::LoadedSet(1 + ((pick >> 1) & 7), 1 + ((pick >> 4) & 7), 1 + (pick >> 7), 4));
    // A mask read is saved again as the user may save it, with the k-space mask beside it.
    if (set && ReadSelectionMask(*set, path)) {
        WriteSelectionMask(*set, vx::JoinPath(vx::fuzz::ScratchFolder(), "saved.txt"));
        WriteKSpaceMask(*set, vx::JoinPath(vx::fuzz::ScratchFolder(), "kspace.txt"));
    }
    return 0;
}
