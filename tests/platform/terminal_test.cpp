// The terminal writer: whatever is behind standard error, a write returns at
// once with what became of it. Each row runs in a child process of its own,
// whose standard error the row replaces before its first write.

#include "platform/terminal.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The first error of 1,000 lines of 200 bytes (beyond what a pipe holds).
int lf_firstErrorOfManyLines()
{
    const std::string line(199, 'x');
    for (int i = 0; i < 1000; ++i)
        if (const int error = platform::writeToTerminal(platform::TerminalStream::error, line + "\n"))
            return error;
    return 0;
}

// Line i of the pty row: its number, then filler to one of three lengths.
std::string lf_numberedLine(int i)
{
    static const std::size_t lengths[] = {81, 200, 1001};
    std::string line = std::to_string(i) + ":";
    line.resize(lengths[i % 3] - 1, 'a' + static_cast<char>(i % 26));
    return line + "\n";
}

// Takes what the pty holds now; false when it holds a line that is not one
// written whole.
bool lf_drainWholeLines(int master, std::string& pending, int quietMs = 50)
{
    // Until the pty stays quiet a while: what the writer gave reaches the
    // reader's side a moment later, later still on a loaded machine.
    char buffer[4096];
    for (pollfd ready{master, POLLIN, 0}; ::poll(&ready, 1, quietMs) > 0;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        pending.append(buffer, static_cast<std::size_t>(n));
    }
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
        const std::string line = pending.substr(0, end + 1);
        if (line != lf_numberedLine(std::atoi(line.c_str())))
            return false;
    }
    return true;
}

} // namespace

// A terminal whose reader stops (a paused terminal, a stopped pager) takes
// what fits; what it gets is whole lines, never half a line glued to the next.
TEST(TerminalWriter, aPtyWhoseReaderStopsGetsOnlyWholeLines)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
            if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
                std::_Exit(3);
            const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
            termios raw{};
            if (slave < 0 || ::tcgetattr(slave, &raw) != 0)
                std::_Exit(3);
            ::cfmakeraw(&raw);
            if (::tcsetattr(slave, TCSANOW, &raw) != 0 || ::dup2(slave, STDERR_FILENO) < 0)
                std::_Exit(3);
            int line = 0;
            // Nobody reads until the writer has been refused many times.
            for (int refused = 0; refused < 50 && line < 100000; ++line)
                refused += platform::writeToTerminal(platform::TerminalStream::error, lf_numberedLine(line)) ? 1 : 0;
            std::string pending;
            bool whole = line < 100000;
            // The reader is back: every line the writer takes arrives whole.
            int taken = 0;
            for (int more = 0; more < 10 && whole; ++more, ++line) {
                whole = lf_drainWholeLines(master, pending);
                taken += platform::writeToTerminal(platform::TerminalStream::error, lf_numberedLine(line)) ? 0 : 1;
            }
            // Nothing more to write: an empty write finishes what is left.
            for (int tries = 0; tries < 20 && platform::writeToTerminal(platform::TerminalStream::error, "") != 0;
                 ++tries)
                whole = whole && lf_drainWholeLines(master, pending);
            whole = whole && taken > 0 && lf_drainWholeLines(master, pending, 1000) && pending.empty();
            std::_Exit(whole ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(TerminalWriter, aPipeNobodyReadsDropsLinesInsteadOfWaiting)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            int ends[2];
            if (::pipe(ends) != 0 || ::dup2(ends[1], STDERR_FILENO) < 0)
                std::_Exit(3);
            // The reader is there and never reads: a blocking write would stay.
            std::_Exit(lf_firstErrorOfManyLines() == EAGAIN ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(TerminalWriter, aPipeWhoseReaderWentAwaySaysBrokenPipe)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::signal(SIGPIPE, SIG_IGN);
            int ends[2];
            if (::pipe(ends) != 0 || ::dup2(ends[1], STDERR_FILENO) < 0)
                std::_Exit(3);
            ::close(ends[0]);
            std::_Exit(lf_firstErrorOfManyLines() == EPIPE ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(TerminalWriter, aFullDiskSaysNoSpace)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const int full = ::open("/dev/full", O_WRONLY);
            if (full < 0 || ::dup2(full, STDERR_FILENO) < 0)
                std::_Exit(3);
            std::_Exit(lf_firstErrorOfManyLines() == ENOSPC ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
