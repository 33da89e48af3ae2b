#pragma once
// The two reader threads and what the shell does with them: start, alive
// check, reset at a restart. The exit thread stops a reader with its stop().

#include "realtraffic/qnh_reader.hpp"
#include "realtraffic/traffic_reader.hpp"

#include <cstdint>
#include <optional>
#include <string>

// Thread bodies of the program's readers; the ports are 49005 and 49004 in the
// program.
void gf_trafficReaderThread(std::uint16_t port);
void gf_qnhReaderThread(std::uint16_t port);

// The body of either thread on a given reader: counts itself in
// runningThreads, binds, marks the reader receiving, receives until stopped.
// A failure to open or bind is reported on the status line and sets rtError.
void gf_runReaderThread(tzo::UdpReader& reader, std::uint16_t port, bool traffic);

// The first reader that failed since the program started or the traffic
// input was last reset: which one, on which port.
struct ReaderFailure {
    bool traffic = false;
    std::uint16_t port = 0;
    // The system's words for why the port could not be bound; empty when
    // the reader failed otherwise.
    std::string cause;
};
std::optional<ReaderFailure> gf_firstReaderFailure();

// The main loop's alive check of both readers; only while RealTraffic is connected.
void gf_checkReadersAlive();
// Called at a restart: the traffic input starts afresh.
void gf_resetTrafficInput();
