#pragma once
// The program's random choices. Each thread has its own Mersenne Twister,
// seeded once from the system's random source on the thread's first use, so
// no lock is needed and no two threads share a sequence. The setting RANDOM
// switches the choices off to make runs repeatable; the jitter of
// gf_randomJitter does not follow it.

#include <cstdint>
#include <random>
#include <string>
#include <vector>

// The calling thread's engine.
std::mt19937& threadRandomEngine();

// 0..n-1 from the thread's engine; 0 when RANDOM is off or n is below 2.
std::uint32_t gf_randomBelow(std::uint32_t n);

// Shuffles the list in place when RANDOM is on and it holds more than one item.
void gf_shuffle(std::vector<std::string>& list);

// value plus or minus value x percent / 100, the sign from the engine's next
// output (even: plus); the value itself when percent is 0 or less.
double gf_randomJitter(double value, double percent);
