#include "model/MapHooks.h"

namespace {
TMapHooks s_hooks;
}

void InstallMapHooks(TMapHooks hooks)
{
    s_hooks = std::move(hooks);
}

const TMapHooks& MapHooks()
{
    return s_hooks;
}
