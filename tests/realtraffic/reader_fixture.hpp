#pragma once
// Runs a reader on its own thread, bound to a free loopback port, and stops it
// again at the end of the test.

#include "foundation/log.hpp"
#include "realtraffic/readers.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace testsupport {

class RunningReader {
public:
    RunningReader(tzo::UdpReader& reader, bool traffic)
        : m_reader(reader)
    {
        m_thread = std::thread([&reader, traffic] { gf_runReaderThread(reader, 0, traffic); });
        started = waitFor([&] { return reader.boundPort() != 0; });
    }
    ~RunningReader() { stop(); }
    void stop()
    {
        if (m_thread.joinable()) {
            m_reader.stop();
            m_thread.join();
        }
    }
    std::uint16_t port() const { return m_reader.boundPort(); }
    bool started = false;

private:
    tzo::UdpReader& m_reader;
    std::thread m_thread;
};

// A folder of its own with "Log.txt" open in it.
struct LoggedTest : ::testing::Test {
    TempDir dir{true};
    LoggedTest() { gf_openLog(); }
    ~LoggedTest() override { gf_closeLog(); }
    std::string log() const { return readFile(dir / "Log.txt"); }
    bool logHas(const std::string& text) const { return log().find(text) != std::string::npos; }
};

} // namespace testsupport
