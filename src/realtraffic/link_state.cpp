#include "realtraffic/link_state.hpp"

namespace {

std::atomic<void (*)()> g_repaint{nullptr};

} // namespace

void gf_installLinkHooks(const LinkHooks& hooks)
{
    g_repaint.store(hooks.repaint, std::memory_order_release);
}

void gf_repaintLinkState()
{
    if (auto repaint = g_repaint.load(std::memory_order_acquire))
        repaint();
}
