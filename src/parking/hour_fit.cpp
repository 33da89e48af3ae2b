#include "parking/hour_fit.hpp"

#include "airports/park_positions.hpp"
#include "foundation/app_hooks.hpp"
#include "foundation/log.hpp"
#include "foundation/number_text.hpp"
#include "foundation/random.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "parking/static_parking_services.hpp"
#include "realtraffic/readers.hpp"
#include "traffic/live_traffic.hpp"
#include "traffic/stand_search.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

std::atomic<bool> softFitShown{false};

namespace {

constexpr std::size_t kCandidateRoom = 512;

std::int64_t takenCount()
{
    return std::count_if(parkPositions.begin(), parkPositions.end(), [](const tzo::ParkPos& s) { return s.taken; });
}

std::string fitHours(std::int64_t halfHours)
{
    return gf_formatNumber(static_cast<float>(halfHours) * 0.5f + 0.5f);
}

void sortPlanByOffset(bool largestFirst)
{
    std::stable_sort(staticParkingPlan.begin(), staticParkingPlan.end(),
                     [largestFirst](const tzo::ParkingPlanEntry& a, const tzo::ParkingPlanEntry& b) {
                         return largestFirst ? a.fitOffset > b.fitOffset : a.fitOffset < b.fitOffset;
                     });
}

void merge(std::int64_t wanted, std::int32_t current, std::vector<tzo::StandFitEntry>& lastRound,
           std::vector<tzo::StandFitEntry>& result)
{
    const std::int64_t need = wanted - current - static_cast<std::int64_t>(result.size());
    if (need < static_cast<std::int64_t>(lastRound.size()) && RANDOM.value())
        std::shuffle(lastRound.begin(), lastRound.end(), threadRandomEngine());
    const std::size_t keep = need <= 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(need), lastRound.size());
    result.insert(result.end(), std::make_move_iterator(lastRound.begin()),
                  std::make_move_iterator(lastRound.begin() + static_cast<std::ptrdiff_t>(keep)));
    lastRound.clear();
    while (!result.empty() && current + static_cast<std::int64_t>(result.size()) > wanted)
        result.pop_back();
}

} // namespace

std::int64_t gf_wantedParkedCount()
{
    const std::int64_t n = static_cast<std::int64_t>(parkPositions.size());
    const std::int64_t p = parking_percentage.value();
    std::int64_t wanted = 0;
    // 0 % means no static aircraft, at small airports too.
    if (n == 0 || p == 0)
        wanted = 0;
    else if (n == 1 || (n < 4 && p < 50))
        wanted = 1;
    else
        wanted = std::llround(static_cast<double>(p) * static_cast<double>(n) / 100.0);
    wantedParkedShown.store(wanted);
    lf_repaintParking();
    return wanted;
}

DayHour lf_logDayHour()
{
    const DayHour dayHour = gf_nowDayHour();
    const std::uint32_t day = dayHour.day >= 1 && dayHour.day <= 7 ? dayHour.day : 1;
    gf_logLine(fmt::format("\n{} (utc) It is day {} ({}), {} hours", gf_currentTimeText(), dayHour.day,
                           gf_dayName(day), fitHours(dayHour.hh)));
    return dayHour;
}

void lf_keepStandsFree()
{
    const std::string reserved = reservedStand.get();
    auto markNamed = [](const std::string& name) {
        for (auto& stand : parkPositions)
            if (stand.name == name) {
                stand.keptFree = true;
                return;
            }
    };
    if (!reserved.empty())
        markNamed(reserved);
    const std::string under = gf_standNameAt(userAircraft.latitude, userAircraft.longitude);
    if (!under.empty() && under != reserved)
        markNamed(under);
}

void lf_takeCollectedCallsigns()
{
    fitCallsignExclusions.clear();
    for (auto& callsign : trafficReader.stopCollecting())
        fitCallsignExclusions.insert(callsign);
    trafficReader.clearCollected();
}

