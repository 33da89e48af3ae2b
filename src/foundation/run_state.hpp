#pragma once
// The run state that the program's threads share. It sits low because the
// simulator layer and the readers write or read it, while the shell that acts
// on it sits on top.

#include <atomic>

// Threads of the program that are running (main loop, exit thread, start-up
// thread, simulator thread, the two readers); the exit thread waits on it.
extern std::atomic<int> runningThreads;

// A UDP reader stopped with an error.
extern std::atomic<bool> rtError;

// Traffic range in nautical miles (read by the traffic reader).
extern std::atomic<double> rangeNm;
