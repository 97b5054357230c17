#include "readers/TPhilips2DMultiSliceR2Reader.h"

TCSISet* TPhilips2DMultiSliceR2Reader::Read(std::string path)
{
    static const TSdatFlow kFlow = {
        "Please select SPAR/SDAT files.",
        "For Philips 2D Multi-Slice R2, metabolic map (.PAR) file is recommended. Click Yes to select the PAR file, No to continue without the metabolic map file.",
        TPARUse::Optional,
        TGrid::MultiSlice,
        true,
    };
    return ReadSdatSet(path, kFlow);
}
