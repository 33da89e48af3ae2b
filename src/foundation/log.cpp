#include "foundation/log.hpp"

#include "foundation/atomic_file.hpp"
#include "foundation/exceptions.hpp"
#include "foundation/terminal.hpp"
#include "foundation/time.hpp"
#include "foundation/version.hpp"
#include "platform/file_no_follow.hpp"

#include <fmt/format.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// A C stream, as it can be opened without following a link at "Log.txt".
std::FILE* g_logStream = nullptr;
std::mutex g_logMutex;
std::string g_logPath; // g_logMutex
// A log that cannot be written is said once on standard error: nobody would
// learn it from the log itself.
std::atomic<bool> g_logFailureSaid{false};

constexpr std::string_view kIndent = "          ";

void lf_writeLine(std::string_view prefix, std::string_view text)
{
    int error = 0;
    std::string path;
    {
        // The open test sits under the mutex: a writer racing the final close must
        // not touch a stream that is being closed.
        std::lock_guard lock(g_logMutex);
        if (!g_logStream)
            return;
        // An empty view may carry a null pointer, which the C library must never
        // be handed, even with a length of 0.
        // The first failure's cause is the one worth saying.
        const auto failed = [&error](bool ok) {
            if (!ok && error == 0)
                error = errno != 0 ? errno : EIO;
        };
        if (!prefix.empty())
            failed(std::fwrite(prefix.data(), 1, prefix.size(), g_logStream) == prefix.size());
        if (!text.empty())
            failed(std::fwrite(text.data(), 1, text.size(), g_logStream) == text.size());
        failed(std::fputc('\n', g_logStream) != EOF);
        failed(std::fflush(g_logStream) == 0);
        if (error != 0 && !g_logFailureSaid.load())
            path = g_logPath;
        // A write that failed (a full disk) leaves the stream in its error state,
        // which would silently drop every later line of a run that lasts for
        // hours; the lost line is the only loss.
        std::clearerr(g_logStream);
    }
    // Outside the mutex: the terminal notes its own failure in the log.
    if (error == 0 || g_logFailureSaid.exchange(true))
        return;
    try {
        gf_toTerminal(fmt::format("{} cannot be written ({}): its lines are lost while that lasts", path,
                                  std::generic_category().message(error)));
    } catch (...) {
        // No memory to say it: as with the line itself, nothing more is lost.
    }
}

void copyIfLog(const fs::path& from, const fs::path& to)
{
    // Only a regular file of one name is a log worth keeping; anything else
    // in its place (a link, or another file's second name: neither is the
    // program's) is left for the opening to report or replace.
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(from)) || fs::hard_link_count(from, ec) != 1)
        return;
    // A link in the copy's place, or a copy that is another file's second
    // name, is replaced, never written through.
    if (!gf_copyFileAtomically(from, to, ec))
        throw fs::filesystem_error("cannot keep the earlier log", from, to, ec);
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
        // A link at "Log.txt" (symbolic or a second name of another file) is
        // replaced by the log itself, as the settings file replaces one: its
        // target is never emptied.
        g_logStream = platform::replaceWithNewFile(path);
        g_logPath = path.string();
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
