#pragma once
// Tests that run the program or a stand-in as a process of its own.

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace testsupport {

// Called in a freshly forked child: it gets SIGTERM when the test program
// ends, also when ctest kills it, so that no child outlives its test. SIGTERM
// rather than SIGKILL, so that a script's trap ends its own children too.
// (The signal follows the thread that forked: tests fork from their main
// thread.)
void endWithParent(pid_t parent);

// A child process in its own process group; killed (group and all) at the end.
// inChild runs in the child once its output is redirected and before anything
// else, where only calls that are safe after a fork may be made (a new
// session, descriptors, the signal mask).
class Process {
public:
    Process(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::filesystem::path& folder,
            const std::filesystem::path& output = {}, const std::function<void()>& inChild = {});
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return m_pid; }
    // The exit code once the process ended within the timeout.
    std::optional<int> exitCode(std::chrono::milliseconds timeout);
    void signal(int number);
    void signalGroup(int number);

private:
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

} // namespace testsupport
