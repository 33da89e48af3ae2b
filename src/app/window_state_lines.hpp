#pragma once
// Without a window nobody sees its statistics band and park-airport box: the
// terminal gets what they show instead, as lines. Each change of a link's
// state (the simulator, RealTraffic, the two feeds) at once, a feed that has
// sent nothing for a while and one that sends again; the aircraft counts at
// most once a minute while they change. With a window nothing is written.

namespace tzo {

// Called after every change the window would repaint for (any thread) and
// once a second by the main loop's counter refresh.
void gf_reportWindowState();

} // namespace tzo
