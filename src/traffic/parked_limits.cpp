#include "traffic/parked_limits.hpp"

#include "airports/park_positions.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "traffic/live_steps.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/removal.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <set>

std::atomic<std::int64_t> wantedParkedShown{0};
std::atomic<float> liveParkedMeanHours{-1.0f};

namespace {

constexpr std::int64_t kMaxParkedMinutes = 90;
constexpr std::int64_t kMaxParkedMinutesHeavy = 180;

bool lf_isParkedLive(const tzo::LiveAircraft& a)
{
    return a.movementPhase == tzo::kPhaseParked && a.state == tzo::AircraftState::InSimulator;
}

std::int64_t lf_steadyNow()
{
    return std::chrono::steady_clock::now().time_since_epoch().count() / 100;
}

// Seconds parked, for the order of the parked live aircraft.
std::int64_t lf_secondsParked(const tzo::LiveAircraft& a)
{
    return (lf_steadyNow() - a.atStandTime) / 10'000'000;
}

// Record ids of the parked live aircraft, parked longest first.
std::vector<std::uint32_t> lf_listParkedLive()
{
    std::vector<std::pair<std::int64_t, std::uint32_t>> list;
    for (const tzo::LiveAircraft& a : liveAircraft)
        if (lf_isParkedLive(a))
            list.emplace_back(lf_secondsParked(a), a.recordId);
    std::stable_sort(list.begin(), list.end(), [](const auto& x, const auto& y) { return x.first > y.first; });
    std::vector<std::uint32_t> ids;
    for (const auto& entry : list)
        ids.push_back(entry.second);
    return ids;
}

// Half-hours parked since the DayHour; nothing when it is not earlier.
std::uint64_t lf_sumParkedHalfHours(DayHour since, DayHour now)
{
    if (since.day == 0)
        return 0;
    const auto at = [](DayHour d) { return static_cast<std::int64_t>(d.day) * 48 + d.hh; };
    std::int64_t diff = at(now) - at(since);
    if (since.day == 7 && now.day == 1)
        diff += 7 * 48;
    return diff > 0 ? static_cast<std::uint64_t>(diff) : 0;
}

} // namespace

std::int64_t gf_minutesParked(const tzo::LiveAircraft& aircraft)
{
    return (lf_steadyNow() - aircraft.atStandTime) / 600'000'000;
}

void gf_limitParked(bool extra)
{
    const std::int64_t e = extra ? 1 : 0;
    const std::int64_t limit = wantedParkedShown.load();
    const std::int64_t live = std::count_if(liveAircraft.begin(), liveAircraft.end(), lf_isParkedLive);
    if (!INITIAL_LOAD_ONLY.value() && limit > 0 && live + e > limit) {
        const std::vector<std::uint32_t> ids = lf_listParkedLive();
        if (!ids.empty())
            if (tzo::LiveAircraft* a = gf_findLiveAircraft(ids.front())) {
                gf_logLine(fmt::format("{:}: {:8} max park exceeded, removed", gf_standNameOfId(a->standId),
                                       a->callsign));
                gf_removeAircraft(*a);
            }
    }
    const std::int64_t statics = std::count_if(staticAircraft.begin(), staticAircraft.end(), [](const auto& s) {
        return s.state == tzo::AircraftState::InSimulator || s.state == tzo::AircraftState::BeingRemoved;
    });
    if (statics + live + e <= limit)
        return;
    // Latest placed first; the earliest-placed one in the simulator goes. One
    // still without its object, or already on its way out, is never chosen.
    const DayHour now = gf_nowDayHour();
    std::stable_sort(staticAircraft.begin(), staticAircraft.end(), [&](const auto& a, const auto& b) {
        return gf_halfHoursBack(now, a.parkedSince) < gf_halfHoursBack(now, b.parkedSince);
    });
    for (auto it = staticAircraft.rbegin(); it != staticAircraft.rend(); ++it) {
        if (it->state == tzo::AircraftState::InSimulator) {
            gf_removeAircraft(*it);
            return;
        }
    }
}

void lf_collectLiveStayers(std::vector<tzo::LiveStayer>& stayers)
{
    std::vector<std::uint32_t> tooLong;
    for (const tzo::LiveAircraft& a : liveAircraft) {
        if (!lf_isParkedLive(a))
            continue;
        if (a.standApproach) {
            stayers.push_back({a.callsign, 0, a.standId});
            continue;
        }
        const std::int64_t minutes = gf_minutesParked(a);
        const std::int64_t most =
            a.category == tzo::AircraftCategory::Heavy ? kMaxParkedMinutesHeavy : kMaxParkedMinutes;
        if (!INITIAL_LOAD_ONLY.value() && minutes > most)
            tooLong.push_back(a.recordId);
        else
            stayers.push_back({a.callsign, minutes, a.standId});
    }
    for (const std::uint32_t id : tooLong)
        if (tzo::LiveAircraft* a = gf_findLiveAircraft(id))
            gf_removeAircraft(*a);
    std::stable_sort(stayers.begin(), stayers.end(),
                     [](const auto& a, const auto& b) { return a.minutesParked < b.minutesParked; });
}

void lf_removeLiveStayers(std::int64_t n)
{
    if (n <= 0)
        return;
    const std::vector<std::uint32_t> ids = lf_listParkedLive();
    const std::set<std::uint32_t> chosen(ids.begin(),
                                         ids.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(
                                                           static_cast<std::size_t>(n), ids.size())));
    for (tzo::LiveAircraft& a : liveAircraft) {
        if (chosen.count(a.recordId) == 0 || a.state != tzo::AircraftState::InSimulator)
            continue;
        gf_logLine(fmt::format("live parked {} at {} removed", gf_formatStatusLine(a), gf_standNameOfId(a.standId)));
        gf_removeAircraft(a);
    }
}

int gf_countLiveParked(bool update)
{
    int count = 0;
    std::uint64_t halfHours = 0;
    const DayHour now = gf_nowDayHour();
    for (const tzo::LiveAircraft& a : liveAircraft) {
        if (!lf_isParkedLive(a))
            continue;
        ++count;
        halfHours += lf_sumParkedHalfHours(a.parkedSince, now);
    }
    if (update) {
        const float mean =
            count == 0 ? 0.0f : static_cast<float>(static_cast<double>(halfHours) / (2.0 * count) + 0.5);
        liveParkedMeanHours.store(mean);
    }
    return count;
}

void lf_parkedLimit(tzo::LiveAircraft& /*aircraft*/)
{
    gf_limitParked(true);
}
