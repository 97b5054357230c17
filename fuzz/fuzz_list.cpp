// Philips LIST/DATA pairs through the pre-R11 stack and volume readers and the EPCSI
// reader, beside a fixed SPAR file and a fixed PAR file. The first two input bytes give
// the length of the LIST text; the rest is the DATA file.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "model/TCSISet.h"
#include "platform/Globals.h"
#include "readers/ReaderFactory.h"

namespace {

const char kSpar[] =
    "samples : 16\nsynthesizer_frequency : 127700000\nsample_frequency : 2000\n"
    "phase_encoding_direction : trans\nphase_encoding_fov : 200\nslice_thickness : 20\n"
    "spec_num_dimensions : 4\ndim2_pnts : 4\ndim3_pnts : 4\ndim4_pnts : 2\n";

// A transverse examination for the EPCSI reader: version line, preparation direction,
// field of view and one image line of 41 columns (orientation code 1 in column 25).
const char kPar[] =
    "# CLINICAL TRYOUT             Research image export tool     V4\n"
    ".    Preparation direction              :   Right-Left\n"
    ".    FOV (ap,fh,rl) [mm]                :   200  40  200\n"
    " 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 10 0 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = [] {
        vx::fuzz::SilenceReports();
        vx::fuzz::WriteScratch("scan.SPAR", reinterpret_cast<const uint8_t*>(kSpar), sizeof kSpar - 1);
        vx::fuzz::WriteScratch("scan.PAR", reinterpret_cast<const uint8_t*>(kPar), sizeof kPar - 1);
        // No questions and no file dialogs: the default companion files are read.
        g_bBatchMode = true;
        return true;
    }();
    (void)ready;
    if (size < 2)
        return 0;
    size_t listBytes = size_t(data[0]) | (size_t(data[1]) << 8);
    data += 2;
    size -= 2;
    if (listBytes > size)
        listBytes = size;
    const std::string list = vx::fuzz::WriteScratch("scan.LIST", data, listBytes);
    vx::fuzz::WriteScratch("scan.DATA", data + listBytes, size - listBytes);
    for (int format : {5, 8, 11}) {
        TCSIReadParams params;
        params.m_nFormat = format;
        params.m_nSweepWidth = 1000;  // the EPCSI reader takes these from the dialog
        params.m_fFrequency = 127.7f;
        std::unique_ptr<TCSIReader> reader(CreateReader(static_cast<uint32_t>(format), &params));
        std::unique_ptr<TCSISet> set(reader->Read(list));
    }
    g_batchLog.clear();
    return 0;
}
