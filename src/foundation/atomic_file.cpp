#include "foundation/atomic_file.hpp"

#include <fmt/format.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;

namespace {

fs::path lf_temporaryName(const fs::path& path)
{
    // Unique per thread and call, so two threads writing the same file never
    // share a temporary file; the rename decides which content wins.
    static std::atomic<unsigned> counter{0};
    const auto thread = std::hash<std::thread::id>{}(std::this_thread::get_id());
    fs::path temp = path;
    temp += fmt::format(".tmp{:x}-{}", thread & 0xffffff, counter.fetch_add(1));
    return temp;
}

} // namespace

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
    std::error_code ec;
    if (written) {
        fs::rename(temp, path, ec);
        if (!ec)
            return true;
    }
    fs::remove(temp, ec);
    return false;
}
