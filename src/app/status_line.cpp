#include "app/status_line.hpp"

#include "app/main_window.hpp"
#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "foundation/terminal.hpp"
#include "foundation/version.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

constexpr std::int32_t kStatusSeconds = 25;

std::atomic<bool> g_windowless{false};
// Without a window the end for a user's error has said why already.
std::atomic<bool> g_endSaid{false};

// At most this many of the lines that explained an error go into its band.
constexpr std::size_t kMostHints = 3;

// The window's own words: what asks for its fields, boxes and buttons, or is
// only about them. The terminal gets the line without them, or with what to
// do there instead; the log keeps the line as the window shows it, and after
// an install path error a line of its own says what to write without a window.
struct WindowWords {
    std::string_view window;
    std::string_view terminal;
    bool wholeLine = false;
};
constexpr WindowWords kWindowWords[] = {
    {", type full Install Path above, and press Enter", ""},
    {", type full Install Path to wanted version above and press Enter", ""},
    {", or type the install path above and press Enter", ""},
    {"(or check Liveries automatic)", "(or set LIG_AUTOMATIC to true in parameters.xml)"},
    {"Making changes to airport parking parameters is disabled while static parking takes place", "", true},
};

std::string lf_withoutWindowWords(std::string_view line)
{
    std::string text(line);
    for (const WindowWords& words : kWindowWords) {
        const std::size_t at = text.find(words.window);
        if (at == std::string::npos)
            continue;
        if (words.wholeLine)
            return {};
        text.replace(at, words.window.size(), words.terminal);
    }
    return text;
}

// statusMutex held, so the terminal shows the lines in the order the band did.
// With a window only what the window cannot say any more (why it ended) goes
// there too.
void lf_toTerminal(std::string_view line, bool evenWithWindow = false)
{
    if (!evenWithWindow && !g_windowless.load())
        return;
    if (const std::string text = lf_withoutWindowWords(line); !text.empty())
        gf_toTerminal(text);
}

// statusMutex held. The band is invalidated under the mutex: invalidation
// only queues a paint, and the painter takes the mutex on the window thread.
void lf_showStatusLocked(std::string_view text, bool log, bool toTerminal = true)
{
    auto& o = mainWindowObject;
    // The terminal keeps every line, also those an error line hides.
    if (toTerminal)
        lf_toTerminal(text);
    if (!o.errorText.empty())
        return;
    // The lines that say what to mend come just before the error they
    // explain; a status line in between starts afresh.
    if (!text.empty())
        o.errorHints.clear();
    o.statusText.assign(text);
    o.statusShownAt = text.empty() ? 0 : std::max(o.statusClock, 1);
    if (log && !text.empty())
        gf_logLineString(std::string(text));
    gf_invalidateMainWindow(kStatusBand);
}

void lf_showStatus(std::string_view text, bool log)
{
    std::lock_guard lock(mainWindowObject.statusMutex);
    lf_showStatusLocked(text, log);
}

// The error line that follows says this fault for the terminal.
void lf_showStatusBeforeError(std::string_view text)
{
    std::lock_guard lock(mainWindowObject.statusMutex);
    lf_showStatusLocked(text, true, false);
}

void lf_clearStatus()
{
    lf_showStatus({}, true);
}

void lf_showError(std::string_view message)
{
    auto& o = mainWindowObject;
    std::lock_guard lock(o.statusMutex);
    o.statusText.clear();
    o.statusShownAt = 0;
    o.errorText.assign(message);
    // The band shows the lines that explained the error with it: they were
    // logged (and headless written) already. Only the error's own step's:
    // what another thread said meanwhile explains nothing here.
    o.errorBand = std::string(message);
    for (const auto& [thread, hint] : o.errorHints)
        if (thread == std::this_thread::get_id())
            o.errorBand += "\n" + hint;
    o.errorHints.clear();
    const std::string line = fmt::format("Error {}", message);
    gf_logLineString(line);
    lf_toTerminal(line);
    gf_invalidateMainWindow(kErrorBand);
}

