#include "support/xvfb.hpp"

#include "support/process.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

XvfbServer::XvfbServer()
{
    int fds[2];
    if (::pipe(fds) != 0) {
        m_why = "cannot create a pipe";
        return;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        m_why = "cannot fork";
        ::close(fds[0]);
        ::close(fds[1]);
        return;
    }
    if (pid == 0) {
        endWithParent(parent);
        ::close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        int devnull = ::open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            ::dup2(devnull, 0);
            ::dup2(devnull, 1);
            ::dup2(devnull, 2);
        }
        // -displayfd: the server picks a free display and writes its number
        // there once it accepts connections.
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                 "-noreset", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    m_pid = pid;
    std::string number;
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, 15000);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char c = 0;
        const auto got = ::read(fds[0], &c, 1);
        if (got <= 0 || c == '\n')
            break;
        number += c;
    }
    ::close(fds[0]);
    if (number.empty()) {
        m_why = "Xvfb did not start (is the xvfb package installed?)";
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
        return;
    }
    m_display = ":" + number;
    if (const char* old = std::getenv("DISPLAY")) {
        m_hadDisplay = true;
        m_oldDisplay = old;
    }
    ::setenv("DISPLAY", m_display.c_str(), 1);
}

XvfbServer::~XvfbServer()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (!m_display.empty()) {
        if (m_hadDisplay)
            ::setenv("DISPLAY", m_oldDisplay.c_str(), 1);
        else
            ::unsetenv("DISPLAY");
    }
}

XvfbServer& sharedXvfb()
{
    // $DISPLAY is put back at once, so that tests after a window test still
    // find the display they had; window tests name the server's themselves.
    const char* before = std::getenv("DISPLAY");
    const std::string old = before ? before : "";
    static XvfbServer server;
    if (before)
        ::setenv("DISPLAY", old.c_str(), 1);
    else
        ::unsetenv("DISPLAY");
    return server;
}

} // namespace testsupport
