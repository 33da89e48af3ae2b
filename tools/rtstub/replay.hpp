#pragma once
// Replay of recorded tracks (CSV: epoch_ms, icao24, callsign, lat, lon,
// altitude_ft, groundspeed_kt, track_deg, vertical_rate_fpm, onground) as
// traffic lines, each track shifted to begin when the replay begins.

#include "rtstub/rtstub.hpp"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace rtstub {

struct ReplaySample {
    std::int64_t epochMs = 0;
    std::uint32_t icao24 = 0;
    std::string callsign;
    double latitude = 0;
    double longitude = 0;
    double altitudeFt = 0;
    double groundSpeedKt = 0;
    std::optional<double> trackDeg;
    double verticalRateFpm = 0;
    bool onGround = false;
    // Whether the row itself had these cells (others took the previous row's).
    bool speedRecorded = false;
    bool trackRecorded = false;
    // The recorded aircraft a copy was made from (0: this one): its type and
    // route stay, so a crowd of copies still flies known models.
    std::uint32_t modelIcao24 = 0;
    // The type reported for a made-up flight; empty: the side table's.
    std::string type;
};

struct ReplayTrack {
    std::string name;
    std::vector<ReplaySample> samples;
    // Seconds after the start of the replay at which the track begins.
    double delaySeconds = 0;
};

// Reads a track. Missing cells take the track's previous value (rows before
// the first position and altitude are skipped). Throws std::runtime_error when
// the file cannot be read or lacks a column.
ReplayTrack loadReplayTrack(const std::filesystem::path& path);

// Gives the rows without a recorded ground speed or track the ones their
// positions show (recorded ground rows carry neither, and a report at 0 kt
// followed by one at 80 kt or more is dropped as a jump): a run of rows with
// one position gets the speed and course to the next new position over the
// run's time, below 1 kt counted as 0, a course only for 3 m or more.
void deriveGroundMotion(ReplayTrack& track);
// The track as it would be flown `factor` times as fast: its times after its
// first row and its delay divided by the factor, its ground speeds and
// vertical rates multiplied by it. A replay at a speed other than 1 sends
// such tracks in real time, so that the reports' times, positions and speeds
// agree with one another and with the clock of the program that follows
// them (which moves an aircraft at its reported speed, 30 s behind).
void speedUp(ReplayTrack& track, double factor);
// The track as a source that reports an aircraft only every `seconds`: a row
// is kept when it comes that long after the last one kept, and so is the
// last row (where the aircraft was last seen), so that a crowd of thousands
// stays within what the program takes in, as a live feed of them would.
void thinReports(ReplayTrack& track, double seconds);
// A crowd of `count` aircraft made from the recorded tracks, in turn: each
// copy has its own hexid (from 0xA00000 on), a callsign of the same airline
// with its own number, its position moved on a grid `spacingDeg` apart around
// the recording, and its start delayed by up to a minute, so that they do
// not move in step. Generation g numbers its hexids and callsigns after
// those of the generations before it, so that a long run can send aircraft
// that were never seen before, as real traffic does; flight numbers go from
// 100 to 9999 and then round again (a callsign has seven characters at most),
// so that a crowd of up to 9,900 has callsigns of its own.
std::vector<ReplayTrack> crowdTracks(const std::vector<ReplayTrack>& recorded, std::size_t count,
                                     double spacingDeg = 0.02, std::size_t generation = 0);

// The recorded tracks at Zürich that come with the project.
std::filesystem::path replayFolder();
std::vector<std::filesystem::path> defaultReplayFiles();

// Type, registration, origin and destination of the recorded aircraft (a side
// table of the stand-in; unknown aircraft get made-up values).
struct AircraftInfo {
    std::string type;
    std::string registration;
    std::string from;
    std::string to;
};
AircraftInfo aircraftInfo(std::uint32_t icao24);

// One sample as a traffic line with the given timestamp (seconds); with
// newerFields, the line carries what newer RealTraffic versions append after
// the authentication number.
TrafficLine lineOfSample(const ReplaySample& sample, double timestamp, std::uint32_t checksum,
                         bool newerFields = false);

struct ReplayLine {
    double offsetSeconds = 0; // after the start of the replay
    std::string text;
};

// Lines of all tracks, each track shifted to begin at startSeconds, merged in
// time order.
std::vector<ReplayLine> replayLines(const std::vector<ReplayTrack>& tracks, double startSeconds,
                                    bool newerFields = false);

// Sends the lines at their offsets divided by speed (speed 0: as fast as
// possible) until done or stop; answers the number of lines sent.
std::size_t replay(RtStub& stub, const std::vector<ReplayLine>& lines, double speed,
                   const std::atomic<bool>& stop);

// A replay moved on by the test instead of the clock: each step sends the
// lines up to a given second of replay time, so that replay time and the
// ticks a test drives go together.
class SteppedReplay {
public:
    SteppedReplay(RtStub& stub, std::vector<ReplayLine> lines);
    // Sends every line not sent yet whose offset is at most seconds; answers
    // how many it sent.
    std::size_t sendUntil(double seconds);
    std::size_t sent() const { return m_next; }
    bool done() const { return m_next == m_lines.size(); }

private:
    RtStub& m_stub;
    std::vector<ReplayLine> m_lines;
    std::size_t m_next = 0;
};

} // namespace rtstub
