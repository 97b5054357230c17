#include "model/ProcessingHooks.h"

namespace {
TProcessingHooks s_hooks;
}

void InstallProcessingHooks(TProcessingHooks hooks)
{
    s_hooks = std::move(hooks);
}

const TProcessingHooks& ProcessingHooks()
{
    return s_hooks;
}
