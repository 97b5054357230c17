#include "readers/ImageReaders.h"

#include "model/ReaderHooks.h"
#include "readers/PhilipsPARImage.h"
#include "readers/RawImage.h"

void RegisterImageReaders()
{
    InstallImageReader(0, &ReadPhilipsPAR);
    InstallImageReader(6, &ReadRawImage);
}
