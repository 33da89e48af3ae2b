// The main loop's and the exit's work reach the program's real readers.

#include "app/program_exit_services.hpp"
#include "app/program_tick_work.hpp"
#include "foundation/run_state.hpp"
#include "realtraffic/link_state.hpp"
#include "realtraffic/readers.hpp"
#include "realtraffic/traffic_queue.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <thread>

using namespace tzo;

TEST(ReaderWiring, flightStateOpensAndClosesTheTrafficIntake)
{
    ProgramTickWork work;
    TrafficRecord record;
    record.hexid = 123456;

    work.setFlightRunning(false);
    EXPECT_FALSE(trafficQueue.push(record)) << "no intake while the flight does not run";
    work.setFlightRunning(true);
    EXPECT_TRUE(trafficQueue.push(record));
    trafficQueue.clear();
    work.setFlightRunning(false);
}

TEST(ReaderWiring, exitStopsBothProgramReaders)
{
    testsupport::TempDir dir(true);
    rtOnThisPc = true;
    // An earlier exit in this process may have left the readers stopped.
    gf_resetTrafficInput();
    std::thread traffic([] { gf_runReaderThread(trafficReader, 0, true); });
    std::thread weather([] { gf_runReaderThread(qnhReader, 0, false); });
    const bool bound =
        testsupport::waitFor([] { return trafficReader.boundPort() != 0 && qnhReader.boundPort() != 0; });

    ProgramExitServices().stopReaders();
    // Joining hangs here when a blocked receive is not woken.
    traffic.join();
    weather.join();
    EXPECT_TRUE(bound);
    EXPECT_EQ(trafficReaderState.load(), kReaderStopped);
    EXPECT_EQ(runningThreads.load(), 0);
}
