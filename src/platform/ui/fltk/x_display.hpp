#pragma once
// Xlib's handlers of a failing display print their line and end the process,
// which would skip the program's exit steps. These take their place.

#include <X11/Xlib.h>

namespace ui {

// For the process's one display, right after it was opened: a request that
// the server refused (a window that the window manager destroyed already,
// say) leaves the window as it was; a connection that fails (the server
// ended, a remote session closed) is marked gone and the failed call returns.
void installDisplayHandlers(::Display* display);

// Whether the display's connection failed. From then on nothing may ask
// anything of the display, nor of FLTK, which would talk to it.
bool displayIsGone();

} // namespace ui
