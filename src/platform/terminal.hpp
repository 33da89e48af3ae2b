#pragma once
// The process's standard output and standard error. Whatever is behind them
// (a terminal that closed, a pipe whose reader went away or stopped reading,
// a full disk) a write there must never end, stop or slow the program: it
// either goes through at once or is dropped, and says why.

#include <string_view>

namespace platform {

enum class TerminalStream { output, error };

// Gives each of descriptors 0, 1 and 2 that the process was started without
// (`2>&-`, a daemonizer) /dev/null. The very first call of the program, before
// it opens anything: else the next descriptor it opens (a pipe, the log)
// takes that number and is written to as standard error.
void fillClosedStandardStreams() noexcept;

// Makes both streams ready for writes that never wait. Called first thing at
// start, while the terminal is surely there; later calls do nothing, and a
// write made without it prepares them itself.
void prepareTerminal() noexcept;

// Writes text, or as much of it as goes without waiting. 0 when all of it was
// written, else the error that stopped the write (EAGAIN: the reader is behind).
int writeToTerminal(TerminalStream stream, std::string_view text) noexcept;

} // namespace platform
