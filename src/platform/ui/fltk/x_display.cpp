#include "platform/ui/fltk/x_display.hpp"

#include <atomic>

// Only here and last, for LockDisplay: it also defines min and max.
#include <X11/Xlibint.h>

namespace ui {

namespace {

std::atomic<bool> g_displayGone{false};

int lf_onDisplayLost(::Display*)
{
    return 0;
}

// Called by Xlib after the handler above. Xlib released the display's lock
// before the handlers and returns to the call that failed, which releases it
// again: taken back here, it is released once.
void lf_afterDisplayLost(::Display* display, void*)
{
    g_displayGone = true;
    LockDisplay(display);
}

int lf_onRequestRefused(::Display*, XErrorEvent*)
{
    return 0;
}

} // namespace

void installDisplayHandlers(::Display* display)
{
    XSetIOErrorHandler(lf_onDisplayLost);
    XSetIOErrorExitHandler(display, lf_afterDisplayLost, nullptr);
    XSetErrorHandler(lf_onRequestRefused);
}

bool displayIsGone()
{
    return g_displayGone.load();
}

} // namespace ui
