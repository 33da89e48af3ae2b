#include "foundation/run_state.hpp"

#include "foundation/settings.hpp"

#include <cmath>

std::atomic<int> runningThreads{0};
std::atomic<bool> exiting{false};
std::atomic<bool> userClosed{false};
std::atomic<ExitReason> exitReason{ExitReason::NOT_YET_SET};
std::atomic<std::uint64_t> runGeneration{0};

std::atomic<bool> secondTick{false};
std::atomic<bool> flightRunning{false};
std::atomic<bool> userOnGround{false};
std::atomic<bool> rtError{false};

std::atomic<std::uint64_t> nowDayHour{0};
std::atomic<int> secondsCounter{0};
std::atomic<bool> renewalPending{false};

std::atomic<double> rangeNm{0.0};
std::atomic<std::uint32_t> rangeMetres{0};

std::atomic<bool> flushStaticPending{false};
std::atomic<bool> rereadPending{false};
std::atomic<bool> blockCallsignPending{false};
std::atomic<bool> matchingChanged{false};
std::atomic<bool> navLightsPending{false};
std::atomic<bool> limitLiveCountPending{false};
std::atomic<bool> updateRangePending{false};

void gf_storeRange(double nm)
{
    rangeNm.store(nm);
    // A range is a small positive number of miles; anything else (a negative
    // or absurd value from a damaged file) must not wrap the unsigned radius.
    const double metres = nm * 1852.0;
    rangeMetres.store(metres > 0.0 && metres < 4.0e9 ? static_cast<std::uint32_t>(std::lround(metres)) : 0U);
}

std::int32_t gf_applyTrafficRange(std::int32_t nm, std::int32_t minimum, std::int32_t maximum)
{
    gf_storeRange(nm);
    if (nm < minimum)
        return minimum;
    if (nm > maximum)
        return maximum;
    return nm;
}

void gf_setRangeNm(std::int32_t nm)
{
    LATERAL_RANGE.setValue(gf_applyTrafficRange(nm, LATERAL_RANGE.min(), LATERAL_RANGE.max()));
}

void gf_rangeFromSetting()
{
    LATERAL_RANGE.setValue(LATERAL_RANGE.value());
    gf_storeRange(LATERAL_RANGE.value());
}

DayHour gf_nowDayHour()
{
    return DayHour::fromU64(nowDayHour.load());
}
