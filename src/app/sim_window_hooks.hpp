#pragma once
// The simulator layer writes the main window's simulator state through its
// hooks; these put it into the window object and repaint what shows it.

namespace tzo {

void gf_installSimWindowHooks();

} // namespace tzo