bool lf_fitStands(DayHour dayHour, bool soft, std::int64_t wanted, std::vector<tzo::StandFitEntry>& lastRound,
                  std::vector<tzo::StandFitEntry>& result)
{
    const std::int64_t taken0 = takenCount();
    const std::int32_t maxFit = MAX_FIT.value();
    bool reached = false;
    std::int32_t k = 0;
    for (;; ++k) {
        lf_searchStands(dayHour, soft, static_cast<std::uint32_t>(k), lastRound, result);
        if (wanted <= takenCount()) {
            reached = true;
            break;
        }
        result.insert(result.end(), std::make_move_iterator(lastRound.begin()),
                      std::make_move_iterator(lastRound.end()));
        lastRound.clear();
        if (k >= maxFit)
            break;
    }
    if (soft) {
        softFitOffset = k;
    } else {
        realFitOffset = k;
        softFitOffset = -1;
    }
    const std::int64_t found = takenCount() - taken0;
    if (found > 0) {
        const std::string dayText = WEEK.value() ? std::string{", week"} : fmt::format(", day {}", dayHour.day);
        gf_logLine(fmt::format("{} {} position{} found, Max fit={} hours{}{}", found, soft ? "soft" : "real",
                               found >= 2 ? "s" : "", fitHours(maxFit), dayText,
                               fmt::format(", hh:{} or {} hrs", dayHour.hh, fitHours(dayHour.hh)) +
                                   fmt::format(" fit: {} hour", fitHours(k))));
    }
    softFitShown.store(soft && found > 0);
    lf_repaintParking();
    return reached;
}

void lf_fillParkingPlan(DayHour dayHour, std::int64_t wanted, std::int32_t current)
{
    std::vector<tzo::StandFitEntry> result;
    std::vector<tzo::StandFitEntry> lastRound;
    result.reserve(kCandidateRoom);
    lastRound.reserve(kCandidateRoom);
    if (lf_fitStands(dayHour, false, wanted, lastRound, result))
        merge(wanted, current, lastRound, result);
    if (current + static_cast<std::int64_t>(result.size()) < wanted && (PARK_SOFT.value() || PARK_FAKE.value())) {
        lastRound.clear();
        if (lf_fitStands(dayHour, true, wanted, lastRound, result))
            merge(wanted, current, lastRound, result);
    }
    for (auto& e : result) {
        tzo::ParkingPlanEntry entry;
        entry.fitOffset = static_cast<std::int32_t>(e.offset);
        entry.airline = std::move(e.airline);
        entry.type = std::move(e.type);
        entry.standId = e.standId;
        entry.firstCallsign = std::move(e.callsign);
        entry.secondCallsign = std::move(e.secondCallsign);
        entry.registration = std::move(e.registration);
        entry.continues = e.continues != 0;
        staticParkingPlan.push_back(std::move(entry));
    }
}

void lf_planStaticParking()
{
    const DayHour dayHour = lf_logDayHour();
    gf_showStatus("Making changes to airport parking parameters is disabled while static parking takes place ...",
                  false);
    staticParkingPlan.clear();
    staticParkedMeanHours.store(-1.0f);
    softFitShown.store(false);
    lf_repaintParking();
    lf_takeCollectedCallsigns();
    for (auto& stand : parkPositions) {
        stand.taken = false;
        stand.keptFree = false;
        stand.adjacentBlocked = false;
    }
    lf_keepStandsFree();
    const std::int64_t wanted = gf_wantedParkedCount();
    if (wanted > static_cast<std::int64_t>(staticParkingPlan.size()))
        lf_fillParkingPlan(dayHour, wanted, static_cast<std::int32_t>(staticParkingPlan.size()));
    sortPlanByOffset(false);
    while (static_cast<std::int64_t>(staticParkingPlan.size()) > wanted)
        staticParkingPlan.pop_back();
    const std::size_t count = staticParkingPlan.size();
    const std::int64_t share =
        parkPositions.empty() ? 0 : std::llround(static_cast<double>(count) * 100.0 / parkPositions.size());
    if (count > 0) {
        gf_logLine(fmt::format("{} positions ({}% vs wanted {}%, with Max fit={} hours)\n", count, share,
                               parking_percentage.value(), fitHours(MAX_FIT.value())));
        // The realisation takes entries from the end: the nearest fits are created first.
        sortPlanByOffset(true);
        lf_beginParkingBusy();
    } else {
        gf_logLine("no parking positions found");
        lf_endParkingBusy();
    }
}
