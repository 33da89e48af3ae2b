#include "liveries/livery_folder_entry.hpp"

#include <optional>
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
    EntryLookup answer;
};

// The answers kept while this thread's FolderEntryCache lives; null otherwise.
thread_local std::vector<KnownEntry>* t_knownEntries = nullptr;

EntryLookup lf_lookUp(const fs::path& root, const fs::path& folder, std::string_view relative, FolderEntryKind kind);

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

EntryLookup gf_lookUpEntry(const fs::path& root, const fs::path& folder, std::string_view relative,
                           FolderEntryKind kind)
{
    if (!t_knownEntries)
        return lf_lookUp(root, folder, relative, kind);
    for (const auto& known : *t_knownEntries)
        if (known.kind == kind && known.name == relative && known.folder == folder)
            return known.answer;
    const EntryLookup answer = lf_lookUp(root, folder, relative, kind);
    t_knownEntries->push_back({folder, std::string(relative), kind, answer});
    return answer;
}

namespace {

// The entry of that kind named `name` in any letter case, the exact name first.
std::optional<fs::path> lf_findEntry(const fs::path& folder, const std::string& name, FolderEntryKind kind)
{
    fs::path exact = folder / name;
    if (lf_isKind(lf_status(exact), kind))
        return exact;

    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) {
        if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory)
            return std::nullopt;
        throw fs::filesystem_error("directory_iterator", folder, error);
    }
    while (it != fs::directory_iterator()) {
        if (lf_equalsIgnoringCase(it->path().filename().string(), name) && lf_isKind(lf_status(it->path()), kind))
            return it->path();
        it.increment(error);
        if (error)
            throw fs::filesystem_error("directory_iterator::operator++", folder, error);
    }
    return std::nullopt;
}

// How many folders `folder` lies below `root`, by their texts; 0 when it
// does not lie below it (then nothing may leave `folder` itself).
int lf_depthBelow(const fs::path& root, const fs::path& folder)
{
    if (root.empty())
        return 0;
    fs::path base = root.lexically_normal();
    if (!base.has_filename() && base.has_parent_path() && base != base.root_path())
        base = base.parent_path(); // "D:/SimObjects/" is "D:/SimObjects"
    const fs::path below = folder.lexically_normal().lexically_relative(base);
    if (below.empty() || *below.begin() == "..")
        return 0;
    int depth = 0;
    for (const auto& part : below)
        if (part != "." && !part.empty())
            ++depth;
    return depth;
}

EntryLookup lf_lookUp(const fs::path& root, const fs::path& folder, std::string_view relative, FolderEntryKind kind)
{
    if (relative.empty() || relative.find('\0') != std::string_view::npos)
        return EntryLookup::missing;
    // "\x", "/x" and "D:x" start elsewhere than the aircraft's folder.
    if (relative.front() == '/' || relative.front() == '\\' || relative.find(':') != std::string_view::npos)
        return EntryLookup::outside;
    // ".." takes back the name before it by the text alone, as Windows makes
    // a path whole before it looks anything up: "texture.x\..\..\Shared" is
    // the folder "Shared" beside the aircraft's own.
    std::vector<std::string_view> names;
    int ups = 0;
    for (std::size_t start = 0; start <= relative.size();) {
        std::size_t end = relative.find_first_of("/\\", start);
        if (end == std::string_view::npos)
            end = relative.size();
        const std::string_view name = relative.substr(start, end - start);
        if (name == "..") {
            if (names.empty())
                ++ups;
            else
                names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        start = end + 1;
    }
    // Refused whether or not something is there.
    if (ups > lf_depthBelow(root, folder))
        return EntryLookup::outside;

    fs::path at = folder;
    for (int i = 0; i < ups; ++i)
        at = at.parent_path();
    if (names.empty())
        return kind == FolderEntryKind::directory && lf_isKind(lf_status(at), kind) ? EntryLookup::present
                                                                                     : EntryLookup::missing;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const bool last = i + 1 == names.size();
        const auto found = lf_findEntry(at, std::string(names[i]), last ? kind : FolderEntryKind::directory);
        if (!found)
            return EntryLookup::missing;
        at = *found;
    }
    return EntryLookup::present;
}

} // namespace
