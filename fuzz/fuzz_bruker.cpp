// Bruker experiments through the fid and 2dseq CSI readers and the 2dseq image reader. The
// first six input bytes give the lengths of the method, acqp and reco texts (16 bits each);
// they follow in that order, and the rest is the data file, read as "fid" and as "2dseq".
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "model/TImageSet.h"
#include "model/TProject.h"
#include "platform/FileChooser.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "readers/Bruker2dseqImage.h"
#include "readers/ReaderFactory.h"

namespace {

// The next `length` bytes (at most what is left) as a scratch file.
std::string TakeFile(const std::string& name, const uint8_t*& data, size_t& size, size_t length)
{
    if (length > size)
        length = size;
    const std::string path = vx::fuzz::WriteScratch(name, data, length);
    data += length;
    size -= length;
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool silenced = (vx::fuzz::Prepare(), true);
    (void)silenced;
    if (size < 6)
        return 0;
    size_t lengths[3];
    for (int k = 0; k < 3; ++k)
        lengths[k] = size_t(data[2 * k]) | (size_t(data[2 * k + 1]) << 8);
    data += 6;
    size -= 6;
    const std::string method = TakeFile("method", data, size, lengths[0]);
    TakeFile("acqp", data, size, lengths[1]);
    TakeFile("reco", data, size, lengths[2]);
    const std::string fid = vx::fuzz::WriteScratch("fid", data, size);
    const std::string seq = vx::fuzz::WriteScratch("2dseq", data, size);
    vx::SetFileChooserHandler([method](const vx::TFileRequest&) { return std::vector<std::string>{method}; });

    for (uint32_t format : {19u, 20u}) {
        TCSIReadParams params;
        params.m_nFormat = int32_t(format);
        std::unique_ptr<TCSIReader> reader(CreateReader(format, &params));
        std::unique_ptr<TCSISet> set(reader->Read(format == 20 ? fid : seq));
    }
    TProject project;
    project.m_strFolder = vx::JoinPath(vx::fuzz::ScratchFolder(), "project");
    vx::MakeFolder(project.m_strFolder);
    ReadBruker2dseqImage(*project.m_pImageSet, seq, TImageImportParams{}, &project);
    return 0;
}
