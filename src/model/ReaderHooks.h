#pragma once
// The project reaches the readers through two hooks, so that the model does not depend
// on the readers library: a CSI reader factory (by format index) and one image reader per
// image type. The readers library installs them in one call at start-up; model tests
// install fakes. Nothing installed: no reader is made and no image type is read.
#include <functional>
#include <string>

#include "model/TCSIReadParams.h"
#include "model/TImageImportParams.h"

class TCSIReader;
class TImageSet;
class TProject;

constexpr int kImageTypeCount = 7;

// Makes the reader of a format index (the caller owns it); null when none can be made.
using TCSIReaderFactory = std::function<TCSIReader*(uint32_t nFormat, const TCSIReadParams* pParams)>;
// Reads one image file into the collection (each image added with TImageSet::AddNew,
// which stages its pixel file); false after the reader reported the cause.
using TImageReader = std::function<bool(TImageSet& images, const std::string& path,
                                        TImageImportParams params, TProject* pProject)>;

void InstallCSIReaderFactory(TCSIReaderFactory factory);
// Image types 0 .. kImageTypeCount - 1; other types are ignored.
void InstallImageReader(int nImageType, TImageReader reader);
// Removes every installed hook (tests).
void ClearReaderHooks();

// The reader of the format index from the installed factory; null without a factory.
TCSIReader* CreateCSIReader(uint32_t nFormat, const TCSIReadParams* pParams);
// The installed reader of an image type; empty for another type or when none is installed.
TImageReader ImageReaderFor(int nImageType);
