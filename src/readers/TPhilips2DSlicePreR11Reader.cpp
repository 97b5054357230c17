#include "readers/TPhilips2DSlicePreR11Reader.h"

TCSISet* TPhilips2DSlicePreR11Reader::Read(std::string path)
{
    static const TSdatFlow kFlow = {
        "Philips single slice 2D CSI Pre R11 should be SPAR/SDAT files.",
        "For Philips 2D Single Slice Pre R11,providing metabolic map (.PAR) file is recommended. Click Yes to select the PAR file, No to cancel.",
        TPARUse::Recommended,
        TGrid::Slice,
        false,
    };
    return ReadSdatSet(path, kFlow);
}
