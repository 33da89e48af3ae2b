#include "traffic/live_traffic.hpp"

#include <algorithm>

tzo::UserFix userAircraft;
std::vector<tzo::LiveAircraft> liveAircraft;
std::vector<tzo::AircraftRecord> staticAircraft;
std::deque<std::uint32_t> newLiveIds;
std::map<std::string, int> noMatches;
std::unordered_map<std::uint32_t, std::string_view> liveLiveryCache;
std::vector<std::string> ghostTexts;

tzo::LiveAircraft* gf_findLiveAircraft(std::uint32_t recordId)
{
    const auto it = std::find_if(liveAircraft.begin(), liveAircraft.end(),
                                 [recordId](const tzo::LiveAircraft& a) { return a.recordId == recordId; });
    return it == liveAircraft.end() ? nullptr : &*it;
}
