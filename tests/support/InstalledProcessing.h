#pragma once
// The processing steps installed as the program installs them at start, for the life of
// the object: the projects of a test make their histories and delete the steps, region
// estimates and drawn regions they hold through them. Made before those projects, it goes
// after them.
#include "model/ProcessingHooks.h"
#include "processing/InstallProcessing.h"

namespace vx::test {

struct TInstalledProcessing {
    TInstalledProcessing() { InstallProcessing(); }
    ~TInstalledProcessing() { InstallProcessingHooks({}); }
    TInstalledProcessing(const TInstalledProcessing&) = delete;
    TInstalledProcessing& operator=(const TInstalledProcessing&) = delete;
};

}  // namespace vx::test
