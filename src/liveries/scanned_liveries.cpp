#include "liveries/scanned_liveries.hpp"

namespace tzo {

std::list<LiveryData> scannedLiveries;

} // namespace tzo
