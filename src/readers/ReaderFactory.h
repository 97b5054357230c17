#pragma once
// The reader factory and the one call that connects the real readers to the model.
#include <cstdint>

#include "model/TCSIReadParams.h"
#include "model/TCSIReader.h"

// A new reader for a format index (the caller owns it): the built-in reader of 0 .. 22,
// the plug-in reader for any other value (23 and above, and negative values seen as
// unsigned). Null for a built-in format whose reader this build does not have.
TCSIReader* CreateReader(uint32_t nFormat, const TCSIReadParams* pParams);

// Installs the real readers into the model's reader hooks (CreateReader as the CSI
// reader factory). The application calls it once at start-up; tests that want the real
// readers call it too.
void RegisterReaders();
