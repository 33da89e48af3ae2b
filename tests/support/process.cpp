#include "support/process.hpp"

#include "support/test_support.hpp"

#include <csignal>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

namespace fs = std::filesystem;

void endWithParent(pid_t parent)
{
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    // The parent may have ended before the line above.
    if (::getppid() != parent)
        ::_exit(127);
}

Process::Process(const std::vector<std::string>& argv, const std::vector<std::string>& env, const fs::path& folder,
                 const fs::path& output, const std::function<void()>& inChild)
{
    std::vector<std::string> args = argv;
    std::vector<std::string> environment = env;
    std::vector<char*> argp;
    for (auto& a : args)
        argp.push_back(a.data());
    argp.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string dir = folder.string();
    const std::string out = output.string();
    const pid_t parent = ::getpid();
    m_pid = ::fork();
    if (m_pid == 0) {
        endWithParent(parent);
        // The program starts as from a shell, whatever the test runner
        // ignores (a CI job may run with hang-ups ignored).
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            ::signal(signal, SIG_DFL);
        // Before the child's own work, which may close the streams again.
        if (!out.empty()) {
            const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0) {
                ::dup2(fd, 1);
                ::dup2(fd, 2);
                ::close(fd);
            }
        }
        if (inChild)
            inChild();
        // Fails, harmlessly, for a child that made a session of its own.
        ::setpgid(0, 0);
        if (::chdir(dir.c_str()) != 0)
            ::_exit(127);
        ::execve(argp[0], argp.data(), envp.data());
        ::_exit(127);
    }
    // Not for a child with work of its own first: a group made for it here
    // before it runs would keep it from making a session of its own.
    if (m_pid > 0 && !inChild)
        ::setpgid(m_pid, m_pid);
}

Process::~Process()
{
    if (m_pid > 0 && !m_status) {
        ::kill(-m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
}

std::optional<int> Process::exitCode(std::chrono::milliseconds timeout)
{
    waitFor(
        [&] {
            if (m_status)
                return true;
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid)
                m_status = status;
            return m_status.has_value();
        },
        timeout);
    if (!m_status || !WIFEXITED(*m_status))
        return std::nullopt;
    return static_cast<signed char>(WEXITSTATUS(*m_status));
}

void Process::signal(int number)
{
    if (!m_status)
        ::kill(m_pid, number);
}

void Process::signalGroup(int number)
{
    if (!m_status)
        ::kill(-m_pid, number);
}

} // namespace testsupport
