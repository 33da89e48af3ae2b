#include "liveries/livery_window.hpp"

#include <mutex>

namespace tzo {

namespace {
std::mutex g_hooksMutex;
LiveryWindowHooks g_hooks;
} // namespace

void gf_installLiveryWindowHooks(const LiveryWindowHooks& hooks)
{
    std::lock_guard lock(g_hooksMutex);
    g_hooks = hooks;
}

LiveryWindowHooks gf_liveryWindowHooks()
{
    std::lock_guard lock(g_hooksMutex);
    return g_hooks;
}

void gf_showLiveryCount(std::int64_t count)
{
    if (const auto hooks = gf_liveryWindowHooks(); hooks.showLiveryCount)
        hooks.showLiveryCount(count);
}

} // namespace tzo
