#include "platform/terminal.hpp"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <string>

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

enum class SinkKind { file, socket, ownDescription, pollFirst };

struct Sink {
    int fd = -1;
    SinkKind kind = SinkKind::file;
};

Sink lf_sinkFor(int fd) noexcept
{
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return {};
    // A file takes a write at once, full disk or not: no reader to wait for.
    if (S_ISREG(status.st_mode) || S_ISBLK(status.st_mode))
        return {fd, SinkKind::file};
    if (S_ISSOCK(status.st_mode))
        return {fd, SinkKind::socket};
    // A pipe or a terminal: the descriptor is shared with the shell, which
    // must never see it non-blocking, so the program writes through an open
    // file description of its own that is.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const int own = ::open(self.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (own >= 0)
        return {own, SinkKind::ownDescription};
    // Its reader is gone already, or no such name: a write is made only when
    // the stream says it takes one, and no more than a pipe takes at once.
    return {fd, SinkKind::pollFirst};
}

// What a reader that fell behind did not take of the last text, written
// before anything else. Kept up to a bound; a longer rest gives way to a line
// end only, which at least ends the cut line before the next one.
constexpr std::size_t kLongestRest = 64 * 1024;

struct Rest {
    std::mutex mutex;
    std::string text;
};

struct Sinks {
    Sink output;
    Sink error;
    Rest outputRest;
    Rest errorRest;
};

Sinks& lf_sinks() noexcept
{
    // Never destroyed: a thread may still write while the program ends.
    static Sinks* sinks = new Sinks{lf_sinkFor(STDOUT_FILENO), lf_sinkFor(STDERR_FILENO), {}, {}};
    return *sinks;
}

ssize_t lf_writeOnce(const Sink& sink, const char* data, std::size_t size) noexcept
{
    switch (sink.kind) {
    case SinkKind::socket:
        return ::send(sink.fd, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
    case SinkKind::pollFirst: {
        pollfd ready{sink.fd, POLLOUT, 0};
        if (::poll(&ready, 1, 0) <= 0) {
            errno = EAGAIN;
            return -1;
        }
        // POLLERR or POLLHUP: the write below tells which error.
        return ::write(sink.fd, data, std::min<std::size_t>(size, PIPE_BUF));
    }
    case SinkKind::file:
    case SinkKind::ownDescription:
        break;
    }
    return ::write(sink.fd, data, size);
}

// Writes as much as goes at once; `done` says how much did. 0 or the error.
int lf_writeAll(const Sink& sink, std::string_view text, std::size_t& done) noexcept
{
    done = 0;
    while (done < text.size()) {
        const ssize_t written = lf_writeOnce(sink, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return errno;
        if (written == 0)
            return EAGAIN;
        done += static_cast<std::size_t>(written);
    }
    return 0;
}

} // namespace

void fillClosedStandardStreams() noexcept
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lower numbers are open by now: this one is the lowest free.
        const int null = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
    }
}

void prepareTerminal() noexcept
{
    lf_sinks();
}

int writeToTerminal(TerminalStream stream, std::string_view text) noexcept
{
    Sinks& sinks = lf_sinks();
    const Sink& sink = stream == TerminalStream::output ? sinks.output : sinks.error;
    Rest& rest = stream == TerminalStream::output ? sinks.outputRest : sinks.errorRest;
    if (sink.fd < 0)
        return EBADF;
    // Two threads' texts never mix, and a rest goes before anything newer.
    const std::lock_guard lock(rest.mutex);
    std::size_t done = 0;
    if (!rest.text.empty()) {
        const int error = lf_writeAll(sink, rest.text, done);
        rest.text.erase(0, done);
        if (error != 0)
            return error;
    }
    const int error = lf_writeAll(sink, text, done);
    // A pipe takes short texts whole or not at all; a terminal, or a pipe
    // given more than that, takes what fits.
    if (error == EAGAIN && done > 0) {
        try {
            if (text.size() - done <= kLongestRest)
                rest.text.assign(text.substr(done));
            else
                rest.text.assign("\n");
        } catch (...) {
            // No memory for the rest: the cut line stays open.
        }
    }
    return error;
}

} // namespace platform
