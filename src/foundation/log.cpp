#include "foundation/log.hpp"

#include "foundation/exceptions.hpp"
#include "foundation/time.hpp"
#include "foundation/version.hpp"
#include "platform/file_no_follow.hpp"

#include <fmt/format.h>

#include <cstdio>
#include <mutex>

namespace fs = std::filesystem;

namespace {

// A C stream, as it can be opened without following a link at "Log.txt".
std::FILE* g_logStream = nullptr;
std::mutex g_logMutex;

constexpr std::string_view kIndent = "          ";

void lf_writeLine(std::string_view prefix, std::string_view text)
{
    // The open test sits under the mutex: a writer racing the final close must
    // not touch a stream that is being closed.
    std::lock_guard lock(g_logMutex);
    if (!g_logStream)
        return;
    std::fwrite(prefix.data(), 1, prefix.size(), g_logStream);
    std::fwrite(text.data(), 1, text.size(), g_logStream);
    std::fputc('\n', g_logStream);
    std::fflush(g_logStream);
    // A write that failed (a full disk) leaves the stream in its error state,
    // which would silently drop every later line of a run that lasts for
    // hours; the lost line is the only loss.
    std::clearerr(g_logStream);
}

void copyIfLog(const fs::path& from, const fs::path& to)
{
    // Only a regular file is a log worth keeping; anything else in its place
    // (a link too: its target is not the program's) is left for the opening
    // to report or replace.
    if (!fs::is_regular_file(fs::symlink_status(from)))
        return;
    // A link in the copy's place is replaced, never written through.
    if (fs::is_symlink(fs::symlink_status(to)))
        fs::remove(to);
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

} // namespace

void lf_rotateLog(const fs::path& path)
{
    std::string text = path.string();
    const auto dot = text.rfind('.');
    if (dot == std::string::npos)
        return;
    const std::string stem = text.substr(0, dot);
    const std::string extension = text.substr(dot);
    const std::string first = stem + "0" + extension;
    const std::string second = stem + "00" + extension;
    copyIfLog(first, second);
    copyIfLog(path, first);
}

void gf_openLog(const fs::path& path)
{
    lf_rotateLog(path);
    {
        std::lock_guard lock(g_logMutex);
        if (g_logStream) {
            std::fclose(g_logStream);
            g_logStream = nullptr;
        }
        // A link at "Log.txt" is replaced by the log itself, as the settings
        // file replaces one: its target is never emptied.
        g_logStream = platform::createFileNoFollow(path);
        if (!g_logStream)
            throw tzo::SysErrorException(40, "Failed to write file " + path.string());
    }
    gf_logLine(fmt::format("{} (utc) {} version {} for {}", gf_utcTimeText(), kProgramName,
                           gf_versionToString(gf_programVersion()), "Prepar3D v5/v6"));
}

void gf_openLog()
{
    gf_openLog(fs::path(kLogFileName));
}

void gf_closeLog()
{
    std::lock_guard lock(g_logMutex);
    if (g_logStream) {
        std::fclose(g_logStream);
        g_logStream = nullptr;
    }
}

bool gf_isLogOpen()
{
    std::lock_guard lock(g_logMutex);
    return g_logStream != nullptr;
}

void gf_logLine(std::string_view text)
{
    lf_writeLine({}, text);
}

void gf_logLineString(const std::string& text)
{
    lf_writeLine({}, text);
}

void gf_logLineMarked(std::string_view text)
{
    lf_writeLine(g_logMarker, text);
}

void gf_logLineIndented(std::string_view text)
{
    lf_writeLine(kIndent, text);
}

void gf_flushLog()
{
    std::lock_guard lock(g_logMutex);
    if (g_logStream && std::fflush(g_logStream) != 0)
        std::clearerr(g_logStream);
}
