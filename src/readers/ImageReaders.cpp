#include "readers/ImageReaders.h"

#include "model/ReaderHooks.h"
#include "readers/Bruker2dseqImage.h"
#include "readers/DicomImage.h"
#include "readers/GenesisImage.h"
#include "readers/PhilipsPARImage.h"
#include "readers/RawImage.h"
#include "readers/SiemensMAGImage.h"

void RegisterImageReaders()
{
    InstallImageReader(0, &ReadPhilipsPAR);
    InstallImageReader(1, &ReadGenesisImage);
    InstallImageReader(2, &ReadGEDicomImage);
    InstallImageReader(3, &ReadSiemensMAG);
    InstallImageReader(4, &ReadDicomImage);
    InstallImageReader(5, &ReadBruker2dseqImage);
    InstallImageReader(6, &ReadRawImage);
}
