#pragma once
// The status band at the bottom of the main window: a status line that clears
// itself after 25 seconds of running flight, and an error line that turns the
// band red and blocks later status lines until it is cleared. The functions
// every thread calls are gf_showStatus, gf_clearStatus, gf_showError,
// gf_clearError and gf_logException of foundation/app_hooks.hpp; the window
// fills in their implementations here.

#include "foundation/app_hooks.hpp"

// Puts this window's status line, error line and exception reporter into the hooks.
void gf_fillStatusLineHooks(AppHooks& hooks);

// Once per second of running flight (main loop): advances the status clock
// and clears a status line that has been shown for 25 seconds.
void gf_tickStatusClock();
// A restart puts the clock back to 0.
void gf_resetStatusClock();

// Without a window nobody sees the status band: every status and error line
// then also goes to standard error, and an error that leaves the program
// nothing to do ends it. Set at start, before any other thread, and again
// when the display goes away.
void gf_setWindowless(bool windowless);
bool gf_windowless();
// Called after the error line of an error that leaves the program nothing to
// do until the user mends something outside it. With a window the program
// waits for the user; without one nobody would see it wait, so it says so and
// ends with the user-error code.
void gf_nothingLeftToDo();

// At the end of a program that ends with a code other than 0: standard error
// says why (the error line, else the status line), as the window that said
// it is gone, or, without a window, as its last line; an end without a
// window for a user's error has said so already.
void gf_sayWhyEnded(int code);
