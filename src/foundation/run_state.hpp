#pragma once
// Run state that threads of several subsystems share with the shell. The shell
// owns the values' meaning; they live here, low, so that the readers and the
// simulator thread can count themselves and read the range without linking
// upwards.

#include <atomic>

// Number of the program's own threads that are running; the exit thread waits
// until it falls back to itself.
inline std::atomic<int> runningThreads{0};

// Traffic range in nautical miles as the main loop last computed it; read by
// the traffic reader for every line. 40 nm is the default lateral range.
inline std::atomic<double> rangeNm{40.0};
