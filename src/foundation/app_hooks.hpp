#pragma once
// The few services of the application shell that every subsystem calls: the
// status and error lines, exit requests and the shared exception reporter.
// They are declared here, low, and the shell installs its implementations at
// start, so no lower library ever links against the shell. Until then the
// calls only write to the log.

#include <string_view>

enum class ExitReason : int {
    NOT_YET_SET = 0,
    SIM_WAS_CLOSED = 1,
    RESTART = 2,
    RESTART_IPP = 3,
    USER_CLOSED_SIM = 4,
    SYSTEM_ERROR = 5,
    // An error that leaves the program nothing to do and nobody to see it wait
    // (no window): the program ends.
    USER_ERROR = 6,
};

// "NOT_YET_SET", "SIM WAS CLOSED", "RESTART", "RESTART_IPP", "USER CLOSED SIM", "SYSTEM ERROR", "USER ERROR".
const char* gf_exitReasonText(ExitReason reason);

// With log set, a non-empty text also goes to the log.
void gf_showStatus(std::string_view text, bool log = false);
void gf_clearStatus();
// A status line, logged, for a fault whose error line follows and names it
// with its cause and remedy: the window shows it until then, the terminal of
// a program without a window gets the error line alone.
void gf_showStatusBeforeError(std::string_view text);
void gf_showError(std::string_view text);
void gf_clearError();
// A line that says how the program gets on (a link made): logged, and without
// a window also on standard error as the status lines are; the status band
// keeps what it shows.
void gf_logProgressLine(std::string_view text);
// A progress line that says why the error this thread shows next comes: the
// error band shows it with that error. Lines of other threads, or of a step
// that ends without an error, never stand there.
void gf_logErrorCause(std::string_view text);
void gf_requestExit(ExitReason reason, int seconds);
// To be called inside a catch block: reports the exception in flight.
void gf_logException(std::string_view name);

struct AppHooks {
    void (*showStatus)(std::string_view, bool) = nullptr;
    void (*showStatusBeforeError)(std::string_view) = nullptr;
    void (*clearStatus)() = nullptr;
    void (*showError)(std::string_view) = nullptr;
    void (*clearError)() = nullptr;
    void (*logProgressLine)(std::string_view) = nullptr;
    void (*logErrorCause)(std::string_view) = nullptr;
    void (*requestExit)(ExitReason, int) = nullptr;
    void (*logException)(std::string_view) = nullptr;
};

// Installed once by the shell before any other thread starts; an empty hook
// falls back to logging.
void gf_installAppHooks(const AppHooks& hooks);
// The hooks installed so far (all empty before the first install), so that a
// layer can fill in its own and keep the others.
AppHooks gf_appHooks();
