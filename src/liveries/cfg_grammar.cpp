#include "liveries/cfg_grammar.hpp"

#include "foundation/log.hpp"
#include "liveries/code_fixes.hpp"
#include "liveries/scan_lists.hpp"
#include "refdata/dbase.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace fs = std::filesystem;

namespace {

// The blanks of the grammar: what "\s" stands for in byte text.
bool lf_isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

char lf_lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::size_t lf_skipBlanks(std::string_view line, std::size_t at)
{
    while (at < line.size() && lf_isBlank(line[at]))
        ++at;
    return at;
}

// Whether the line holds the lower-case word at `at`, in any letter case.
bool lf_hasWordAt(std::string_view line, std::size_t at, std::string_view word)
{
    if (line.size() - at < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (lf_lower(line[at + i]) != word[i])
            return false;
    return true;
}

bool lf_matchInto(std::string_view line, std::string_view key, std::string& value)
{
    std::string found = lf_matchKeyValue(line, key);
    if (found.empty())
        return false;
    value = std::move(found);
    return true;
}

} // namespace

std::string lf_matchKeyValue(std::string_view line, std::string_view key)
{
    std::size_t at = lf_skipBlanks(line, 0);
    if (!lf_hasWordAt(line, at, key))
        return {};
    at = lf_skipBlanks(line, at + key.size());
    if (at == line.size() || line[at] != '=')
        return {};
    const std::size_t first = lf_skipBlanks(line, at + 1);
    if (first == line.size())
        return {};
    std::size_t end = line.size();
    while (lf_isBlank(line[end - 1]))
        --end;
    // A value holds no line break: a CR or LF inside it is no key line at all.
    const std::string_view value = line.substr(first, end - first);
    if (value.find_first_of("\r\n") != std::string_view::npos)
        return {};
    return std::string(value);
}

bool lf_matchTitle(std::string_view line, std::string& value)
{
    return lf_matchInto(line, "title", value);
}

bool lf_matchSim(std::string_view line, std::string& value)
{
    return lf_matchInto(line, "sim", value);
}

bool lf_matchModel(std::string_view line, std::string& value)
{
    return lf_matchInto(line, "model", value);
}

bool lf_matchTexture(std::string_view line, std::string& value)
{
    return lf_matchInto(line, "texture", value);
}

bool lf_matchAtcId(std::string_view line, std::string& value)
{
    return lf_matchInto(line, "atc_id", value);
}

bool lf_matchAtcParkingTypes(std::string_view line, std::string& value)
{
    return lf_matchInto(line, "atc_parking_types", value);
}

std::string lf_matchAtcModel(std::string_view line)
{
    return lf_matchKeyValue(line, "atc_model");
}

std::string lf_matchAtcParkingCodes(std::string_view line)
{
    return lf_matchKeyValue(line, "atc_parking_codes");
}

bool lf_hasAtcIdKey(std::string_view line)
{
    return line.find("atc_id=") != std::string_view::npos;
}

bool lf_hasAtcParkingTypesKey(std::string_view line)
{
    return line.find("atc_parking_types") != std::string_view::npos;
}

bool lf_hasAtcParkingCodesKey(std::string_view line)
{
    return line.find("atc_parking_codes") != std::string_view::npos;
}

std::string lf_matchFltsimHeader(std::string_view line)
{
    if (line.starts_with("//"))
        return {};

    std::size_t at = lf_skipBlanks(line, 0);
    if (lf_hasWordAt(line, at, "[fltsim.")) {
        at += 8;
        const std::size_t digits = at;
        while (at < line.size() && line[at] >= '0' && line[at] <= '9')
            ++at;
        if (at > digits && at < line.size() && line[at] == ']' && lf_skipBlanks(line, at + 1) == line.size())
            return std::string(line.substr(digits, at - digits));
    }
    // Something meant as a header, but not one we can number.
    if (line.find("[fltsim.") != std::string_view::npos || line.find("[FLTSIM.") != std::string_view::npos)
        return std::to_string(kFltsimNoNumber);
    return {};
}

bool lf_checkFltsimNumbers(const std::vector<std::string>& lines, const fs::path& path)
{
    std::vector<std::int32_t> numbers;
    for (const auto& line : lines) {
        const std::string digits = lf_matchFltsimHeader(line);
        if (digits.empty())
            continue;
        std::int32_t number = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (error != std::errc() || end != digits.data() + digits.size()) {
            gf_logLineMarked(fmt::format("fltsim num {} incorrect", line));
            return false;
        }
        numbers.push_back(number);
    }

    if (numbers.empty()) {
        lf_addScanMessage(tzo::noFltsimSectionFiles, tzo::noFltsimSectionFilesMutex, path.string());
        return true;
    }

    std::sort(numbers.begin(), numbers.end());
    std::int32_t expected = 0;
    for (const auto number : numbers) {
        if (number == expected) {
            ++expected;
            continue;
        }
        const std::string message = number == kFltsimNoNumber
                                        ? std::string("a [fltsim.] section without a number")
                                        : fmt::format("non-consecutive [fltsim.x] numbers at .x={}", number);
        lf_addInvalidCfgFile(path.string() + " contains " + message);
        return false;
    }
    return true;
}

std::string lf_fixAtcModel(const fs::path& path, const std::vector<std::string>& lines)
{
    std::string model;
    for (const auto& line : lines) {
        model = lf_matchAtcModel(line);
        if (!model.empty())
            break;
    }
    if (model.empty()) {
        lf_addInvalidCfgFile("Line atc_model= is missing in [General] section of " + path.string());
        return {};
    }
    if (g_validModels.contains(model))
        return model;

    const auto fix = tzo::codeFixes.find(model);
    if (fix != tzo::codeFixes.end()) {
        lf_addCodeFixLine(fmt::format("Fix: {} found in {} changed into {}", model, path.string(), fix->second));
        return fix->second;
    }
    lf_addInvalidModel(model, path);
    return {};
}

void lf_addInvalidAirline(const std::string& code, const fs::path& path, std::string_view suffix)
{
    std::string line = fmt::format("{:12} in {} ", code, path.string());
    line += suffix;
    lf_addScanMessage(tzo::invalidAirlineCodes, tzo::invalidAirlineCodesMutex, std::move(line));
}

void lf_addInvalidModel(const std::string& code, const fs::path& path)
{
    lf_addScanMessage(tzo::invalidModelCodes, tzo::invalidModelCodesMutex,
                      fmt::format("{:16} in {}", code, path.string()));
}
