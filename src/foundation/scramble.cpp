#include "foundation/scramble.hpp"

#include "foundation/log.hpp"
#include "foundation/scramble_keys.hpp"

#include <fmt/format.h>

#include <stdexcept>

using namespace tzo::scramble;

namespace {

constexpr std::size_t kLongestExpectedRegcode = 24;

template <std::size_t N>
std::string lf_unscrambleWithKey(std::string_view stored, const std::array<CodeKeyEntry, N>& key)
{
    std::string result(N, '\0');
    for (std::size_t i = 0; i < N; ++i) {
        const auto& entry = key[i];
        if (entry.storedPosition >= stored.size()) {
            gf_logLineMarked(fmt::format("stored code \"{}\" too short, skipped", stored));
            return {};
        }
        result[i] = static_cast<char>(
            shifted(static_cast<unsigned char>(stored[entry.storedPosition]), entry.offset));
    }
    return result;
}

} // namespace

std::string gf_scrambleRegcode(std::string_view text)
{
    if (text.empty()) {
        return {};
    }
    if (text.size() == 1 || text.size() > kLongestExpectedRegcode) {
        gf_logLineMarked(text);
    }
    std::string result(text);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= 'a' && c <= 'z') {
            gf_logLine(fmt::format("lower case in regcode encryp {}", text));
            throw std::runtime_error("regcode encrypt error");
        }
        if (c != '+') {
            result[i] = static_cast<char>(shifted(static_cast<unsigned char>(c), regcodeOffset(i)));
        }
    }
    return result;
}

std::string gf_unscrambleRegcode(std::string_view stored)
{
    std::string result(stored);
    for (std::size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] != '+') {
            result[i] = static_cast<char>(shifted(static_cast<unsigned char>(stored[i]), -regcodeOffset(i)));
        }
    }
    return result;
}

std::string gf_unscrambleCode(std::string_view stored)
{
    switch (stored.size()) {
    case 0:
        return {};
    case 3:
        return lf_unscrambleWithKey(stored, kModelCodeKey3);
    case 4:
        return lf_unscrambleWithKey(stored, kModelCodeKey4);
    default:
        return lf_unscrambleWithKey(stored, kModelCodeKey2);
    }
}

std::string gf_unscrambleAirline(std::string_view stored)
{
    if (stored.empty()) {
        return {};
    }
    if (stored.size() == kStoredAirlineLength) {
        return lf_unscrambleWithKey(stored, kAirlineKey);
    }
    if (stored.size() == 3) {
        gf_logLineMarked(fmt::format("Unencrypted airline {} in decrypt airl?", stored));
        return std::string(stored);
    }
    throw std::runtime_error(fmt::format("decrypt airl \"{}\" error", stored));
}
