#include "readers/TPhilips2DSliceR11Reader.h"

TCSISet* TPhilips2DSliceR11Reader::Read(std::string path)
{
    static const TSdatFlow kFlow = {
        "For Philips 2D Single Slice Release 11, SPAR/SDAT should be selected.",
        "For Philips 2D Single Slice Release 11, metabolic map (.PAR) file is required. Click Yes to select the PAR file, No to cancel.",
        TPARUse::Required,
        TGrid::Slice,
        false,
    };
    return ReadSdatSet(path, kFlow);
}
