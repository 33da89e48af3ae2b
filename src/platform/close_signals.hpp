#pragma once
// The signals a terminal or a supervisor sends to end a program: SIGINT
// (Ctrl-C), SIGTERM, SIGHUP (the terminal closed) and SIGQUIT (Ctrl-\). Each
// one caught is handed to a receiver on a thread of its own, never handled
// inside the signal handler.

#include <cstdint>
#include <functional>

namespace platform {

using CloseSignalReceiver = std::function<void(int signal)>;

// For the rest of the process's life, from the call on (the program's first
// act, on the main thread before any other): the close signals are caught,
// by one watcher thread alone (every thread started later keeps them
// blocked; a process started with them blocked takes them too), and held
// until a receiver takes them, except a SIGHUP, SIGINT or SIGQUIT that the
// process was started with ignored (nohup, a script's `&`), so that no
// signal ends the process before its exit steps; SIGPIPE and SIGXFSZ are
// ignored, so that a write to a reader that has gone, or beyond the file
// size limit, fails as a full disk does instead of ending it.
void holdCloseSignals();

// The receiver gets every close signal caught from now on, first those held.
// It runs under the lock that dropCloseSignalReceiver takes, so once that has
// returned it is never called again. Answers a token for dropping it.
std::uint64_t setCloseSignalReceiver(CloseSignalReceiver receiver);
// Drops the receiver given the token, if it is still the one. The signals are
// then held again after holdCloseSignals; else they do what they did before.
void dropCloseSignalReceiver(std::uint64_t token);

} // namespace platform
