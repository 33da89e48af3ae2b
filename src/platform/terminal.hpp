#pragma once
// The process's standard output and standard error. Whatever is behind them
// (a terminal that closed, a pipe whose reader went away or stopped reading,
// a full disk) a write there must never end, stop or slow the program: it
// either goes through at once or is dropped, and says why.

#include <string_view>

namespace platform {

enum class TerminalStream { output, error };

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed (a
// daemonizer, a service file, `2>&-`), so that nothing opened later (the
// signal pipe, the log) takes a standard stream's number. The program's very
// first act.
void fillClosedStandardStreams() noexcept;

// Makes both streams ready for writes that never wait. Called first thing at
// start, while the terminal is surely there; later calls do nothing, and a
// write made without it prepares them itself.
void prepareTerminal() noexcept;

// Writes text (lines, each with its end) as far as it goes without waiting.
// 0 when all of it was written, else the error that stopped the write
// (EAGAIN: the reader is behind). Text cut by a reader that fell behind is
// finished first at the next write, so that a reader never sees half a line
// glued to the next: while that rest does not go, later text is dropped whole.
int writeToTerminal(TerminalStream stream, std::string_view text) noexcept;

} // namespace platform
