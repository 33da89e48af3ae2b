#include "platform/terminal.hpp"

#include <algorithm>
#include <cerrno>
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

struct Sinks {
    Sink output;
    Sink error;
};

const Sinks& lf_sinks() noexcept
{
    static const Sinks sinks{lf_sinkFor(STDOUT_FILENO), lf_sinkFor(STDERR_FILENO)};
    return sinks;
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

} // namespace

void fillClosedStandardStreams() noexcept
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lower ones are open by now, so this takes fd itself.
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
    const Sinks& sinks = lf_sinks();
    const Sink& sink = stream == TerminalStream::output ? sinks.output : sinks.error;
    if (sink.fd < 0)
        return EBADF;
    std::size_t done = 0;
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

} // namespace platform
