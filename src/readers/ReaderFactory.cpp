#include "readers/ReaderFactory.h"

#include <new>

#include "model/ReaderHooks.h"
#include "readers/CSIFormats.h"
#include "readers/ImageReaders.h"
#include "readers/TBrukerFidReader.h"
#include "readers/TGEPfileReader.h"
#include "readers/TGEPre11Reader.h"
#include "readers/TGESVReader.h"
#include "readers/TGESageReader.h"
#include "readers/TMPCSIReader.h"
#include "readers/TInternalFormatReader.h"
#include "readers/TPhilips2DMultiSlicePreR11Reader.h"
#include "readers/TPhilips2DMultiSliceR11Reader.h"
#include "readers/TPhilips2DMultiSliceR2Reader.h"
#include "readers/TPhilips2DSlicePreR11Reader.h"
#include "readers/TPhilips2DSliceR11Reader.h"
#include "readers/TPhilips2DSliceR2Reader.h"
#include "readers/TPhilips3DPreR11Reader.h"
#include "readers/TPhilips3DR11Reader.h"
#include "readers/TPhilips3DR2Reader.h"
#include "readers/TPhilipsEPCSIReader.h"
#include "readers/TPhilipsSVReader.h"
#include "readers/THeliconReader.h"
#include "readers/TPhilipsTimeSeriesReader.h"
#include "readers/TPluginReader.h"
#include "readers/TRDAReader.h"
#include "readers/TRawReader.h"

TCSIReader* CreateReader(uint32_t nFormat, const TCSIReadParams* pParams)
{
    switch (nFormat) {
    case 0: return new (std::nothrow) TPhilipsSVReader(pParams);
    case 1: return new (std::nothrow) TPhilipsTimeSeriesReader(pParams);
    case 2: return new (std::nothrow) TPhilips2DSlicePreR11Reader(pParams);
    case 3: return new (std::nothrow) TPhilips2DSliceR11Reader(pParams);
    case 4: return new (std::nothrow) TPhilips2DSliceR2Reader(pParams);
    case 5: return new (std::nothrow) TPhilips2DMultiSlicePreR11Reader(pParams);
    case 6: return new (std::nothrow) TPhilips2DMultiSliceR11Reader(pParams);
    case 7: return new (std::nothrow) TPhilips2DMultiSliceR2Reader(pParams);
    case 8: return new (std::nothrow) TPhilips3DPreR11Reader(pParams);
    case 9: return new (std::nothrow) TPhilips3DR11Reader(pParams);
    case 10: return new (std::nothrow) TPhilips3DR2Reader(pParams);
    case 11: return new (std::nothrow) TPhilipsEPCSIReader(pParams);
    case 12: return new (std::nothrow) TGEPre11Reader(pParams);
    case 13: return new (std::nothrow) TGESVReader(pParams);
    case 14: return new (std::nothrow) TGESageReader(pParams);
    case 15: return new (std::nothrow) TGEPfileReader(pParams);
    case 16: return new (std::nothrow) TMPCSIReader(pParams);
    case 17: return new (std::nothrow) THeliconReader(pParams);
    case 18: return new (std::nothrow) TRDAReader(pParams);
    case 19: return new (std::nothrow) TBruker2dseqReader(pParams);
    case 20: return new (std::nothrow) TBrukerFidReader(pParams);
    case kRawFormat: return new (std::nothrow) TRawReader(pParams);
    case kInternalFormat: return new (std::nothrow) TInternalFormatReader(pParams);
    default: break;
    }
    return new (std::nothrow) TPluginReader(pParams);
}

void RegisterReaders()
{
    InstallCSIReaderFactory(&CreateReader);
    RegisterImageReaders();
}
