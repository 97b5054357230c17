#include "readers/TPhilips2DMultiSliceR11Reader.h"

TCSISet* TPhilips2DMultiSliceR11Reader::Read(std::string path)
{
    return ReadSliceSet(path, "For Philips 2D Mulitslice Release 11, SPAR/SDAT files should be selected.",
                        "For Philips 2D Multi-Slice R11, metabolic map (.PAR) file is required. Click Yes to select "
                        "the PAR file, No to cancel.",
                        TGrid::MultiSlice);
}
