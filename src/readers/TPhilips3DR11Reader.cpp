#include "readers/TPhilips3DR11Reader.h"

TCSISet* TPhilips3DR11Reader::Read(std::string path)
{
    return ReadSliceSet(path, "For Philips 3D CSI Releaser 11, SPAR/SDAT should be selected.",
                        "For Philips 3D CSI Release 11, metabolic map (.PAR) file is required. Click Yes to select "
                        "the PAR file, No to cancel.",
                        TGrid::Volume);
}
