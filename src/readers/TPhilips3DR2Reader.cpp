#include "readers/TPhilips3DR2Reader.h"

TCSISet* TPhilips3DR2Reader::Read(std::string path)
{
    static const TSdatFlow kFlow = {
        "Please select SPAR/SDAT files for Philips 3D CSI Release 2.",
        "For Philips 3D CSI R2, metabolic map (.PAR) file is recommended. Click Yes to select the PAR file, No to continue without the metabolic map file.",
        TPARUse::Optional,
        TGrid::Volume,
        true,
    };
    return ReadSdatSet(path, kFlow);
}
