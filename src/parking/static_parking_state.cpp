#include "parking/static_parking_services.hpp"

tzo::SharedText reservedStand;
std::atomic<std::uint32_t> savedMaxLive{0};

std::atomic<bool> staticParkingBusy{false};

namespace {
StaticParkingHooks g_parkingHooks;
}

void gf_installStaticParkingHooks(const StaticParkingHooks& hooks)
{
    g_parkingHooks = hooks;
}

void lf_beginParkingBusy()
{
    staticParkingBusy.store(true);
    if (g_parkingHooks.disableControls)
        g_parkingHooks.disableControls();
}

void lf_endParkingBusy()
{
    staticParkingBusy.store(false);
    if (g_parkingHooks.enableControls)
        g_parkingHooks.enableControls();
}

void lf_repaintParking()
{
    if (g_parkingHooks.repaint)
        g_parkingHooks.repaint();
}
