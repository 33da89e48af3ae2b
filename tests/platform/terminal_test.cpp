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

} // namespace

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
