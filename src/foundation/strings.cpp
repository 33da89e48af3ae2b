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
            items.push_back(gf_trim(text.substr(start)));
            return items;
        }
        items.push_back(gf_trim(text.substr(start, end - start)));
        start = end + 1;
    }
}

} // namespace

std::string gf_trim(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(kTrimSet);
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(kTrimSet);
    return std::string(text.substr(first, last - first + 1));
}

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
