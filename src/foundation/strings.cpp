#include "foundation/strings.hpp"

namespace {

constexpr std::string_view kTrimSet = " \t\n\r";

std::vector<std::string> lf_split(std::string_view text, char separator)
{
    std::vector<std::string> items;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            items.emplace_back(gf_trim(text.substr(start)));
            return items;
        }
        items.emplace_back(gf_trim(text.substr(start, end - start)));
        start = end + 1;
    }
}

} // namespace

std::vector<std::string> gf_splitSemicolon(std::string_view text)
{
    return lf_split(text, ';');
}

std::vector<std::string> gf_splitComma(std::string_view text)
{
    return lf_split(text, ',');
}

std::string gf_trimCommaList(std::string_view text)
{
    if (text.find_first_of(kTrimSet) == std::string_view::npos)
        return std::string(text);
    std::string joined;
    bool first = true;
    for (const auto& item : gf_splitComma(text)) {
        if (!first)
            joined += ',';
        joined += item;
        first = false;
    }
    return joined;
}

std::string gf_extractPath(std::string_view text)
{
    constexpr std::string_view open = "<Path>";
    constexpr std::string_view close = "</Path>";
    const std::size_t begin = text.find(open);
    const std::size_t end = text.find(close);
    if (begin == std::string_view::npos || end == std::string_view::npos)
        return {};
    const std::size_t from = begin + open.size();
    // "</Path>" before "<Path>" holds no path.
    if (end < from)
        return {};
    return std::string(text.substr(from, end - from));
}

bool gf_equalsUpperCased(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char c = b[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (a[i] != c)
            return false;
    }
    return true;
}

bool gf_matchesWildcard(std::string_view a, std::string_view b)
{
    return b.size() == a.size() + 1 && b.back() == '*' && b.substr(0, a.size()) == a;
}

std::string gf_starBanner(int width, int extra, bool leadingLineEnd, bool trailingLineEnd, std::string_view text)
{
    int n = width + extra;
    if (n % 2 != 0)
        ++n;
    if (n < 0)
        n = 0;
    std::string line;
    if (text.empty()) {
        if (leadingLineEnd)
            line += '\n';
        line.append(static_cast<std::size_t>(n), '*');
    } else if (text.size() + 2 < static_cast<std::size_t>(n)) {
        if (leadingLineEnd)
            line += '\n';
        const auto half = static_cast<std::size_t>(n / 2 - 1);
        line.append(half, '*');
        line += ' ';
        line += text;
        line += ' ';
        line.append(half, '*');
    } else {
        line = text;
    }
    if (trailingLineEnd)
        line += '\n';
    return line;
}

namespace {

// The length of the well-formed UTF-8 character at the start of text, 0 when
// the bytes there are none.
std::size_t lf_utf8CharLength(std::string_view text)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // overlong below
        else if (lead == 0xED)
            high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90; // overlong below
        else if (lead == 0xF4)
            high = 0x8F; // past U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

bool lf_isControl(std::string_view character)
{
    const auto lead = static_cast<unsigned char>(character[0]);
    if (character.size() == 1)
        return lead < 0x20 || lead == 0x7F;
    // U+0080 to U+009F are C2 80 to C2 9F.
    return character.size() == 2 && lead == 0xC2 && static_cast<unsigned char>(character[1]) <= 0x9F;
}

} // namespace

void gf_cleanFieldText(std::string& clean, std::string_view text, std::size_t maxBytes)
{
    clean.clear();
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t length = lf_utf8CharLength(text.substr(i));
        if (length == 0) {
            ++i; // a malformed byte: left out, the next one tried
            continue;
        }
        const std::string_view character = text.substr(i, length);
        i += length;
        if (lf_isControl(character))
            continue;
        if (clean.size() + length > maxBytes)
            break;
        clean += character;
    }
}
