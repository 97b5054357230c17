#include "model/ReaderHooks.h"

#include "model/TCSIReader.h"

namespace {
TCSIReaderFactory s_csiFactory;
TImageReader s_imageReaders[kImageTypeCount];
}

void InstallCSIReaderFactory(TCSIReaderFactory factory)
{
    s_csiFactory = std::move(factory);
}

void InstallImageReader(int nImageType, TImageReader reader)
{
    if (nImageType >= 0 && nImageType < kImageTypeCount)
        s_imageReaders[nImageType] = std::move(reader);
}

void ClearReaderHooks()
{
    s_csiFactory = nullptr;
    for (auto& reader : s_imageReaders)
        reader = nullptr;
}

TCSIReader* CreateCSIReader(uint32_t nFormat, const TCSIReadParams* pParams)
{
    return s_csiFactory ? s_csiFactory(nFormat, pParams) : nullptr;
}

TImageReader ImageReaderFor(int nImageType)
{
    if (nImageType < 0 || nImageType >= kImageTypeCount)
        return {};
    return s_imageReaders[nImageType];
}
