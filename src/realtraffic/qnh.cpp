#include "realtraffic/qnh.hpp"

#include "foundation/log_throttle.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace tzo {

namespace {

constexpr double kHpaPerInHgHundredth = 0.33865307;

// Like the C library's string-to-int: leading white space and one sign are
// allowed, the digits that follow are taken and the rest is ignored.
enum class StringNumber { ok, invalid, outOfRange };

StringNumber lf_stringToInt(std::string_view text, int& value)
{
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r')))
        ++pos;
    if (pos < text.size() && text[pos] == '+') {
        ++pos;
        if (pos < text.size() && text[pos] == '-')
            return StringNumber::invalid;
    }
    const char* first = text.data() + pos;
    const auto [end, ec] = std::from_chars(first, text.data() + text.size(), value, 10);
    if (ec == std::errc::result_out_of_range)
        return StringNumber::outOfRange;
    if (ec != std::errc{} || end == first)
        return StringNumber::invalid;
    return StringNumber::ok;
}

void lf_logStrange(LogThrottle& log, std::string_view value, std::string_view datagram)
{
    log.log(fmt::format("? Strange QNH {} found in {}", value, gf_loggedExcerpt(datagram)));
}

} // namespace

std::optional<int> gf_qnhFromDatagram(std::string_view datagram, LogThrottle& log)
{
    const auto json = nlohmann::json::parse(datagram, nullptr, false);
    if (json.is_discarded()) {
        log.log(fmt::format("QNH datagram is no JSON: {}", gf_loggedExcerpt(datagram)));
        return std::nullopt;
    }

    int q = kStandardQnh;
    const auto member = json.is_object() ? json.find("QNH") : json.end();
    if (member == json.end() || member->is_null()) {
        log.log(fmt::format("no QNH {}", gf_loggedExcerpt(datagram)));
    } else if (member->is_number_integer() || member->is_number_unsigned()) {
        // A value beyond 32 bits cannot be a pressure; converting it would be
        // undefined, so it is refused whole.
        if (member->is_number_unsigned() && member->get<std::uint64_t>() > static_cast<std::uint64_t>(
                                                                                std::numeric_limits<int>::max())) {
            lf_logStrange(log, member->dump(), datagram);
            return std::nullopt;
        }
        const auto wide = member->get<std::int64_t>();
        if (wide < std::numeric_limits<int>::min() || wide > std::numeric_limits<int>::max()) {
            lf_logStrange(log, member->dump(), datagram);
            return std::nullopt;
        }
        q = static_cast<int>(wide);
    } else if (member->is_number_float()) {
        const double value = member->get<double>();
        if (!std::isfinite(value) || value <= std::numeric_limits<int>::min() - 1.0 ||
            value >= std::numeric_limits<int>::max() + 1.0) {
            lf_logStrange(log, member->dump(), datagram);
            return std::nullopt;
        }
        q = static_cast<int>(value); // truncates toward zero
    } else if (member->is_string()) {
        const auto& text = member->get_ref<const std::string&>();
        int parsed = 0;
        switch (lf_stringToInt(text, parsed)) {
        case StringNumber::ok:
            q = parsed;
            break;
        case StringNumber::invalid:
            log.log(fmt::format("QNH string invalid arg: {}", gf_loggedExcerpt(text)));
            break;
        case StringNumber::outOfRange:
            log.log(fmt::format("QNH string out of range: {}", gf_loggedExcerpt(text)));
            break;
        }
    } else {
        log.log(fmt::format("no QNH {}", gf_loggedExcerpt(datagram)));
    }

    if (q > kHighestQnh)
        q = static_cast<int>(std::lround(q * kHpaPerInHgHundredth));
    return q;
}

} // namespace tzo
