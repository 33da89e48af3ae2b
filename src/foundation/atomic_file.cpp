#include "foundation/atomic_file.hpp"

#include "platform/file_no_follow.hpp"
#include "platform/file_sync.hpp"

#include <fmt/format.h>

#include <atomic>
#include <cerrno>
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

TemporaryFile gf_createTemporaryFileFor(const fs::path& path)
{
    // A few names at most: one that is taken (a leftover, or something put
    // there on purpose) is passed over for the next.
    TemporaryFile temp;
    for (int attempt = 0; attempt < 4; ++attempt) {
        temp.path = lf_temporaryName(path);
        temp.file.reset(platform::createNewFile(temp.path));
        if (temp.file || errno != EEXIST)
            break;
    }
    return temp;
}

void gf_setAtomicRenameForTests(AtomicRenameFunction rename) { renameForTests.store(rename); }

namespace {

std::error_code lf_lastError()
{
    return std::error_code(errno != 0 ? errno : EIO, std::generic_category());
}

} // namespace

bool gf_closeTemporaryFile(TemporaryFile& temp, bool written, std::error_code& error)
{
    // The first failure is the one to name: a full disk shows at the write,
    // the flush or the close, and what follows is only its consequence.
    if (!written && !error)
        error = lf_lastError();
    if (temp.file) {
        if ((std::fflush(temp.file.get()) != 0 || std::ferror(temp.file.get())) && !error)
            error = lf_lastError();
        if (std::fclose(temp.file.release()) != 0 && !error)
            error = lf_lastError();
    } else if (!error) {
        error = std::make_error_code(std::errc::bad_file_descriptor);
    }
    if (!error)
        return true;
    std::error_code ignored;
    fs::remove(temp.path, ignored);
    return false;
}

bool gf_putTemporaryFileInPlace(const fs::path& temp, const fs::path& path, bool toDisk, std::error_code& error)
{
    error.clear();
    // The data must be on the disk before the name points at it: otherwise a
    // power cut can leave the file empty where the old one was whole.
    if (toDisk && !platform::syncFileToDisk(temp))
        error = lf_lastError();
    if (!error && !platform::keepFileMode(path, temp))
        error = lf_lastError();
    if (!error) {
        if (const auto injected = renameForTests.load()) {
            if (!injected(temp, path))
                error = std::make_error_code(std::errc::operation_not_permitted);
        } else {
            // A rename replaces whatever entry has the name, a link or a
            // file's second name, and writes into none.
            fs::rename(temp, path, error);
        }
    }
    if (error) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        return false;
    }
    // Until the folder is on the disk, a power cut may bring the old file back.
    if (toDisk && !platform::syncFolderToDisk(path.parent_path())) {
        error = lf_lastError();
        return false;
    }
    return true;
}

bool gf_commitTemporaryFile(TemporaryFile& temp, const fs::path& path, bool written, std::error_code& error,
                            bool toDisk)
{
    return gf_closeTemporaryFile(temp, written, error) && gf_putTemporaryFileInPlace(temp.path, path, toDisk, error);
}

bool gf_writeFileAtomically(const fs::path& path, std::string_view content, bool toDisk)
{
    std::error_code error;
    return gf_writeFileAtomically(path, content, error, toDisk);
}

bool gf_writeFileAtomically(const fs::path& path, std::string_view content, std::error_code& error, bool toDisk)
{
    error.clear();
    TemporaryFile temp = gf_createTemporaryFileFor(path);
    if (!temp.file) {
        error = lf_lastError();
        return false;
    }
    // An empty view may carry a null pointer, which the C library must never
    // be handed.
    const bool written =
        content.empty() || std::fwrite(content.data(), 1, content.size(), temp.file.get()) == content.size();
    return gf_commitTemporaryFile(temp, path, written, error, toDisk);
}

bool gf_copyFileAtomically(const fs::path& from, const fs::path& to, std::error_code& error, std::uintmax_t maxBytes)
{
    error.clear();
    FilePtr source(std::fopen(from.c_str(), "rb"));
    if (!source) {
        error = std::error_code(errno, std::generic_category());
        return false;
    }
    TemporaryFile temp = gf_createTemporaryFileFor(to);
    if (!temp.file) {
        error = std::error_code(errno, std::generic_category());
        return false;
    }
    bool written = true;
    char buffer[65536];
    std::uintmax_t copied = 0;
    while (written) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, source.get());
        copied += got;
        if (copied > maxBytes) {
            error = std::make_error_code(std::errc::file_too_large);
            written = false;
            break;
        }
        written = std::fwrite(buffer, 1, got, temp.file.get()) == got;
        if (got < sizeof buffer) {
            if (std::ferror(source.get()))
                written = false;
            break;
        }
    }
    return gf_commitTemporaryFile(temp, to, written, error);
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
