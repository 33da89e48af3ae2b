#include "simconnect/sim_notifications.hpp"

#include <mutex>

namespace tzo {

namespace {
std::mutex g_notificationMutex;
std::deque<SimNotification> g_notifications;
} // namespace

void gf_pushSimNotification(const SimNotification& notification)
{
    std::lock_guard lock(g_notificationMutex);
    g_notifications.push_back(notification);
}

std::deque<SimNotification> gf_takeSimNotifications()
{
    std::deque<SimNotification> taken;
    std::lock_guard lock(g_notificationMutex);
    taken.swap(g_notifications);
    return taken;
}

void gf_clearSimNotifications()
{
    std::lock_guard lock(g_notificationMutex);
    g_notifications.clear();
}

} // namespace tzo
