#include "readers/TPhilips2DSliceR2Reader.h"

TCSISet* TPhilips2DSliceR2Reader::Read(std::string path)
{
    static const TSdatFlow kFlow = {
        "Philips 2D Single Slice Release 2 should be SPAR/SDAT files.",
        "For Philips 2D Single Slice R2, metabolic map (.PAR) file is recommended. Click Yes to select the PAR file, No to continue without the metabolic map file.",
        TPARUse::Optional,
        TGrid::Slice,
        true,
    };
    return ReadSdatSet(path, kFlow);
}
