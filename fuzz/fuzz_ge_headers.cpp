// GE Genesis image headers and raw P-file headers, given both as a file and as the
// header bytes themselves, then read through the getters a reader uses; a file that is
// a raw header also goes through the P-file readers, an image header through the Genesis
// image reader.
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "FuzzSupport.h"
#include "gehdr/GEImgHdr.h"
#include "gehdr/GERawHdr.h"
#include "gehdr/GEcleanstr.h"
#include "gehdr/GEftype.h"
#include "model/TImageSet.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "readers/GenesisImage.h"
#include "model/TCSISet.h"
#include "readers/ReaderFactory.h"

namespace {

// The library writes one line to stderr per refused header: keep the runs quiet.
std::ostringstream g_discard;

void Touch(const GEImgHdr& h)
{
    volatile float sink = 0.0f;
    sink = sink + float(h.header_size()) + float(h.exam_data.exam_number()) + float(h.exam_data.exam_time());
    sink = sink + h.mr_img_data.fov() + float(h.mr_img_data.image_dim_x()) + float(h.mr_img_data.image_dim_y());
    sink = sink + h.mr_img_data.center_x() + float(h.mr_img_data.echo_time());
    sink = sink + float(GEcleanstr(h.series_data.series_description()).size());
    sink = sink + float(GEcleanstr(h.exam_data.sw_version()).size());
    (void)sink;
}

void Touch(const GERawHdr& h)
{
    volatile float sink = 0.0f;
    sink = sink + float(h.size()) + float(h.rdb_hdr.point_count()) + float(h.rdb_hdr.frame_count());
    sink = sink + float(h.rdb_hdr.point_size()) + float(h.exam_data.exam_number());
    sink = sink + h.mr_img_data.voxel_size_x() + float(GEcleanstr(h.series_data.series_description()).size());
    (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    vx::fuzz::PlanFault(data, size);
    static const bool quiet = (vx::fuzz::Prepare(), std::cerr.rdbuf(g_discard.rdbuf()), true);
    (void)quiet;
    g_discard.str({});
    const std::string path = vx::fuzz::WriteScratch("header.bin", data, size);
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    const int type = GEftype(path)[0];
    if (type == 1) {
        TProject project;
        project.m_strFolder = vx::fuzz::ScratchFolder() + "/project";
        vx::MakeFolder(project.m_strFolder);
        ReadGenesisImage(*project.m_pImageSet, path, TImageImportParams{}, &project);
    }
    if (type == 0)
        for (int format : {12, 13, 15, 16}) {
            TCSIReadParams params;
            params.m_nFormat = format;
            params.m_nAxisOrder[1] = 1;
            params.m_nAxisOrder[2] = 2;
            std::unique_ptr<TCSIReader> reader(CreateReader(uint32_t(format), &params));
            std::unique_ptr<TCSISet> set(reader->Read(path));
            vx::fuzz::AddThroughProject(set.get(), path, params);
        }
    // Bytes with a zero byte can never name a file, so the library takes them as the
    // header itself; any other input would be tried as a file name first.
    const bool bytesMode = bytes.find('\0') != std::string::npos;
    for (const std::string* source : {&path, &bytes}) {
        if (source == &bytes && !bytesMode)
            continue;
        GEImgHdr image(-1, -1);
        image.assign(*source);
        Touch(image);
        GERawHdr raw(-1, -1);
        raw.assign(*source);
        Touch(raw);
    }
    return 0;
}
