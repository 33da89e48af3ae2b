#include "foundation/version.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <array>
#include <charconv>
#include <cstdint>
#include <optional>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool toInt(std::string_view digits, std::int32_t& out)
{
    std::int32_t value = 0;
    auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || ptr != digits.data() + digits.size())
        return false;
    out = value;
    return true;
}

// Whole-text match of (\d+).(\d+).(\d+) where each '.' stands for any one
// character but a line end, with the leftmost-longest split a backtracking
// matcher finds. Hand-written: version texts come from downloads, and the
// standard regex is unsafe on long input.
std::optional<std::array<std::string_view, 3>> matchTriple(std::string_view text)
{
    auto anyChar = [](char c) { return c != '\n' && c != '\r'; };
    const size_t n = text.size();
    // First group: greedy, then give back.
    size_t d1 = 0;
    while (d1 < n && isDigit(text[d1]))
        ++d1;
    for (size_t e1 = d1; e1 >= 1; --e1) {
        if (e1 >= n || !anyChar(text[e1]))
            continue;
        const size_t s2 = e1 + 1;
        size_t d2 = s2;
        while (d2 < n && isDigit(text[d2]))
            ++d2;
        for (size_t e2 = d2; e2 > s2; --e2) {
            if (e2 >= n || !anyChar(text[e2]))
                continue;
            const size_t s3 = e2 + 1;
            if (s3 >= n)
                continue;
            bool allDigits = true;
            for (size_t i = s3; i < n; ++i)
                allDigits = allDigits && isDigit(text[i]);
            if (allDigits)
                return std::array<std::string_view, 3>{text.substr(0, e1), text.substr(s2, e2 - s2),
                                                       text.substr(s3)};
        }
    }
    return std::nullopt;
}

} // namespace

tzo::Version gf_parseVersion(std::string_view text)
{
    tzo::Version v;
    if (text.empty())
        return v;
    if (auto groups = matchTriple(text)) {
        std::int32_t* fields[3] = {&v.major, &v.minor, &v.patch};
        for (int i = 0; i < 3; ++i)
            if (!toInt((*groups)[i], *fields[i]))
                return v;
        return v;
    }
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object())
        return v;
    std::int32_t* fields[3] = {&v.major, &v.minor, &v.patch};
    const char* names[3] = {"major", "minor", "patch"};
    for (int i = 0; i < 3; ++i) {
        const auto it = json.find(names[i]);
        if (it == json.end() || !it->is_number_integer())
            return v;
        if (it->is_number_unsigned()) {
            const auto u = it->get<std::uint64_t>();
            if (u > static_cast<std::uint64_t>(INT32_MAX))
                return v;
            *fields[i] = static_cast<std::int32_t>(u);
        } else {
            const auto s = it->get<std::int64_t>();
            if (s < INT32_MIN || s > INT32_MAX)
                return v;
            *fields[i] = static_cast<std::int32_t>(s);
        }
    }
    return v;
}

std::string gf_versionToString(const tzo::Version& version)
{
    return fmt::format("{}.{}.{}", version.major, version.minor, version.patch);
}

const tzo::Version& gf_programVersion()
{
    static const tzo::Version v = gf_parseVersion(kProgramVersionText);
    return v;
}
