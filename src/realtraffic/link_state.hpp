#pragma once
// State of the RealTraffic link that other threads read or set: the window
// paints the reader states and the QNH, the start-up decides where RealTraffic
// runs, the main loop turns a reader failure into an orderly exit. Every value
// is atomic because writer and reader are always different threads.

#include <atomic>
#include <cstdint>

namespace tzo {

inline constexpr std::uint16_t kQnhPort = 49004;
inline constexpr std::uint16_t kTrafficPort = 49005;

// Reader states as the window paints them.
inline constexpr int kReaderReceiving = 1;
inline constexpr int kReaderSilent = 2;
inline constexpr int kReaderStopped = 3;

} // namespace tzo

inline std::atomic<int> trafficReaderState{tzo::kReaderStopped};
inline std::atomic<int> weatherReaderState{tzo::kReaderStopped};

// The QNH in hPa for the live traffic (1013 until a weather datagram says
// otherwise) and the value the window shows (0 shows nothing).
inline std::atomic<int> qnhValue{1013};
inline std::atomic<int> qnh{0};

// RealTraffic runs on this computer: the readers bind to 127.0.0.1 and pass
// every datagram on; otherwise they bind to any address and skip repeats.
inline std::atomic<bool> rtOnThisPc{true};

// The link counts as up (set by the TCP server or by start of operations);
// the alive check works only while it is set.
inline std::atomic<bool> realTrafficConnected{false};

// The window's repaint, installed by the shell. Without it a state change is
// simply not shown until the next paint.
struct LinkHooks {
    void (*repaint)() = nullptr;
};
void gf_installLinkHooks(const LinkHooks& hooks);
void gf_repaintLinkState();
