#include "readers/CSIFormats.h"

#include "platform/PluginTable.h"

namespace {

constexpr char kSpar[] = "Philips SPAR file(*.SPAR)";
constexpr char kList[] = "Philips LIST File(*.LIST)";

const TCSIFormatInfo kFormats[kBuiltInFormatCount] = {
    {"Philips Single Voxel", kSpar, "*.SPAR"},
    {"Philips Time Series", kSpar, "*.SPAR"},
    {"Philips 2D CSI Single Slice Pre R11", kSpar, "*.SPAR"},
    {"Philips 2D CSI Single Slice (R11)", kSpar, "*.SPAR"},
    {"Philips 2D CSI Single Slice (R2, Proton)", kSpar, "*.SPAR"},
    {"Philips 2D CSI MultiSlice Pre R11", kList, "*.LIST"},
    {"Philips 2D CSI MultiSlice (R11)", kSpar, "*.SPAR"},
    {"Philips 2D CSI MultiSlice (R2,Proton)", kSpar, "*.SPAR"},
    {"Philips 3D CSI Pre R11", kList, "*.LIST"},
    {"Philips 3D CSI (R11)", kSpar, "*.SPAR"},
    {"Philips 3D CSI (R2,Proton)", kSpar, "*.SPAR"},
    {"Philips EPCSI R2 Raw File", kList, "*.LIST"},
    {"GE Pre 11.0 P file", "", ""},
    {"GE Single Voxel P file (EXCITE 11.0 or later)", "", ""},
    {"GE Single Voxel SAGE file (EXCITE 11.0 or later)", "", ""},
    {"GE 2D/3D P file (EXCITE 11.0 or later)", "", ""},
    {"GE MPCSI (NIH) P file", "", ""},
    {"Siemens Helicon (.mag files)", "Siemens MAG File(*.MAG)", "*.MAG"},
    {"Siemens .RDA Files", "Siemens RDA File(*.RDA)", "*.RDA"},
    {"Bruker 2D CSI (2dseq file)", "", ""},
    {"Bruker 3D CSI Raw (fid file)", "", ""},
    {"Unknown", "", ""},
    {"Vexara Internal Format", "", ""},
};

}  // namespace

const TCSIFormatInfo* BuiltInFormat(int index)
{
    if (index < 0 || index >= kBuiltInFormatCount)
        return nullptr;
    return &kFormats[index];
}

std::string FormatName(int index)
{
    if (const TCSIFormatInfo* info = BuiltInFormat(index))
        return info->name;
    if (index < vx::kFirstPluginFormat)
        return {};
    const auto table = vx::PluginTable();
    const size_t row = static_cast<size_t>(index - vx::kFirstPluginFormat);
    return row < table.size() ? table[row].strFormat : std::string();
}

int FormatCount()
{
    return kBuiltInFormatCount + static_cast<int>(vx::PluginTable().size());
}

TFormatFilter FormatFileFilter(int index)
{
    TFormatFilter result;
    result.filter = "All Files (*.*)|*.*";
    const TCSIFormatInfo* info = BuiltInFormat(index);
    if (info && info->fileType[0] != '\0') {
        result.filter += std::string("|") + info->fileType + "|" + info->pattern;
        result.filterIndex = 1;
    }
    return result;
}