void lf_logProgressLine(std::string_view text)
{
    std::lock_guard lock(mainWindowObject.statusMutex);
    gf_logLineString(std::string(text));
    lf_toTerminal(text);
}

void lf_logErrorCause(std::string_view text)
{
    auto& o = mainWindowObject;
    std::lock_guard lock(o.statusMutex);
    gf_logLineString(std::string(text));
    lf_toTerminal(text);
    if (o.errorHints.size() == kMostHints)
        o.errorHints.erase(o.errorHints.begin());
    o.errorHints.emplace_back(std::this_thread::get_id(), text);
}

void lf_clearError()
{
    auto& o = mainWindowObject;
    std::lock_guard lock(o.statusMutex);
    o.errorText.clear();
    o.errorBand.clear();
    gf_invalidateMainWindow(kErrorBand);
}

void lf_systemError(std::string_view name, const char* message)
{
    gf_showError(fmt::format("{}: {}", name, message));
    gf_requestExit(ExitReason::SYSTEM_ERROR, 0);
}

void lf_logException(std::string_view name)
{
    // Outside a catch block a bare rethrow would end the program.
    if (!std::current_exception()) {
        gf_logLineMarked(fmt::format("{}: no exception to report", name));
        return;
    }
    // The program's user error and the formatting error are runtime errors
    // too, so they are sorted out first.
    try {
        throw;
    } catch (const tzo::UserErrorException& e) {
        gf_showError(e.what());
    } catch (const fmt::format_error& e) {
        gf_showError(fmt::format("std::format error: {}", e.what()));
    } catch (const std::bad_alloc& e) {
        lf_systemError(name, e.what());
    } catch (const std::out_of_range& e) {
        lf_systemError(name, e.what());
    } catch (const std::runtime_error& e) {
        lf_systemError(name, e.what());
    } catch (const std::exception& e) {
        lf_systemError(name, e.what());
    } catch (...) {
        gf_showError("Unknown exception");
    }
}

} // namespace

void gf_fillStatusLineHooks(AppHooks& hooks)
{
    hooks.showStatus = lf_showStatus;
    hooks.showStatusBeforeError = lf_showStatusBeforeError;
    hooks.clearStatus = lf_clearStatus;
    hooks.showError = lf_showError;
    hooks.clearError = lf_clearError;
    hooks.logProgressLine = lf_logProgressLine;
    hooks.logErrorCause = lf_logErrorCause;
    hooks.logException = lf_logException;
}

void gf_setWindowless(bool windowless)
{
    g_windowless.store(windowless);
}

bool gf_windowless()
{
    return g_windowless.load();
}

void gf_sayWhyEnded(int code)
{
    auto& o = mainWindowObject;
    std::lock_guard lock(o.statusMutex);
    // With a window the window said it and is gone; without one the lines
    // came as they came, and the last of them must still say why it ends.
    if (code == 0 || (g_windowless.load() && g_endSaid.load()))
        return;
    const std::string why = !o.errorText.empty()    ? o.errorText
                            : !o.statusText.empty() ? o.statusText
                                                    : std::string("Log.txt says why");
    lf_toTerminal(fmt::format("{} ended with exit code {}: {}", kProgramName, code, why), true);
}

void gf_nothingLeftToDo()
{
    if (!g_windowless.load())
        return;
    lf_logProgressLine(fmt::format("{} has nothing left to do without a window and ends: mend what the lines above "
                                   "say, then start it again",
                                   kProgramName));
    g_endSaid.store(true);
    gf_requestExit(ExitReason::USER_ERROR, 0);
}

void gf_tickStatusClock()
{
    auto& o = mainWindowObject;
    std::lock_guard lock(o.statusMutex);
    ++o.statusClock;
    if (o.statusShownAt >= 1 && o.statusClock - o.statusShownAt >= kStatusSeconds)
        lf_showStatusLocked({}, true);
}

void gf_resetStatusClock()
{
    auto& o = mainWindowObject;
    std::lock_guard lock(o.statusMutex);
    o.statusClock = 0;
    o.statusShownAt = 0;
}
