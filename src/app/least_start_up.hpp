#pragma once
// The least start-up that operations need, until the full start-up thread
// takes its place: settings into the controls, the run-folder check, the
// program's folders, the data base and code fixes (read once per process, no
// download), the simulator's install path from the registry, RealTraffic's
// presence on this computer, the livery catalogue (scanned or read back),
// the airports list when there is one, then start of operations.

namespace tzo {

void lf_leastStartUp();

} // namespace tzo
