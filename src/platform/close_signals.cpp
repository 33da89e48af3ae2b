#include "platform/close_signals.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kCloseSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The self-pipe of the signal handler: a handler may only write(), so a
// watcher thread hands the byte (the signal's number) to the receiver.
int g_signalPipe[2] = {-1, -1};
std::once_flag g_startOnce;

std::mutex g_mutex; // guards everything below
CloseSignalReceiver g_receiver;
std::uint64_t g_token = 0;
bool g_holding = false;
std::vector<int> g_held;
// What the signals did before they were caught; given back when nothing
// takes them any more, so that they are never swallowed.
struct sigaction g_previousActions[std::size(kCloseSignals)];
bool g_handlersInstalled = false;

void lf_onSignal(int signal)
{
    const int saved = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] auto written = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

sigset_t lf_closeSignalSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kCloseSignals)
        sigaddset(&set, signal);
    return set;
}

void lf_signalWatcher()
{
    // The one thread that takes them (see holdCloseSignals); one sent before
    // it ran, or while the process was started with them blocked, comes now.
    const sigset_t closeSignals = lf_closeSignalSet();
    ::pthread_sigmask(SIG_UNBLOCK, &closeSignals, nullptr);
    for (;;) {
        // Waiting in poll(), not read(): a sanitizer's runtime runs a handler
        // at once only in the calls it knows to block, poll() among them.
        pollfd readable{g_signalPipe[0], POLLIN, 0};
        if (::poll(&readable, 1, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        char byte = 0;
        const auto got = ::read(g_signalPipe[0], &byte, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return;
        const int signal = static_cast<unsigned char>(byte);
        // Only the handler writes here; anything else that found its way in
        // (a stray write to a reused descriptor) is no signal.
        if (std::find(std::begin(kCloseSignals), std::end(kCloseSignals), signal) == std::end(kCloseSignals))
            continue;
        {
            std::lock_guard lock(g_mutex);
            if (g_receiver) {
                g_receiver(signal);
                continue;
            }
            if (g_holding) {
                g_held.push_back(signal);
                continue;
            }
        }
        // Nothing took it between the signal and now: it does what it did
        // before it was caught.
        ::raise(signal);
    }
}

void lf_installHandlersLocked();

// The handlers are there before the watcher unblocks a signal that waits.
void lf_startWatching()
{
    if (::pipe(g_signalPipe) != 0)
        throw std::runtime_error("cannot create the signal pipe");
    ::fcntl(g_signalPipe[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(g_signalPipe[1], F_SETFD, FD_CLOEXEC);
    ::fcntl(g_signalPipe[1], F_SETFL, O_NONBLOCK);
    {
        std::lock_guard lock(g_mutex);
        lf_installHandlersLocked();
    }
    std::thread(lf_signalWatcher).detach();
}

// g_mutex held.
void lf_installHandlersLocked()
{
    if (g_handlersInstalled)
        return;
    struct sigaction action {};
    action.sa_handler = lf_onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kCloseSignals); ++i) {
        // One ignored from the start was meant so: a hang-up under `nohup`,
        // a Ctrl-C or Ctrl-\ for the script that started the program in the
        // background. A SIGTERM is a supervisor's: it always closes.
        ::sigaction(kCloseSignals[i], nullptr, &g_previousActions[i]);
        if (kCloseSignals[i] != SIGTERM && g_previousActions[i].sa_handler == SIG_IGN)
            continue;
        ::sigaction(kCloseSignals[i], &action, nullptr);
    }
    g_handlersInstalled = true;
}

// g_mutex held.
void lf_restoreHandlersLocked()
{
    if (!g_handlersInstalled)
        return;
    for (std::size_t i = 0; i < std::size(kCloseSignals); ++i)
        ::sigaction(kCloseSignals[i], &g_previousActions[i], nullptr);
    g_handlersInstalled = false;
}

} // namespace

void holdCloseSignals()
{
    // Blocked here, and so in every thread started from now on (the mask is
    // inherited), but the watcher: the kernel hands a signal to any thread
    // that does not block it, and one that thread never gets to handle (it
    // ends first, or a sanitizer's runtime defers the handler to the thread's
    // next library call) would be lost. A process started with them blocked
    // takes them all the same, in the watcher.
    const sigset_t closeSignals = lf_closeSignalSet();
    ::pthread_sigmask(SIG_BLOCK, &closeSignals, nullptr);
    {
        std::lock_guard lock(g_mutex);
        g_holding = true;
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    std::call_once(g_startOnce, lf_startWatching);
    std::lock_guard lock(g_mutex);
    lf_installHandlersLocked();
}

std::uint64_t setCloseSignalReceiver(CloseSignalReceiver receiver)
{
    std::call_once(g_startOnce, lf_startWatching);
    std::lock_guard lock(g_mutex);
    g_receiver = std::move(receiver);
    lf_installHandlersLocked();
    for (const int signal : g_held)
        g_receiver(signal);
    g_held.clear();
    return ++g_token;
}

void dropCloseSignalReceiver(std::uint64_t token)
{
    std::lock_guard lock(g_mutex);
    if (token != g_token || !g_receiver)
        return;
    g_receiver = nullptr;
    if (!g_holding)
        lf_restoreHandlersLocked();
}

} // namespace platform
