#include "foundation/atomic_file.hpp"

#include "platform/file_sync.hpp"

#include <fmt/format.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTemporaryMark = ".tmp";

fs::path lf_temporaryName(const fs::path& path)
{
    // Unique per thread and call, so two threads writing the same file never
    // share a temporary file; the rename decides which content wins.
    static std::atomic<unsigned> counter{0};
    const auto thread = std::hash<std::thread::id>{}(std::this_thread::get_id());
    fs::path temp = path;
    temp += fmt::format("{}{:x}-{}", kTemporaryMark, thread & 0xffffff, counter.fetch_add(1));
    return temp;
}

// The part after "<name>.tmp" of a temporary name made above: hex digits, '-',
// decimal digits. Nothing else beside the file is taken for a leftover. In the
// path's own characters: a name need not be convertible to narrow text.
bool lf_isTemporarySuffix(std::basic_string_view<fs::path::value_type> suffix)
{
    const auto dash = suffix.find('-');
    if (dash == 0 || dash == suffix.npos || dash + 1 == suffix.size())
        return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        const auto c = suffix[i];
        const bool digit = c >= '0' && c <= '9';
        const bool hex = digit || (c >= 'a' && c <= 'f');
        if (i < dash ? !hex : (i > dash && !digit))
            return false;
    }
    return true;
}

// "<name>.tmp<suffix>" with a name of its own, as lf_temporaryName makes them.
bool lf_isTemporaryName(std::basic_string_view<fs::path::value_type> name)
{
    const std::basic_string<fs::path::value_type> mark(kTemporaryMark.begin(), kTemporaryMark.end());
    for (auto at = name.find(mark); at != name.npos; at = name.find(mark, at + 1))
        if (at > 0 && lf_isTemporarySuffix(name.substr(at + mark.size())))
            return true;
    return false;
}

int lf_removeAll(const std::vector<fs::path>& files)
{
    int removed = 0;
    for (const auto& file : files) {
        std::error_code removeError;
        removed += fs::remove(file, removeError) ? 1 : 0;
    }
    return removed;
}

std::atomic<AtomicRenameFunction> renameForTests{nullptr};

} // namespace

fs::path gf_temporaryPathFor(const fs::path& path)
{
    return lf_temporaryName(path);
}

void gf_setAtomicRenameForTests(AtomicRenameFunction rename) { renameForTests.store(rename); }

bool gf_writeFileAtomically(const fs::path& path, std::string_view content)
{
    const fs::path temp = lf_temporaryName(path);
    bool written = false;
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (out.is_open()) {
            out.write(content.data(), static_cast<std::streamsize>(content.size()));
            out.flush();
            out.close();
            written = !out.fail();
        }
    }
    // The data must be on the disk before the name points at it: otherwise a
    // power cut can leave the file empty where the old one was whole.
    if (written)
        written = platform::syncFileToDisk(temp);
    std::error_code ec;
    if (written) {
        if (const auto injected = renameForTests.load()) {
            if (injected(temp, path))
                return true;
        } else {
            fs::rename(temp, path, ec);
            if (!ec)
                return true;
        }
    }
    fs::remove(temp, ec);
    return false;
}

void gf_removeLeftoverTemporaryFiles(const fs::path& path)
{
    fs::path prefixPath = path.filename();
    prefixPath += std::string(kTemporaryMark);
    const fs::path::string_type& prefix = prefixPath.native();
    fs::path folder = path.parent_path();
    if (folder.empty())
        folder = ".";
    std::error_code ec;
    std::vector<fs::path> leftovers;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path::string_type name = it->path().filename().native();
        std::error_code typeError;
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
            lf_isTemporarySuffix(std::basic_string_view<fs::path::value_type>(name).substr(prefix.size())) &&
            it->is_regular_file(typeError))
            leftovers.push_back(it->path());
    }
    lf_removeAll(leftovers);
}

int gf_removeLeftoverTemporaryFilesIn(const fs::path& folder, bool recursive)
{
    std::vector<fs::path> leftovers;
    const auto take = [&](const fs::directory_entry& entry) {
        const fs::path::string_type name = entry.path().filename().native();
        std::error_code typeError;
        if (lf_isTemporaryName(name) && entry.is_regular_file(typeError))
            leftovers.push_back(entry.path());
    };
    std::error_code ec;
    if (recursive) {
        for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
             !ec && it != end; it.increment(ec))
            take(*it);
    } else {
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            take(*it);
    }
    return lf_removeAll(leftovers);
}
