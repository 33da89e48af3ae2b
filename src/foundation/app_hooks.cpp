#include "foundation/app_hooks.hpp"

#include "foundation/log.hpp"

#include <fmt/format.h>

#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// Written once before other threads start, read everywhere after: an atomic
// pointer to a hooks copy keeps that hand-over well defined.
std::atomic<const AppHooks*> g_hooks{nullptr};

const AppHooks* hooks()
{
    return g_hooks.load(std::memory_order_acquire);
}

} // namespace

void gf_installAppHooks(const AppHooks& newHooks)
{
    // Every copy stays alive (and reachable, for leak checkers): threads may
    // still be calling through the previous one.
    static std::mutex mutex;
    // Never destroyed either: detached threads may report during exit.
    static auto* installed = new std::vector<std::unique_ptr<const AppHooks>>();
    std::lock_guard lock(mutex);
    installed->push_back(std::make_unique<const AppHooks>(newHooks));
    g_hooks.store(installed->back().get(), std::memory_order_release);
}

AppHooks gf_appHooks()
{
    if (auto h = hooks())
        return *h;
    return AppHooks{};
}

const char* gf_exitReasonText(ExitReason reason)
{
    switch (reason) {
    case ExitReason::NOT_YET_SET:
        return "NOT_YET_SET";
    case ExitReason::SIM_WAS_CLOSED:
        return "SIM WAS CLOSED";
    case ExitReason::RESTART:
        return "RESTART";
    case ExitReason::RESTART_IPP:
        return "RESTART_IPP";
    case ExitReason::USER_CLOSED_SIM:
        return "USER CLOSED SIM";
    case ExitReason::SYSTEM_ERROR:
        return "SYSTEM ERROR";
    case ExitReason::USER_ERROR:
        return "USER ERROR";
    }
    return "NOT_YET_SET";
}

void gf_showStatus(std::string_view text, bool log)
{
    if (auto h = hooks(); h && h->showStatus)
        h->showStatus(text, log);
    else if (log && !text.empty())
        gf_logLine(text);
}

void gf_showStatusBeforeError(std::string_view text)
{
    if (auto h = hooks(); h && h->showStatusBeforeError)
        h->showStatusBeforeError(text);
    else if (!text.empty())
        gf_logLine(text);
}

void gf_clearStatus()
{
    if (auto h = hooks(); h && h->clearStatus)
        h->clearStatus();
}

void gf_showError(std::string_view text)
{
    if (auto h = hooks(); h && h->showError)
        h->showError(text);
    else
        gf_logLineMarked(text);
}

void gf_clearError()
{
    if (auto h = hooks(); h && h->clearError)
        h->clearError();
}

void gf_logErrorCause(std::string_view text)
{
    if (auto h = hooks(); h && h->logErrorCause)
        h->logErrorCause(text);
    else
        gf_logProgressLine(text);
}

void gf_logProgressLine(std::string_view text)
{
    if (auto h = hooks(); h && h->logProgressLine)
        h->logProgressLine(text);
    else
        gf_logLine(text);
}

void gf_requestExit(ExitReason reason, int seconds)
{
    if (auto h = hooks(); h && h->requestExit)
        h->requestExit(reason, seconds);
    else
        gf_logLineMarked(fmt::format("exit requested ({}, {} s) before the shell runs", gf_exitReasonText(reason),
                                     seconds));
}

void gf_logException(std::string_view name)
{
    if (auto h = hooks(); h && h->logException) {
        h->logException(name);
        return;
    }
    if (!std::current_exception()) {
        gf_logLineMarked(fmt::format("Exception in {}", name));
        return;
    }
    try {
        throw;
    } catch (const std::exception& e) {
        gf_logLineMarked(fmt::format("Exception in {}: {}", name, e.what()));
    } catch (...) {
        gf_logLineMarked(fmt::format("Exception in {}", name));
    }
}
