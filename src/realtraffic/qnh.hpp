#pragma once
// The weather datagram: a JSON object whose "QNH" member gives the sea-level
// pressure, in hPa or in hundredths of an inch of mercury.

#include "foundation/log_throttle.hpp"

#include <optional>
#include <string_view>

namespace tzo {

inline constexpr int kStandardQnh = 1013;
inline constexpr int kLowestQnh = 930;
inline constexpr int kHighestQnh = 1080;

// The QNH in hPa that a datagram gives, before the range test: 1013 when it
// has none (or a string that is no number); values above 1080 are taken as
// inHg hundredths. No value when the datagram is no JSON or its number lies
// beyond any integer QNH (both logged).
// The lines about a bad datagram go through the throttle, so that a flood of
// datagrams cannot flood the log.
std::optional<int> gf_qnhFromDatagram(std::string_view datagram, LogThrottle& log);

} // namespace tzo
