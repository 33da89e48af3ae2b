#include "simconnect/sim_hooks.hpp"

#include <mutex>

namespace {
std::mutex g_hooksMutex;
SimLayerHooks g_hooks;
} // namespace

void gf_installSimLayerHooks(const SimLayerHooks& hooks)
{
    std::lock_guard lock(g_hooksMutex);
    g_hooks = hooks;
}

SimLayerHooks gf_simLayerHooks()
{
    std::lock_guard lock(g_hooksMutex);
    return g_hooks;
}
