#include "foundation/run_state.hpp"

std::atomic<int> runningThreads{0};
std::atomic<bool> rtError{false};
std::atomic<double> rangeNm{0.0};
