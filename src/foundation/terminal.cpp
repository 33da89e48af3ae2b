#include "foundation/terminal.hpp"

#include "foundation/log.hpp"
#include "platform/terminal.hpp"

#include <fmt/format.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <system_error>

namespace {

std::atomic<bool> g_outputFailed{false};
std::atomic<bool> g_errorFailed{false};

void lf_writeLine(platform::TerminalStream stream, std::string_view text) noexcept
{
    const bool output = stream == platform::TerminalStream::output;
    try {
        // One write for the line and its end, so that lines of two threads
        // never mix in a pipe.
        std::string line;
        line.reserve(text.size() + 1);
        line.append(text);
        line.push_back('\n');
        const int error = platform::writeToTerminal(stream, line);
        if (error == 0 || (output ? g_outputFailed : g_errorFailed).exchange(true))
            return;
        const char* name = output ? "Standard output" : "Standard error";
        // Never through the terminal again: that is what failed.
        if (error == EAGAIN)
            gf_logLineMarked(fmt::format("{} is not being read: its lines are dropped while it is full", name));
        else
            gf_logLineMarked(fmt::format("{} cannot be written ({}): its lines are dropped",
                                         name, std::generic_category().message(error)));
    } catch (...) {
        // No memory for the line: it is lost, the program goes on.
    }
}

} // namespace

void gf_toTerminal(std::string_view text) noexcept
{
    lf_writeLine(platform::TerminalStream::error, text);
}

void gf_toStandardOutput(std::string_view text) noexcept
{
    lf_writeLine(platform::TerminalStream::output, text);
}
