// Bruker experiments through the fid and 2dseq CSI readers and the 2dseq image reader. The
// first input byte gives the choices of the Add CSI Set dialog: the orientation (bits 0-1,
// 3 as 0), "Remove offset" (bit 2) and "Load raw data" (bit 3). The rest is split by
// Sections into the method, acqp and reco texts and the data file, read as "fid" and as
// "2dseq". The 2dseq file then also takes the road of Add Images into a new project
// (AddImagesThroughProject: save, open, pixels compared).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "model/TImageImportParams.h"
#include "model/TImageSet.h"
#include "model/TProject.h"
#include "platform/FileChooser.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "readers/Bruker2dseqImage.h"
#include "readers/ReaderFactory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool silenced = (vx::fuzz::Prepare(), true);
    (void)silenced;
    uint8_t pick = 0;
    if (!vx::fuzz::TakeByte(data, size, pick))
        return 0;
    const auto parts = vx::fuzz::Sections(data, size, 4);
    const std::string method = vx::fuzz::WriteScratch("method", parts[0]);
    vx::fuzz::WriteScratch("acqp", parts[1]);
    vx::fuzz::WriteScratch("reco", parts[2]);
    const std::string fid = vx::fuzz::WriteScratch("fid", parts[3]);
    const std::string seq = vx::fuzz::WriteScratch("2dseq", parts[3]);
    vx::SetFileChooserHandler([method](const vx::TFileRequest&) { return std::vector<std::string>{method}; });

    for (uint32_t format : {19u, 20u}) {
        TCSIReadParams params;
        params.m_nFormat = int32_t(format);
        params.m_nOrientation = (pick & 3) % 3;
        params.m_bRemoveOffset = (pick >> 2) & 1;
        params.m_bLoadRawData = (pick >> 3) & 1;
        std::unique_ptr<TCSIReader> reader(CreateReader(format, &params));
        std::unique_ptr<TCSISet> set(reader->Read(format == 20 ? fid : seq));
        vx::fuzz::AddThroughProject(set.get(), format == 20 ? fid : seq, params);
    }
    TProject project;
    project.m_strFolder = vx::JoinPath(vx::fuzz::ScratchFolder(), "project");
    vx::MakeFolder(project.m_strFolder);
    ReadBruker2dseqImage(*project.m_pImageSet, seq, TImageImportParams{}, &project);
    TImageImportParams image;
    image.m_nImageType = 5;
    vx::fuzz::AddImagesThroughProject(seq, image, vx::fuzz::TImageRoad::AddImages);
    return 0;
}
