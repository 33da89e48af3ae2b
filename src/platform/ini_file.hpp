#pragma once
// A small reader of Windows-style ini files ("private profile" files such as
// SimConnect.cfg, and our registry stand-in). Section and key names compare
// without regard to case, as the Windows profile functions do.

#include "platform/outside_file.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

class IniFile {
public:
    struct Entry {
        std::string key;   // trimmed
        std::string value; // trimmed, surrounding quotes removed
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };

    // Far above any real profile file (a few kilobytes); what is larger is
    // refused unread.
    static constexpr std::uint64_t kMaxFileBytes = 1024 * 1024;

    IniFile() = default;

    // Reads the file; false when it cannot be read (the object then holds
    // nothing, and loadStatus() says why: see outsideFileRefusal).
    bool load(const std::filesystem::path& path);
    const OutsideFileStatus& loadStatus() const { return m_loadStatus; }
    void parse(std::string_view text);

    const std::vector<Section>& sections() const { return m_sections; }
    const Section* findSection(std::string_view name) const;
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

private:
    std::vector<Section> m_sections;
    OutsideFileStatus m_loadStatus;
};

bool equalsNoCase(std::string_view a, std::string_view b);

} // namespace platform
