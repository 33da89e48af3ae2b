#pragma once
// The liveries of one run of the scan driver: what a rescan found, or what
// the catalogue file gave back. Filled and emptied on the start-up thread;
// the post-scan processing turns it into the catalogue.

#include "liveries/livery_data.hpp"

#include <list>

namespace tzo {

extern std::list<LiveryData> scannedLiveries;

} // namespace tzo
