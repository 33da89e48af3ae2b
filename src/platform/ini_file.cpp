#include "platform/ini_file.hpp"

#include "platform/text.hpp"

#include <string>

namespace platform {

namespace {

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

bool IniFile::load(const std::filesystem::path& path)
{
    m_sections.clear();
    std::string text;
    m_loadStatus = readOutsideFile(path, kMaxFileBytes, text);
    if (!m_loadStatus.ok())
        return false;
    parse(text);
    return true;
}

void IniFile::parse(std::string_view text)
{
    m_sections.clear();
    // A UTF-8 mark at the start would otherwise become part of the first name.
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    Section* current = nullptr;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = gf_trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            const auto close = line.find(']');
            if (close == std::string_view::npos)
                continue;
            const std::string_view name = gf_trim(line.substr(1, close - 1));
            current = nullptr;
            for (auto& s : m_sections)
                if (equalsNoCase(s.name, name))
                    current = &s;
            if (!current) {
                m_sections.push_back(Section{std::string(name), {}});
                current = &m_sections.back();
            }
            continue;
        }
        if (!current)
            continue;
        const auto eq = line.find('=');
        std::string_view key = gf_trim(line.substr(0, eq));
        std::string_view value = eq == std::string_view::npos ? std::string_view{} : gf_trim(line.substr(eq + 1));
        if (value.size() >= 2 && ((value.front() == '"' && value.back() == '"') ||
                                  (value.front() == '\'' && value.back() == '\'')))
            value = value.substr(1, value.size() - 2);
        current->entries.push_back(Entry{std::string(key), std::string(value)});
    }
}

const IniFile::Section* IniFile::findSection(std::string_view name) const
{
    for (const auto& s : m_sections)
        if (equalsNoCase(s.name, name))
            return &s;
    return nullptr;
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const
{
    const Section* s = findSection(section);
    if (!s)
        return std::nullopt;
    for (const auto& e : s->entries)
        if (equalsNoCase(e.key, key))
            return e.value;
    return std::nullopt;
}

} // namespace platform
