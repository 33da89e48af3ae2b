#pragma once
// What the main window shows of the park airport's stands: the stand under
// the user aircraft (through the simulator layer's hook), the count of stand
// updates and the mean time the static aircraft have stood at their stands.

namespace tzo {

// Installs gf_standNameAt as the simulator layer's standNameAt hook, keeping
// the other hooks as they are.
void gf_installStandNameHook();

// Copies the stand update count and the static aircraft's mean parking time
// into the window object, repainting the park airport box when one changed.
// Main loop, with the window counters of each second.
void gf_refreshStandCounters();

} // namespace tzo
