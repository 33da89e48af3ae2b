#pragma once
// A private X server for tests that open a real window: Xvfb on a display
// number of its own choosing, so parallel tests never meet.

#include <string>
#include <sys/types.h>

namespace testsupport {

class XvfbServer {
public:
    XvfbServer();
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // False when no server could be started; why() then says what failed.
    bool running() const { return m_pid > 0 && !m_display.empty(); }
    const std::string& why() const { return m_why; }
    // ":N"; also put into $DISPLAY while the server runs.
    const std::string& display() const { return m_display; }
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    std::string m_display;
    std::string m_why;
    std::string m_oldDisplay;
    bool m_hadDisplay = false;
};

// The one server of this test program, started on first use and stopped when
// the program ends. FLTK keeps its display connection for the whole process,
// so every window test of a program that runs as one process must use it.
// It leaves $DISPLAY as it was: a test sets it to display() while it runs.
XvfbServer& sharedXvfb();

} // namespace testsupport
