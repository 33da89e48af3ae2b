#include "liveries/livery_folder_entry.hpp"

#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool lf_isKind(const fs::file_status& status, FolderEntryKind kind)
{
    return kind == FolderEntryKind::directory ? fs::is_directory(status) : fs::is_regular_file(status);
}

bool lf_equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// The status of the path; "not found" is a status, anything else raises. A
// name longer than the file system takes names nothing either: one such value
// in an aircraft.cfg must cost its section, not the whole file.
fs::file_status lf_status(const fs::path& path)
{
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error == std::errc::filename_too_long)
        return fs::file_status(fs::file_type::not_found);
    if (error && status.type() != fs::file_type::not_found)
        throw fs::filesystem_error("status", path, error);
    return status;
}

struct KnownEntry {
    std::filesystem::path folder;
    std::string name;
    FolderEntryKind kind;
    bool present;
};

// The answers kept while this thread's FolderEntryCache lives; null otherwise.
thread_local std::vector<KnownEntry>* t_knownEntries = nullptr;

bool lf_lookUp(const fs::path& folder, std::string_view name, FolderEntryKind kind);

} // namespace

FolderEntryCache::FolderEntryCache()
{
    if (!t_knownEntries)
        t_knownEntries = new std::vector<KnownEntry>();
}

FolderEntryCache::~FolderEntryCache()
{
    delete t_knownEntries;
    t_knownEntries = nullptr;
}

bool gf_isPlainEntryName(std::string_view name)
{
    return !name.empty() && name.find_first_of(std::string_view("/\\:\0", 4)) == std::string_view::npos &&
           name.find("..") == std::string_view::npos;
}

bool gf_folderHasEntry(const fs::path& folder, std::string_view name, FolderEntryKind kind)
{
    if (!gf_isPlainEntryName(name))
        return false;
    if (!t_knownEntries)
        return lf_lookUp(folder, name, kind);
    for (const auto& known : *t_knownEntries)
        if (known.kind == kind && known.name == name && known.folder == folder)
            return known.present;
    const bool present = lf_lookUp(folder, name, kind);
    t_knownEntries->push_back({folder, std::string(name), kind, present});
    return present;
}

namespace {

bool lf_lookUp(const fs::path& folder, std::string_view name, FolderEntryKind kind)
{
    const std::string text(name);
    if (lf_isKind(lf_status(folder / text), kind))
        return true;

    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) {
        if (error == std::errc::no_such_file_or_directory)
            return false;
        throw fs::filesystem_error("directory_iterator", folder, error);
    }
    while (it != fs::directory_iterator()) {
        if (lf_equalsIgnoringCase(it->path().filename().string(), text) && lf_isKind(lf_status(it->path()), kind))
            return true;
        it.increment(error);
        if (error)
            throw fs::filesystem_error("directory_iterator::operator++", folder, error);
    }
    return false;
}

} // namespace
